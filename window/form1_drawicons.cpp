// drawicons: the folder icons of the "Info Tips" page, then the info-tips
// switch.
#include <QLocale>

#include "graphics/icons.h"
#include "machine/app_object.h"
#include "registry/catalogue_io.h"
#include "text/codepage.h"
#include "window/Form1.h"
#include "window/Module1.h"

namespace {

// A numeric comparison with 1: the Integer 1, or a String that reads as the
// number 1 (blanks around it allowed). Empty counts as 0, and a String that
// is no number is not 1.
bool equalsNumberOne(const RegValue& value) {
    if (regvalue::isInteger(value)) return std::get<std::int32_t>(value) == 1;
    if (!regvalue::isString(value)) return false;
    bool ok = false;
    double number = QLocale::c().toDouble(std::get<QString>(value).trimmed(), &ok);
    return ok && number == 1.0;
}

HICON handleOf(const QVariant& value) {
    return reinterpret_cast<HICON>(
        static_cast<std::uintptr_t>(static_cast<std::uint32_t>(value.toInt())));
}

}  // namespace

// Each row's icon is drawn into the top-left corner of its picture box,
// whose persistent image keeps it; a file without that icon leaves the box
// blank. Then the info-tips switch: loading never clears Check1, it only
// checks it.
void Form1::drawicons() {
    struct Row {
        QVariant& file;
        const char* path;
        UINT index;
        PictureBox* box;
    };
    const Row rows[] = {
        {iconfile1, "c:\\windows\\explorer.exe", 0, Picture1},
        {iconfile2, "c:\\windows\\system\\shell32.dll", 17, Picture2},
        {iconfile3, "c:\\windows\\SYSTEM\\syncui.dll", 0, Picture3},
        {iconfile4, "c:\\windows\\system\\mshtml.dll", 0, Picture4},
        {iconfile5, "c:\\windows\\system\\mydocs.dll", 0, Picture5},
        {iconfile6, "c:\\windows\\system\\shell32.dll", 31, Picture6},
    };
    for (const Row& row : rows) {
        row.file = QString::fromLatin1(row.path);
        HINSTANCE instance = App::hInstance();
        HICON icon =
            ExtractIconA(instance, codepage::fromText(row.file.toString()).c_str(), row.index);
        Module1::iconhandle = static_cast<std::int32_t>(
            static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(icon)));
        if (row.box == Picture1) {
            Picture1->setAutoSize(true);
            Picture1->setAutoRedraw(true);
        }
        HDC dc = row.box->hDC();
        DrawIcon(dc, 0, 0, handleOf(Module1::iconhandle));
        row.box->Refresh();
    }

    if (equalsNumberOne(catalogue::get(catalogue::ShowInfoTip))) Check1->setValue(1);
}

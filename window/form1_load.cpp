// Loading: Form1's controls filled with the settings in force, before the
// window is first shown. Loading only reads.
#include "controls/firstframe.h"
#include "controls/msgbox.h"
#include "controls/picture.h"
#include "registry/catalogue_io.h"
#include "window/Form1.h"

void Form1::Form_Load() {
    SSTab1->setTab(0);
    firstframe::phase("load.tab");
    drawicons();
    firstframe::phase("load.drawicons");
    gettips();
    firstframe::phase("load.gettips");
    boot();
    firstframe::phase("load.boot");
    // The folder exactly as read; an Empty or missing one lists nothing.
    ExplorerList1->setFolder(regvalue::text(catalogue::get(catalogue::Startup)));
    firstframe::phase("load.startup");
    showabout();
    firstframe::phase("load.showabout");
    loadbackbitmap();
    firstframe::phase("load.backbitmap");
    // What Apply would write now is what the registry holds: nothing
    // changed yet.
    saved_ = intended();
}

void Form1::gettips() {
    const auto boxes = tipBoxes();
    const auto pictures = tipPictures();
    for (size_t row = 0; row < boxes.size(); ++row) {
        boxes[row]->setText(regvalue::text(catalogue::get(catalogue::kInfoTips[row])));
        // The hover text is what the box holds, not the value read.
        pictures[row]->setToolTipText(boxes[row]->Text());
    }
}

void Form1::boot() {
    const RegValue userName = catalogue::get(catalogue::DefaultUserName);
    Text7->setText(regvalue::text(userName));
    const RegValue password = catalogue::get(catalogue::DefaultPassword);
    Text8->setText(regvalue::text(password));
    const RegValue autoLogon = catalogue::get(catalogue::AutoAdminLogon);
    if (regvalue::nonEmpty(autoLogon)) {
        Check2->setValue(regvalue::text(autoLogon) == QLatin1String("1") ? 1 : 0);
    } else if (regvalue::nonEmpty(userName) || regvalue::nonEmpty(password)) {
        Check2->setValue(1);
    }
}

void Form1::showabout() {
    Label5->setCaption(QStringLiteral(
        "All tweaks in this program are featured at Vantrell. These are only a few minor "
        "tweaks, for program updates and more tweaking visit Vantrell."));
}

// The toolbar bitmap. A file that is missing or no picture is reported, and
// the box is still checked: the setting is in use, and Apply must not delete
// a value the user never touched.
void Form1::loadbackbitmap() {
    const RegValue backBitmap = catalogue::get(catalogue::BackBitmap);
    if (!regvalue::nonEmpty(backBitmap)) return;
    try {
        Image6->setPicture(LoadPicture(regvalue::text(backBitmap)));
    } catch (const PictureError& error) {
        MsgBox(QStringLiteral("The Internet Explorer toolbar background could not be shown.\n\n") +
                   QString::fromStdString(error.what()),
               msgbox::kExclamation);
    }
    Check6->setValue(1);
}

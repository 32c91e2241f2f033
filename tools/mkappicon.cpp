// mkappicon: the application icon for the desktop's icon theme, as PNG
// pictures rendered from our SVG artwork.
//
//   mkappicon SVG NAME THEME_DIR SIZE...
//
// writes THEME_DIR/<SIZE>x<SIZE>/apps/NAME.png for every size, each written
// aside and renamed into place so that a picture is whole or absent.
#include <QDir>
#include <QFile>
#include <QImage>
#include <QString>
#include <cstdio>

#include "mkicons_art.h"

namespace {

int usage() {
    std::fputs("usage: mkappicon SVG NAME THEME_DIR SIZE...\n", stderr);
    return 2;
}

bool write(const QImage& picture, const QString& path) {
    const QString aside = path + QStringLiteral(".new");
    if (!picture.save(aside, "PNG")) return false;
    QFile::remove(path);
    return QFile::rename(aside, path);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 5) return usage();
    const QString svg = QString::fromLocal8Bit(argv[1]);
    const QString name = QString::fromLocal8Bit(argv[2]);
    const QString theme = QString::fromLocal8Bit(argv[3]);
    for (int i = 4; i < argc; ++i) {
        bool ok = false;
        const int size = QString::fromLocal8Bit(argv[i]).toInt(&ok);
        if (!ok || size < 1 || size > 1024) {
            std::fprintf(stderr, "mkappicon: not a size: %s\n", argv[i]);
            return usage();
        }
        const QImage picture = mkicons::renderSvg(svg, size);
        if (picture.isNull()) {
            std::fprintf(stderr, "mkappicon: cannot render %s\n", argv[1]);
            return 1;
        }
        const QString dir = QStringLiteral("%1/%2x%2/apps").arg(theme).arg(size);
        const QString path = dir + QLatin1Char('/') + name + QStringLiteral(".png");
        if (!QDir().mkpath(dir) || !write(picture, path)) {
            std::fprintf(stderr, "mkappicon: cannot write %s\n", qPrintable(path));
            return 1;
        }
    }
    return 0;
}

#include "window/pictures.h"

#include <QPixmap>

#include "controls/picture.h"

// Resources in a static library are registered by name.
static void registerPictures() {
    static const bool once = [] {
        Q_INIT_RESOURCE(knobwise);
        return true;
    }();
    (void)once;
}

namespace pictures {

QIcon windowIcon() {
    registerPictures();
    QIcon icon;
    for (int size : {16, 32}) {
        icon.addPixmap(QPixmap::fromImage(
            ResourcePicture(QStringLiteral(":/pictures/knobwise.svg"), QSize(size, size))));
    }
    return icon;
}

QCursor handCursor() {
    registerPictures();
    // Read once: both link labels use it, and reading it is not cheap. Kept
    // for the whole run (a pixmap must not outlive the application object).
    static const QCursor* hand = new QCursor(QPixmap(QStringLiteral(":/pictures/hand.xpm")), 5, 0);
    return *hand;
}

QImage icon(const QString& name) {
    registerPictures();
    return ResourcePicture(QStringLiteral(":/pictures/") + name + QStringLiteral(".svg"),
                           QSize(32, 32));
}

}  // namespace pictures

// The floor for start-up: a bare Qt Widgets window as large as the main
// window, with six tabbed pages and as many widgets in all as the main window
// has (the count is the first argument), shown once and timed by the same
// first-frame hook. Whatever it costs, Qt costs on this machine.
//
//     floor_window WIDGETS [fonts]
//
// With "fonts" the visible widgets use the faces and sizes the main window's
// first page shows (Arial in three sizes, Times New Roman on the tabs, two
// tab captions condensed), to tell how much of the difference they make.
#include <QApplication>
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QStyleFactory>
#include <QTabBar>
#include <QTabWidget>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "controls/firstframe.h"

namespace {

QFont font(const char* face, double points, bool bold = false) {
    QFont f(QString::fromLatin1(face));
    f.setPointSizeF(points);
    f.setBold(bold);
    return f;
}

int widgetCount(const QWidget& window) {
    return static_cast<int>(window.findChildren<QWidget*>().size()) + 1;
}

// Much what the main window holds, page by page: text boxes, check boxes,
// buttons, labels with text, frames, pictures and a file list.
void fillPage(QWidget* page, int index) {
    auto* frame = new QGroupBox(QStringLiteral("Frame %1").arg(index), page);
    frame->setGeometry(8, 8, 240, 150);
    for (int i = 0; i < 2; ++i) {
        (new QLineEdit(QStringLiteral("Some text %1").arg(i), frame))
            ->setGeometry(8, 20 + 26 * i, 200, 22);
    }
    (new QCheckBox(QStringLiteral("&Check %1").arg(index), frame))->setGeometry(8, 74, 200, 20);
    auto* label =
        new QLabel(QStringLiteral("A label with a sentence of text in it, wrapped."), page);
    label->setWordWrap(true);
    label->setGeometry(260, 8, 240, 60);
    (new QPushButton(QStringLiteral("Button %1").arg(index), page))->setGeometry(260, 80, 90, 25);
    QImage picture(32, 32, QImage::Format_ARGB32_Premultiplied);
    picture.fill(Qt::darkCyan);
    auto* image = new QLabel(page);
    image->setPixmap(QPixmap::fromImage(picture));
    image->setGeometry(260, 120, 32, 32);
    if (index == 2) {
        auto* list = new QListWidget(page);
        list->addItems({QStringLiteral("one.lnk"), QStringLiteral("two.lnk")});
        list->setGeometry(8, 170, 376, 81);
    }
}

}  // namespace

int main(int argc, char** argv) {
    firstframe::phase("main");
    QApplication app(argc, argv);
    const int wanted = argc > 1 ? std::atoi(argv[1]) : 0;
    const bool fonts = argc > 2 && std::strcmp(argv[2], "fonts") == 0;
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Windows")));
    if (fonts) QApplication::setFont(font("Arial", 8.25));
    firstframe::phase("application");

    QWidget window;
    window.setWindowTitle(QStringLiteral("Floor"));
    window.setFixedSize(527, 386);
    auto* tabs = new QTabWidget(&window);
    tabs->setGeometry(0, 0, 521, 353);
    for (int i = 0; i < 6; ++i) {
        auto* page = new QWidget;
        fillPage(page, i);
        tabs->addTab(page, QStringLiteral("Page %1").arg(i));
    }
    for (int i = 0; i < 4; ++i) {
        (new QPushButton(QStringLiteral("Button"), &window))
            ->setGeometry(8 + 130 * i, 358, 120, 25);
    }
    if (fonts) {
        tabs->tabBar()->setFont(font("Times New Roman", 9.75));
        for (QLineEdit* edit : tabs->widget(0)->findChildren<QLineEdit*>()) {
            edit->setFont(font("Arial", 6.75));
        }
        auto* link = new QLabel(QStringLiteral("A link"), &window);
        link->setFont(font("Arial", 9.75, true));
        link->setGeometry(8, 366, 100, 16);
        for (int stretch : {70, 80}) {
            QFont condensed = font("Times New Roman", 9.75);
            condensed.setStretch(stretch);
            auto* label = new QLabel(QStringLiteral("Condensed caption"), tabs->widget(0));
            label->setFont(condensed);
            label->setGeometry(260, 160 + stretch, 120, 16);
        }
    }
    // Labels on the last page make up the count.
    QWidget* last = tabs->widget(5);
    for (int n = 0; widgetCount(window) < wanted; ++n) {
        (new QLabel(QStringLiteral("Label %1").arg(n), last))
            ->setGeometry(300, 160 + 4 * (n % 40), 80, 16);
    }
    if (wanted > 0 && widgetCount(window) != wanted) {
        std::fprintf(stderr, "floor_window: cannot make exactly %d widgets (%d)\n", wanted,
                     widgetCount(window));
    }

    firstframe::phase("window");
    firstframe::watch(window);
    window.show();
    firstframe::phase("shown");
    return QApplication::exec();
}

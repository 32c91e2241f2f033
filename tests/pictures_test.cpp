// The program's pictures as it draws them: rasterised when it is built, they
// must be the artwork in resources/pictures drawn at each size, the window
// icon at every size it offers, the hand pointer with its hot spot.
#include <gtest/gtest.h>

#include <QCursor>
#include <QIcon>
#include <QImage>
#include <QPainter>
#include <QPixmap>
#include <QSvgRenderer>

#include "pictures/pictures.h"
#include "support/qt_app.h"

namespace {

QString artwork(const char* file) {
    return QStringLiteral(KNOBWISE_PICTURES_DIR "/") + QString::fromLatin1(file);
}

// The artwork drawn as the program once drew it when it started.
QImage drawn(const char* svg, int side) {
    QSvgRenderer renderer(artwork(svg));
    EXPECT_TRUE(renderer.isValid()) << svg;
    QImage image(QSize(side, side), QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    renderer.render(&painter);
    return image;
}

QImage premultiplied(const QImage& image) {
    return image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
}

class Pictures : public ::testing::Test {
  protected:
    Pictures() { testing_support::ensureQtApp(); }
};

TEST_F(Pictures, FolderPicturesAreTheArtworkAt32Pixels) {
    for (const char* name : {"controlpanel", "dialup", "recyclebin", "network", "shortcut"}) {
        const QImage picture = pictures::icon(QString::fromLatin1(name));
        EXPECT_EQ(picture.devicePixelRatio(), 1.0) << name;
        EXPECT_EQ(premultiplied(picture), drawn((std::string(name) + ".svg").c_str(), 32)) << name;
    }
}

TEST_F(Pictures, WindowIconIsTheArtworkAtEachSize) {
    const QIcon icon = pictures::windowIcon();
    const QList<QSize> sizes = icon.availableSizes();
    ASSERT_EQ(sizes.size(), 3);
    for (int side : {16, 32, 64}) {
        ASSERT_TRUE(sizes.contains(QSize(side, side))) << side;
        EXPECT_EQ(premultiplied(icon.pixmap(QSize(side, side)).toImage()),
                  drawn("knobwise.svg", side))
            << side;
    }
}

TEST_F(Pictures, HandPointerIsItsBitmapWithTheHotSpotAtTheFingerTip) {
    const QCursor hand = pictures::handCursor();
    EXPECT_EQ(hand.hotSpot(), QPoint(5, 0));
    EXPECT_EQ(premultiplied(hand.pixmap().toImage()), premultiplied(QImage(artwork("hand.xpm"))));
}

}  // namespace

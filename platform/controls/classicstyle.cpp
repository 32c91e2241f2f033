#include "controls/classicstyle.h"

#include <QApplication>
#include <QFontDatabase>
#include <QHash>
#include <QPainter>
#include <QStyleFactory>
#include <QStyleOption>
#include <QVariant>
#include <QWidget>

namespace {

// The base style's drawing of a check box indicator in `state`, on a
// transparent image the size of the indicator.
QImage indicator(const QStyle* base, const QStyleOption* option, QStyle::State state, qreal ratio,
                 const QWidget* widget) {
    QImage image((QSizeF(option->rect.size()) * ratio).toSize(),
                 QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(ratio);
    image.fill(Qt::transparent);
    QStyleOption copy(*option);
    copy.rect = QRect(QPoint(0, 0), option->rect.size());
    copy.state = state;
    QPainter painter(&image);
    base->drawPrimitive(QStyle::PE_IndicatorCheckBox, &copy, &painter, widget);
    return image;
}

// The family to ask Qt for, for a Windows face name: the face itself when it
// is installed, else the first installed of its metric-compatible stand-ins,
// else the face, left to Qt and fontconfig to stand in for. Asked for by a
// face that is not installed, Qt has fontconfig sort every font on the
// system for the stand-in, again for each style and script it is drawn in;
// worked out here once per face, from the list of installed families.
QString installedFamily(const QString& face) {
    static QHash<QString, QString> resolved;
    if (const auto it = resolved.constFind(face); it != resolved.constEnd()) return *it;
    static const QStringList families = QFontDatabase::families();
    const auto installed = [](const QString& family) {
        return families.contains(family, Qt::CaseInsensitive);
    };
    static const QHash<QString, QStringList> standIns = {
        {QStringLiteral("arial"),
         {QStringLiteral("Liberation Sans"), QStringLiteral("Arimo"),
          QStringLiteral("Albany AMT")}},
        {QStringLiteral("times new roman"),
         {QStringLiteral("Liberation Serif"), QStringLiteral("Tinos"),
          QStringLiteral("Thorndale AMT")}},
    };
    QString family = face;
    if (!installed(face)) {
        for (const QString& standIn : standIns.value(face.toLower())) {
            if (installed(standIn)) {
                family = standIn;
                break;
            }
        }
    }
    resolved.insert(face, family);
    return family;
}

}  // namespace

ClassicStyle::ClassicStyle() : QProxyStyle(QStyleFactory::create(QStringLiteral("Windows"))) {}

void ClassicStyle::drawPrimitive(PrimitiveElement element, const QStyleOption* option,
                                 QPainter* painter, const QWidget* widget) const {
    if (element == PE_IndicatorCheckBox && (option->state & State_NoChange)) {
        // An indeterminate box is drawn grayed: the base style's dithered
        // box, with the check mark in grey where it would draw it black.
        // The mark is where the checked and unchecked drawings differ.
        const qreal ratio = painter->device() ? painter->device()->devicePixelRatioF() : 1.0;
        const State plain = option->state & ~(State_NoChange | State_On | State_Off);
        QImage grayed = indicator(baseStyle(), option, option->state, ratio, widget);
        const QImage on = indicator(baseStyle(), option, plain | State_On, ratio, widget);
        const QImage off = indicator(baseStyle(), option, plain | State_Off, ratio, widget);
        const QRgb grey = option->palette.dark().color().rgb();
        for (int y = 0; y < grayed.height(); ++y) {
            for (int x = 0; x < grayed.width(); ++x) {
                if (on.pixel(x, y) != off.pixel(x, y)) grayed.setPixel(x, y, grey);
            }
        }
        painter->drawImage(option->rect.topLeft(), grayed);
        return;
    }
    QProxyStyle::drawPrimitive(element, option, painter, widget);
}

int ClassicStyle::styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                            QStyleHintReturn* returnData) const {
    if (hint == SH_LineEdit_PasswordCharacter) {
        if (widget) {
            QVariant own = widget->property("PasswordChar");
            if (own.isValid() && !own.toString().isEmpty()) return own.toString().at(0).unicode();
        }
        return u'*';
    }
    return QProxyStyle::styleHint(hint, option, widget, returnData);
}

namespace classic {

QPalette palette() {
    const QColor face(kFace);
    const QColor white(255, 255, 255);
    const QColor black(0, 0, 0);
    const QColor grey(128, 128, 128);
    QPalette p;
    for (QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
        const bool disabled = group == QPalette::Disabled;
        p.setColor(group, QPalette::Window, face);
        p.setColor(group, QPalette::Button, face);
        p.setColor(group, QPalette::Light, white);
        p.setColor(group, QPalette::Midlight, QColor(223, 223, 223));
        p.setColor(group, QPalette::Mid, QColor(160, 160, 160));
        p.setColor(group, QPalette::Dark, grey);
        p.setColor(group, QPalette::Shadow, black);
        p.setColor(group, QPalette::Base, disabled ? face : white);
        p.setColor(group, QPalette::AlternateBase, face);
        p.setColor(group, QPalette::WindowText, disabled ? grey : black);
        p.setColor(group, QPalette::ButtonText, disabled ? grey : black);
        p.setColor(group, QPalette::Text, disabled ? grey : black);
        p.setColor(group, QPalette::BrightText, white);
        p.setColor(group, QPalette::Highlight, QColor(0, 0, 128));
        p.setColor(group, QPalette::HighlightedText, white);
        p.setColor(group, QPalette::ToolTipBase, QColor(255, 255, 225));
        p.setColor(group, QPalette::ToolTipText, black);
        p.setColor(group, QPalette::Link, QColor(0, 0, 255));
        p.setColor(group, QPalette::PlaceholderText, grey);
    }
    return p;
}

QFont font(const QString& face, double points, bool bold) {
    QFont f(installedFamily(face));
    f.setPointSizeF(points);
    f.setBold(bold);
    return f;
}

QFont defaultFont() {
    // The system's dialog font, MS Sans Serif, has no free stand-in of the
    // same widths; Arial's (Liberation Sans) keeps the texts inside the
    // widths they were laid out for.
    return font(QStringLiteral("Arial"), 8.25);
}

void install() {
    QApplication::setStyle(new ClassicStyle);
    QApplication::setPalette(palette());
    QApplication::setFont(defaultFont());
}

}  // namespace classic

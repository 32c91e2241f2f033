#include "controls/accessibility.h"

#include <QAccessibleWidget>
#include <QLabel>

namespace {

// The property that holds a widget's role, as an int.
constexpr const char* kRole = "knobwiseAccessibleRole";

class LinkAccessible : public QAccessibleWidget {
  public:
    explicit LinkAccessible(QWidget* label) : QAccessibleWidget(label, QAccessible::Link) {}

    QString text(QAccessible::Text t) const override {
        if (t == QAccessible::Name && widget()->accessibleName().isEmpty()) {
            if (const auto* label = qobject_cast<const QLabel*>(widget())) return label->text();
        }
        return QAccessibleWidget::text(t);
    }

    QStringList actionNames() const override {
        return QStringList(pressAction()) + QAccessibleWidget::actionNames();
    }

    void doAction(const QString& action) override {
        if (action != pressAction()) {
            QAccessibleWidget::doAction(action);
            return;
        }
        // From the event loop, as Qt's buttons press: the click may show a
        // message box, and whoever pressed must have its answer first.
        QMetaObject::invokeMethod(widget(), "Click", Qt::QueuedConnection);
    }
};

QAccessibleInterface* describe(const QString&, QObject* object) {
    const QVariant role = object ? object->property(kRole) : QVariant();
    if (!role.isValid() || !object->isWidgetType()) return nullptr;
    auto* widget = static_cast<QWidget*>(object);
    switch (static_cast<accessibility::Role>(role.toInt())) {
        case accessibility::Role::Graphic:
            return new QAccessibleWidget(widget, QAccessible::Graphic);
        case accessibility::Role::Link:
            return new LinkAccessible(widget);
    }
    return nullptr;
}

}  // namespace

namespace accessibility {

void describeAs(QWidget* widget, Role role) {
    static const bool installed = (QAccessible::installFactory(describe), true);
    (void)installed;
    widget->setProperty(kRole, static_cast<int>(role));
}

}  // namespace accessibility

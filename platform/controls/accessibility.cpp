#include "controls/accessibility.h"

#include <QAccessibleWidget>

#include "controls/image.h"
#include "controls/label.h"
#include "controls/picturebox.h"

namespace {

class LinkAccessible : public QAccessibleWidget {
  public:
    explicit LinkAccessible(Label* label) : QAccessibleWidget(label, QAccessible::Link) {}

    QString text(QAccessible::Text t) const override {
        if (t == QAccessible::Name && widget()->accessibleName().isEmpty()) {
            return label()->Caption();
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
        QMetaObject::invokeMethod(label(), &Label::Click, Qt::QueuedConnection);
    }

  private:
    Label* label() const { return static_cast<Label*>(widget()); }
};

QAccessibleInterface* describe(const QString&, QObject* object) {
    if (qobject_cast<Image*>(object) || qobject_cast<PictureBox*>(object)) {
        return new QAccessibleWidget(static_cast<QWidget*>(object), QAccessible::Graphic);
    }
    auto* label = qobject_cast<Label*>(object);
    if (label && label->isLink()) return new LinkAccessible(label);
    return nullptr;
}

}  // namespace

namespace accessibility {

void install() {
    static const bool installed = (QAccessible::installFactory(describe), true);
    (void)installed;
}

}  // namespace accessibility

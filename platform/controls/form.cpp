#include "controls/form.h"

#include <QCloseEvent>
#include <QEventLoop>
#include <QShowEvent>
#include <QVariant>
#include <algorithm>
#include <utility>
#include <vector>

#include "controls/mouse.h"
#include "controls/taskbar.h"
#include "controls/twips.h"

namespace {

Form::ModalHandler& modalHandler() {
    static Form::ModalHandler h;
    return h;
}

constexpr const char* kTabIndex = "TabIndex";

// The controls that have a place in the focus sequence, in its order. Each
// index is read once: reading a dynamic property looks it up by name.
std::vector<QWidget*> inTabOrder(const QWidget* window) {
    std::vector<std::pair<int, QWidget*>> indexed;
    for (QWidget* w : window->findChildren<QWidget*>()) {
        if (const int index = Form::TabIndex(w); index >= 0) indexed.emplace_back(index, w);
    }
    std::stable_sort(indexed.begin(), indexed.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    std::vector<QWidget*> controls;
    controls.reserve(indexed.size());
    for (const auto& entry : indexed) controls.push_back(entry.second);
    return controls;
}

// Shown with the window, enabled, and reached with the Tab key.
bool canTakeFocus(const QWidget* control, const QWidget* window) {
    const QWidget* target = control->focusProxy() ? control->focusProxy() : control;
    return control->isVisibleTo(window) && control->isEnabled() &&
           (target->focusPolicy() & Qt::TabFocus);
}

}  // namespace

Form::Form(QWidget* owner, Qt::WindowFlags flags) : QWidget(owner, flags) {
    setMouseTracking(true);
}

Form::~Form() {
    if (modalLoop_) modalLoop_->quit();
}

void Form::Load() {
    if (loaded_) return;
    loaded_ = true;
    Form_Load();
}

void Form::Show() {
    Load();
    show();
}

void Form::ShowModal() {
    Load();
    if (modalHandler()) {
        modalHandler()(*this);
        return;
    }
    QEventLoop loop;
    modalLoop_ = &loop;
    setWindowModality(Qt::ApplicationModal);
    show();
    loop.exec();
    modalLoop_ = nullptr;
}

void Form::Unload() {
    close();
    if (modalLoop_) modalLoop_->quit();
}

void Form::setTabIndex(QWidget* control, int index) {
    control->setProperty(kTabIndex, index);
}

int Form::TabIndex(const QWidget* control) {
    QVariant v = control->property(kTabIndex);
    return v.isValid() ? v.toInt() : -1;
}

void Form::setModalHandler(ModalHandler handler) {
    modalHandler() = std::move(handler);
}

void Form::setClientSize(int width, int height) {
    setFixedSize(twips::px(width), twips::px(height));
}

void Form::applyTabIndexes() {
    std::vector<QWidget*> controls = inTabOrder(this);
    // The chain is a ring: after the last comes the first again.
    for (size_t i = 0; i + 1 < controls.size(); ++i) setTabOrder(controls[i], controls[i + 1]);
}

void Form::mouseMoveEvent(QMouseEvent* event) {
    QWidget::mouseMoveEvent(event);
    mouse::Move m = mouse::move(event);
    emit MouseMove(m.button, m.shift, m.x, m.y);
}

void Form::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (event->spontaneous()) return;
    // Qt would start at the first control created; the window starts at
    // its first in tab order. The focus is taken when the window becomes
    // active.
    if (!focusWidget()) {
        for (QWidget* control : inTabOrder(this)) {
            if (!canTakeFocus(control, this)) continue;
            control->setFocus(Qt::TabFocusReason);
            break;
        }
    }
    // Set on the native window before it is mapped, where the window
    // manager reads it.
    if (!showInTaskbar_) taskbar::leaveOff(this);
}

void Form::closeEvent(QCloseEvent* event) {
    QWidget::closeEvent(event);
    if (event->isAccepted() && modalLoop_) modalLoop_->quit();
}

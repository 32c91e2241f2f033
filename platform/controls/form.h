// A window of the program: loaded once (its Form_Load runs before it is
// first shown), shown modeless or modally, and unloaded. Positions and
// sizes of what it holds are in twips.
#pragma once

#include <QString>
#include <QWidget>
#include <functional>

class QEventLoop;

class Form : public QWidget {
    Q_OBJECT

  public:
    explicit Form(QWidget* owner = nullptr, Qt::WindowFlags flags = Qt::Window);
    ~Form() override;

    // Raises the load event unless it has been raised already.
    void Load();
    bool Loaded() const { return loaded_; }

    // Loads the window if need be and shows it.
    void Show();
    // Loads the window if need be, shows it modally and returns once it has
    // been unloaded.
    void ShowModal();
    // Closes the window and ends a modal showing.
    void Unload();

    QString Tag() const { return tag_; }
    void setTag(const QString& tag) { tag_ = tag; }

    // Whether the desktop's taskbar lists the window while it is shown.
    bool ShowInTaskbar() const { return showInTaskbar_; }
    void setShowInTaskbar(bool show) { showInTaskbar_ = show; }

    // The control whose place in the focus sequence is `index` (0 first).
    static void setTabIndex(QWidget* control, int index);
    static int TabIndex(const QWidget* control);

    // What a test puts in place of a modal showing: it gets the window
    // (already loaded, not shown) and plays the user; ShowModal returns
    // when it does. An empty function restores the real showing.
    using ModalHandler = std::function<void(Form&)>;
    static void setModalHandler(ModalHandler handler);

  signals:
    // The mouse moved over the window's own surface.
    void MouseMove(int button, int shift, float x, float y);

  protected:
    // The load event.
    virtual void Form_Load() {}

    // Makes the client area this large (in twips) and not resizable.
    void setClientSize(int width, int height);
    // Orders the focus sequence by the controls' tab indexes. The window
    // opens with the focus on the first control of that order that can take
    // it then.
    void applyTabIndexes();

    void mouseMoveEvent(QMouseEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;

  private:
    QString tag_;
    bool loaded_ = false;
    bool showInTaskbar_ = true;
    QEventLoop* modalLoop_ = nullptr;
};

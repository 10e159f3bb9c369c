#pragma once

// A screen's window: the life the screens were written for. Load runs the load handler once;
// the first and every later activation reach Form_Activate; Unload (from OK, Cancel, Close or
// the window's close box) runs Form_Unload exactly once and ends the modal show.

#include <QDialog>
#include <QLabel>

#include <type_traits>
#include <utility>

class QEventLoop;

namespace tesr {

class Form : public QDialog {
    Q_OBJECT
public:
    explicit Form(QWidget* parent = nullptr);
    ~Form() override;

    void Load();
    // Shows the form modally with no owner window; returns when it has been unloaded.
    void ShowModal();
    void Unload();
    bool IsLoaded() const { return m_loaded; }
    bool IsUnloaded() const { return m_unloaded; }
    void setVisible(bool visible) override; // hidden, by any path, ends the modal show

    // Let pending window messages through (the screens do this before their first load).
    static void DoEvents();
    // The window a screen or message opened now comes from, which it is kept over.
    static QWidget* OpeningWindow();

protected:
    // The window's name, caption, the screens' typeface (Verdana 9.75 pt) and design size.
    void SetupWindow(const char* objectName, const char* caption, int designWidth, int designHeight);
    // For Form_Activate: true once only, on the first activation, after the pending window
    // messages were let through (the window is drawn before anything is read) and only if the
    // form is still loaded then.
    bool FirstActivation();
    // A control of the form, named: `new W(args..., this)` with its objectName set. A label
    // shows plain text: it may be given database text (a name), which must never render as HTML.
    template <class W, class... Args> W* Make(const char* objectName, Args&&... args)
    {
        auto* w = new W(std::forward<Args>(args)..., this);
        w->setObjectName(QString::fromLatin1(objectName));
        if constexpr (std::is_base_of_v<QLabel, W>)
            w->setTextFormat(Qt::PlainText);
        return w;
    }

    virtual void Form_Load() {}
    virtual void Form_Activate() {}
    virtual void Form_Unload() {}

    bool event(QEvent* e) override;
    void showEvent(QShowEvent* e) override;
    void paintEvent(QPaintEvent* e) override;
    void reject() override; // Escape and the close box unload like the window's close box

private:
    void activate();

    // How long the first activation waits for the window to be drawn.
    static constexpr int FirstPaintWaitMs = 1000;

    bool m_loaded = false;
    bool m_painted = false;
    QEventLoop* m_paintWait = nullptr;
    bool m_unloaded = false;
    bool m_activationPending = false;
    bool m_firstActivationSeen = false;
    QEventLoop* m_modalLoop = nullptr; // while ShowModal waits for the form's end
};

} // namespace tesr

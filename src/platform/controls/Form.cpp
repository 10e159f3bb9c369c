#include "platform/controls/Form.h"

#include <QApplication>
#include <QCoreApplication>
#include <QEventLoop>
#include <QFont>
#include <QPointer>
#include <QTimer>
#include <QWindow>

namespace tesr {

Form::Form(QWidget* parent) : QDialog(parent)
{
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    setSizeGripEnabled(false);
}

Form::~Form()
{
    if (m_modalLoop) // released while shown: ShowModal returns (QDialog's own hide cannot reach it)
        m_modalLoop->exit();
}

void Form::SetupWindow(const char* objectName, const char* caption, int designWidth, int designHeight)
{
    setObjectName(QString::fromLatin1(objectName));
    setWindowTitle(QString::fromLatin1(caption));
    QFont f(QStringLiteral("Verdana"));
    f.setPointSizeF(9.75);
    setFont(f);
    resize(designWidth, designHeight);
}

void Form::Load()
{
    if (m_loaded)
        return;
    m_loaded = true;
    Form_Load();
}

void Form::ShowModal()
{
    Load();
    if (m_unloaded)
        return;
    setWindowModality(Qt::ApplicationModal);
    // The form has no owner, but a window manager keeps a window over the one it is transient
    // for, and only over that one: the window it was opened from.
    if (QWidget* opener = OpeningWindow(); opener && opener != this) {
        winId();
        if (QWindow* parent = opener->window()->windowHandle())
            windowHandle()->setTransientParent(parent);
    }
    setAttribute(Qt::WA_ShowModal, true);
    show();
    // A loop of its own rather than QDialog::exec(): exec starts its loop after show() and
    // misses a hide that came during it (a form unloaded by a show or activation handler), so
    // it would run on behind no window. This one is not entered then, and ends at any hide.
    if (m_unloaded || !isVisible())
        return;
    QEventLoop loop;
    m_modalLoop = &loop;
    const QPointer<Form> alive(this);
    loop.exec(QEventLoop::DialogExec);
    if (alive)
        m_modalLoop = nullptr;
}

void Form::setVisible(bool visible)
{
    QDialog::setVisible(visible);
    if (!visible && m_modalLoop)
        m_modalLoop->exit();
}

QWidget* Form::OpeningWindow()
{
    // The innermost modal window is the one working (a screen opens another from its own
    // handlers, its first activation included, before it is the active window); else the
    // host's window the user works in.
    if (QWidget* modal = QApplication::activeModalWidget())
        return modal;
    return QApplication::activeWindow();
}

void Form::Unload()
{
    if (!m_unloaded) {
        m_unloaded = true;
        Form_Unload();
    }
    QDialog::done(QDialog::Rejected);
}

bool Form::FirstActivation()
{
    if (m_firstActivationSeen)
        return false;
    m_firstActivationSeen = true;
    DoEvents();
    // On a desktop the window system puts a new window on the screen a moment after it was
    // asked to (the window manager frames it first): the data is read once the window has
    // been drawn, or after a short while at most, never into a window nobody sees yet.
    if (!m_painted && !m_unloaded && isVisible()) {
        QEventLoop wait;
        m_paintWait = &wait;
        QTimer::singleShot(FirstPaintWaitMs, &wait, &QEventLoop::quit);
        wait.exec();
        m_paintWait = nullptr;
    }
    return !m_unloaded;
}

void Form::paintEvent(QPaintEvent* e)
{
    QDialog::paintEvent(e);
    m_painted = true;
    // Once the painting is on the screen (it is flushed right after the paint events).
    if (m_paintWait)
        QTimer::singleShot(0, m_paintWait, &QEventLoop::quit);
}

void Form::DoEvents()
{
    QCoreApplication::processEvents(QEventLoop::AllEvents);
}

bool Form::event(QEvent* e)
{
    if (e->type() == QEvent::WindowActivate)
        activate();
    return QDialog::event(e);
}

void Form::showEvent(QShowEvent* e)
{
    QDialog::showEvent(e);
    // Some platforms (offscreen among them) do not always report the activation of a
    // window shown modally; the first show counts as an activation then.
    if (!m_activationPending) {
        m_activationPending = true;
        QTimer::singleShot(0, this, [this] {
            m_activationPending = false;
            if (isVisible())
                activate();
        });
    }
}

void Form::activate()
{
    if (!m_unloaded)
        Form_Activate();
}

void Form::reject()
{
    Unload();
}

} // namespace tesr

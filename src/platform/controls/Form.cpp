#include "platform/controls/Form.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QFont>
#include <QPointer>
#include <QTimer>

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
    return !m_unloaded;
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

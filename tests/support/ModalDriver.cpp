#include "support/ModalDriver.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QMessageBox>
#include <QTest>

namespace tesrtest {

bool matches(const QWidget* w, const QString& nameOrClass)
{
    return w && (w->objectName() == nameOrClass || w->inherits(nameOrClass.toLatin1().constData()));
}

ModalDriver::ModalDriver(int stepTimeoutMs) : m_timeoutMs(stepTimeoutMs)
{
    m_poll.setInterval(10);
    connect(&m_poll, &QTimer::timeout, this, &ModalDriver::poll);
}

ModalDriver::~ModalDriver()
{
    m_poll.stop();
}

ModalDriver& ModalDriver::expect(const QString& nameOrClass, Action action)
{
    m_steps.push_back({nameOrClass, std::move(action)});
    if (!m_poll.isActive()) {
        m_stepStarted = QDateTime::currentMSecsSinceEpoch();
        m_poll.start();
    }
    return *this;
}

void ModalDriver::poll()
{
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    QWidget* modal = QApplication::activeModalWidget();
    if (m_running) {
        // An action is under way (it may have opened a nested modal window: that is the
        // next step's business). Only the watchdog applies.
    } else if (!m_steps.empty() && modal && modal->isVisible() && matches(modal, m_steps.front().name)) {
        // A user works in the window that has the focus. A window manager may leave a new
        // window unfocused for a moment (or for good, when it judges the window to steal the
        // focus): ask for it once, and act when it has come.
        // A popup (the calendar) takes the input without becoming the active window.
        if (QApplication::activeWindow() != modal && QApplication::activePopupWidget() != modal) {
            if (!m_activationAsked) {
                m_activationAsked = true;
                modal->activateWindow();
            }
            if (now - m_stepStarted <= m_timeoutMs)
                return;
        }
        m_activationAsked = false;
        Step step = std::move(m_steps.front());
        m_steps.pop_front();
        m_running = true;
        QPointer<QWidget> target(modal);
        QTimer::singleShot(0, this, [this, step, target] {
            if (target)
                step.action(target);
            m_running = false;
            m_stepStarted = QDateTime::currentMSecsSinceEpoch();
        });
        return;
    } else if (m_steps.empty()) {
        if (modal && modal->isVisible()) {
            fail(QStringLiteral("unexpected modal window '%1' (%2)")
                     .arg(modal->objectName(), QString::fromLatin1(modal->metaObject()->className())));
            closeAllModals();
        } else {
            m_poll.stop();
        }
        return;
    }
    if (now - m_stepStarted > m_timeoutMs) {
        QString waitingFor = m_steps.empty() ? QStringLiteral("(an action to finish)") : m_steps.front().name;
        QString current =
            modal ? modal->objectName() + QLatin1Char('/') + QString::fromLatin1(modal->metaObject()->className())
                  : QStringLiteral("none");
        fail(QStringLiteral("watchdog: waited %1 ms for '%2'; active modal: %3")
                 .arg(m_timeoutMs)
                 .arg(waitingFor, current));
        m_steps.clear();
        closeAllModals();
        m_stepStarted = now;
    }
}

void ModalDriver::fail(const QString& why)
{
    m_failure << why;
    qWarning("ModalDriver: %s", qPrintable(why));
}

void ModalDriver::closeAllModals()
{
    for (int guard = 0; guard < 20; ++guard) {
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal)
            return;
        if (auto* dialog = qobject_cast<QDialog*>(modal))
            dialog->reject();
        else
            modal->close();
        if (QApplication::activeModalWidget() == modal)
            modal->hide();
    }
}

bool ModalDriver::waitDone(int timeoutMs)
{
    QElapsedTimer t;
    t.start();
    while (!finished() && t.elapsed() < timeoutMs)
        QTest::qWait(10);
    return ok();
}

void clickButton(QWidget* window, const QString& objectName)
{
    auto* button = window->findChild<QAbstractButton*>(objectName);
    if (!button) {
        qWarning("clickButton: no button '%s' in '%s'", qPrintable(objectName), qPrintable(window->objectName()));
        return;
    }
    QTest::mouseClick(button, Qt::LeftButton);
}

void answerMessageBox(QWidget* box, int standardButton)
{
    auto* mb = qobject_cast<QMessageBox*>(box);
    if (!mb) {
        qWarning("answerMessageBox: not a QMessageBox");
        return;
    }
    QAbstractButton* b = mb->button(QMessageBox::StandardButton(standardButton));
    if (b)
        b->click();
    else
        mb->reject();
}

QString messageBoxText(QWidget* box)
{
    auto* mb = qobject_cast<QMessageBox*>(box);
    return mb ? mb->text() : QString();
}

} // namespace tesrtest

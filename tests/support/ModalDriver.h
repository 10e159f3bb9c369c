#pragma once

// Answers the modal windows a test opens. Each step waits for a modal window matching its name
// (objectName, or class name such as "QMessageBox") to become the active modal window, then
// runs its action on it (click OK, type, close...). A watchdog fails the test when a step is
// not reached in time, or a window nobody expected comes up, and closes every modal window so
// the test never waits for a person.

#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <QWidget>

#include <deque>
#include <functional>

class QMessageBox;

namespace tesrtest {

class ModalDriver : public QObject {
    Q_OBJECT
public:
    explicit ModalDriver(int stepTimeoutMs = 5000);
    ~ModalDriver() override;

    using Action = std::function<void(QWidget*)>;
    ModalDriver& expect(const QString& nameOrClass, Action action);

    bool finished() const { return m_steps.empty() && !m_running; }
    QString failure() const { return m_failure.join(QStringLiteral("; ")); }
    bool ok() const { return m_failure.isEmpty() && finished(); }
    // Spins the event loop until every step ran (or the watchdog fired).
    bool waitDone(int timeoutMs = 10000);

private:
    void poll();
    void fail(const QString& why);
    static void closeAllModals();

    struct Step {
        QString name;
        Action action;
    };
    std::deque<Step> m_steps;
    QTimer m_poll;
    int m_timeoutMs;
    qint64 m_stepStarted = 0;
    bool m_running = false;
    bool m_activationAsked = false;
    QStringList m_failure;
};

bool matches(const QWidget* w, const QString& nameOrClass);
// Clicks the named child push button (mouse click through QTest).
void clickButton(QWidget* window, const QString& objectName);
// Presses the message box's button with the given standard role (QMessageBox::Ok...).
void answerMessageBox(QWidget* box, int standardButton);
// Text of a message box (for assertions in actions).
QString messageBoxText(QWidget* box);

} // namespace tesrtest

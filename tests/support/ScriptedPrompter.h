#pragma once

// A prompter a test scripts: the Yes/No questions it expects, in order, each with its answer
// and optionally the headline it must carry. Every call (questions, notices, errors) is kept
// for assertions. A question nobody expected is a failure and is answered No (4).

#include "host/Prompter.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <deque>

namespace tesrtest {

class ScriptedPrompter final : public tesr::host::Prompter {
public:
    static constexpr int Yes = 2;
    static constexpr int No = 4;

    struct Call {
        enum class Kind { Question, Notice, Error };
        Kind kind;
        QString headline;
        QString explanation;
        QString detail; // errors only
        int buttons = 0;
        int icon = 0;
        int answer = 0;
    };

    // The next Yes/No question gets this answer; with a headline, the question must carry it.
    ScriptedPrompter& expectQuestion(int answer, const QString& headline = QString());
    // Shows every message as the host does, in a real message box ("hostMessage") that the
    // test's driver answers; the answer given there is the one returned. For tests of the
    // windows themselves (where they come up, what they show).
    void showOnScreen(bool on) { m_onScreen = on; }

    int ask(const QString& headline, const QString& explanation, int buttons, int icon) override;
    void showError(const QString& headline, const QString& explanation, const QString& detail) override;

    const QList<Call>& calls() const { return m_calls; }
    QList<Call> calls(Call::Kind kind) const;
    QStringList headlines() const;
    // No unexpected or mismatched question, and every expected one asked.
    bool ok() const { return m_failures.isEmpty() && m_expected.empty(); }
    QString failures() const;

private:
    struct Expected {
        int answer;
        QString headline;
    };
    std::deque<Expected> m_expected;
    bool m_onScreen = false;
    QList<Call> m_calls;
    QStringList m_failures;
};

} // namespace tesrtest

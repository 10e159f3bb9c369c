#include "support/ScriptedPrompter.h"

namespace tesrtest {

ScriptedPrompter& ScriptedPrompter::expectQuestion(int answer, const QString& headline)
{
    m_expected.push_back({answer, headline});
    return *this;
}

int ScriptedPrompter::ask(const QString& headline, const QString& explanation, int buttons, int icon)
{
    Call call{Call::Kind::Notice, headline, explanation, QString(), buttons, icon, 1};
    if (m_onScreen) {
        call.kind = buttons == 6 ? Call::Kind::Question : Call::Kind::Notice;
        call.answer = tesr::host::QtPrompter().ask(headline, explanation, buttons, icon);
        m_calls << call;
        return call.answer;
    }
    if (buttons == 6) {
        call.kind = Call::Kind::Question;
        call.answer = No;
        if (m_expected.empty()) {
            m_failures << QStringLiteral("unexpected question \"%1\"").arg(headline);
        } else {
            const Expected next = m_expected.front();
            m_expected.pop_front();
            if (!next.headline.isEmpty() && next.headline != headline)
                m_failures << QStringLiteral("expected the question \"%1\", got \"%2\"").arg(next.headline, headline);
            else
                call.answer = next.answer;
        }
    }
    m_calls << call;
    return call.answer;
}

void ScriptedPrompter::showError(const QString& headline, const QString& explanation, const QString& detail)
{
    m_calls << Call{Call::Kind::Error, headline, explanation, detail, 0, 0, 0};
}

QList<ScriptedPrompter::Call> ScriptedPrompter::calls(Call::Kind kind) const
{
    QList<Call> result;
    for (const Call& c : m_calls)
        if (c.kind == kind)
            result << c;
    return result;
}

QStringList ScriptedPrompter::headlines() const
{
    QStringList result;
    for (const Call& c : m_calls)
        result << c.headline;
    return result;
}

QString ScriptedPrompter::failures() const
{
    QStringList all = m_failures;
    for (const Expected& e : m_expected)
        all << QStringLiteral("question never asked: \"%1\"")
                   .arg(e.headline.isEmpty() ? QStringLiteral("(any)") : e.headline);
    return all.join(QStringLiteral("; "));
}

} // namespace tesrtest

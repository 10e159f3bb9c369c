#pragma once

// Inside the engine adaptation: the one-pass T-SQL rewriter the dialects share, and the
// per-engine factories makeDialect picks from.

#include "ledger/Dialect.h"

#include <QString>
#include <QStringList>
#include <QStringView>

#include <memory>
#include <optional>

namespace tesr::ledger::detail {

// What a dialect changes in T-SQL text. Text inside '...' literals, "..." names and comments is
// never touched.
struct RewriteRules {
    bool split = true;           // one statement per ';' at the top level
    bool topToLimit = false;     // SELECT TOP n ... -> SELECT ... LIMIT n (per SELECT level)
    bool unbracketNames = false; // [Name] -> Name, or "Na me" when it is not a plain name
    // LIKE 'pattern' [ESCAPE 'c'] -> ~* 'regex' (NOT LIKE -> !~*): the T-SQL pattern, classes
    // included, as a case-insensitive regular expression (LikePattern). A pattern that is no
    // literal becomes ILIKE.
    bool likeToRegex = false;
    bool nullsLowest = false; // each ORDER BY item gets NULLS FIRST (ascending) / LAST
    // Table hints WITH (NOLOCK, UPDLOCK, ...) are dropped; with lockHintsForUpdate, a SELECT
    // that asked for an update lock (UPDLOCK, XLOCK) ends in FOR UPDATE instead.
    bool dropLockHints = false;
    bool lockHintsForUpdate = false;
    // When not empty, "dbo.PaymentDetails(" becomes this text and the call's closing ')' gets
    // paymentDetailsClose after it.
    QStringView paymentDetailsOpen;
    QStringView paymentDetailsClose;
};

QStringList rewrite(const QString& command, const RewriteRules& rules);

// What every engine but SQL Server needs: one statement per call, LIMIT instead of TOP, no
// bracketed names, no table hints.
inline RewriteRules portableRules()
{
    RewriteRules rules;
    rules.topToLimit = true;
    rules.unbracketNames = true;
    rules.dropLockHints = true;
    return rules;
}

// What every dialect states as data: the engine, the Qt driver that reaches it, the name shown,
// and the rules its commands are rewritten by (none: a command goes over verbatim and whole).
class DialectBase : public Dialect {
public:
    DialectBase(Engine engine, const QString& qtDriver, const QString& displayName,
                std::optional<RewriteRules> rules = std::nullopt)
        : m_engine(engine), m_qtDriver(qtDriver), m_displayName(displayName), m_rules(rules)
    {}

    Engine engine() const final { return m_engine; }
    QString qtDriver() const final { return m_qtDriver; }
    QString displayName() const final { return m_displayName; }
    QStringList translate(const QString& command) const final;

private:
    Engine m_engine;
    QString m_qtDriver;
    QString m_displayName;
    std::optional<RewriteRules> m_rules;
};

std::unique_ptr<Dialect> makeSqliteDialect();
std::unique_ptr<Dialect> makeSqlServerDialect();
std::unique_ptr<Dialect> makePostgresDialect();

} // namespace tesr::ledger::detail

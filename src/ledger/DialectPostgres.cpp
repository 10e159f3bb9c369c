#include "ledger/DialectImpl.h"

#include <algorithm>

// PostgreSQL: one statement per call, LIMIT instead of TOP, no bracketed names, T-SQL's
// case-blind Like as a case-insensitive regular expression (its [...] classes and a plain
// backslash included), NULLs sorted as the lowest value, FOR UPDATE for an update-lock hint.
// The details function exists under the same name there (schema dbo, first on the search path
// with the tables), so calls to it stay as written. Names come back folded to lower case, and
// a failed statement ends the transaction's work: the connection makes up for both.

namespace tesr::ledger::detail {
namespace {

RewriteRules postgresRules()
{
    RewriteRules rules = portableRules();
    rules.likeToRegex = true;
    rules.nullsLowest = true;
    rules.lockHintsForUpdate = true;
    return rules;
}

class PostgresDialect final : public DialectBase {
public:
    PostgresDialect()
        : DialectBase(Engine::PostgreSQL, QStringLiteral("QPSQL"), QStringLiteral("PostgreSQL"), postgresRules())
    {}

    QStringList sessionSetup() const override
    {
        // Quotes doubled are the only escape in a literal, whatever the server's default: with
        // standard_conforming_strings off a backslash would escape the quote after it, and a
        // memo ending in "\" could end its literal early.
        return {QStringLiteral("SET search_path TO dbo, public"), QStringLiteral("SET DateStyle TO ISO, YMD"),
                QStringLiteral("SET standard_conforming_strings TO on")};
    }
    QString lockWaitStatement(int milliseconds) const override
    {
        return QStringLiteral("SET lock_timeout = ") + QString::number(std::max(0, milliseconds));
    }

    InsertIdMethod insertIdMethod() const override { return InsertIdMethod::Returning; }
    QString insertReturningId(const QString& insertStatement) const override
    {
        return insertStatement + QStringLiteral(" RETURNING ID");
    }

    bool foldsNamesToLowerCase() const override { return true; }
    bool failureAbortsTransaction() const override { return true; }
};

} // namespace

std::unique_ptr<Dialect> makePostgresDialect()
{
    return std::make_unique<PostgresDialect>();
}

} // namespace tesr::ledger::detail

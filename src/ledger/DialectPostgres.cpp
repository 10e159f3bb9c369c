#include "ledger/DialectImpl.h"

#include <algorithm>

// PostgreSQL: one statement per call, LIMIT instead of TOP, no bracketed names. The details
// function can exist under the same name there (schema dbo), so calls to it stay as written.

namespace tesr::ledger::detail {
namespace {

class PostgresDialect final : public Dialect {
public:
    Engine engine() const override { return Engine::PostgreSQL; }
    QString qtDriver() const override { return QStringLiteral("QPSQL"); }
    QString displayName() const override { return QStringLiteral("PostgreSQL"); }

    QStringList translate(const QString& command) const override
    {
        RewriteRules rules;
        rules.split = true;
        rules.topToLimit = true;
        rules.unbracketNames = true;
        return rewrite(command, rules);
    }

    QString beginTransaction() const override { return QStringLiteral("BEGIN"); }
    QString commitTransaction() const override { return QStringLiteral("COMMIT"); }
    QString rollbackTransaction() const override { return QStringLiteral("ROLLBACK"); }
    QString savepoint(const QString& name) const override { return QStringLiteral("SAVEPOINT ") + name; }
    QString releaseSavepoint(const QString& name) const override { return QStringLiteral("RELEASE SAVEPOINT ") + name; }
    QString rollbackToSavepoint(const QString& name) const override
    {
        return QStringLiteral("ROLLBACK TO SAVEPOINT ") + name;
    }

    QStringList sessionSetup() const override { return {}; }
    QString lockWaitStatement(int milliseconds) const override
    {
        return QStringLiteral("SET lock_timeout = ") + QString::number(std::max(0, milliseconds));
    }

    InsertIdMethod insertIdMethod() const override { return InsertIdMethod::Returning; }
    QString insertReturningId(const QString& insertStatement) const override
    {
        return insertStatement + QStringLiteral(" RETURNING ID");
    }
};

} // namespace

std::unique_ptr<Dialect> makePostgresDialect()
{
    return std::make_unique<PostgresDialect>();
}

} // namespace tesr::ledger::detail

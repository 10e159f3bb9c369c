#include "ledger/DialectImpl.h"

#include <algorithm>

// SQL Server is the engine the statements are written for: every command goes over verbatim
// and whole, as one batch.

namespace tesr::ledger::detail {
namespace {

class SqlServerDialect final : public DialectBase {
public:
    SqlServerDialect() : DialectBase(Engine::SqlServer, QStringLiteral("QODBC"), QStringLiteral("SQL Server")) {}

    Command prepareCommand(const QString& command) const override
    {
        Command prepared;
        prepared.statements = translate(command);
        prepared.compound = splitStatements(command).size() > 1;
        return prepared;
    }

    QString beginTransaction() const override { return QStringLiteral("BEGIN TRANSACTION"); }
    QString commitTransaction() const override { return QStringLiteral("COMMIT TRANSACTION"); }
    QString rollbackTransaction() const override { return QStringLiteral("ROLLBACK TRANSACTION"); }
    QString savepoint(const QString& name) const override { return QStringLiteral("SAVE TRANSACTION ") + name; }
    QString releaseSavepoint(const QString&) const override { return QString(); } // T-SQL has none
    QString rollbackToSavepoint(const QString& name) const override
    {
        return QStringLiteral("ROLLBACK TRANSACTION ") + name;
    }

    QStringList sessionSetup() const override { return {}; }
    QString lockWaitStatement(int milliseconds) const override
    {
        return QStringLiteral("SET LOCK_TIMEOUT ") + QString::number(std::max(0, milliseconds));
    }

    InsertIdMethod insertIdMethod() const override { return InsertIdMethod::TrailingSelect; }
    QString insertReturningId(const QString& insertStatement) const override
    {
        return insertStatement + QStringLiteral("; SELECT CAST(SCOPE_IDENTITY() AS int)");
    }
};

} // namespace

std::unique_ptr<Dialect> makeSqlServerDialect()
{
    return std::make_unique<SqlServerDialect>();
}

} // namespace tesr::ledger::detail

#include "ledger/DialectImpl.h"

#include <algorithm>

// SQLite reads most of the module's T-SQL as it is. What differs: one statement per call,
// LIMIT instead of TOP, no bracketed names, no table hints (a writer holds the whole file, see
// beginTransaction), and the payment details come from a view rather than a scalar function. Sessions run in WAL mode
// so that readers never wait for a writer.

namespace tesr::ledger::detail {
namespace {

RewriteRules sqliteRules()
{
    RewriteRules rules = portableRules();
    rules.paymentDetailsOpen = u"(SELECT Details FROM vwPaymentDetails WHERE PaymentID = (";
    rules.paymentDetailsClose = u")";
    return rules;
}

class SqliteDialect final : public DialectBase {
public:
    SqliteDialect() : DialectBase(Engine::SQLite, QStringLiteral("QSQLITE"), QStringLiteral("SQLite"), sqliteRules()) {}

    // IMMEDIATE takes the write lock at once: a second writer waits (busy timeout) here rather
    // than failing later when its first write would need to upgrade a read lock.
    QString beginTransaction() const override { return QStringLiteral("BEGIN IMMEDIATE"); }

    QStringList sessionSetup() const override { return {QStringLiteral("PRAGMA journal_mode = WAL")}; }
    QString lockWaitStatement(int milliseconds) const override
    {
        return QStringLiteral("PRAGMA busy_timeout = ") + QString::number(std::max(0, milliseconds));
    }

    InsertIdMethod insertIdMethod() const override { return InsertIdMethod::DriverLastInsertId; }
    QString insertReturningId(const QString& insertStatement) const override { return insertStatement; }
};

} // namespace

std::unique_ptr<Dialect> makeSqliteDialect()
{
    return std::make_unique<SqliteDialect>();
}

} // namespace tesr::ledger::detail

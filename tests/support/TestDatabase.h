#pragma once

// A company database for one test, on the engine the test program runs on: a real SQLite file
// in a temporary folder, or (in a test's PostgreSQL variant) a database of its own on the test
// cluster, created for the test and dropped after it. It holds the whole schema; builders add
// the rows a test needs (through the same T-SQL path as the module's statements; allocations
// through the real apply statement) and readers serve assertions.
// A builder that fails stops the program with the engine's words: a test never goes on with
// a fixture it did not get.
//
// The engine: TESR_TEST_ENGINE=postgresql selects PostgreSQL, whose server is named by
// TESR_TEST_PG_URL (a URL of a user who may create databases, such as the one
// scripts/pg-cluster.sh prints). Without that URL a PostgreSQL run fails; it never falls back.

#include "ledger/Dialect.h"
#include "platform/Ado.h"
#include "platform/SqlConnection.h"
#include "values/Currency.h"
#include "values/OleDate.h"

#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QVariant>

#include <memory>

namespace tesrtest {

// A temporary folder under the test's own scratch folder (TESR_TEST_TMP) when there is one.
std::unique_ptr<QTemporaryDir> makeTempDir();

// The engine this test program's databases are made on.
tesr::ledger::Engine testEngine();
inline bool onPostgres()
{
    return testEngine() == tesr::ledger::Engine::PostgreSQL;
}
// "SQLite" or "PostgreSQL", for messages.
QString testEngineName();

// A new database of its own on the test engine, empty or with the company schema, removed
// when destroyed (a PostgreSQL database is dropped even while sessions still use it).
class ScratchDatabase {
public:
    enum class Contents { Empty, Schema };
    explicit ScratchDatabase(Contents contents = Contents::Schema);
    ~ScratchDatabase();
    ScratchDatabase(const ScratchDatabase&) = delete;
    ScratchDatabase& operator=(const ScratchDatabase&) = delete;

    tesr::ledger::Engine engine() const { return m_engine; }
    // What a host configuration names: the SQLite file's path, or the PostgreSQL URL.
    QString url() const { return m_url; }
    tesr::DatabaseUrl databaseUrl(int busyTimeoutMs = 5000) const;
    // A temporary folder of its own, for any files a test writes (the SQLite file lives here).
    QString folder() const { return m_dir->path(); }

private:
    tesr::ledger::Engine m_engine;
    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_url;
    QString m_serverName;
};

class TestDatabase {
public:
    TestDatabase();
    ~TestDatabase();
    TestDatabase(const TestDatabase&) = delete;
    TestDatabase& operator=(const TestDatabase&) = delete;

    // What the host's configuration names for this database: a SQLite path, or a URL.
    QString url() const { return m_scratch->url(); }
    tesr::ledger::Engine engine() const { return m_scratch->engine(); }
    QString folder() const { return m_scratch->folder(); }
    // The builders' own connection (open for the life of the fixture; no transaction).
    tesr::Connection& connection() { return *m_conn; }
    std::unique_ptr<tesr::Connection> openConnection() const;

    int addPaymentMethod(const QString& name, int methodType = 0);
    int addCustomer(const QString& name, bool active = true, int salesRepId = 1);
    // An order whose Balance is its total and Payments 0 (state 3 = order, 2 = sale).
    int addOrder(int customerId, const QString& uniqueId, tesr::Currency total, int state = 3, int statusCode = 0,
                 const QString& orderNumber = QString(), const QString& sidemark = QString(),
                 tesr::Currency deposit = tesr::Currency());
    // An unallocated payment received at the given universal time.
    int addPayment(int customerId, tesr::Currency amount, int methodId, const tesr::OleDate& dateUtc,
                   const QString& description = QString(), const QString& cardNumber = QString(),
                   const QString& nameOnCard = QString(), int expireMonth = 0, int expireYear = 0);
    // Applies an amount of a payment to an order through the apply-allocation statement.
    void allocate(int paymentId, const QString& orderUniqueId, tesr::Currency amount);

    // Runs a T-SQL command (fatal on failure).
    void exec(const QString& command);
    // Makes the engine refuse a write, to test how a failure is handled: every `event`
    // (INSERT, UPDATE or DELETE) on the table fails with the message, or only the rows for
    // which `condition` holds (an SQL expression over NEW, or OLD for DELETE). Engine-native
    // underneath (a trigger); allowWrites() takes every such refusal back.
    void refuseWrites(const QString& event, const QString& table, const QString& message,
                      const QString& condition = QString());
    void allowWrites();
    // Readers: the first value of the first row (invalid when there is no row).
    QVariant scalar(const QString& statement);
    tesr::Currency money(const QString& statement);
    int count(const QString& statement);

    static QString quoted(const QString& text); // 'text' with its quotes doubled

private:
    [[noreturn]] void fail(const QString& what, const QString& statement) const;
    int insert(const QString& statement);

    std::unique_ptr<ScratchDatabase> m_scratch;
    std::unique_ptr<tesr::Connection> m_conn;
    QStringList m_refusals;
};

} // namespace tesrtest

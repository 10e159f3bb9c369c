#pragma once

// A company database for one test: a real SQLite file in a temporary folder with the whole
// schema, builders for the rows a test needs (through the same T-SQL path as the module's
// statements; allocations through the real apply statement) and readers for assertions.
// A builder that fails stops the program with the engine's words: a test never goes on with
// a fixture it did not get.

#include "platform/Ado.h"
#include "values/Currency.h"
#include "values/OleDate.h"

#include <QString>
#include <QTemporaryDir>
#include <QVariant>

#include <memory>

namespace tesrtest {

// A temporary folder under the test's own scratch folder (TESR_TEST_TMP) when there is one.
std::unique_ptr<QTemporaryDir> makeTempDir();

class TestDatabase {
public:
    TestDatabase();
    ~TestDatabase();
    TestDatabase(const TestDatabase&) = delete;
    TestDatabase& operator=(const TestDatabase&) = delete;

    QString path() const { return m_path; }
    QString folder() const { return m_dir->path(); }
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
    // Readers: the first value of the first row (invalid when there is no row).
    QVariant scalar(const QString& statement);
    tesr::Currency money(const QString& statement);
    int count(const QString& statement);

    static QString quoted(const QString& text); // 'text' with its quotes doubled

private:
    [[noreturn]] void fail(const QString& what, const QString& statement) const;
    int insert(const QString& statement);

    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_path;
    std::unique_ptr<tesr::Connection> m_conn;
};

} // namespace tesrtest

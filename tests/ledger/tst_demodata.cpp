// The demo, scale and extreme-case databases the host and the benchmarks open: the shape they
// promise, the ledger's figures in step everywhere (checked by SQL), and never a file overwritten.

#include "host/DemoData.h"
#include "ledger/LedgerFixture.h"
#include "platform/SqlConnection.h"
#include "support/TestMain.h"

#include <QFile>

namespace {

// Rows that break a rule (to the fourth decimal): 0 each. The one allocation whose order is
// kept elsewhere has no order row to disagree with.
const char* const rules[] = {
    ledgertest::OutOfStep,
    "SELECT COUNT(*) FROM Payments WHERE Amount < 0 OR Allocated < 0",
    "SELECT COUNT(*) FROM PaymentAllocations WHERE Amount <= 0 OR PaymentID NOT IN (SELECT ID FROM Payments)",
    "SELECT COUNT(*) FROM Payments WHERE CustomerID NOT IN (SELECT ID FROM Customers) OR PaymentMethodID NOT IN "
    "(SELECT ID FROM PaymentMethods)",
    "SELECT COUNT(*) FROM Orders WHERE CustomerID NOT IN (SELECT ID FROM Customers) OR (State = 1 AND Payments <> 0)",
    "SELECT COUNT(*) FROM Payments WHERE PaymentDate NOT GLOB "
    "'[0-9][0-9][0-9][0-9]-[0-9][0-9]-[0-9][0-9] [0-9][0-9]:[0-9][0-9]:[0-9][0-9]'",
    "SELECT COUNT(*) FROM Payments WHERE CardNumber <> '' AND PaymentMethodID IN (1, 2)",
};

} // namespace

class TestDemoData : public QObject {
    Q_OBJECT

private slots:
    void databasesKeepTheirPromises()
    {
        auto dir = tesrtest::makeTempDir();
        const QString demo = dir->filePath("demo.db"), scale = dir->filePath("scale.db");
        QString error;
        QVERIFY2(tesr::host::createDemoDatabase(demo, &error) &&
                     tesr::host::createScaleDatabase(scale, 3000, 800, 1000, &error),
                 qPrintable(error));
        auto d = tesr::openCompanyConnection(demo, &error), s = tesr::openCompanyConnection(scale, &error);
        QVERIFY2(d && s, qPrintable(error));
        auto text = [](tesr::Connection& c, const char* sql) { return c.OpenRecordset(sql)->FieldValue(0).toString(); };
        auto count = [](tesr::Connection& c, const QString& sql) {
            return c.OpenRecordset(sql)->FieldValue(0).toInt();
        };
        const char* const sizes =
            "SELECT (SELECT COUNT(*) FROM Customers) || '/' || (SELECT COUNT(*) FROM Orders) || '/' "
            "|| (SELECT COUNT(*) FROM Payments WHERE Allocated = Amount) || '/' || (SELECT "
            "COUNT(*) FROM PaymentAllocations)";
        QCOMPARE(text(*s, sizes), QStringLiteral("3000/800/1000/1000"));
        QCOMPARE(text(*d, sizes).section(u'/', 0, 1), QStringLiteral("200/1000"));
        // The extreme cases, added to the demo: {ID added, statement counting its rows, rows}.
        const std::tuple<int, const char*, int> extremes[] = {
            {tesr::host::addCustomerWithOpenOrders(demo, 40, 10, &error),
             "SELECT COUNT(*) FROM vwScreen_NewPayment WHERE CustomerID = %1 AND (State = 2 OR State = 3) AND "
             "StatusCode <> 500 AND StatusCode <> 1600",
             40},
            {tesr::host::addCustomerWithPayments(demo, 35, &error),
             "SELECT COUNT(*) FROM Payments WHERE CustomerID = %1", 35},
            {tesr::host::addOrderWithAllocations(demo, 30, &error),
             "SELECT COUNT(*) FROM PaymentAllocations a JOIN Orders o ON a.OrderUniqueID = o.UniqueID WHERE o.ID = %1 "
             "AND o.State = 3 AND o.Balance > 0",
             30},
            {tesr::host::addPaymentWithAllocations(demo, 25, &error),
             "SELECT COUNT(*) FROM PaymentAllocations WHERE PaymentID = %1", 25}};
        for (const char* rule : rules)
            QVERIFY2(count(*d, rule) == 0 && count(*s, rule) == 0, rule);
        for (const auto& [id, sql, rows] : extremes)
            QVERIFY2(id > 0 && count(*d, QString::fromLatin1(sql).arg(id)) == rows, sql);
        // Rows of every kind the screens meet.
        const std::pair<const char*, int> atLeast[] = {
            {"SELECT COUNT(*) FROM Payments WHERE Allocated = Amount AND Amount > 0", 100},
            {"SELECT COUNT(*) FROM Payments WHERE Allocated > 0 AND Allocated < Amount", 3},
            {"SELECT COUNT(DISTINCT CustomerID) FROM Payments WHERE Allocated <> Amount", 10},
            {"SELECT COUNT(*) FROM Orders WHERE State IN (2, 3) AND Balance <> 0 AND StatusCode NOT IN (500, 1600)",
             100},
            {"SELECT COUNT(*) FROM Payments WHERE CardNumber <> '' AND NameOnCard <> '' AND PaymentMethodID > 2", 50},
            {"SELECT COUNT(*) FROM Customers WHERE Active = 0", 1},
            {"SELECT COUNT(*) FROM Customers WHERE CustomerName LIKE '%''%'", 1},
            {"SELECT COUNT(*) FROM Orders WHERE StatusCode = 1600", 1}};
        for (const auto& [sql, least] : atLeast)
            QVERIFY2(count(*d, sql) >= least, sql);
        QCOMPARE(text(*d, "SELECT group_concat(PaymentMethod, ', ') FROM (SELECT * FROM PaymentMethods ORDER BY ID)"),
                 QStringLiteral("Cash, Check, Visa, MasterCard, American Express"));
        QCOMPARE(count(*d, "SELECT COUNT(*) FROM PaymentAllocations WHERE OrderUniqueID NOT IN (SELECT UniqueID FROM "
                           "Orders)"),
                 1);
    }

    void neverOverwrites()
    {
        auto dir = tesrtest::makeTempDir();
        const QString path = dir->filePath("company.db");
        QFile existing(path);
        QVERIFY(existing.open(QIODevice::WriteOnly) && existing.write("keep me") == 7);
        existing.close();
        QString error;
        QVERIFY(!tesr::host::createDemoDatabase(path, &error) && error.contains("already exists"));
        QVERIFY(!tesr::host::createScaleDatabase(path, 10, 10, 10, &error));
        QCOMPARE(tesr::host::addCustomerWithPayments(path, 3, &error), 0); // additions need a company database
        QVERIFY2(error.contains("not a SQLite database"), qPrintable(error));
        QVERIFY(existing.open(QIODevice::ReadOnly) && existing.readAll() == "keep me");
        QCOMPARE(tesr::host::addCustomerWithPayments(dir->filePath("missing.db"), 3, &error), 0);
        QVERIFY(!QFile::exists(dir->filePath("missing.db")));
    }
};

TESR_TEST_MAIN(TestDemoData)
#include "tst_demodata.moc"

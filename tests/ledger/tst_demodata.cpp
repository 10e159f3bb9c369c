// The demo, scale and extreme-case databases the host and the benchmarks open: the shape they
// promise, the ledger's figures in step everywhere (checked by SQL), and never a file overwritten.

#include "host/DemoData.h"
#include "ledger/LedgerFixture.h"
#include "platform/SqlConnection.h"
#include "support/TestMain.h"

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
        // The extreme cases, added to the demo, keep the rules too.
        QVERIFY2(tesr::host::addCustomerWithOpenOrders(demo, 40, 10, &error) > 0 &&
                     tesr::host::addCustomerWithPayments(demo, 35, &error) > 0 &&
                     tesr::host::addOrderWithAllocations(demo, 30, &error) > 0 &&
                     tesr::host::addPaymentWithAllocations(demo, 25, &error) > 0,
                 qPrintable(error));
        for (const char* rule : rules)
            QVERIFY2(count(*d, rule) == 0 && count(*s, rule) == 0, rule);
        QCOMPARE(count(*d, "SELECT COUNT(*) FROM PaymentAllocations WHERE OrderUniqueID NOT IN (SELECT UniqueID FROM "
                           "Orders)"),
                 1);
    }
};

TESR_TEST_MAIN(TestDemoData)
#include "tst_demodata.moc"

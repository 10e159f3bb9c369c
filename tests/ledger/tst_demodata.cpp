// The demo, scale and extreme-case databases: the shape promised to the host and the
// benchmarks, and the ledger's three figures in step everywhere, checked by SQL.

#include "host/DemoData.h"

#include "ledger/LedgerFixture.h"
#include "support/TestMain.h"

#include <QDir>
#include <QFile>

using namespace ledgertest;
using tesr::Currency;

namespace {

// Rows that break a rule, by rule (to the fourth decimal). The one allocation whose order is
// kept elsewhere has no order row to disagree with.
const char* const rules[] = {
    "SELECT COUNT(*) FROM Payments p WHERE p.Allocated <> round((SELECT COALESCE(SUM(a.Amount), 0) FROM "
    "PaymentAllocations a WHERE a.PaymentID = p.ID), 4)",
    "SELECT COUNT(*) FROM Orders o WHERE o.Payments <> round((SELECT COALESCE(SUM(a.Amount), 0) FROM "
    "PaymentAllocations a WHERE a.OrderUniqueID = o.UniqueID), 4)",
    "SELECT COUNT(*) FROM Orders WHERE Balance <> round(Total - Payments, 4)",
    "SELECT COUNT(*) FROM Payments WHERE Amount < 0 OR Allocated < 0 OR Allocated > Amount",
    "SELECT COUNT(*) FROM PaymentAllocations WHERE Amount <= 0 OR PaymentID NOT IN (SELECT ID FROM Payments)",
    "SELECT COUNT(*) FROM Payments WHERE CustomerID NOT IN (SELECT ID FROM Customers) OR PaymentMethodID NOT IN "
    "(SELECT ID FROM PaymentMethods)",
    "SELECT COUNT(*) FROM Orders WHERE CustomerID NOT IN (SELECT ID FROM Customers)",
    "SELECT COUNT(*) FROM Payments WHERE PaymentDate NOT GLOB "
    "'[0-9][0-9][0-9][0-9]-[0-9][0-9]-[0-9][0-9] [0-9][0-9]:[0-9][0-9]:[0-9][0-9]'",
};

struct Opened {
    std::unique_ptr<tesr::Connection> connection;
    QString error;
    int count(const QString& sql)
    {
        auto rs = connection->OpenRecordset(sql);
        if (!rs) {
            error = connection->LastError();
            return -1;
        }
        return rs->FieldValue(0).toInt();
    }
    QVariant value(const QString& sql)
    {
        auto rs = connection->OpenRecordset(sql);
        return rs && !rs->Eof() ? rs->FieldValue(0) : QVariant();
    }
};

Opened openFile(const QString& path)
{
    Opened o;
    o.connection = tesr::openCompanyConnection(path, &o.error);
    return o;
}

void checkRules(Opened& db)
{
    for (const char* rule : rules)
        QVERIFY2(db.count(rule) == 0, rule);
}

} // namespace

class TestDemoData : public QObject {
    Q_OBJECT

private slots:
    void demoDatabase();
    void sameSeedSameData();
    void neverOverwrites();
    void scaleDatabase();
    void extremeCases_data();
    void extremeCases();
};

void TestDemoData::demoDatabase()
{
    QTemporaryDir dir;
    const QString path = dir.filePath("demo.db");
    QString error;
    QVERIFY2(tesr::host::createDemoDatabase(path, &error), qPrintable(error));
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{"demo.db"}); // nothing half-made left over
    Opened db = openFile(path);
    QVERIFY2(db.connection, qPrintable(db.error));
    QVERIFY(tesr::ledger::hasSchema(static_cast<tesr::SqlConnection&>(*db.connection).database(),
                                    tesr::ledger::Engine::SQLite));
    checkRules(db);

    QCOMPARE(db.count("SELECT COUNT(*) FROM Customers"), 200);
    QCOMPARE(db.count("SELECT COUNT(*) FROM Orders"), 1000);
    QCOMPARE(db.value("SELECT group_concat(PaymentMethod || ':' || MethodType, ', ') FROM (SELECT * FROM "
                      "PaymentMethods ORDER BY ID)")
                 .toString(),
             QStringLiteral("Cash:0, Check:0, Visa:1, MasterCard:1, American Express:1"));
    for (int state = 1; state <= 4; ++state)
        QVERIFY(db.count(QStringLiteral("SELECT COUNT(*) FROM Orders WHERE State = %1").arg(state)) > 50);
    QVERIFY(db.count("SELECT COUNT(*) FROM Orders WHERE StatusCode = 500") > 0);
    QVERIFY(db.count("SELECT COUNT(*) FROM Orders WHERE StatusCode = 1600") > 0);
    QCOMPARE(db.count("SELECT COUNT(DISTINCT UniqueID) FROM Orders"), 1000);
    QCOMPARE(db.count("SELECT COUNT(*) FROM Orders WHERE State = 1 AND Payments <> 0"), 0);

    // Payments of every kind the screens meet.
    QVERIFY(db.count("SELECT COUNT(*) FROM Payments WHERE Allocated = Amount AND Amount > 0") > 100);
    QVERIFY(db.count("SELECT COUNT(*) FROM Payments WHERE Allocated > 0 AND Allocated < Amount") > 3);
    QVERIFY(db.count("SELECT COUNT(*) FROM Payments WHERE Allocated = 0") >= 10);
    QVERIFY(db.count("SELECT COUNT(*) FROM (SELECT PaymentID FROM PaymentAllocations GROUP BY PaymentID HAVING "
                     "COUNT(*) > 1)") > 0);
    QVERIFY(db.count("SELECT COUNT(DISTINCT CustomerID) FROM Payments WHERE Allocated <> Amount") >= 10);
    QVERIFY(db.count("SELECT COUNT(*) FROM Orders WHERE State IN (2, 3) AND Balance <> 0 AND StatusCode NOT IN "
                     "(500, 1600)") > 100);
    QVERIFY(db.count("SELECT COUNT(*) FROM Payments WHERE CardNumber <> '' AND NameOnCard <> '' AND "
                     "PaymentMethodID IN (3, 4, 5)") > 50);
    QCOMPARE(db.count("SELECT COUNT(*) FROM Payments WHERE CardNumber <> '' AND PaymentMethodID IN (1, 2)"), 0);
    QVERIFY(db.count("SELECT COUNT(*) FROM Customers WHERE Active = 0") > 0);
    QVERIFY(db.count("SELECT COUNT(*) FROM Customers WHERE CustomerName LIKE '%''%'") > 0);
    // Exactly one allocation names an order this database does not hold.
    QCOMPARE(db.count("SELECT COUNT(*) FROM PaymentAllocations WHERE OrderUniqueID NOT IN (SELECT UniqueID FROM "
                      "Orders)"),
             1);
    // Credit as the host computes it agrees with the payments' figures.
    const Currency credit = Currency::fromVariant(db.value("SELECT SUM(Amount - Allocated) FROM Payments")).value();
    QVERIFY(credit > Currency());
}

void TestDemoData::sameSeedSameData()
{
    QTemporaryDir dir;
    QString error;
    auto digest = [&](const QString& name, quint32 seed) {
        const QString path = dir.filePath(name);
        if (!tesr::host::createDemoDatabase(path, &error, seed))
            return QString();
        Opened db = openFile(path);
        return db.value("SELECT group_concat(x, ';') FROM (SELECT CustomerName || '/' || (SELECT COUNT(*) FROM Orders "
                        "WHERE CustomerID = Customers.ID) AS x FROM Customers ORDER BY ID)")
                   .toString() +
               db.value("SELECT SUM(Amount) || '/' || SUM(Allocated) || '/' || MAX(PaymentDate) FROM Payments")
                   .toString();
    };
    const QString a = digest("a.db", 5);
    QVERIFY2(!a.isEmpty(), qPrintable(error));
    QCOMPARE(digest("b.db", 5), a);
    QVERIFY(digest("c.db", 6) != a);
}

void TestDemoData::neverOverwrites()
{
    QTemporaryDir dir;
    const QString path = dir.filePath("company.db");
    QFile existing(path);
    QVERIFY(existing.open(QIODevice::WriteOnly));
    existing.write("keep me");
    existing.close();
    QString error;
    QVERIFY(!tesr::host::createDemoDatabase(path, &error));
    QVERIFY(error.contains("already exists"));
    QVERIFY(!tesr::host::createScaleDatabase(path, 10, 10, 10, &error));
    QFile check(path);
    QVERIFY(check.open(QIODevice::ReadOnly));
    QCOMPARE(check.readAll(), QByteArray("keep me"));
    // Additions need a real company database.
    QCOMPARE(tesr::host::addCustomerWithPayments(path, 3, &error), 0);
    QVERIFY2(error.contains("not a SQLite database"), qPrintable(error));
    QCOMPARE(tesr::host::addCustomerWithPayments(dir.filePath("missing.db"), 3, &error), 0);
    QVERIFY(!QFile::exists(dir.filePath("missing.db")));
}

void TestDemoData::scaleDatabase()
{
    QTemporaryDir dir;
    const QString path = dir.filePath("scale.db");
    QString error;
    QVERIFY2(tesr::host::createScaleDatabase(path, 3000, 800, 1000, &error), qPrintable(error));
    Opened db = openFile(path);
    QVERIFY2(db.connection, qPrintable(db.error));
    checkRules(db);
    QCOMPARE(db.count("SELECT COUNT(*) FROM Customers"), 3000);
    QCOMPARE(db.count("SELECT COUNT(*) FROM Orders"), 800);
    QCOMPARE(db.count("SELECT COUNT(*) FROM Payments"), 1000);
    QCOMPARE(db.count("SELECT COUNT(*) FROM PaymentAllocations"), 1000);
    QCOMPARE(db.count("SELECT COUNT(*) FROM Payments WHERE Allocated <> Amount"), 0);
    QCOMPARE(db.count("SELECT COUNT(*) FROM Orders WHERE State = 1 AND Payments <> 0"), 0);
    QCOMPARE(db.value("PRAGMA journal_mode").toString(), QStringLiteral("wal"));
}

void TestDemoData::extremeCases_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<int>("n");
    QTest::newRow("customer with open orders and credit") << "open orders" << 40;
    QTest::newRow("customer with many payments") << "payments" << 35;
    QTest::newRow("order with many allocations") << "order" << 30;
    QTest::newRow("payment with many allocations") << "payment" << 25;
}

void TestDemoData::extremeCases()
{
    QFETCH(QString, kind);
    QFETCH(int, n);
    QTemporaryDir dir;
    const QString path = dir.filePath("demo.db");
    QString error;
    QVERIFY2(tesr::host::createDemoDatabase(path, &error), qPrintable(error));
    int id = 0;
    if (kind == "open orders")
        id = tesr::host::addCustomerWithOpenOrders(path, n, n / 4, &error);
    else if (kind == "payments")
        id = tesr::host::addCustomerWithPayments(path, n, &error);
    else if (kind == "order")
        id = tesr::host::addOrderWithAllocations(path, n, &error);
    else
        id = tesr::host::addPaymentWithAllocations(path, n, &error);
    QVERIFY2(id > 0, qPrintable(error));

    Opened db = openFile(path);
    QVERIFY2(db.connection, qPrintable(db.error));
    checkRules(db);
    const QString key = QString::number(id);
    if (kind == "open orders") {
        // What New Payment and Allocate Credit list for this customer.
        QCOMPARE(db.count("SELECT COUNT(*) FROM vwScreen_NewPayment WHERE CustomerID = " + key +
                          " AND (State = 2 OR State = 3) AND StatusCode <> 500 AND StatusCode <> 1600"),
                 n);
        QCOMPARE(db.count("SELECT COUNT(*) FROM Payments WHERE (Payments.CustomerID = " + key +
                          ") AND (Payments.Allocated <> Payments.Amount)"),
                 n / 4);
    } else if (kind == "payments") {
        QCOMPARE(db.count("SELECT COUNT(*) FROM Payments WHERE CustomerID = " + key), n);
        QCOMPARE(db.count("SELECT COUNT(*) FROM Payments WHERE CustomerID = " + key + " AND Allocated <> Amount"), 0);
    } else if (kind == "order") {
        QCOMPARE(
            db.count("SELECT COUNT(*) FROM PaymentAllocations INNER JOIN Orders ON PaymentAllocations.OrderUniqueID "
                     "= Orders.UniqueID WHERE Orders.ID = " +
                     key),
            n);
        QVERIFY(db.count("SELECT COUNT(*) FROM Orders WHERE ID = " + key + " AND State = 3 AND Balance > 0") == 1);
    } else {
        QCOMPARE(
            db.count("SELECT COUNT(*) FROM PaymentAllocations INNER JOIN Orders ON PaymentAllocations.OrderUniqueID "
                     "= Orders.UniqueID WHERE (PaymentAllocations.PaymentID = " +
                     key + ")"),
            n);
    }
    // The demo's own rows are still there.
    QCOMPARE(db.count("SELECT COUNT(*) FROM Orders WHERE OrderNumber = '10001'"), 1);
}

TESR_TEST_MAIN(TestDemoData)
#include "tst_demodata.moc"

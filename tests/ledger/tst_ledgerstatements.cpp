// The company schema with the module's own statements, on the test's engine (SQLite or
// PostgreSQL): every statement text the screens send runs through SqlConnection on a real
// database and reads what it should; the shared allocation statements keep the three figures
// in step to the fourth decimal; money stays exact (0.1 + 0.2 applied to 0.3 leaves nothing
// unallocated); dates written the SQL Server way are stored sortable; the details text reads
// right; lookups use indexes.

#include "ledger/Statements.h"

#include "ledger/LedgerFixture.h"
#include "support/TestMain.h"

#include <QRegularExpression>
#include <QSqlError>
#include <QSqlQuery>

#include <algorithm>

using namespace ledgertest;
using tesr::Currency;
using tesr::ledger::Engine;

namespace {

// One value as the assertions spell it: money and numbers as plain decimals, NULL as "NULL".
QString text(const QVariant& v)
{
    if (v.isNull())
        return QStringLiteral("NULL");
    if (v.metaType().id() == QMetaType::Double || v.metaType() == QMetaType::fromType<Currency>())
        return Currency::fromVariant(v)->toPlainString();
    return v.toString();
}

// The values of single-value statements joined by '|'.
QString values(LedgerFile& f, const QStringList& statements)
{
    QStringList parts;
    for (const QString& statement : statements)
        parts << text(f.scalar(statement));
    return parts.join(u'|');
}

// Rows as "a|b|c" texts of the named columns, read by name as the screens read them.
QStringList readRows(tesr::Connection& c, const QString& statement, const QStringList& columns, QString* error)
{
    auto rs = c.OpenRecordset(statement);
    if (!rs) {
        *error = c.LastError();
        return {QStringLiteral("<failed>")};
    }
    QStringList rows;
    for (; !rs->Eof(); rs->MoveNext()) {
        QStringList values;
        for (const QString& column : columns) {
            const QVariant v = rs->Field(column);
            values << (v.isValid() ? text(v) : QStringLiteral("<no column %1>").arg(column));
        }
        rows << values.join(u'|');
    }
    return rows;
}

QString insertPayment(int method, int customer, const QString& date, const QString& memo, const QString& card,
                      const QString& nameOnCard, int month, int year, const QString& amount)
{
    // The New Payment insert, two blanks before VALUES as the dialog writes it.
    return QStringLiteral("INSERT INTO Payments (PaymentMethodID, CustomerID, PaymentDate, Description, CardNumber, "
                          "NameOnCard, ExpireMonth, ExpireYear, Amount) "
                          " VALUES(%1, %2, '%3', '%4', '%5', '%6', %7, %8, %9)")
        .arg(method)
        .arg(customer)
        .arg(date, quoted(memo), quoted(card), quoted(nameOnCard))
        .arg(month)
        .arg(year)
        .arg(amount);
}

QString applyByUniqueId(qint64 payment, const QString& uniqueId, const QString& amount)
{
    return tesr::ledger::FillMarkers(tesr::ledger::ApplyAllocationByUniqueID,
                                     {{u"<pid>", QString::number(payment)}, {u"<ouid>", uniqueId}, {u"<a>", amount}});
}

QString applyById(qint64 payment, int order, const QString& uniqueId, const QString& amount)
{
    return tesr::ledger::FillMarkers(tesr::ledger::ApplyAllocationByID, {{u"<pid>", QString::number(payment)},
                                                                         {u"<oid>", QString::number(order)},
                                                                         {u"<ouid>", uniqueId},
                                                                         {u"<a>", amount}});
}

QString removeAllocation(int allocation, qint64 payment, const QString& uniqueId, const QString& amount)
{
    return tesr::ledger::FillMarkers(tesr::ledger::RemoveAllocation, {{u"<aid>", QString::number(allocation)},
                                                                      {u"<pid>", QString::number(payment)},
                                                                      {u"<ouid>", uniqueId},
                                                                      {u"<a>", amount}});
}

// Rows violating one of the ledger's three rules (to the fourth decimal); 0 when in step.
constexpr const char* outOfStep =
    "SELECT (SELECT COUNT(*) FROM Payments p WHERE p.Allocated <> round((SELECT COALESCE(SUM(a.Amount), 0) "
    "FROM PaymentAllocations a WHERE a.PaymentID = p.ID), 4)) + (SELECT COUNT(*) FROM Orders o WHERE o.Payments <> "
    "round((SELECT COALESCE(SUM(a.Amount), 0) FROM PaymentAllocations a WHERE a.OrderUniqueID = o.UniqueID), 4)) + "
    "(SELECT COUNT(*) FROM Orders WHERE Balance <> round(Total - Payments, 4))";

// Customers, payment methods, orders, and payments recorded the way the screens record them.
//   Payments: 1 Visa 300 (250 to U-1, 50 credit); 2 Cash 100 to U-2; 3 Check 0.3 as 0.1 to
//   U-1 and 0.2 to U-2; 4 Cash 80 of customer 2 to U-GONE (no such order); 5 Visa 40 credit;
//   6 Cash 0.3 as 0.1 and 0.2 to U-8 (total 0.3). Allocations 1..7 in that order.
bool seed(LedgerFile& f)
{
    QStringList commands = {
        "INSERT INTO PaymentMethods (PaymentMethod, MethodType) VALUES ('Cash', 0)",
        "INSERT INTO PaymentMethods (PaymentMethod, MethodType) VALUES ('Check', 0)",
        "INSERT INTO PaymentMethods (PaymentMethod, MethodType) VALUES ('Visa', 1)",
        "INSERT INTO Customers (CustomerName, Active, SalesRepID, LastUsed) VALUES ('Ann Smith', 1, 17, '20240501 "
        "10:00:00')",
        "INSERT INTO Customers (CustomerName, Active, SalesRepID, LastUsed) VALUES ('O''Brien & Sons', 1, 3, '20240601 "
        "10:00:00')",
        "INSERT INTO Customers (CustomerName, Active, SalesRepID, LastUsed) VALUES ('Inactive Co', 0, 3, '20241201 "
        "10:00:00')",
        "INSERT INTO Customers (CustomerName, Active, SalesRepID, LastUsed) VALUES ('abbey road', 1, 3, '2024-05-15 "
        "09:00:00')",
    };
    for (int i = 1; i <= 40; ++i)
        commands << QStringLiteral("INSERT INTO Customers (CustomerName, Active, SalesRepID, LastUsed) VALUES "
                                   "('Filler %1', 1, 5, '2023%2 08:00:00')")
                        .arg(i, 2, 10, QLatin1Char('0'))
                        .arg(QDate(2023, 1, 1).addDays(i).toString(u"MMdd"));
    const char* orders[] = {
        "(1, 'U-1', 1, '1001', 'Smith - Kitchen drapes', 2, 100, 500, 250)",
        "(2, 'U-2', 1, '1002', 'Living room shades', 3, 100, 300, 150)",
        "(3, 'U-3', 1, '1003', 'Quote only', 1, 100, 200, 100)",
        "(4, 'U-4', 1, '1004', 'Closed job', 4, 100, 90, 45)",
        "(5, 'U-5', 1, '1005', 'On hold', 3, 500, 120, 60)",
        "(6, 'U-6', 1, '1006', 'Cancelled', 2, 1600, 80, 40)",
        "(7, 'U-7', 2, '2001', 'O''Brien - Office blinds', 3, 100, 700, 350)",
        "(8, 'U-8', 1, '1008', 'Sample swatch', 3, 100, 0.3, 0)",
    };
    for (const char* o : orders)
        commands << QStringLiteral(
                        "INSERT INTO Orders (ID, UniqueID, CustomerID, OrderNumber, Sidemark, State, StatusCode, "
                        "Total, DepositAmount) VALUES %1")
                        .arg(QLatin1StringView(o));
    commands << "UPDATE Orders SET Balance = Total";
    for (const QString& c : commands)
        if (!f.exec(c))
            return false;

    struct P {
        int method, customer;
        const char *date, *memo, *card, *name;
        int month, year;
        const char* amount;
    };
    const P payments[] = {
        {3, 1, "20240301 21:05:07", "Deposit; it's [half]", "1234", "Ann O'Smith", 4, 2027, "300"},
        {1, 1, "20240302 09:00:00", "", "", "", 0, 0, "100"},
        {2, 1, "20240303 12:00:00", "Check #1001", "", "", 0, 0, "0.3"},
        {1, 2, "20240304 16:45:00", "", "", "", 0, 0, "80"},
        {3, 1, "20240305 08:30:00", "memo only", "", "", 0, 0, "40"},
        {1, 1, "20240306 10:00:00", "", "", "", 0, 0, "0.3"},
    };
    for (const P& p : payments)
        if (f.insert(insertPayment(p.method, p.customer, p.date, p.memo, p.card, p.name, p.month, p.year, p.amount)) <
            1)
            return false;
    const QStringList allocations = {
        applyByUniqueId(1, "U-1", "250"), applyById(2, 2, "U-2", "100"),      applyByUniqueId(3, "U-1", "0.1"),
        applyById(3, 2, "U-2", "0.2"),    applyByUniqueId(4, "U-GONE", "80"), applyByUniqueId(6, "U-8", "0.1"),
        applyById(6, 8, "U-8", "0.2"),
    };
    for (const QString& c : allocations)
        if (!f.exec(c))
            return false;
    return true;
}

const QString customerPayments =
    "SELECT Payments.ID, Payments.PaymentMethodID, Payments.CustomerID, Payments.PaymentDate, "
    "dbo.PaymentDetails(Payments.ID) AS theDetails, Payments.Amount, Payments.Allocated, Payments.AddedOn FROM "
    "Payments "
    "WHERE (Payments.CustomerID = <cid>)";
const QString orderPayments =
    "SELECT PaymentAllocations.ID, PaymentAllocations.Amount, Payments.PaymentDate, Payments.Description, "
    "Payments.CardNumber, PaymentMethods.PaymentMethod, dbo.PaymentDetails(Payments.ID) AS theDetails FROM "
    "PaymentAllocations INNER JOIN Payments ON PaymentAllocations.PaymentID = Payments.ID INNER JOIN PaymentMethods ON "
    "Payments.PaymentMethodID = PaymentMethods.ID WHERE (PaymentAllocations.OrderUniqueID = '<ouid>')";
const QString paymentAllocations =
    "SELECT PaymentAllocations.ID, PaymentAllocations.AddedOn, Orders.OrderNumber, Orders.Sidemark, "
    "PaymentAllocations.Amount FROM PaymentAllocations INNER JOIN Orders ON PaymentAllocations.OrderUniqueID = "
    "Orders.UniqueID WHERE (PaymentAllocations.PaymentID = <pid>)";
const QString unallocatedPayments =
    "SELECT Payments.ID, Payments.PaymentMethodID, Payments.CustomerID, Payments.PaymentDate, "
    "dbo.PaymentDetails(Payments.ID) AS theDetails, Payments.Amount, Payments.Allocated, Payments.AddedOn, "
    "PaymentMethods.PaymentMethod FROM Payments INNER JOIN PaymentMethods ON Payments.PaymentMethodID = "
    "PaymentMethods.ID WHERE (Payments.CustomerID = <cid>) AND (Payments.Allocated <> Payments.Amount)";
const QString creditOpenOrders = "SELECT ID, OrderNumber, Sidemark, Balance, UniqueID FROM Orders WHERE CustomerID = "
                                 "<cid> AND Balance <> 0 AND (State = <s> OR State = <o>)";
const QString customerCredit =
    "WITH x AS (SELECT SUM(Amount - Allocated) AS Credit, Amount, Allocated, CustomerID FROM Payments GROUP BY Amount, "
    "Allocated, CustomerID HAVING (CustomerID = %1) AND (Allocated <> Amount)) SELECT SUM(Credit) AS theSum FROM x";

QString with(QString statement, const QString& marker, const QString& value)
{
    return statement.replace(marker, value);
}

} // namespace

class TestLedgerStatements : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void schemaIsCompleteAndAllOrNothing();
    void screenStatementsRead_data();
    void screenStatementsRead();
    void screenStatementsWrite_data();
    void screenStatementsWrite();
    void allocationStatementsKeepTheFiguresInStep_data();
    void allocationStatementsKeepTheFiguresInStep();
    void tenthPlusTwoTenthsAllocatesThreeTenths();
    void moneyIsRoundedAndNeverText_data();
    void moneyIsRoundedAndNeverText();
    void datesAreStoredSortable_data();
    void datesAreStoredSortable();
    void detailsText_data();
    void detailsText();
    void lookupsUseIndexes_data();
    void lookupsUseIndexes();

private:
    std::unique_ptr<LedgerFile> f;
};

void TestLedgerStatements::init()
{
    f = std::make_unique<LedgerFile>();
    QVERIFY2(f->ok(), qPrintable(f->error));
    QVERIFY2(seed(*f), qPrintable(f->error));
    QCOMPARE(f->count(outOfStep), 0);
}

void TestLedgerStatements::cleanup()
{
    f.reset();
}

void TestLedgerStatements::schemaIsCompleteAndAllOrNothing()
{
    QVERIFY(tesr::ledger::hasSchema(f->connection->database(), f->engine));
    // Every table and view counts.
    QVERIFY(f->exec("DROP VIEW vwScreen_EditPayment"));
    QVERIFY(!tesr::ledger::hasSchema(f->connection->database(), f->engine));

    // A database that already has a clashing table gets nothing at all.
    tesrtest::ScratchDatabase other(tesrtest::ScratchDatabase::Contents::Empty);
    QString error;
    auto c = tesr::SqlConnection::open(other.databaseUrl(), tesr::SqlConnection::OpenMode::CreateIfMissing, &error);
    QVERIFY2(c, qPrintable(error));
    QSqlQuery native(c->database());
    if (onPostgres())
        QVERIFY(native.exec("CREATE SCHEMA dbo") && native.exec("CREATE TABLE dbo.ActivityHistory (Something text)"));
    else
        QVERIFY(native.exec("CREATE TABLE ActivityHistory (Something TEXT)"));
    native.finish();
    QSqlDatabase db = c->database();
    QVERIFY(!tesr::ledger::createSchema(db, f->engine, &error));
    QVERIFY2(error.contains(onPostgres() ? "activityhistory" : "ActivityHistory"), qPrintable(error));
    db = QSqlDatabase();
    const QString present =
        onPostgres() ? "SELECT string_agg(c.relname::text, ',') FROM pg_class c JOIN pg_namespace n ON n.oid = "
                       "c.relnamespace WHERE n.nspname IN ('dbo', 'public') AND c.relkind IN ('r', 'v', 'f', 'S') "
                       "UNION ALL SELECT COUNT(*)::text FROM pg_extension WHERE extname = 'citext'"
                     : "SELECT group_concat(name) FROM sqlite_master WHERE name NOT LIKE 'sqlite%'";
    QStringList found;
    for (auto rs = c->OpenRecordset(present); rs && !rs->Eof(); rs->MoveNext())
        found << rs->FieldValue(0).toString();
    QCOMPARE(found, onPostgres() ? QStringList({"activityhistory", "0"}) : QStringList{"ActivityHistory"});
    QVERIFY(!tesr::ledger::hasSchema(c->database(), f->engine));
}

void TestLedgerStatements::screenStatementsRead_data()
{
    QTest::addColumn<QString>("statement");
    QTest::addColumn<QStringList>("columns");
    QTest::addColumn<bool>("ordered"); // false: the statement has no ORDER BY, compare sorted
    QTest::addColumn<int>("rowCount");
    QTest::addColumn<QStringList>("firstRows");

    QTest::newRow("new payment: open orders")
        << "SELECT * FROM vwScreen_NewPayment WHERE CustomerID = 1 AND (State = 2 OR State = 3) AND StatusCode <> 500 "
           "AND StatusCode <> 1600"
        << QStringList{"ID", "OrderNumber", "Sidemark", "Balance", "DepositAmount", "uniqueID"} << false << 3
        << QStringList{"1|1001|Smith - Kitchen drapes|249.9|250|U-1", "2|1002|Living room shades|199.8|150|U-2",
                       "8|1008|Sample swatch|0|0|U-8"};
    QTest::newRow("customer box: most recent first")
        << "SELECT TOP 32 ID, CustomerName FROM [Customers] WHERE Active <> 0  ORDER BY LastUsed DESC"
        << QStringList{"ID", "CustomerName"} << true << 32
        << QStringList{"2|O'Brien & Sons", "4|abbey road", "1|Ann Smith", "44|Filler 40", "43|Filler 39"};
    QTest::newRow("customer box: search with a quote, own customers only")
        << "SELECT TOP 32 ID, CustomerName FROM [Customers] WHERE Active <> 0 AND CustomerName Like '%o''b%'  AND "
           "SalesRepID = 3 ORDER BY CustomerName"
        << QStringList{"ID", "CustomerName"} << true << 1 << QStringList{"2|O'Brien & Sons"};
    QTest::newRow("customer box: search is case-blind and sorts by name")
        << "SELECT TOP 32 ID, CustomerName FROM [Customers] WHERE Active <> 0 AND CustomerName Like '%A%'  ORDER BY "
           "CustomerName"
        << QStringList{"ID", "CustomerName"} << true << 2 << QStringList{"4|abbey road", "1|Ann Smith"};
    QTest::newRow("customer credit") << QString(customerCredit).arg(1) << QStringList{"theSum"} << true << 1
                                     << QStringList{"90"};
    QTest::newRow("customer credit: none")
        << QString(customerCredit).arg(3) << QStringList{"theSum"} << true << 1 << QStringList{"NULL"};
    QTest::newRow("customer payments")
        << with(customerPayments, "<cid>", "1") << QStringList{"ID", "PaymentDate", "theDetails", "Amount", "Allocated"}
        << false << 5
        << QStringList{"1|2024-03-01 21:05:07|Visa ending 1234 (Ann O'Smith) - Deposit; it's [half]|300|250",
                       "2|2024-03-02 09:00:00|Cash|100|100", "3|2024-03-03 12:00:00|Check - Check #1001|0.3|0.3",
                       "5|2024-03-05 08:30:00|Visa - memo only|40|0", "6|2024-03-06 10:00:00|Cash|0.3|0.3"};
    QTest::newRow("count a payment's allocations")
        << "SELECT COUNT(*) AS MyCount FROM PaymentAllocations WHERE PaymentID = 3" << QStringList{"MyCount"} << true
        << 1 << QStringList{"2"};
    QTest::newRow("order payments: the order")
        << "SELECT CustomerID, UniqueID FROM Orders WHERE ID = 2" << QStringList{"CustomerID", "UniqueID"} << true << 1
        << QStringList{"1|U-2"};
    QTest::newRow("order payments: list")
        << with(orderPayments, "<ouid>", "U-1") << QStringList{"ID", "Amount", "PaymentMethod", "theDetails"} << false
        << 2
        << QStringList{"1|250|Visa|Visa ending 1234 (Ann O'Smith) - Deposit; it's [half]",
                       "3|0.1|Check|Check - Check #1001"};
    QTest::newRow("order payments: UniqueID without regard to case")
        << with(orderPayments, "<ouid>", "u-2") << QStringList{"ID", "Amount"} << false << 2
        << QStringList{"2|100", "4|0.2"};
    QTest::newRow("order payments: payment behind an allocation")
        << "SELECT Payments.ID AS PaymentID, Payments.PaymentDate, Payments.CustomerID, Payments.Amount, "
           "PaymentAllocations.ID FROM PaymentAllocations INNER JOIN Payments ON PaymentAllocations.PaymentID = "
           "Payments.ID WHERE (PaymentAllocations.ID = 3)"
        << QStringList{"PaymentID", "PaymentDate", "CustomerID", "Amount", "ID"} << true << 1
        << QStringList{"3|2024-03-03 12:00:00|1|0.3|3"};
    QTest::newRow("read one allocation")
        << "SELECT PaymentID, OrderUniqueID, Amount FROM PaymentAllocations WHERE ID = 4"
        << QStringList{"PaymentID", "OrderUniqueID", "Amount"} << true << 1 << QStringList{"3|U-2|0.2"};
    QTest::newRow("allocations left") << "SELECT COUNT(*) AS theCount FROM PaymentAllocations WHERE PaymentID = 6"
                                      << QStringList{"theCount"} << true << 1 << QStringList{"2"};
    QTest::newRow("allocations whose order is elsewhere")
        << "SELECT COUNT(*) as theCount FROM PaymentAllocations WHERE PaymentAllocations.PaymentID = 4 AND "
           "PaymentAllocations.OrderUniqueID NOT IN (SELECT UniqueID FROM Orders)"
        << QStringList{"theCount"} << true << 1 << QStringList{"1"};
    QTest::newRow("allocations whose order is here")
        << "SELECT COUNT(*) as theCount FROM PaymentAllocations WHERE PaymentAllocations.PaymentID = 3 AND "
           "PaymentAllocations.OrderUniqueID NOT IN (SELECT UniqueID FROM Orders)"
        << QStringList{"theCount"} << true << 1 << QStringList{"0"};
    QTest::newRow("payment allocations: list")
        << with(paymentAllocations, "<pid>", "3") << QStringList{"ID", "OrderNumber", "Sidemark", "Amount"} << false
        << 2 << QStringList{"3|1001|Smith - Kitchen drapes|0.1", "4|1002|Living room shades|0.2"};
    QTest::newRow("allocate credit: payments with credit")
        << with(unallocatedPayments, "<cid>", "1")
        << QStringList{"ID", "theDetails", "Amount", "Allocated", "PaymentMethod"} << false << 2
        << QStringList{"1|Visa ending 1234 (Ann O'Smith) - Deposit; it's [half]|300|250|Visa",
                       "5|Visa - memo only|40|0|Visa"};
    QTest::newRow("allocate credit: orders owing")
        << with(with(with(creditOpenOrders, "<cid>", "1"), "<s>", "2"), "<o>", "3")
        << QStringList{"ID", "OrderNumber", "Balance", "UniqueID"} << false << 4
        << QStringList{"1|1001|249.9|U-1", "2|1002|199.8|U-2", "5|1005|120|U-5", "6|1006|80|U-6"};
    QTest::newRow("edit payment: read")
        << "SELECT * FROM vwScreen_EditPayment WHERE ID = 1"
        << QStringList{"ID",         "CustomerName", "PaymentMethodID", "Description", "CardNumber",
                       "NameOnCard", "ExpireMonth",  "ExpireYear",      "PaymentDate", "Amount"}
        << true << 1
        << QStringList{"1|Ann Smith|3|Deposit; it's [half]|1234|Ann O'Smith|4|2027|2024-03-01 21:05:07|300"};
}

void TestLedgerStatements::screenStatementsRead()
{
    QFETCH(QString, statement);
    QFETCH(QStringList, columns);
    QFETCH(bool, ordered);
    QFETCH(int, rowCount);
    QFETCH(QStringList, firstRows);
    QString error;
    QStringList rows = readRows(*f->connection, statement, columns, &error);
    QVERIFY2(error.isEmpty(), qPrintable(error));
    QCOMPARE(rows.size(), rowCount);
    if (!ordered)
        rows.sort();
    QCOMPARE(rows.mid(0, firstRows.size()), firstRows);
}

void TestLedgerStatements::screenStatementsWrite_data()
{
    QTest::addColumn<QString>("command");
    QTest::addColumn<int>("rowsAffected");
    QTest::addColumn<QStringList>("checks"); // statements whose one value each shows the change
    QTest::addColumn<QString>("expected");   // those values joined by '|'

    QTest::newRow("edit payment: update")
        << "UPDATE Payments SET PaymentMethodID = 1, PaymentDate = '20240415 13:14:15', Description = 'Paid ''cash'' "
           "-- "
           "100% [really]', CardNumber = '', NameOnCard = '', ExpireMonth = 0, ExpireYear = 0 WHERE ID = 5"
        << 1
        << QStringList{"SELECT PaymentDate FROM Payments WHERE ID = 5", "SELECT Description FROM Payments WHERE ID = 5",
                       "SELECT dbo.PaymentDetails(5)"}
        << "2024-04-15 13:14:15|Paid 'cash' -- 100% [really]|Cash - Paid 'cash' -- 100% [really]";
    QTest::newRow("delete a payment without allocations")
        << "DELETE FROM Payments WHERE ID = 5" << 1 << QStringList{"SELECT COUNT(*) FROM Payments WHERE ID = 5"} << "0";
    QTest::newRow("remove an allocation") << removeAllocation(1, 1, "U-1", "250") << 1
                                          << QStringList{"SELECT Allocated FROM Payments WHERE ID = 1",
                                                         "SELECT Payments FROM Orders WHERE UniqueID = 'U-1'",
                                                         "SELECT Balance FROM Orders WHERE UniqueID = 'U-1'",
                                                         "SELECT COUNT(*) FROM PaymentAllocations WHERE ID = 1"}
                                          << "0|0.1|499.9|0";
    QTest::newRow("remove an allocation whose order is elsewhere")
        << removeAllocation(5, 4, "U-GONE", "80") << 1
        << QStringList{"SELECT Allocated FROM Payments WHERE ID = 4",
                       "SELECT COUNT(*) FROM PaymentAllocations WHERE ID = 5", "SELECT SUM(Payments) FROM Orders"}
        << "0|0|350.6";
    QTest::newRow("record a new payment")
        << insertPayment(3, 2, "20240701 08:00:00", "Deposit for \"office\"; 50%", "9876", "Pat O'Brien", 12, 2030,
                         "1234.5678")
        << 1
        << QStringList{"SELECT PaymentDate FROM Payments WHERE ID = 7", "SELECT Amount FROM Payments WHERE ID = 7",
                       "SELECT dbo.PaymentDetails(ID) AS theDetails FROM Payments WHERE ID = 7"}
        << "2024-07-01 08:00:00|1234.5678|Visa ending 9876 (Pat O'Brien) - Deposit for \"office\"; 50%";
}

void TestLedgerStatements::screenStatementsWrite()
{
    QFETCH(QString, command);
    QFETCH(int, rowsAffected);
    QFETCH(QStringList, checks);
    QFETCH(QString, expected);
    int rows = -1;
    QVERIFY2(f->connection->Execute(command, &rows), qPrintable(f->connection->LastError()));
    QCOMPARE(rows, rowsAffected);
    QCOMPARE(values(*f, checks), expected);
    QCOMPARE(f->count(outOfStep), 0);
}

void TestLedgerStatements::allocationStatementsKeepTheFiguresInStep_data()
{
    QTest::addColumn<QStringList>("amounts"); // applied one after another, then all removed
    QTest::addColumn<bool>("byId");
    QTest::newRow("by UniqueID, four decimals")
        << QStringList{"0.0001", "12.3456", "0.1", "0.2", "99999.9999"} << false;
    QTest::newRow("by ID, four decimals") << QStringList{"0.0001", "12.3456", "0.1", "0.2", "99999.9999"} << true;
    QTest::newRow("by ID, thirds") << QStringList{"33.3333", "33.3333", "33.3334"} << true;
    QTest::newRow("large amounts") << QStringList{"123456789.1234", "0.0002"} << false;
}

void TestLedgerStatements::allocationStatementsKeepTheFiguresInStep()
{
    QFETCH(QStringList, amounts);
    QFETCH(bool, byId);
    Currency sum;
    for (const QString& a : amounts)
        sum += *Currency::parsePlain(a);
    QVERIFY(f->exec(QStringLiteral("INSERT INTO Orders (ID, UniqueID, CustomerID, State, StatusCode, Total, Balance) "
                                   "VALUES (50, 'Z-50', 2, 3, 100, %1, %1)")
                        .arg((sum + Currency::fromUnits(10)).toPlainString())));
    const qint64 payment = f->insert(insertPayment(1, 2, "20240801 12:00:00", "", "", "", 0, 0, sum.toPlainString()));
    QVERIFY(payment > 0);

    auto figures = [&] {
        return QStringLiteral("%1|%2|%3")
            .arg(f->money(QStringLiteral("SELECT Allocated FROM Payments WHERE ID = %1").arg(payment)).toPlainString(),
                 f->money("SELECT Payments FROM Orders WHERE ID = 50").toPlainString(),
                 f->money("SELECT Balance FROM Orders WHERE ID = 50").toPlainString());
    };
    Currency applied;
    QList<int> allocationIds;
    for (const QString& a : amounts) {
        QVERIFY2(f->exec(byId ? applyById(payment, 50, "Z-50", a) : applyByUniqueId(payment, "Z-50", a)),
                 qPrintable(f->error));
        allocationIds << f->count("SELECT MAX(ID) FROM PaymentAllocations");
        applied += *Currency::parsePlain(a);
        const Currency balance = sum + Currency::fromUnits(10) - applied;
        QCOMPARE(figures(), QStringLiteral("%1|%1|%2").arg(applied.toPlainString(), balance.toPlainString()));
        QCOMPARE(f->count(outOfStep), 0);
    }
    // Fully applied: nothing left to allocate, found exactly as the screens look for it.
    QCOMPARE(
        f->count(QStringLiteral("SELECT COUNT(*) FROM Payments WHERE ID = %1 AND Allocated <> Amount").arg(payment)),
        0);
    for (int k = amounts.size() - 1; k >= 0; --k) {
        QVERIFY2(f->exec(removeAllocation(allocationIds[k], payment, "Z-50", amounts[k])), qPrintable(f->error));
        QCOMPARE(f->count(outOfStep), 0);
    }
    QCOMPARE(figures(), QStringLiteral("0|0|%1").arg((sum + Currency::fromUnits(10)).toPlainString()));
    QCOMPARE(f->count("SELECT COUNT(*) FROM Orders WHERE ID = 50 AND Payments <> 0"), 0);
}

void TestLedgerStatements::tenthPlusTwoTenthsAllocatesThreeTenths()
{
    // Payments 3 and 6 were seeded as 0.3 with 0.1 and then 0.2 applied; order 8 totals 0.3.
    QCOMPARE(f->count("SELECT COUNT(*) FROM Payments WHERE ID IN (3, 6) AND Allocated <> Amount"), 0);
    QCOMPARE(f->count("SELECT COUNT(*) FROM Payments WHERE ID IN (3, 6) AND Allocated = 0.3"), 2);
    QCOMPARE(f->count("SELECT COUNT(*) FROM Orders WHERE ID = 8 AND Balance <> 0"), 0);
    QCOMPARE(f->scalar("SELECT Balance FROM Orders WHERE ID = 8").toDouble(), 0.0);
    // Nor is such a payment offered as credit.
    QCOMPARE(f->money(QString(customerCredit).arg(1)), Currency::fromUnits(90));
    // Moving it back leaves exact zeros as well.
    QVERIFY(f->exec(removeAllocation(7, 6, "U-8", "0.2")));
    QVERIFY(f->exec(removeAllocation(6, 6, "U-8", "0.1")));
    QCOMPARE(f->count("SELECT COUNT(*) FROM Payments WHERE ID = 6 AND Allocated = 0"), 1);
    QCOMPARE(f->count("SELECT COUNT(*) FROM Orders WHERE ID = 8 AND Payments = 0 AND Balance = 0.3"), 1);
}

void TestLedgerStatements::moneyIsRoundedAndNeverText_data()
{
    QTest::addColumn<QString>("value"); // as written into the statement
    QTest::addColumn<bool>("accepted");
    QTest::addColumn<QString>("stored"); // plain decimal, or the error text
    QTest::newRow("four decimals") << "12.3456" << true << "12.3456";
    QTest::newRow("more decimals rounded") << "12.34567" << true << "12.3457";
    QTest::newRow("number in quotes") << "'12.50'" << true << "12.5";
    QTest::newRow("negative") << "-0.00005" << true << "-0.0001";
    QTest::newRow("expression") << "0.1 + 0.2" << true << "0.3";
    const QString notANumber = onPostgres() ? "invalid input syntax for type numeric" : "is not a number";
    QTest::newRow("words") << "'abc'" << false << notANumber;
    QTest::newRow("empty text") << "''" << false << notANumber;
}

void TestLedgerStatements::moneyIsRoundedAndNeverText()
{
    QFETCH(QString, value);
    QFETCH(bool, accepted);
    QFETCH(QString, stored);
    const QString update = QStringLiteral("UPDATE Payments SET Amount = %1 WHERE ID = 2").arg(value);
    const QString insert = QStringLiteral("INSERT INTO Orders (UniqueID, Total) VALUES ('M-1', %1)").arg(value);
    if (!accepted) {
        QVERIFY(!f->exec(update));
        QVERIFY2(f->error.contains(stored), qPrintable(f->error));
        QVERIFY(f->insert(insert) < 1);
        QVERIFY2(f->error.contains(stored), qPrintable(f->error));
        QCOMPARE(f->money("SELECT Amount FROM Payments WHERE ID = 2"), Currency::fromUnits(100));
        QCOMPARE(f->count("SELECT COUNT(*) FROM Orders WHERE UniqueID = 'M-1'"), 0);
        return;
    }
    QVERIFY2(f->exec(update), qPrintable(f->error));
    QVERIFY2(f->insert(insert) > 0, qPrintable(f->error));
    // Stored as a number (not text) of that exact value.
    const QString exact = onPostgres() ? QStringLiteral("pg_typeof(%1) = 'numeric'::regtype AND %1 = %2")
                                       : QStringLiteral("typeof(%1) IN ('integer', 'real') AND %1 = %2");
    QCOMPARE(f->count("SELECT COUNT(*) FROM Payments WHERE ID = 2 AND " + exact.arg("Amount", stored)), 1);
    QCOMPARE(f->count("SELECT COUNT(*) FROM Orders WHERE UniqueID = 'M-1' AND " + exact.arg("Total", stored)), 1);
}

void TestLedgerStatements::datesAreStoredSortable_data()
{
    QTest::addColumn<QString>("written");
    QTest::addColumn<QString>("stored");
    QTest::newRow("SQL Server form") << "'20180301 21:05:07'"
                                     << "2018-03-01 21:05:07";
    QTest::newRow("date only") << "'20180301'"
                               << "2018-03-01 00:00:00";
    QTest::newRow("ISO with T") << "'2018-03-01T21:05:07'"
                                << "2018-03-01 21:05:07";
    QTest::newRow("fraction of a second") << "'2018-03-01 21:05:07.250'"
                                          << "2018-03-01 21:05:07";
    QTest::newRow("ISO date only") << "'2018-03-01'"
                                   << "2018-03-01 00:00:00";
    QTest::newRow("already stored form") << "'2018-03-01 21:05:07'"
                                         << "2018-03-01 21:05:07";
    QTest::newRow("NULL") << "NULL"
                          << "NULL";
}

void TestLedgerStatements::datesAreStoredSortable()
{
    QFETCH(QString, written);
    QFETCH(QString, stored);
    // On insert, on update, and on every date column; a memo that looks like a date is text.
    const qint64 id = f->insert(
        QStringLiteral("INSERT INTO Payments (CustomerID, PaymentDate, Description, Amount) VALUES (9, %1, %1, 1)")
            .arg(written));
    QVERIFY2(id > 0, qPrintable(f->error));
    QVERIFY(f->exec(QStringLiteral("UPDATE Payments SET PaymentDate = %1 WHERE ID = 2; "
                                   "UPDATE Customers SET LastUsed = %1 WHERE ID = 3")
                        .arg(written)));
    const QString memo = written == "NULL" ? written : written.mid(1, written.size() - 2);
    QCOMPARE(text(f->scalar(QStringLiteral("SELECT PaymentDate FROM Payments WHERE ID = %1").arg(id))), stored);
    QCOMPARE(text(f->scalar(QStringLiteral("SELECT Description FROM Payments WHERE ID = %1").arg(id))), memo);
    QCOMPARE(text(f->scalar("SELECT PaymentDate FROM Payments WHERE ID = 2")), stored);
    QCOMPARE(text(f->scalar("SELECT LastUsed FROM Customers WHERE ID = 3")), stored);
    // The database fills AddedOn with the local time in the same form.
    const QString added = f->scalar(QStringLiteral("SELECT AddedOn FROM Payments WHERE ID = %1").arg(id)).toString();
    const QDateTime addedOn = QDateTime::fromString(added, u"yyyy-MM-dd HH:mm:ss");
    QVERIFY2(addedOn.isValid(), qPrintable(added));
    QVERIFY(qAbs(addedOn.secsTo(QDateTime::currentDateTime())) < 120);
}

void TestLedgerStatements::detailsText_data()
{
    QTest::addColumn<int>("method");
    QTest::addColumn<QString>("card");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("memo");
    QTest::addColumn<QString>("details");
    QTest::newRow("card, name and memo") << 3 << "1234"
                                         << "John Smith"
                                         << "memo"
                                         << "Visa ending 1234 (John Smith) - memo";
    QTest::newRow("card only") << 3 << "1234"
                               << ""
                               << ""
                               << "Visa ending 1234";
    QTest::newRow("name only") << 3 << ""
                               << "John Smith"
                               << ""
                               << "Visa (John Smith)";
    QTest::newRow("cash with memo") << 1 << ""
                                    << ""
                                    << "memo"
                                    << "Cash - memo";
    QTest::newRow("cash alone") << 1 << ""
                                << ""
                                << ""
                                << "Cash";
    QTest::newRow("unknown method, memo") << 99 << ""
                                          << ""
                                          << "memo"
                                          << "memo";
    QTest::newRow("nothing at all") << 99 << ""
                                    << ""
                                    << ""
                                    << "";
    QTest::newRow("memo with a dash and quotes") << 2 << ""
                                                 << ""
                                                 << "- it's \"done\""
                                                 << "Check - - it's \"done\"";
}

void TestLedgerStatements::detailsText()
{
    QFETCH(int, method);
    QFETCH(QString, card);
    QFETCH(QString, name);
    QFETCH(QString, memo);
    QFETCH(QString, details);
    const qint64 id = f->insert(insertPayment(method, 1, "20240101 00:00:00", memo, card, name, 0, 0, "1"));
    QVERIFY(id > 0);
    QCOMPARE(
        f->scalar(QStringLiteral("SELECT dbo.PaymentDetails(ID) AS theDetails FROM Payments WHERE ID = %1").arg(id))
            .toString(),
        details);
    // NULL fields read like empty ones.
    QVERIFY(f->exec(QStringLiteral("UPDATE Payments SET CardNumber = NULL, NameOnCard = NULL, Description = NULL WHERE "
                                   "ID = %1 AND CardNumber = '' AND NameOnCard = '' AND Description = ''")
                        .arg(id)));
    if (card.isEmpty() && name.isEmpty() && memo.isEmpty())
        QCOMPARE(f->scalar(QStringLiteral("SELECT dbo.PaymentDetails(%1)").arg(id)).toString(), details);
}

void TestLedgerStatements::lookupsUseIndexes_data()
{
    QTest::addColumn<QString>("statement");
    QTest::newRow("open orders") << "SELECT * FROM vwScreen_NewPayment WHERE CustomerID = 1 AND (State = 2 OR State = "
                                    "3) AND StatusCode <> 500 AND StatusCode <> 1600";
    QTest::newRow("customer payments") << with(customerPayments, "<cid>", "1");
    QTest::newRow("order payments") << with(orderPayments, "<ouid>", "U-1");
    QTest::newRow("payment allocations") << with(paymentAllocations, "<pid>", "3");
    QTest::newRow("payments with credit") << with(unallocatedPayments, "<cid>", "1");
    QTest::newRow("orders owing") << with(with(with(creditOpenOrders, "<cid>", "1"), "<s>", "2"), "<o>", "3");
    QTest::newRow("customer credit") << QString(customerCredit).arg(1);
    QTest::newRow("edit payment") << "SELECT * FROM vwScreen_EditPayment WHERE ID = 1";
    QTest::newRow("apply: order by UniqueID") << "UPDATE Orders SET Payments = Payments + 1 WHERE UniqueID = 'U-1'";
    QTest::newRow("customer box") << "SELECT TOP 32 ID, CustomerName FROM [Customers] WHERE Active <> 0  ORDER BY "
                                     "LastUsed DESC";
}

void TestLedgerStatements::lookupsUseIndexes()
{
    QFETCH(QString, statement);
    const QStringList translated = f->connection->dialect().translate(statement);
    QCOMPARE(translated.size(), 1);
    QSqlQuery plan(f->connection->database());
    QStringList steps;
    QRegularExpression fullPass;
    if (onPostgres()) {
        // The tables here are tiny, so the planner would read them whole anyway; with that
        // forbidden it still does so only where no index can serve.
        QVERIFY(plan.exec("SET enable_seqscan = off"));
        QVERIFY2(plan.exec("EXPLAIN " + translated.front()), qPrintable(plan.lastError().text()));
        while (plan.next())
            steps << plan.value(0).toString().trimmed();
        QVERIFY(plan.exec("SET enable_seqscan = on"));
        fullPass.setPattern(
            QStringLiteral("Seq Scan on (payments|orders|paymentallocations|customers|activityhistory)\\b"));
    } else {
        QVERIFY(plan.exec("EXPLAIN QUERY PLAN " + translated.front()));
        while (plan.next())
            steps << plan.value(3).toString();
        // A full pass over a ledger table grows with the whole ledger, not with what the screen
        // shows (a pass along an index that stops after the rows shown is fine).
        fullPass.setPattern(QStringLiteral(
            "^SCAN (Payments|Orders|PaymentAllocations|Customers|ActivityHistory)\\b(?! USING)|AUTOMATIC"));
    }
    for (const QString& step : steps)
        QVERIFY2(!fullPass.match(step).hasMatch(), qPrintable(steps.join(" / ")));
}

TESR_TEST_MAIN(TestLedgerStatements)
#include "tst_ledgerstatements.moc"

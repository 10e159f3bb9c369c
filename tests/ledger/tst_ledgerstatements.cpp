// The company schema with the module's own statements, on the test's engine (SQLite or
// PostgreSQL): the details text of every kind of payment, order keys found without regard to
// case (the screens themselves are tested against both engines elsewhere); the shared
// allocation statements keep the three figures in step to the fourth decimal; money stays exact
// (0.1 + 0.2 applied to 0.3 leaves nothing unallocated) and is never stored as text; the schema
// goes in whole or not at all.

#include "ledger/Schema.h"

#include "ledger/LedgerFixture.h"
#include "support/TestMain.h"

#include <QSqlQuery>

using namespace ledgertest;
using tesr::Currency;

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

// The New Payment insert, two blanks before VALUES as the dialog writes it.
QString insertPayment(int method, int customer, const char* date, const QString& memo, const QString& card,
                      const QString& name, const QString& amount)
{
    return QStringLiteral("INSERT INTO Payments (PaymentMethodID, CustomerID, PaymentDate, Description, CardNumber, "
                          "NameOnCard, ExpireMonth, ExpireYear, Amount)  VALUES(%1, %2, '%3', %4, %5, %6, 4, 2027, %7)")
        .arg(method)
        .arg(customer)
        .arg(QLatin1StringView(date), tesrtest::TestDatabase::quoted(memo), tesrtest::TestDatabase::quoted(card),
             tesrtest::TestDatabase::quoted(name), amount);
}

// Methods Cash, Check, Visa; orders 1 (U-1), 2 (U-2) and 8 (U-8, totalling 0.3). Payments: 1 Visa
// 300 (250 to U-1); 2 Cash 100 to U-2; 3 Check 0.3 as 0.1 to U-1 and 0.2 to U-2; 4 Cash 80 of
// customer 2, its texts NULL, to U-GONE (an order kept elsewhere); 5 Visa 40 credit, a name and
// no card; 6 Cash 0.3 as 0.1 and 0.2 to U-8. Allocations 1..7 in that order.
void seed(tesrtest::TestDatabase& db)
{
    db.exec("INSERT INTO PaymentMethods (PaymentMethod, MethodType) VALUES ('Cash', 0); INSERT INTO PaymentMethods "
            "(PaymentMethod, MethodType) VALUES ('Check', 0); INSERT INTO PaymentMethods (PaymentMethod, MethodType) "
            "VALUES ('Visa', 1)");
    for (const auto& [id, total] : {std::pair{1, "500"}, {2, "300"}, {8, "0.3"}})
        db.exec(
            QStringLiteral("INSERT INTO Orders (ID, UniqueID, CustomerID, State, Total, Balance) VALUES (%1, 'U-%1', "
                           "1, 3, %2, %2)")
                .arg(id)
                .arg(QLatin1StringView(total)));
    db.exec(insertPayment(3, 1, "20240301 21:05:07", "Deposit; it's [half]", "1234", "Ann O'Smith", "300"));
    db.exec(insertPayment(1, 1, "20240302 09:00:00", "", "", "", "100"));
    db.exec(insertPayment(2, 1, "20240303 12:00:00", "Check #1001", "", "", "0.3"));
    db.exec("INSERT INTO Payments (PaymentMethodID, CustomerID, PaymentDate, Amount) VALUES (1, 2, '20240304', 80)");
    db.exec(insertPayment(3, 1, "20240305 08:30:00", "memo only", "", "Pat", "40"));
    db.exec(insertPayment(1, 1, "20240306 10:00:00", "", "", "", "0.3"));
    for (const QString& c :
         {applyCommand(1, "U-1", "250"), applyCommand(2, "U-2", "100", 2), applyCommand(3, "U-1", "0.1"),
          applyCommand(3, "U-2", "0.2", 2), applyCommand(4, "U-GONE", "80"), applyCommand(6, "U-8", "0.1"),
          applyCommand(6, "U-8", "0.2", 8)})
        db.exec(c);
}

const QString customerCredit =
    "WITH x AS (SELECT SUM(Amount - Allocated) AS Credit, Amount, Allocated, CustomerID FROM Payments GROUP BY Amount, "
    "Allocated, CustomerID HAVING (CustomerID = %1) AND (Allocated <> Amount)) SELECT SUM(Credit) AS theSum FROM x";
const QString orderPayments =
    "SELECT PaymentAllocations.ID, PaymentAllocations.Amount, PaymentMethods.PaymentMethod, "
    "dbo.PaymentDetails(Payments.ID) AS theDetails FROM PaymentAllocations INNER JOIN Payments ON "
    "PaymentAllocations.PaymentID = Payments.ID INNER JOIN PaymentMethods ON Payments.PaymentMethodID = "
    "PaymentMethods.ID WHERE (PaymentAllocations.OrderUniqueID = '%1')";

} // namespace

class TestLedgerStatements : public QObject {
    Q_OBJECT

    std::unique_ptr<tesrtest::TestDatabase> db;

private slots:
    void init()
    {
        db = std::make_unique<tesrtest::TestDatabase>();
        seed(*db);
        QCOMPARE(db->count(OutOfStep), 0);
    }
    void cleanup() { db.reset(); }

    void schemaIsAllOrNothing()
    {
        const auto engine = db->engine();
        QVERIFY(tesr::ledger::hasSchema(session(*db).database(), engine));
        db->exec("DROP VIEW vwScreen_EditPayment"); // every table and view counts
        QVERIFY(!tesr::ledger::hasSchema(session(*db).database(), engine));

        // A database that already has a clashing table gets nothing at all.
        tesrtest::ScratchDatabase other(tesrtest::ScratchDatabase::Contents::Empty);
        auto c = tesr::SqlConnection::open(other.databaseUrl(), tesr::SqlConnection::OpenMode::CreateIfMissing);
        QVERIFY(c);
        QSqlDatabase native = c->database();
        QVERIFY(QSqlQuery(native).exec(onPostgres() ? "CREATE SCHEMA dbo" : "SELECT 1"));
        QVERIFY(QSqlQuery(native).exec(QString(onPostgres() ? "CREATE TABLE dbo." : "CREATE TABLE ") +
                                       "ActivityHistory (Something text)"));
        QString error;
        QVERIFY(!tesr::ledger::createSchema(native, engine, &error));
        QVERIFY2(error.contains(onPostgres() ? "activityhistory" : "ActivityHistory"), qPrintable(error));
        native = QSqlDatabase();
        const QString present =
            onPostgres() ? "SELECT string_agg(c.relname::text, ',') || '/' || (SELECT COUNT(*) FROM pg_extension WHERE "
                           "extname = 'citext') FROM pg_class c JOIN pg_namespace n ON n.oid = c.relnamespace WHERE "
                           "n.nspname IN ('dbo', 'public') AND c.relkind IN ('r', 'v', 'f', 'S')"
                         : "SELECT group_concat(name) FROM sqlite_master WHERE name NOT LIKE 'sqlite%'";
        QCOMPARE(c->OpenRecordset(present)->FieldValue(0).toString(),
                 onPostgres() ? QStringLiteral("activityhistory/0") : QStringLiteral("ActivityHistory"));
    }

    void screenStatementsRead_data()
    {
        QTest::addColumn<QString>("statement");
        QTest::addColumn<QString>("columns");
        QTest::addColumn<int>("rowCount");
        QTest::addColumn<QStringList>("firstRows"); // sorted unless the statement orders them
        auto row = [](const char* tag, const QString& statement, const char* columns, int count,
                      const QStringList& rows) {
            QTest::newRow(tag) << statement << QString::fromLatin1(columns) << count << rows;
        };
        row("customer payments: details of every kind",
            "SELECT Payments.ID, dbo.PaymentDetails(Payments.ID) AS theDetails, Payments.Amount, Payments.Allocated "
            "FROM Payments WHERE (Payments.CustomerID = 1)",
            "theDetails|Amount|Allocated", 5,
            {"Cash|0.3|0.3", "Cash|100|100", "Check - Check #1001|0.3|0.3", "Visa (Pat) - memo only|40|0",
             "Visa ending 1234 (Ann O'Smith) - Deposit; it's [half]|300|250"});
        row("order payments: NULL texts read as empty", orderPayments.arg("U-GONE"), "ID|PaymentMethod|theDetails", 1,
            {"5|Cash|Cash"});
        row("order payments: UniqueID without regard to case", orderPayments.arg("u-2"), "ID|Amount", 2,
            {"2|100", "4|0.2"});
    }
    void screenStatementsRead()
    {
        QFETCH(QString, statement);
        QFETCH(QString, columns);
        QFETCH(int, rowCount);
        QFETCH(QStringList, firstRows);
        auto rs = db->connection().OpenRecordset(statement);
        QVERIFY2(rs, qPrintable(db->connection().LastError()));
        QStringList rows;
        for (; !rs->Eof(); rs->MoveNext()) {
            QStringList values;
            for (const QString& column : columns.split(u'|')) // by name, as the screens read them
                values << (rs->Field(column).isValid() ? text(rs->Field(column)) : "<no column " + column + ">");
            rows << values.join(u'|');
        }
        QCOMPARE(rows.size(), rowCount);
        if (!statement.contains(QStringLiteral("ORDER BY")))
            rows.sort();
        QCOMPARE(rows.mid(0, firstRows.size()), firstRows);
    }

    void allocationStatementsKeepTheFiguresInStep_data()
    {
        QTest::addColumn<QStringList>("amounts"); // applied one after another, then all removed
        QTest::addColumn<bool>("byId");
        QTest::newRow("by UniqueID, four decimals")
            << QStringList{"0.0001", "12.3456", "0.1", "0.2", "99999.9999"} << false;
        QTest::newRow("by ID, thirds") << QStringList{"33.3333", "33.3333", "33.3334"} << true;
        QTest::newRow("large amounts") << QStringList{"123456789.1234", "0.0002"} << false;
    }
    void allocationStatementsKeepTheFiguresInStep()
    {
        QFETCH(QStringList, amounts);
        QFETCH(bool, byId);
        Currency sum;
        for (const QString& a : amounts)
            sum += *Currency::parsePlain(a);
        const Currency total = sum + Currency::fromUnits(10);
        db->exec(QStringLiteral("INSERT INTO Orders (ID, UniqueID, CustomerID, State, Total, Balance) VALUES (50, "
                                "'Z-50', 2, 3, %1, %1)")
                     .arg(total.toPlainString()));
        db->exec(insertPayment(1, 2, "20240801 12:00:00", "", "", "", sum.toPlainString()));
        auto figures = [&] {
            return QStringList{db->money("SELECT Allocated FROM Payments WHERE ID = 7").toPlainString(),
                               db->money("SELECT Payments FROM Orders WHERE ID = 50").toPlainString(),
                               db->money("SELECT Balance FROM Orders WHERE ID = 50").toPlainString()};
        };
        Currency applied;
        QList<int> allocations;
        for (const QString& a : amounts) {
            db->exec(applyCommand(7, "Z-50", a, byId ? 50 : 0));
            allocations << db->count("SELECT MAX(ID) FROM PaymentAllocations");
            applied += *Currency::parsePlain(a);
            QCOMPARE(figures(), QStringList({applied.toPlainString(), applied.toPlainString(),
                                             (total - applied).toPlainString()}));
            QCOMPARE(db->count(OutOfStep), 0);
        }
        // Fully applied: nothing left to allocate, found exactly as the screens look for it.
        QCOMPARE(db->count("SELECT COUNT(*) FROM Payments WHERE ID = 7 AND Allocated <> Amount"), 0);
        for (qsizetype k = amounts.size() - 1; k >= 0; --k) {
            db->exec(removeCommand(allocations[k], 7, "Z-50", amounts[k]));
            QCOMPARE(db->count(OutOfStep), 0);
        }
        QCOMPARE(figures(), QStringList({"0", "0", total.toPlainString()}));
    }

    void tenthPlusTwoTenthsAllocatesThreeTenths()
    {
        // Payments 3 and 6 were 0.3 with 0.1 and then 0.2 applied; order 8 totals 0.3.
        QCOMPARE(db->count("SELECT COUNT(*) FROM Payments WHERE ID IN (3, 6) AND Allocated = 0.3 AND Allocated = "
                           "Amount"),
                 2);
        QCOMPARE(db->count("SELECT COUNT(*) FROM Orders WHERE ID = 8 AND Balance = 0 AND Payments = Total"), 1);
        QCOMPARE(db->money(customerCredit.arg(1)), Currency::fromUnits(90)); // nor offered as credit
        // Moving it back leaves exact figures as well; so does removing an allocation whose
        // order is kept elsewhere (its order update finds no row).
        for (const QString& c : {removeCommand(7, 6, "U-8", "0.2"), removeCommand(6, 6, "U-8", "0.1"),
                                 removeCommand(5, 4, "U-GONE", "80")})
            db->exec(c);
        QCOMPARE(db->count("SELECT COUNT(*) FROM Payments WHERE ID IN (4, 6) AND Allocated = 0"), 2);
        QCOMPARE(db->count("SELECT COUNT(*) FROM Orders WHERE ID = 8 AND Payments = 0 AND Balance = 0.3"), 1);
        QCOMPARE(db->money("SELECT SUM(Payments) FROM Orders"), *Currency::parsePlain("350.3"));
        QCOMPARE(db->count(OutOfStep), 0);
    }

    void moneyIsExactAndNeverText_data()
    {
        QTest::addColumn<QString>("value");  // as written into the statement
        QTest::addColumn<QString>("stored"); // plain decimal; empty: refused
        for (const auto& [value, stored] : {std::pair{"12.34567", "12.3457"},
                                            {"'12.50'", "12.5"},
                                            {"-0.00005", "-0.0001"},
                                            {"0.1 + 0.2", "0.3"},
                                            {"'abc'", ""},
                                            {"''", ""}})
            QTest::newRow(value) << QString::fromLatin1(value) << QString::fromLatin1(stored);
    }
    void moneyIsExactAndNeverText()
    {
        QFETCH(QString, value);
        QFETCH(QString, stored);
        auto& c = db->connection();
        const bool saved = c.Execute(QStringLiteral("UPDATE Payments SET Amount = %1 WHERE ID = 2").arg(value));
        QCOMPARE(saved, !stored.isEmpty());
        if (!saved) // refused with the engine's reason, nothing changed
            QVERIFY2(c.LastError().contains(says("is not a number", "invalid input syntax for type numeric")),
                     qPrintable(c.LastError()));
        // Stored as a number (not text) of that exact value.
        const QString exact = onPostgres() ? "pg_typeof(Amount) = 'numeric'::regtype AND Amount = "
                                           : "typeof(Amount) IN ('integer', 'real') AND Amount = ";
        QCOMPARE(db->count("SELECT COUNT(*) FROM Payments WHERE ID = 2 AND " + exact + (saved ? stored : "100")), 1);
    }
};

TESR_TEST_MAIN(TestLedgerStatements)
#include "tst_ledgerstatements.moc"

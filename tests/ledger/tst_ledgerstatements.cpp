// The company schema with the module's own statements, on the test's engine (SQLite or
// PostgreSQL): the details text of every kind of payment, order keys found without regard to
// case (the screens themselves are tested against both engines elsewhere); the shared
// allocation statements keep the three figures in step to the fourth decimal; money stays exact
// (0.1 + 0.2 applied to 0.3 leaves nothing unallocated) and is never stored as text; the schema
// goes in whole or not at all.

#include "ledger/Schema.h"

#include "ledger/LedgerFixture.h"
#include "support/TestMain.h"

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

// Methods Cash, Check, Visa; orders 1 (U-1) and 2 (U-2). Payments: 1 Visa
// 300 (250 to U-1); 2 Cash 100 to U-2; 3 Check 0.3 as 0.1 to U-1 and 0.2 to U-2; 4 Cash 80 of
// customer 2, its texts NULL, to U-GONE (an order kept elsewhere); 5 Visa 40 credit, a name and
// no card. Allocations 1..5 in that order.
void seed(tesrtest::TestDatabase& db)
{
    db.exec("INSERT INTO PaymentMethods (PaymentMethod, MethodType) VALUES ('Cash', 0); INSERT INTO PaymentMethods "
            "(PaymentMethod, MethodType) VALUES ('Check', 0); INSERT INTO PaymentMethods (PaymentMethod, MethodType) "
            "VALUES ('Visa', 1)");
    for (const auto& [id, total] : {std::pair{1, "500"}, {2, "300"}})
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
    for (const QString& c : {
             applyCommand(1, "U-1", "250"),
             applyCommand(2, "U-2", "100", 2),
             applyCommand(3, "U-1", "0.1"),
             applyCommand(3, "U-2", "0.2", 2),
             applyCommand(4, "U-GONE", "80"),
         })
        db.exec(c);
}

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

    void schemaIsCheckedWhole()
    {
        QVERIFY(tesr::ledger::hasSchema(session(*db).database(), db->engine()));
        db->exec("DROP VIEW vwScreen_EditPayment"); // every table and view counts
        QVERIFY(!tesr::ledger::hasSchema(session(*db).database(), db->engine()));
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
            "theDetails|Amount|Allocated", 4,
            {"Cash|100|100", "Check - Check #1001|0.3|0.3", "Visa (Pat) - memo only|40|0",
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
        tesr::CurrencyTotal sum;
        for (const QString& a : amounts)
            sum.add(*Currency::parsePlain(a));
        const Currency total = sum.value()->plus(Currency::fromUnits(10)).value();
        db->exec(QStringLiteral("INSERT INTO Orders (ID, UniqueID, CustomerID, State, Total, Balance) VALUES (50, "
                                "'Z-50', 2, 3, %1, %1)")
                     .arg(total.toPlainString()));
        db->exec(insertPayment(1, 2, "20240801 12:00:00", "", "", "", sum.value()->toPlainString()));
        auto figures = [&] {
            return QStringList{db->money("SELECT Allocated FROM Payments WHERE ID = 6").toPlainString(),
                               db->money("SELECT Payments FROM Orders WHERE ID = 50").toPlainString(),
                               db->money("SELECT Balance FROM Orders WHERE ID = 50").toPlainString()};
        };
        tesr::CurrencyTotal applied;
        QList<int> allocations;
        for (const QString& a : amounts) {
            db->exec(applyCommand(6, "Z-50", a, byId ? 50 : 0));
            allocations << db->count("SELECT MAX(ID) FROM PaymentAllocations");
            applied.add(*Currency::parsePlain(a));
            QCOMPARE(figures(), QStringList({applied.value()->toPlainString(), applied.value()->toPlainString(),
                                             total.minus(*applied.value())->toPlainString()}));
            QCOMPARE(db->count(OutOfStep), 0);
        }
        // Fully applied: nothing left to allocate, found exactly as the screens look for it.
        QCOMPARE(db->count("SELECT COUNT(*) FROM Payments WHERE ID = 6 AND Allocated <> Amount"), 0);
        for (qsizetype k = amounts.size() - 1; k >= 0; --k) {
            db->exec(removeCommand(allocations[k], 6, "Z-50", amounts[k]));
            QCOMPARE(db->count(OutOfStep), 0);
        }
        QCOMPARE(figures(), QStringList({"0", "0", total.toPlainString()}));
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

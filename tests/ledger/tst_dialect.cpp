// How each engine receives the module's T-SQL: split into statements, TOP, brackets and the
// payment details function rewritten for SQLite; for PostgreSQL also Like as ILIKE, NULLs
// sorted lowest and update-lock hints as FOR UPDATE; nothing inside a literal ever touched;
// SQL Server given every command verbatim and whole.

#include "ledger/Dialect.h"
#include "ledger/Statements.h"

#include "support/TestMain.h"

using tesr::ledger::Engine;

namespace {

const QString detailsOf = QStringLiteral("(SELECT Details FROM vwPaymentDetails WHERE PaymentID = (%1))");

// The apply statement as New Payment fills it.
QString filledApply()
{
    return tesr::ledger::FillMarkers(
        tesr::ledger::ApplyAllocationByUniqueID,
        {{u"<pid>", QStringLiteral("12")}, {u"<ouid>", QStringLiteral("{AB-1}")}, {u"<a>", QStringLiteral("25.5")}});
}

} // namespace

class TestDialect : public QObject {
    Q_OBJECT

private slots:
    void sqlite_data();
    void sqlite();
    void sqlServerIsVerbatim_data();
    void sqlServerIsVerbatim();
    void postgres_data();
    void postgres();
    void splitStatements_data();
    void splitStatements();
    void compoundFlag_data();
    void compoundFlag();
    void engineStatements();
    void namesWritten();
};

void TestDialect::sqlite_data()
{
    QTest::addColumn<QString>("command");
    QTest::addColumn<QStringList>("expected");

    QTest::newRow("plain select unchanged")
        << "SELECT * FROM vwScreen_NewPayment WHERE CustomerID = 5 AND (State = 2 OR State = 3) AND StatusCode <> 500"
        << QStringList{"SELECT * FROM vwScreen_NewPayment WHERE CustomerID = 5 AND (State = 2 OR State = 3) AND "
                       "StatusCode <> 500"};
    QTest::newRow("customer list: TOP and brackets")
        << "SELECT TOP 32 ID, CustomerName FROM [Customers] WHERE Active <> 0  ORDER BY LastUsed DESC"
        << QStringList{"SELECT ID, CustomerName FROM Customers WHERE Active <> 0  ORDER BY LastUsed DESC LIMIT 32"};
    QTest::newRow("customer search: Like stays, literal untouched")
        << "SELECT TOP 32 ID, CustomerName FROM [Customers] WHERE Active <> 0 AND CustomerName Like '%O''Br [top] 5%'  "
           "AND SalesRepID = 17 ORDER BY CustomerName"
        << QStringList{"SELECT ID, CustomerName FROM Customers WHERE Active <> 0 AND CustomerName Like '%O''Br [top] "
                       "5%'  AND SalesRepID = 17 ORDER BY CustomerName LIMIT 32"};
    QTest::newRow("trailing blank before the end")
        << "SELECT TOP 32 ID FROM [Customers] WHERE Active <> 0 "
        << QStringList{"SELECT ID FROM Customers WHERE Active <> 0 LIMIT 32"};
    QTest::newRow("TOP in parentheses, lower case") << "select top (5) ID from Payments order by ID desc"
                                                    << QStringList{"select ID from Payments order by ID desc LIMIT 5"};
    QTest::newRow("DISTINCT TOP") << "SELECT DISTINCT TOP 3 CustomerID FROM Orders"
                                  << QStringList{"SELECT DISTINCT CustomerID FROM Orders LIMIT 3"};
    QTest::newRow("TOP inside a subquery closes with it")
        << "SELECT ID FROM Orders WHERE ID IN (SELECT TOP 1 ID FROM Orders ORDER BY ID DESC ) AND State = 3"
        << QStringList{
               "SELECT ID FROM Orders WHERE ID IN (SELECT ID FROM Orders ORDER BY ID DESC LIMIT 1) AND State = 3"};
    QTest::newRow("TOP PERCENT has no LIMIT form")
        << "SELECT TOP 10 PERCENT ID FROM Orders" << QStringList{"SELECT TOP 10 PERCENT ID FROM Orders"};
    QTest::newRow("a column named like TOP") << "SELECT Topic, stop FROM t" << QStringList{"SELECT Topic, stop FROM t"};
    QTest::newRow("TOP not right after SELECT") << "SELECT ID AS top FROM t" << QStringList{"SELECT ID AS top FROM t"};
    QTest::newRow("literal right after SELECT") << "SELECT 'TOP 5' AS x" << QStringList{"SELECT 'TOP 5' AS x"};
    QTest::newRow("LIMIT after a closing line comment")
        << "SELECT TOP 3 ID FROM Payments -- newest first\n"
        << QStringList{"SELECT ID FROM Payments -- newest first\nLIMIT 3"};
    QTest::newRow("payment details function")
        << "SELECT Payments.ID, dbo.PaymentDetails(Payments.ID) AS theDetails, Payments.Amount FROM Payments WHERE "
           "(Payments.CustomerID = 4)"
        << QStringList{"SELECT Payments.ID, " + detailsOf.arg("Payments.ID") +
                       " AS theDetails, Payments.Amount FROM Payments WHERE (Payments.CustomerID = 4)"};
    QTest::newRow("details function with nested parentheses")
        << "SELECT dbo.PaymentDetails((SELECT MAX(ID) FROM Payments)) AS d, (1) AS one"
        << QStringList{"SELECT " + detailsOf.arg("(SELECT MAX(ID) FROM Payments)") + " AS d, (1) AS one"};
    QTest::newRow("details function bracketed, any case, blanks")
        << "SELECT [dbo].[PaymentDetails] (ID), DBO.paymentdetails( ID ) FROM [Payments]"
        << QStringList{"SELECT " + detailsOf.arg("ID") + ", " + detailsOf.arg(" ID ") + " FROM Payments"};
    QTest::newRow("other dbo functions untouched")
        << "SELECT dbo.OtherThing(ID) FROM Payments" << QStringList{"SELECT dbo.OtherThing(ID) FROM Payments"};
    QTest::newRow("names that need quotes keep them")
        << "SELECT [Order], [My Col], [a]]b], [x\"y] FROM [Orders]"
        << QStringList{"SELECT \"Order\", \"My Col\", \"a]b\", \"x\"\"y\" FROM Orders"};
    QTest::newRow("apply statement splits in three")
        << filledApply()
        << QStringList{"INSERT INTO PaymentAllocations (PaymentID, OrderUniqueID, Amount) VALUES(12, '{AB-1}', 25.5)",
                       "UPDATE Payments SET Allocated = Allocated + 25.5 WHERE ID = 12",
                       "UPDATE Orders SET Payments = Payments + 25.5, Balance = Balance - 25.5 WHERE UniqueID = "
                       "'{AB-1}'"};
    QTest::newRow("nothing changes inside a literal")
        << "UPDATE Payments SET Description = 'It''s [Customers]; SELECT TOP 5 dbo.PaymentDetails(1) -- no; /* x */' "
           "WHERE ID = 7"
        << QStringList{"UPDATE Payments SET Description = 'It''s [Customers]; SELECT TOP 5 dbo.PaymentDetails(1) -- "
                       "no; /* x */' WHERE ID = 7"};
    QTest::newRow("line breaks inside a literal")
        << "UPDATE Payments SET Description = 'one;\r\ntwo; [three]' WHERE ID = 1; DELETE FROM Payments WHERE ID = 2"
        << QStringList{"UPDATE Payments SET Description = 'one;\r\ntwo; [three]' WHERE ID = 1",
                       "DELETE FROM Payments WHERE ID = 2"};
    QTest::newRow("quoted name holding a semicolon") << "SELECT \"a;b\" FROM t" << QStringList{"SELECT \"a;b\" FROM t"};
    QTest::newRow("empty pieces dropped")
        << " UPDATE Orders SET State = 2 WHERE ID = 1;  ; " << QStringList{"UPDATE Orders SET State = 2 WHERE ID = 1"};
    QTest::newRow("TOP in each statement") << "SELECT TOP 2 ID FROM t;SELECT TOP 1 x FROM u"
                                           << QStringList{"SELECT ID FROM t LIMIT 2", "SELECT x FROM u LIMIT 1"};
    QTest::newRow("unterminated literal left for the engine") << "SELECT 'abc; [d]" << QStringList{"SELECT 'abc; [d]"};
    QTest::newRow("blank command") << "  \n " << QStringList{};
    // One writer holds the whole file (BEGIN IMMEDIATE): a row lock has nothing to add.
    QTest::newRow("table hints dropped")
        << "SELECT Amount - Allocated FROM Payments WITH (UPDLOCK, ROWLOCK) WHERE ID = 7 ORDER BY ID"
        << QStringList{"SELECT Amount - Allocated FROM Payments WHERE ID = 7 ORDER BY ID"};
    QTest::newRow("Like and NULL order left as they are")
        << "SELECT ID FROM t WHERE a Like 'x%' ORDER BY b DESC"
        << QStringList{"SELECT ID FROM t WHERE a Like 'x%' ORDER BY b DESC"};
}

void TestDialect::sqlite()
{
    QFETCH(QString, command);
    QFETCH(QStringList, expected);
    const auto dialect = tesr::ledger::makeDialect(Engine::SQLite);
    QCOMPARE(dialect->translate(command), expected);
    // Translation is a pure function of the text: the same answer the second time.
    QCOMPARE(dialect->translate(command), expected);
}

void TestDialect::sqlServerIsVerbatim_data()
{
    QTest::addColumn<QString>("command");
    QTest::newRow("TOP and brackets") << "SELECT TOP 32 ID, CustomerName FROM [Customers] WHERE Active <> 0 ";
    QTest::newRow("details") << "SELECT dbo.PaymentDetails(Payments.ID) AS theDetails FROM Payments";
    QTest::newRow("compound") << filledApply();
    QTest::newRow("literal") << "UPDATE Payments SET Description = 'a; [b]' WHERE ID = 1";
}

void TestDialect::sqlServerIsVerbatim()
{
    QFETCH(QString, command);
    const auto dialect = tesr::ledger::makeDialect(Engine::SqlServer);
    QCOMPARE(dialect->translate(command), QStringList{command});
    QCOMPARE(dialect->qtDriver(), QStringLiteral("QODBC"));
}

void TestDialect::postgres_data()
{
    QTest::addColumn<QString>("command");
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("TOP and brackets, NULLs last when descending")
        << "SELECT TOP 32 ID FROM [Customers] ORDER BY LastUsed DESC"
        << QStringList{"SELECT ID FROM Customers ORDER BY LastUsed DESC NULLS LAST LIMIT 32"};
    QTest::newRow("NULLs first when ascending, per item")
        << "SELECT ID FROM Payments ORDER BY PaymentDate, Amount DESC, ID ASC"
        << QStringList{"SELECT ID FROM Payments ORDER BY PaymentDate NULLS FIRST, Amount DESC NULLS LAST, ID ASC "
                       "NULLS FIRST"};
    QTest::newRow("ORDER BY in a subquery, an expression, a comment")
        << "SELECT ID FROM Orders WHERE ID IN (SELECT TOP 1 ID FROM Orders ORDER BY (Total - Payments) DESC) "
           "ORDER BY dbo.PaymentDetails(ID) -- by details\n"
        << QStringList{"SELECT ID FROM Orders WHERE ID IN (SELECT ID FROM Orders ORDER BY (Total - Payments) DESC "
                       "NULLS LAST LIMIT 1) ORDER BY dbo.PaymentDetails(ID) NULLS FIRST -- by details"};
    QTest::newRow("NULLS written already")
        << "SELECT ID FROM t ORDER BY x NULLS LAST" << QStringList{"SELECT ID FROM t ORDER BY x NULLS LAST"};
    QTest::newRow("customer search: Like is case-blind")
        << "SELECT TOP 32 ID, CustomerName FROM [Customers] WHERE Active <> 0 AND CustomerName Like '%o''b like%'  "
           "ORDER BY CustomerName"
        << QStringList{"SELECT ID, CustomerName FROM Customers WHERE Active <> 0 AND CustomerName ILIKE '%o''b like%'  "
                       "ORDER BY CustomerName NULLS FIRST LIMIT 32"};
    QTest::newRow("NOT LIKE with ESCAPE") << "SELECT ID FROM t WHERE a NOT LIKE 'x\\_%' ESCAPE '\\'"
                                          << QStringList{"SELECT ID FROM t WHERE a NOT ILIKE 'x\\_%' ESCAPE '\\'"};
    QTest::newRow("update lock: the payment row is locked")
        << "SELECT Amount - Allocated AS Unallocated FROM Payments WITH (UPDLOCK, ROWLOCK) WHERE ID = 7"
        << QStringList{"SELECT Amount - Allocated AS Unallocated FROM Payments WHERE ID = 7 FOR UPDATE"};
    QTest::newRow("update lock with TOP")
        << "SELECT TOP 1 ID FROM Payments WITH (UPDLOCK) WHERE CustomerID = 3 ORDER BY ID"
        << QStringList{"SELECT ID FROM Payments WHERE CustomerID = 3 ORDER BY ID NULLS FIRST LIMIT 1 FOR UPDATE"};
    QTest::newRow("a read hint is dropped")
        << "SELECT ID FROM Payments WITH (NOLOCK) WHERE ID = 1" << QStringList{"SELECT ID FROM Payments WHERE ID = 1"};
    QTest::newRow("a CTE is no hint") << "WITH x AS (SELECT SUM(Amount) AS s FROM Payments) SELECT s FROM x"
                                      << QStringList{
                                             "WITH x AS (SELECT SUM(Amount) AS s FROM Payments) SELECT s FROM x"};
    QTest::newRow("details function kept")
        << "SELECT dbo.PaymentDetails(ID) FROM Payments" << QStringList{"SELECT dbo.PaymentDetails(ID) FROM Payments"};
    QTest::newRow("split") << "DELETE FROM a WHERE x = ';'; DELETE FROM b"
                           << QStringList{"DELETE FROM a WHERE x = ';'", "DELETE FROM b"};
    QTest::newRow("nothing changes inside a literal")
        << "UPDATE Payments SET Description = 'x Like y ORDER BY z WITH (UPDLOCK)' WHERE ID = 7"
        << QStringList{"UPDATE Payments SET Description = 'x Like y ORDER BY z WITH (UPDLOCK)' WHERE ID = 7"};
}

void TestDialect::postgres()
{
    QFETCH(QString, command);
    QFETCH(QStringList, expected);
    QCOMPARE(tesr::ledger::makeDialect(Engine::PostgreSQL)->translate(command), expected);
}

void TestDialect::splitStatements_data()
{
    QTest::addColumn<QString>("command");
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("three") << "A; B ;C" << QStringList{"A", "B", "C"};
    QTest::newRow("literal") << "UPDATE t SET x = 'a;b'; B" << QStringList{"UPDATE t SET x = 'a;b'", "B"};
    QTest::newRow("brackets") << "SELECT [a;b] FROM t; B" << QStringList{"SELECT [a;b] FROM t", "B"};
    QTest::newRow("double quotes") << "SELECT \"a;b\" FROM t" << QStringList{"SELECT \"a;b\" FROM t"};
    QTest::newRow("comment") << "A -- x; y\n; B" << QStringList{"A -- x; y", "B"};
    QTest::newRow("empty") << ";;" << QStringList{};
    // Splitting changes nothing else.
    QTest::newRow("no rewriting") << "SELECT TOP 1 [x] FROM t" << QStringList{"SELECT TOP 1 [x] FROM t"};
}

void TestDialect::splitStatements()
{
    QFETCH(QString, command);
    QFETCH(QStringList, expected);
    QCOMPARE(tesr::ledger::splitStatements(command), expected);
}

void TestDialect::compoundFlag_data()
{
    QTest::addColumn<int>("engine");
    QTest::addColumn<QString>("command");
    QTest::addColumn<int>("statements");
    QTest::addColumn<bool>("compound");
    for (Engine e : {Engine::SQLite, Engine::SqlServer, Engine::PostgreSQL}) {
        const bool whole = e == Engine::SqlServer;
        const QByteArray tag = e == Engine::SQLite ? "sqlite" : whole ? "sqlserver" : "postgres";
        QTest::newRow(tag + " single") << int(e) << "UPDATE t SET x = ';' WHERE ID = 1" << 1 << false;
        QTest::newRow(tag + " compound") << int(e) << filledApply() << (whole ? 1 : 3) << true;
        QTest::newRow(tag + " trailing semicolon") << int(e) << "DELETE FROM t;" << 1 << false;
    }
}

void TestDialect::compoundFlag()
{
    QFETCH(int, engine);
    QFETCH(QString, command);
    QFETCH(int, statements);
    QFETCH(bool, compound);
    const auto prepared = tesr::ledger::makeDialect(Engine(engine))->prepareCommand(command);
    QCOMPARE(prepared.statements.size(), statements);
    QCOMPARE(prepared.compound, compound);
}

void TestDialect::engineStatements()
{
    const auto sqlite = tesr::ledger::makeDialect(Engine::SQLite);
    QCOMPARE(sqlite->beginTransaction(), QStringLiteral("BEGIN IMMEDIATE"));
    QCOMPARE(sqlite->insertIdMethod(), tesr::ledger::InsertIdMethod::DriverLastInsertId);
    QCOMPARE(sqlite->lockWaitStatement(2500), QStringLiteral("PRAGMA busy_timeout = 2500"));
    QVERIFY(sqlite->sessionSetup().join(u' ').contains(QStringLiteral("journal_mode = WAL")));

    const auto server = tesr::ledger::makeDialect(Engine::SqlServer);
    QCOMPARE(server->insertReturningId(QStringLiteral("INSERT INTO t (a) VALUES (1)")),
             QStringLiteral("INSERT INTO t (a) VALUES (1); SELECT CAST(SCOPE_IDENTITY() AS int)"));
    QVERIFY(server->releaseSavepoint(QStringLiteral("x")).isEmpty());

    const auto postgres = tesr::ledger::makeDialect(Engine::PostgreSQL);
    QCOMPARE(postgres->insertReturningId(QStringLiteral("INSERT INTO t (a) VALUES (1)")),
             QStringLiteral("INSERT INTO t (a) VALUES (1) RETURNING ID"));
    QCOMPARE(postgres->qtDriver(), QStringLiteral("QPSQL"));
}

void TestDialect::namesWritten()
{
    QCOMPARE(
        tesr::ledger::namesWritten("SELECT COUNT(*) as theCount, [My Col], \"q\"\"n\" FROM t WHERE x = 'NotAName' "
                                   "-- Comment\n AND y = 2"),
        QStringList({"SELECT", "COUNT", "as", "theCount", "My Col", "q\"n", "FROM", "t", "WHERE", "x", "AND", "y"}));
}

TESR_TEST_MAIN(TestDialect)
#include "tst_dialect.moc"

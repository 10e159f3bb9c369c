// How each engine receives the module's T-SQL: split into statements, TOP as LIMIT, brackets
// and (SQLite) the payment details function rewritten; PostgreSQL also gets ILIKE, NULLs sorted
// lowest and FOR UPDATE for an update-lock hint; nothing inside a literal is ever touched; SQL
// Server gets every command verbatim and whole. A TOP limits its own branch of a UNION on the
// engine itself, and the schema script runs through the engine's own command-line tool. The
// literal lifter: which literals of a statement become bound values (and with which type), and
// which stay part of the statement's form because an engine reads them as such; every lifted
// command gives the command back when its values are put back in.

#include "ledger/Dialect.h"
#include "ledger/Literals.h"
#include "ledger/Schema.h"
#include "ledger/Statements.h"

#include "support/Shorthand.h"
#include "support/TestDatabase.h"
#include "support/TestMain.h"

#include <QProcess>

using tesr::ledger::Engine;
using tesr::ledger::Literal;

namespace tesr::ledger {
// How QCOMPARE shows a literal that differs.
char* toString(const Literal& literal)
{
    const char* type = literal.type == Literal::Type::Integer   ? "Integer"
                       : literal.type == Literal::Type::Decimal ? "Decimal"
                                                                : "Text";
    return QTest::toString(QStringLiteral("%1 %2").arg(QLatin1StringView(type), literal.text));
}
} // namespace tesr::ledger

namespace {

Literal integer(const char* text)
{
    return {Literal::Type::Integer, QString::fromLatin1(text)};
}
Literal decimal(const char* text)
{
    return {Literal::Type::Decimal, QString::fromLatin1(text)};
}
Literal text(const QString& value)
{
    return {Literal::Type::Text, value};
}

QString details(const QString& id)
{
    return QStringLiteral("(SELECT Details FROM vwPaymentDetails WHERE PaymentID = (%1))").arg(id);
}

const QString apply = tesr::ledger::FillMarkers(tesr::ledger::ApplyAllocationByUniqueID,
                                                {{u"<pid>", "12"}, {u"<ouid>", "{AB-1}"}, {u"<a>", "25.5"}});

} // namespace

class TestDialect : public QObject {
    Q_OBJECT

private slots:
    void translate_data()
    {
        QTest::addColumn<QString>("command");
        QTest::addColumn<QStringList>("sqlite");
        QTest::addColumn<QStringList>("postgres"); // empty: as on SQLite
        auto row = [](const char* tag, const QString& command, const QStringList& sqlite,
                      const QStringList& postgres = {}) { QTest::newRow(tag) << command << sqlite << postgres; };

        row("customer box: TOP, brackets, NULLs last when descending",
            "SELECT TOP 32 ID FROM [Customers] WHERE Active <> 0  ORDER BY LastUsed DESC",
            {"SELECT ID FROM Customers WHERE Active <> 0  ORDER BY LastUsed DESC LIMIT 32"},
            {"SELECT ID FROM Customers WHERE Active <> 0  ORDER BY LastUsed DESC NULLS LAST LIMIT 32"});
        row("customer search: Like case-blind, literal untouched",
            "SELECT TOP 9 ID FROM t WHERE a Like '%O''B [top] like%'",
            {"SELECT ID FROM t WHERE a Like '%O''B [top] like%' LIMIT 9"},
            {"SELECT ID FROM t WHERE a ~* '^.*o''b [top] like.* *$' LIMIT 9"});
        row("a pattern that cannot match, a quote inside; a quote as the escape character",
            "SELECT ID FROM t WHERE a LIKE '[O''' AND b NOT LIKE 'O''''B%' ESCAPE '''' AND c = 'x'",
            {"SELECT ID FROM t WHERE a LIKE '[O''' AND b NOT LIKE 'O''''B%' ESCAPE '''' AND c = 'x'"},
            {"SELECT ID FROM t WHERE a ~* '$.' AND b !~* '^o''b.* *$' AND c = 'x'"});
        row("a bracketed name against a word stays apart from it", "SELECT[a]FROM[t]WHERE[b]Like 'x'",
            {"SELECT a FROM t WHERE b Like 'x'"}, {"SELECT a FROM t WHERE b ~* '^x *$'"});
        row("TOP (n) in lower case, trailing blank", "select top (5) ID from t where x = 1 ",
            {"select ID from t where x = 1 LIMIT 5"});
        row("subquery TOP closes with it; ORDER BY an expression, a function",
            "SELECT ID FROM t WHERE ID IN (SELECT TOP 1 ID FROM t ORDER BY (a - b) DESC) ORDER BY "
            "dbo.PaymentDetails(ID)",
            {"SELECT ID FROM t WHERE ID IN (SELECT ID FROM t ORDER BY (a - b) DESC LIMIT 1) ORDER BY " + details("ID")},
            {"SELECT ID FROM t WHERE ID IN (SELECT ID FROM t ORDER BY (a - b) DESC NULLS LAST LIMIT 1) ORDER BY "
             "dbo.PaymentDetails(ID) NULLS FIRST"});
        row("details function: nested, bracketed, any case; other functions kept",
            "SELECT dbo.PaymentDetails((SELECT MAX(ID) FROM t)), [dbo].[PaymentDetails] (ID), DBO.paymentdetails( ID "
            "), "
            "dbo.Other(ID)",
            {"SELECT " + details("(SELECT MAX(ID) FROM t)") + ", " + details("ID") + ", " + details(" ID ") +
             ", dbo.Other(ID)"},
            {"SELECT dbo.PaymentDetails((SELECT MAX(ID) FROM t)), dbo.PaymentDetails (ID), DBO.paymentdetails( ID ), "
             "dbo.Other(ID)"});
        row("names that need quotes keep them", "SELECT [Order], [My Col], [a]]b], [x\"y] FROM [Orders]",
            {"SELECT \"Order\", \"My Col\", \"a]b\", \"x\"\"y\" FROM Orders"});
        row("apply statement in three", apply,
            {"INSERT INTO PaymentAllocations (PaymentID, OrderUniqueID, Amount) VALUES(12, '{AB-1}', 25.5)",
             "UPDATE Payments SET Allocated = Allocated + 25.5 WHERE ID = 12",
             "UPDATE Orders SET Payments = Payments + 25.5, Balance = Balance - 25.5 WHERE UniqueID = '{AB-1}'"});
        const QString literal = "'It''s [t]; SELECT TOP 5 dbo.PaymentDetails(1) Like ORDER BY z WITH (UPDLOCK) -- /*'";
        row("nothing changes inside a literal", "UPDATE t SET a = " + literal, {"UPDATE t SET a = " + literal});
        row("line breaks inside a literal; empty pieces dropped",
            "UPDATE t SET a = 'one;\r\ntwo; [3]'; ; DELETE FROM t;",
            {"UPDATE t SET a = 'one;\r\ntwo; [3]'", "DELETE FROM t"});
        row("TOP in each statement; a quoted name holding a semicolon",
            "SELECT TOP 2 \"a;b\" FROM t;SELECT TOP 1 x FROM u",
            {"SELECT \"a;b\" FROM t LIMIT 2", "SELECT x FROM u LIMIT 1"});
        row("update lock: dropped on SQLite, the row locked on PostgreSQL",
            "SELECT Amount - Allocated FROM Payments WITH (UPDLOCK, ROWLOCK) WHERE ID = 7",
            {"SELECT Amount - Allocated FROM Payments WHERE ID = 7"},
            {"SELECT Amount - Allocated FROM Payments WHERE ID = 7 FOR UPDATE"});
        row("TOP limits its own branch of a UNION; the ORDER BY sorts the whole",
            "SELECT TOP 1 a FROM t UNION ALL SELECT TOP (2) b FROM u ORDER BY a DESC",
            {"SELECT * FROM (SELECT a FROM t LIMIT 1) AS branch UNION ALL "
             "SELECT * FROM (SELECT b FROM u LIMIT 2) AS branch ORDER BY a DESC"},
            {"SELECT * FROM (SELECT a FROM t LIMIT 1) AS branch UNION ALL "
             "SELECT * FROM (SELECT b FROM u LIMIT 2) AS branch ORDER BY a DESC NULLS LAST"});
        row("TOP in one branch, inside a derived table, after a line comment",
            "SELECT x FROM (SELECT TOP 3 a FROM t -- first\nINTERSECT SELECT b FROM u) v",
            {"SELECT x FROM (SELECT * FROM (SELECT a FROM t -- first\nLIMIT 3) AS branch INTERSECT SELECT b FROM u) "
             "v"});
        row("a parenthesis left open closes at the end, never inside a word",
            "SELECT a FROM t ORDER BY x, (SELECT TOP 1 b FROM u ORDER BY c DESC",
            {"SELECT a FROM t ORDER BY x, (SELECT b FROM u ORDER BY c DESC LIMIT 1"},
            {"SELECT a FROM t ORDER BY x NULLS FIRST, (SELECT b FROM u ORDER BY c DESC NULLS LAST LIMIT 1 NULLS "
             "FIRST"});
        row("NULLs lowest, per ORDER BY item, after a pattern rewritten",
            "SELECT ID FROM t ORDER BY a, b DESC, c ASC, Name Like 'O''B_%'",
            {"SELECT ID FROM t ORDER BY a, b DESC, c ASC, Name Like 'O''B_%'"},
            {"SELECT ID FROM t ORDER BY a NULLS FIRST, b DESC NULLS LAST, c ASC NULLS FIRST, Name ~* '^o''b..* *$' "
             "NULLS FIRST"});
    }

    void translate()
    {
        QFETCH(QString, command);
        QFETCH(QStringList, sqlite);
        QFETCH(QStringList, postgres);
        QCOMPARE(tesr::ledger::makeDialect(Engine::SQLite)->translate(command), sqlite);
        QCOMPARE(tesr::ledger::makeDialect(Engine::PostgreSQL)->translate(command),
                 postgres.isEmpty() ? sqlite : postgres);
        QCOMPARE(tesr::ledger::makeDialect(Engine::SqlServer)->translate(command), QStringList{command});
    }

    void lift_data()
    {
        QTest::addColumn<QString>("command");
        QTest::addColumn<QString>("shape"); // empty: the command itself, nothing lifted
        QTest::addColumn<QList<Literal>>("literals");
        auto row = [](const char* tag, const QString& command, const QString& shape, const QList<Literal>& literals) {
            QTest::newRow(tag) << command << shape << literals;
        };
        row("apply-allocation command: values of every type, quotes undone",
            tesr::ledger::FillMarkers(tesr::ledger::ApplyAllocationByUniqueID,
                                      {{u"<pid>", "12"}, {u"<ouid>", "O''B-7"}, {u"<a>", "25.5"}}),
            "INSERT INTO PaymentAllocations (PaymentID, OrderUniqueID, Amount) VALUES(?, ?, ?); UPDATE Payments SET "
            "Allocated = Allocated + ? WHERE ID = ?; UPDATE Orders SET Payments = Payments + ?, Balance = Balance - ? "
            "WHERE UniqueID = ?",
            {integer("12"), text("O'B-7"), decimal("25.5"), decimal("25.5"), integer("12"), decimal("25.5"),
             decimal("25.5"), text("O'B-7")});
        row("subquery inside VALUES",
            "INSERT INTO ActivityHistory (CustomerID, OrderID, Description) VALUES((SELECT CustomerID FROM Orders "
            "WHERE "
            "ID = 5), 5, 'A payment of $1.00 was applied.')",
            "INSERT INTO ActivityHistory (CustomerID, OrderID, Description) VALUES((SELECT CustomerID FROM Orders "
            "WHERE "
            "ID = ?), ?, ?)",
            {integer("5"), integer("5"), text("A payment of $1.00 was applied.")});
        row("select lists, ORDER BY and GROUP BY stay; WHERE values go",
            "SELECT 'x' AS Kind, Amount - 0, (SELECT COUNT(*) FROM a WHERE x = 1) FROM Payments WHERE CustomerID = 5 "
            "GROUP BY 2 ORDER BY 1, CASE WHEN Amount > 10 THEN 0 ELSE 1 END",
            "SELECT 'x' AS Kind, Amount - 0, (SELECT COUNT(*) FROM a WHERE x = 1) FROM Payments WHERE CustomerID = ? "
            "GROUP BY 2 ORDER BY 1, CASE WHEN Amount > 10 THEN 0 ELSE 1 END",
            {integer("5")});
        row("TOP counts, type sizes, LIKE patterns and escapes stay",
            "SELECT TOP 5 ID FROM Customers WHERE CustomerName LIKE '%a%' ESCAPE '\\' AND Active = 1 AND ID IN (SELECT "
            "TOP (3) ID FROM t WHERE CAST(c AS DECIMAL(19, 4)) > 2.5)",
            "SELECT TOP 5 ID FROM Customers WHERE CustomerName LIKE '%a%' ESCAPE '\\' AND Active = ? AND ID IN (SELECT "
            "TOP (3) ID FROM t WHERE CAST(c AS DECIMAL(19, 4)) > ?)",
            {integer("1"), decimal("2.5")});
        row("operands after words, signs, lists, exponents",
            "DELETE FROM t WHERE a BETWEEN -1 AND 2e3 OR b IN ('a','') OR CASE WHEN c = 'x' THEN 1 ELSE .5 END > 0",
            "DELETE FROM t WHERE a BETWEEN -? AND ? OR b IN (?,?) OR CASE WHEN c = ? THEN ? ELSE ? END > ?",
            {integer("1"), decimal("2e3"), text("a"), text(""), text("x"), integer("1"), decimal(".5"), integer("0")});
        row("names, comments and literals inside them stay",
            "UPDATE [Odd 'Name'] SET \"x'1\" = 2 -- 'not' 3\nWHERE /* 4 */ ID = 7",
            "UPDATE [Odd 'Name'] SET \"x'1\" = ? -- 'not' 3\nWHERE /* 4 */ ID = ?", {integer("2"), integer("7")});
        row("prefixed, typed and glued literals stay",
            "SELECT ID FROM t WHERE a = N'x' AND b = DATE '2024-01-01' AND c = 0x1F AND d = U&'\\0041' AND e = 'y'AND "
            "f = 1",
            "SELECT ID FROM t WHERE a = N'x' AND b = DATE '2024-01-01' AND c = 0x1F AND d = U&'\\0041' AND e = 'y'AND "
            "f = ?",
            {integer("1")});
        row("numbers beyond 64 bits, unterminated text, NUL characters stay",
            QStringLiteral("UPDATE t SET a = 99999999999999999999, b = 1e999, c = 'n") + QChar(0) +
                QStringLiteral("l' WHERE d = 'open"),
            "", {});
        row("statements of form only", "CREATE TABLE t (a VARCHAR(10) DEFAULT 'x'); PRAGMA busy_timeout = 5000", "",
            {});
        row("each statement of a command decides for itself",
            "SET lock_timeout = 5000; UPDATE t SET a = 'b' WHERE c = 3; SAVEPOINT s",
            "SET lock_timeout = 5000; UPDATE t SET a = ? WHERE c = ?; SAVEPOINT s", {text("b"), integer("3")});
        row("a command that already has markers", "UPDATE t SET a = 1 WHERE b = ?", "", {});
        row("a command that already has numbered markers", "UPDATE t SET a = 1 WHERE b = $1", "", {});
    }
    void lift()
    {
        QFETCH(QString, command);
        QFETCH(QString, shape);
        QFETCH(QList<Literal>, literals);
        const tesr::ledger::LiftedCommand lifted = tesr::ledger::liftLiterals(command);
        QCOMPARE(lifted.shape, shape.isEmpty() ? command : shape);
        QCOMPARE(lifted.literals, literals);
        QCOMPARE(tesr::ledger::countMarkers(lifted.shape),
                 literals.isEmpty() ? tesr::ledger::countMarkers(command) : int(literals.size()));
        QCOMPARE(tesr::ledger::restoreLiterals(lifted), command);
    }

    void numberedMarkers()
    {
        QCOMPARE(tesr::ledger::numberMarkers(u"UPDATE t SET a = ?, b = '?' /* ? */ WHERE c = -? AND d IN (?,?)"),
                 "UPDATE t SET a = $1, b = '?' /* ? */ WHERE c = -$2 AND d IN ($3,$4)");
    }

    // Each branch of a compound query keeps its own TOP on the engine itself.
    void unionBranchesKeepTheirTop()
    {
        tesrtest::TestDatabase db;
        const int ann = db.addCustomer(QStringLiteral("Ann"));
        for (const char* id : {"A-1", "A-2", "A-3"})
            db.addOrder(ann, QString::fromLatin1(id), tesrtest::cur("10"));
        QStringList found;
        for (auto rs = db.connection().OpenRecordset(
                 "SELECT TOP 1 UniqueID FROM Orders WHERE UniqueID = 'A-1' UNION ALL "
                 "SELECT TOP 2 UniqueID FROM Orders WHERE UniqueID <> 'A-1' ORDER BY UniqueID DESC");
             rs && !rs->Eof(); rs->MoveNext())
            found << rs->FieldValue(0).toString();
        QCOMPARE(found, (QStringList{"A-3", "A-2", "A-1"}));
    }

    // The schema script, as `tesrhost --schema-script` prints it, runs through the engine's own
    // tool (psql, sqlite3) without a word on its error stream and leaves the whole schema.
    void schemaScriptRunsThroughTheEngineTool()
    {
        tesrtest::ScratchDatabase db(tesrtest::ScratchDatabase::Contents::Empty);
        const bool pg = db.engine() == Engine::PostgreSQL;
        QProcess tool;
        tool.start(pg ? "psql" : "sqlite3", pg ? QStringList{"-X", "-q", "-v", "ON_ERROR_STOP=1", "-d", db.url()}
                                               : QStringList{"-bail", db.url()});
        QVERIFY2(tool.waitForStarted(10000), qPrintable(tool.errorString()));
        tool.write(tesr::ledger::schemaScript(db.engine()).toUtf8());
        tool.closeWriteChannel();
        QVERIFY2(tool.waitForFinished(60000), "the engine's tool did not finish within a minute");
        QCOMPARE(QString::fromUtf8(tool.readAllStandardError()), QString());
        QCOMPARE(tool.exitCode(), 0);
        QString error;
        const auto conn = tesr::SqlConnection::open(db.databaseUrl(), &error);
        QVERIFY2(conn, qPrintable(error));
        QVERIFY(tesr::ledger::hasSchema(conn->database(), db.engine()));
    }
};

TESR_TEST_MAIN(TestDialect)
#include "tst_dialect.moc"

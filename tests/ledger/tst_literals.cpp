// The literal lifter: which literals of a statement become bound values (and with which type),
// and which stay part of the statement's form because an engine reads them as such. Every
// lifted command gives the command back when its values are put back in.

#include "ledger/Literals.h"
#include "ledger/Statements.h"

#include "support/TestMain.h"

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

} // namespace

class TestLiterals : public QObject {
    Q_OBJECT

private slots:
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
};

TESR_TEST_MAIN(TestLiterals)
#include "tst_literals.moc"

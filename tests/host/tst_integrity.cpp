// The integrity check over a real company database (SQLite and PostgreSQL): every kind of
// figure out of step is found and nothing else is; the repair sets them right in one
// transaction with an activity line per corrected row, and keeps nothing when any part of it
// fails; `tesrhost --check [--repair]` prints the same findings with its exit codes; Tools >
// Check Integrity... lists them and repairs after asking.

#include "host/IntegrityCheck.h"
#include "ui/IntegrityDialog.h"
#include "ui/MainWindow.h"

#include "support/ModalDriver.h"
#include "support/TestHost.h"
#include "support/TestMain.h"

#include <QAction>
#include <QLabel>
#include <QMenuBar>
#include <QProcess>
#include <QPushButton>
#include <QTreeWidget>

using tesr::Currency;
using tesr::host::Drift;
using tesrtest::ModalDriver;
using tesrtest::ScriptedPrompter;
using tesrtest::TestHost;

namespace {

Currency cur(const char* text)
{
    return *Currency::parsePlain(QString::fromLatin1(text));
}

tesr::OleDate day(int d)
{
    return *tesr::OleDate::fromYmdHms(2024, 5, d, 12);
}

// Two customers; payments 1 (100: 60 to A-1, 40 to B-1), 2 (50: 50 to A-1) and 3 (30, none);
// order A-1 (total 200) and B-1 (total 40) of customer 1, C-1 (total 10) of customer 2 with
// nothing applied; one allocation of payment 3... none. Every figure in step.
struct Book {
    int ann = 0, bob = 0;
    int p1 = 0, p2 = 0, p3 = 0;
    int a1 = 0, b1 = 0, c1 = 0;
};

Book makeBook(tesrtest::TestDatabase& db)
{
    Book b;
    const int cash = db.addPaymentMethod(QStringLiteral("Cash"));
    b.ann = db.addCustomer(QStringLiteral("Ann"));
    b.bob = db.addCustomer(QStringLiteral("Bob"));
    b.a1 = db.addOrder(b.ann, QStringLiteral("A-1"), cur("200"));
    b.b1 = db.addOrder(b.ann, QStringLiteral("B-1"), cur("40"));
    b.c1 = db.addOrder(b.bob, QStringLiteral("C-1"), cur("10"));
    b.p1 = db.addPayment(b.ann, cur("100"), cash, day(1));
    b.p2 = db.addPayment(b.ann, cur("50"), cash, day(2));
    b.p3 = db.addPayment(b.bob, cur("30"), cash, day(3));
    db.allocate(b.p1, QStringLiteral("A-1"), cur("60"));
    db.allocate(b.p1, QStringLiteral("b-1"), cur("40")); // names the order in another case
    db.allocate(b.p2, QStringLiteral("A-1"), cur("50"));
    db.allocate(b.p3, QStringLiteral("ELSEWHERE-9"), cur("0.3")); // an order kept on another system
    return b;
}

tesr::host::IntegrityReport check(TestHost& t)
{
    auto conn = t.db().openConnection();
    return tesr::host::checkIntegrity(*conn);
}

QStringList described(const QList<Drift>& drifts)
{
    QStringList lines;
    for (const Drift& d : drifts)
        lines << d.describe();
    return lines;
}

// Every figure of the book, to compare before and after.
QString figures(TestHost& t)
{
    QStringList parts;
    for (const char* sql : {"SELECT ID, Allocated FROM Payments ORDER BY ID",
                            "SELECT ID, Payments FROM Orders ORDER BY ID", "SELECT ID, Balance FROM Orders ORDER BY ID",
                            "SELECT ID, Amount FROM PaymentAllocations "
                            "ORDER BY ID"}) {
        auto rs = t.db().connection().OpenRecordset(QString::fromLatin1(sql));
        for (; rs && !rs->Eof(); rs->MoveNext())
            parts << QStringLiteral("%1=%2")
                         .arg(rs->FieldValue(0).toInt())
                         .arg(Currency::fromVariant(rs->FieldValue(1)).value_or(Currency::fromRaw(-1)).toPlainString());
        parts << QStringLiteral("|");
    }
    return parts.join(u' ');
}

struct Run {
    int exitCode = -1;
    QString out;
    QString err;
};

Run runCheck(TestHost& t, const QStringList& extra)
{
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    auto home = tesrtest::makeTempDir();
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), home->filePath(QStringLiteral("config")));
    env.insert(QStringLiteral("XDG_DATA_HOME"), home->filePath(QStringLiteral("data")));
    env.remove(QStringLiteral("QT_QPA_PLATFORM")); // the command needs no screen of its own
    process.setProcessEnvironment(env);
    process.start(QStringLiteral(TESRHOST_EXE),
                  QStringList{QStringLiteral("--database"), t.db().url(), QStringLiteral("--check")} + extra);
    Run run;
    if (!process.waitForFinished(60000)) {
        process.kill();
        process.waitForFinished();
        run.err = QStringLiteral("(did not finish in time)");
        return run;
    }
    run.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -2;
    run.out = QString::fromUtf8(process.readAllStandardOutput());
    run.err = QString::fromUtf8(process.readAllStandardError());
    return run;
}

} // namespace

class TestIntegrity : public QObject {
    Q_OBJECT

private slots:
    void inStepBookIsClean();
    void everyDriftIsFound_data();
    void everyDriftIsFound();
    void repairSetsEverythingRight();
    void repairIsAllOrNothing_data();
    void repairIsAllOrNothing();
    void commandLine();
    void menuItemListsAndRepairs();
};

void TestIntegrity::inStepBookIsClean()
{
    TestHost t;
    makeBook(t.db());
    const auto report = check(t);
    QVERIFY2(report.ran, qPrintable(report.error));
    QVERIFY2(report.clean(), qPrintable(described(report.drifts).join(u'\n')));
    QCOMPARE(report.paymentsChecked, 3);
    QCOMPARE(report.ordersChecked, 3);
    QCOMPARE(report.summary(), QStringLiteral("Checked 3 payments and 3 orders: every figure is in step."));
}

void TestIntegrity::everyDriftIsFound_data()
{
    QTest::addColumn<QString>("damage"); // %1..%3 payments, %4..%6 orders (IDs)
    QTest::addColumn<QStringList>("found");
    QTest::newRow("a payment's Allocated")
        << "UPDATE Payments SET Allocated = 90 WHERE ID = %1"
        << QStringList{"Payment 1 (customer 1): Allocated is 90, its allocations add up to 100"};
    QTest::newRow("by a ten-thousandth")
        << "UPDATE Payments SET Allocated = 50.0001 WHERE ID = %2"
        << QStringList{"Payment 2 (customer 1): Allocated is 50.0001, its allocations add up to 50"};
    QTest::newRow("an allocation deleted behind the figures' back")
        << "DELETE FROM PaymentAllocations WHERE PaymentID = %2"
        << QStringList{"Payment 2 (customer 1): Allocated is 50, its allocations add up to 0",
                       "Order A-1 (ID 1) (customer 1): Payments is 110, the allocations naming it add up to 60",
                       "Order A-1 (ID 1) (customer 1): Balance is 90, its total less its payments is 140"};
    QTest::newRow("an order's Payments alone")
        << "UPDATE Orders SET Payments = 0 WHERE ID = %5"
        << QStringList{"Order B-1 (ID 2) (customer 1): Payments is 0, the allocations naming it add up to 40"};
    QTest::newRow("an order's Balance alone")
        << "UPDATE Orders SET Balance = 9.99 WHERE ID = %6"
        << QStringList{"Order C-1 (ID 3) (customer 2): Balance is 9.99, its total less its payments is 10"};
    QTest::newRow("a NULL figure") << "UPDATE Orders SET Payments = NULL WHERE ID = %6"
                                   << QStringList{"Order C-1 (ID 3) (customer 2): Payments is 0, the allocations "
                                                  "naming it add up to 0"};
    QTest::newRow("the order's total changed") << "UPDATE Orders SET Total = 250 WHERE ID = %4"
                                               << QStringList{"Order A-1 (ID 1) (customer 1): Balance is 90, its "
                                                              "total less its payments is 140"};
}

void TestIntegrity::everyDriftIsFound()
{
    QFETCH(QString, damage);
    QFETCH(QStringList, found);
    TestHost t;
    const Book b = makeBook(t.db());
    const int ids[] = {b.p1, b.p2, b.p3, b.a1, b.b1, b.c1};
    for (int k = 0; k < 6; ++k) // by name: arg() would fill the lowest marker present
        damage.replace(QStringLiteral("%") + QString::number(k + 1), QString::number(ids[k]));
    t.db().exec(damage);
    const auto report = check(t);
    QVERIFY2(report.ran, qPrintable(report.error));
    QCOMPARE(described(report.drifts), found);
    QVERIFY(report.summary().endsWith(found.size() == 1
                                          ? QStringLiteral(": 1 figure is out of step.")
                                          : QStringLiteral(": %1 figures are out of step.").arg(found.size())));
}

void TestIntegrity::repairSetsEverythingRight()
{
    TestHost t;
    const Book b = makeBook(t.db());
    const QString inStep = figures(t);
    t.db().exec(QStringLiteral("UPDATE Payments SET Allocated = 1 WHERE ID = %1; UPDATE Payments SET Allocated = "
                               "999 WHERE ID = %2; UPDATE Orders SET Payments = 3, Balance = 4 WHERE ID = %3; UPDATE "
                               "Orders SET Balance = 0 WHERE ID = %4")
                    .arg(b.p1)
                    .arg(b.p3)
                    .arg(b.a1)
                    .arg(b.c1));
    QCOMPARE(check(t).drifts.size(), 5);
    auto conn = t.db().openConnection();
    const auto result = tesr::host::repairIntegrity(*conn, 17);
    QVERIFY2(result.ok, qPrintable(result.error));
    QCOMPARE(result.repaired.size(), 5);
    QCOMPARE(result.rowsCorrected, 4);
    QVERIFY(!conn->InTransaction());
    QVERIFY(check(t).clean());
    QCOMPARE(figures(t), inStep); // the allocations themselves untouched
    // One line per corrected row, by the user who repaired, in the row's history.
    QCOMPARE(t.db().count("SELECT COUNT(*) FROM ActivityHistory WHERE UserID = 17 AND Description LIKE 'Integrity "
                          "check:%'"),
             4);
    QCOMPARE(t.db().count(QStringLiteral("SELECT COUNT(*) FROM ActivityHistory WHERE CustomerID = %1 AND OrderID IS "
                                         "NULL AND Description LIKE '%payment %2 was corrected from $1.00 to $100.00%'")
                              .arg(b.ann)
                              .arg(b.p1)),
             1);
    QCOMPARE(t.db().count(QStringLiteral("SELECT COUNT(*) FROM ActivityHistory WHERE CustomerID = %1 AND OrderID = %2")
                              .arg(b.ann)
                              .arg(b.a1)),
             1);
    // A second repair finds nothing to do and writes nothing.
    const auto again = tesr::host::repairIntegrity(*conn, 17);
    QVERIFY(again.ok);
    QCOMPARE(again.rowsCorrected, 0);
    QCOMPARE(t.db().count("SELECT COUNT(*) FROM ActivityHistory"), 4);
}

void TestIntegrity::repairIsAllOrNothing_data()
{
    QTest::addColumn<QString>("event");
    QTest::addColumn<QString>("table");
    QTest::newRow("the last order cannot be written") << "UPDATE"
                                                      << "Orders";
    QTest::newRow("no activity line can be written") << "INSERT"
                                                     << "ActivityHistory";
}

void TestIntegrity::repairIsAllOrNothing()
{
    QFETCH(QString, event);
    QFETCH(QString, table);
    TestHost t;
    const Book b = makeBook(t.db());
    t.db().exec(QStringLiteral("UPDATE Payments SET Allocated = 1 WHERE ID = %1; UPDATE Orders SET Balance = 0 WHERE "
                               "ID = %2")
                    .arg(b.p1)
                    .arg(b.c1));
    const QString damaged = figures(t);
    t.db().refuseWrites(event, table, QStringLiteral("refused for the test"));
    auto conn = t.db().openConnection();
    const auto result = tesr::host::repairIntegrity(*conn, 1);
    QVERIFY(!result.ok);
    QVERIFY2(result.error.contains(QStringLiteral("refused for the test")), qPrintable(result.error));
    QVERIFY(result.repaired.isEmpty());
    QVERIFY(!conn->InTransaction());
    QCOMPARE(figures(t), damaged);
    QCOMPARE(t.db().count("SELECT COUNT(*) FROM ActivityHistory"), 0);
    QCOMPARE(check(t).drifts.size(), 2);
}

void TestIntegrity::commandLine()
{
    TestHost t;
    const Book b = makeBook(t.db());
    Run run = runCheck(t, {});
    QVERIFY2(run.exitCode == 0, qPrintable(run.err));
    QCOMPARE(run.out, QStringLiteral("Checked 3 payments and 3 orders: every figure is in step.\n"));

    t.db().exec(QStringLiteral("UPDATE Payments SET Allocated = 12.5 WHERE ID = %1").arg(b.p2));
    run = runCheck(t, {});
    QCOMPARE(run.exitCode, 1);
    QCOMPARE(run.out, QStringLiteral("Payment 2 (customer 1): Allocated is 12.5, its allocations add up to 50\n"
                                     "Checked 3 payments and 3 orders: 1 figure is out of step.\n"));
    QCOMPARE(t.db().money(QStringLiteral("SELECT Allocated FROM Payments WHERE ID = %1").arg(b.p2)), cur("12.5"));

    run = runCheck(t, {QStringLiteral("--repair"), QStringLiteral("--user"), QStringLiteral("8")});
    QVERIFY2(run.exitCode == 0, qPrintable(run.err));
    QVERIFY2(run.out.endsWith(QStringLiteral("Repaired 1 figure(s) in 1 row(s); each row has an activity line.\n")),
             qPrintable(run.out));
    QCOMPARE(t.db().money(QStringLiteral("SELECT Allocated FROM Payments WHERE ID = %1").arg(b.p2)), cur("50"));
    QCOMPARE(t.db().count("SELECT COUNT(*) FROM ActivityHistory WHERE UserID = 8"), 1);
    QCOMPARE(runCheck(t, {}).exitCode, 0);

    // A database that cannot be opened is an error, not a clean bill.
    QProcess process;
    process.start(
        QStringLiteral(TESRHOST_EXE),
        {QStringLiteral("--database"), t.db().folder() + QStringLiteral("/missing.db"), QStringLiteral("--check")});
    QVERIFY(process.waitForFinished(60000));
    QCOMPARE(process.exitCode(), 2);
    QVERIFY(QString::fromUtf8(process.readAllStandardError()).contains(QStringLiteral("does not exist")));
}

void TestIntegrity::menuItemListsAndRepairs()
{
    TestHost t;
    const Book b = makeBook(t.db());
    t.db().exec(QStringLiteral("UPDATE Payments SET Allocated = 0 WHERE ID = %1; UPDATE Orders SET Balance = 1 "
                               "WHERE ID = %2")
                    .arg(b.p1)
                    .arg(b.b1));
    tesr::host::MainWindow w(t.host(), t.library());
    w.setDatabaseReady(true);
    QAction* action = w.findChild<QAction*>(QStringLiteral("actionCheckIntegrity"));
    QVERIFY(action);
    QVERIFY(w.menuBar()->actions().size() >= 2);

    t.prompter().expectQuestion(ScriptedPrompter::Yes, QStringLiteral("Repair 2 figure(s)?"));
    QStringList listed;
    QString before;
    QString after;
    bool repairEnabledAfter = true;
    ModalDriver driver;
    driver.expect(QStringLiteral("IntegrityDialog"), [&](QWidget* dialog) {
        auto* list = dialog->findChild<QTreeWidget*>(QStringLiteral("driftList"));
        for (int i = 0; i < list->topLevelItemCount(); ++i)
            listed << QStringList{list->topLevelItem(i)->text(0), list->topLevelItem(i)->text(1),
                                  list->topLevelItem(i)->text(2), list->topLevelItem(i)->text(3)}
                          .join(u'|');
        before = dialog->findChild<QLabel*>(QStringLiteral("lblSummary"))->text();
        tesrtest::clickButton(dialog, QStringLiteral("cmdRepair"));
        after = dialog->findChild<QLabel*>(QStringLiteral("lblSummary"))->text();
        repairEnabledAfter = dialog->findChild<QPushButton*>(QStringLiteral("cmdRepair"))->isEnabled();
        QVERIFY(list->topLevelItemCount() == 0);
        tesrtest::clickButton(dialog, QStringLiteral("cmdClose"));
    });
    action->trigger();
    QVERIFY2(driver.waitDone(), qPrintable(driver.failure()));
    QVERIFY2(t.prompter().ok(), qPrintable(t.prompter().failures()));
    QCOMPARE(listed, QStringList({"Payment 1|Allocated|$0.00|$100.00", "Order B-1 (ID 2)|Balance|$1.00|$0.00"}));
    QCOMPARE(before, QStringLiteral("Checked 3 payments and 3 orders: 2 figures are out of step."));
    QCOMPARE(after, QStringLiteral("Checked 3 payments and 3 orders: every figure is in step."));
    QVERIFY(!repairEnabledAfter);
    QVERIFY(check(t).clean());
}

TESR_TEST_MAIN(TestIntegrity)
#include "tst_integrity.moc"

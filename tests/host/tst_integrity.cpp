// The integrity check over a real company database: every kind of figure out of step is found
// and nothing else is; the repair sets them right in one transaction with an activity line per
// corrected row (the fault sweep fails each of its statements in turn); `tesrhost --check [--repair]`
// prints the same findings with its exit codes; Tools > Check Integrity... repairs after asking.

#include "host/IntegrityCheck.h"
#include "ui/MainWindow.h"

#include "support/ModalDriver.h"
#include "support/Shorthand.h"
#include "support/TestHost.h"
#include "support/TestMain.h"

#include <QAction>
#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>

using tesr::host::Drift;
using tesrtest::cur;
using tesrtest::ScriptedPrompter;
using tesrtest::TestHost;
using namespace Qt::StringLiterals;

namespace {

// Payments 1 (100: 60 to A-1, 40 to B-1), 2 (50 to A-1) of customer 1 and 3 (30: 0.3 to an order
// kept on another system) of customer 2; orders A-1 (200), B-1 (40), C-1 (10, customer 2). IDs
// run from 1 in every table. Every figure in step.
void makeBook(tesrtest::TestDatabase& db)
{
    const int cash = db.addPaymentMethod(u"Cash"_s);
    const int ann = db.addCustomer(u"Ann"_s);
    const int bob = db.addCustomer(u"Bob"_s);
    db.addOrder(ann, u"A-1"_s, cur("200"));
    db.addOrder(ann, u"B-1"_s, cur("40"));
    db.addOrder(bob, u"C-1"_s, cur("10"));
    const int p1 = db.addPayment(ann, cur("100"), cash, tesrtest::at(2024, 5, 1));
    db.allocate(p1, u"A-1"_s, cur("60"));
    db.allocate(p1, u"b-1"_s, cur("40")); // names the order in another case
    db.allocate(db.addPayment(ann, cur("50"), cash, tesrtest::at(2024, 5, 2)), u"A-1"_s, cur("50"));
    db.allocate(db.addPayment(bob, cur("30"), cash, tesrtest::at(2024, 5, 3)), u"ELSEWHERE-9"_s, cur("0.3"));
}

tesr::host::IntegrityReport check(TestHost& t)
{
    return tesr::host::checkIntegrity(*t.db().openConnection());
}

QString described(const tesr::host::IntegrityReport& report)
{
    QStringList lines;
    for (const Drift& d : report.drifts)
        lines << d.describe();
    return lines.join(u'\n');
}

// A row of the integrity dialog's list.
struct Listed {
    QString row, figure, recorded, allocationsSay;
    bool operator==(const Listed&) const = default;
};
char* toString(const Listed& l)
{
    return QTest::toString(
        u"row '%1', figure '%2', recorded %3, allocations say %4"_s.arg(l.row, l.figure, l.recorded, l.allocationsSay));
}

// Every figure of the book, to compare before and after.
QString figures(TestHost& t)
{
    QStringList parts;
    for (const char* sql :
         {"SELECT ID, Allocated FROM Payments ORDER BY ID", "SELECT ID, Payments FROM Orders ORDER BY ID",
          "SELECT ID, Balance FROM Orders ORDER BY ID", "SELECT ID, Amount FROM PaymentAllocations ORDER BY ID"}) {
        for (auto rs = t.db().connection().OpenRecordset(QString::fromLatin1(sql)); rs && !rs->Eof(); rs->MoveNext())
            parts << rs->FieldValue(0).toString() + "=" +
                         tesr::Currency::fromVariant(rs->FieldValue(1)).value_or(cur("-1")).toPlainString();
        parts << u"|"_s;
    }
    return parts.join(u' ');
}

tesrtest::ProgramRun tesrhost(const QString& database, const QStringList& extra = {})
{
    auto home = tesrtest::makeTempDir();
    return tesrtest::runProgram(QStringLiteral(TESRHOST_EXE), QStringList{"--database", database, "--check"} + extra,
                                home->path(), 60000);
}

} // namespace

class TestIntegrity : public QObject {
    Q_OBJECT

private slots:
    // The damage done, then every line found.
    void everyDriftIsFound_data()
    {
        tesrtest::rows(
            {"nothing||",
             "by a ten-thousandth|UPDATE Payments SET Allocated = 50.0001 WHERE ID = 2|"
             "Payment 2 (customer 1): Allocated is 50.0001, its allocations add up to 50",
             "an allocation deleted behind the figures' back|DELETE FROM PaymentAllocations WHERE PaymentID = 2|"
             "Payment 2 (customer 1): Allocated is 50, its allocations add up to 0\n"
             "Order A-1 (ID 1) (customer 1): Payments is 110, the allocations naming it add up to 60\n"
             "Order A-1 (ID 1) (customer 1): Balance is 90, its total less its payments is 140",
             "an order's Balance alone, its number holding a marker|"
             "UPDATE Orders SET Balance = 9.99, OrderNumber = 'C-%1' WHERE ID = 3|"
             "Order C-%1 (ID 3) (customer 2): Balance is 9.99, its total less its payments is 10",
             "a NULL figure|UPDATE Orders SET Payments = NULL WHERE ID = 3|"
             "Order C-1 (ID 3) (customer 2): Payments is NULL, the allocations naming it add up to 0",
             "more allocated than paid|UPDATE Payments SET Amount = 90 WHERE ID = 1|"
             "Payment 1 (customer 1): Amount is 90, its allocations add up to 100; not repaired: its allocations "
             "must be corrected",
             "an allocation of a payment that is gone|DELETE FROM Payments WHERE ID = 3|"
             "Allocation 4 (order ELSEWHERE-9, 0.3): names payment 3, which does not exist; not repaired: only a "
             "person can tell where its money came from"});
    }
    void everyDriftIsFound()
    {
        const QString damage = tesrtest::fields()[0];
        const QString found = tesrtest::fields()[1];
        TestHost t;
        makeBook(t.db());
        if (!damage.isEmpty())
            t.db().exec(damage);
        const auto report = check(t);
        QVERIFY2(report.ran, qPrintable(report.error));
        QCOMPARE(described(report), found);
        const qsizetype n = found.isEmpty() ? 0 : found.count(u'\n') + 1;
        const qsizetype forPerson = found.count(u"not repaired"_s);
        QCOMPARE(report.summary(),
                 u"Checked %1 payments and 3 orders: "_s.arg(t.db().count("SELECT COUNT(*) FROM Payments")) +
                     (n == 0   ? u"every figure is in step."_s
                      : n == 1 ? u"1 figure is out of step"_s
                               : u"%1 figures are out of step"_s.arg(n)) +
                     (forPerson ? u", %1 of them for a person to correct."_s.arg(forPerson)
                      : n       ? u"."_s
                                : u""_s));
    }

    // Every figure set right in one transaction, with an activity line per corrected row by the
    // user who repaired; figures no save writes (more than four decimals, NULL) like any other.
    // What only a person can correct is named, and the rest is repaired around it.
    void repairSetsRightWhatItCan()
    {
        TestHost t;
        makeBook(t.db());
        // A database from elsewhere: money with more decimals than a save writes (changed before
        // any figure is read, so no session holds a statement prepared for the old type).
        if (tesrtest::onPostgres())
            t.db().exec("ALTER TABLE Payments ALTER COLUMN Allocated TYPE numeric");
        else
            t.db().exec("DROP TRIGGER trgPayments_MoneyUpdate");
        const QString inStep = figures(t);
        t.db().exec("UPDATE Payments SET Allocated = 50.00001 WHERE ID = 2; UPDATE Payments SET Allocated = 999 "
                    "WHERE ID = 3; UPDATE Orders SET Payments = 3, Balance = 4 WHERE ID = 1; UPDATE Orders SET "
                    "Payments = NULL WHERE ID = 3; UPDATE Payments SET Amount = 90 WHERE ID = 1");
        auto conn = t.db().openConnection();
        const auto result = tesr::host::repairIntegrity(*conn, 17);
        QVERIFY2(result.ok, qPrintable(result.error));
        QCOMPARE(result.repaired.size(), 5);
        QCOMPARE(result.rowsCorrected, 4);
        QCOMPARE(result.left.size(), 1);
        QCOMPARE(result.left[0].row(), u"Payment 1"_s);
        QVERIFY(!conn->InTransaction());
        QCOMPARE(figures(t), inStep); // the allocations themselves untouched
        QCOMPARE(described(check(t)), u"Payment 1 (customer 1): Amount is 90, its allocations add up to 100; not "
                                      "repaired: its allocations must be corrected"_s);
        QCOMPARE(t.db().count(
                     "SELECT COUNT(*) FROM ActivityHistory WHERE UserID = 17 AND Description LIKE 'Integrity check:%'"),
                 4);
        // In the row's own history: a payment's on its customer alone.
        QCOMPARE(t.db().count("SELECT COUNT(*) FROM ActivityHistory WHERE (CustomerID = 2 AND OrderID IS NULL AND "
                              "Description LIKE '%payment 3 was corrected from $999.00 to $0.30%') OR Description "
                              "LIKE '%from 50.00001 to $50.00%' OR Description LIKE '%payments corrected from NULL "
                              "to $0.00%'"),
                 3);
    }

    void commandLine()
    {
        TestHost t;
        makeBook(t.db());
        auto run = tesrhost(t.db().url());
        QVERIFY2(run.exitCode == 0, qPrintable(run.err));
        QCOMPARE(run.out, u"Checked 3 payments and 3 orders: every figure is in step.\n"_s);
        t.db().exec("UPDATE Payments SET Allocated = 12.5 WHERE ID = 2");
        run = tesrhost(t.db().url());
        QCOMPARE(run.exitCode, 1);
        QCOMPARE(run.out, QStringLiteral("Payment 2 (customer 1): Allocated is 12.5, its allocations add up to 50\n"
                                         "Checked 3 payments and 3 orders: 1 figure is out of step.\n"));
        QCOMPARE(t.db().money("SELECT Allocated FROM Payments WHERE ID = 2"), cur("12.5"));
        run = tesrhost(t.db().url(), {"--repair", "--user", "8"});
        QVERIFY2(run.exitCode == 0, qPrintable(run.err));
        QVERIFY2(run.out.endsWith("Repaired 1 figure(s) in 1 row(s); each row has an activity line.\n"),
                 qPrintable(run.out));
        QCOMPARE(t.db().money("SELECT Allocated FROM Payments WHERE ID = 2"), cur("50"));
        QCOMPARE(t.db().count("SELECT COUNT(*) FROM ActivityHistory WHERE UserID = 8"), 1);
    }

    void menuItemListsAndRepairs()
    {
        TestHost t;
        makeBook(t.db());
        t.db().exec("UPDATE Payments SET Allocated = 0 WHERE ID = 1; UPDATE Orders SET Balance = 1 WHERE ID = 2");
        tesr::host::MainWindow w(t.host(), t.library());
        w.setDatabaseReady(true);
        t.prompter().expectQuestion(ScriptedPrompter::Yes, u"Repair 2 figure(s)?"_s);
        tesrtest::ModalDriver driver;
        driver.expect(u"IntegrityDialog"_s, [&](QWidget* dialog) {
            auto* list = dialog->findChild<QTreeWidget*>(u"driftList"_s);
            auto* summary = dialog->findChild<QLabel*>(u"lblSummary"_s);
            QList<Listed> listed;
            for (int i = 0; i < list->topLevelItemCount(); ++i) {
                const QTreeWidgetItem* item = list->topLevelItem(i);
                listed.append({item->text(0), item->text(1), item->text(2), item->text(3)});
            }
            QCOMPARE(listed, (QList<Listed>{{"Payment 1", "Allocated", "$0.00", "$100.00"},
                                            {"Order B-1 (ID 2)", "Balance", "$1.00", "$0.00"}}));
            QCOMPARE(summary->text(), u"Checked 3 payments and 3 orders: 2 figures are out of step."_s);
            tesrtest::clickButton(dialog, u"cmdRepair"_s);
            QCOMPARE(summary->text(), u"Checked 3 payments and 3 orders: every figure is in step."_s);
            QCOMPARE(list->topLevelItemCount(), 0);
            QVERIFY(!dialog->findChild<QPushButton*>(u"cmdRepair"_s)->isEnabled());
            tesrtest::clickButton(dialog, u"cmdClose"_s);
        });
        w.findChild<QAction*>(u"actionCheckIntegrity"_s)->trigger();
        QVERIFY2(driver.waitDone(), qPrintable(driver.failure()));
        QVERIFY2(t.prompter().ok(), qPrintable(t.prompter().failures()));
        QVERIFY(check(t).clean());
    }
};

TESR_TEST_MAIN(TestIntegrity)
#include "tst_integrity.moc"

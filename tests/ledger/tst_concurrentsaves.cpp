// Two workstations saving against the same rows at the same moment, on a real database of the
// test's engine: each "workstation" is a thread with a connection of its own, released
// together from a barrier, many rounds over. Removing the same allocation twice changes the
// figures once and the second removal fails with nothing written; two saves allocating the
// same payment's credit (the Allocate Credit save: the payment re-read with an update lock
// inside the transaction, then the apply statement) never take its Allocated above its Amount;
// a writer waits for the other instead of failing.

#include "forms/frmAllocateCredit/frmAllocateCredit.h"
#include "ledger/Statements.h"

#include "ledger/LedgerFixture.h"
#include "support/TestMain.h"

#include <QThread>

#include <atomic>
#include <barrier>
#include <functional>

using namespace ledgertest;
using tesr::Currency;

namespace {

constexpr int Rounds = 12;

// Runs the two jobs at once, each on a connection it opens in its own thread; answers whether
// each job's save went through (and its failure text).
struct Outcome {
    bool saved[2] = {false, false};
    QString error[2];
    int savedCount() const { return int(saved[0]) + int(saved[1]); }
};

Outcome race(const LedgerFile& f, const std::function<bool(tesr::SqlConnection&, QString*)>& job)
{
    Outcome outcome;
    std::barrier start(2);
    QThread* threads[2];
    for (int k = 0; k < 2; ++k) {
        threads[k] = QThread::create([&, k] {
            QString error;
            auto conn = f.openAnother(10000);
            start.arrive_and_wait();
            if (!conn) {
                outcome.error[k] = QStringLiteral("no connection");
                return;
            }
            outcome.saved[k] = job(*conn, &error);
            outcome.error[k] = error;
            conn->Close();
        });
        threads[k]->start();
    }
    for (QThread* t : threads) {
        t->wait();
        delete t;
    }
    return outcome;
}

QString removeCommand(int allocation, int payment, const QString& order, const QString& amount)
{
    return tesr::ledger::FillMarkers(tesr::ledger::RemoveAllocation, {{u"<aid>", QString::number(allocation)},
                                                                      {u"<pid>", QString::number(payment)},
                                                                      {u"<ouid>", order},
                                                                      {u"<a>", amount}});
}

QString applyCommand(int payment, int orderId, const QString& order, const QString& amount)
{
    return tesr::ledger::FillMarkers(tesr::ledger::ApplyAllocationByID, {{u"<pid>", QString::number(payment)},
                                                                         {u"<oid>", QString::number(orderId)},
                                                                         {u"<ouid>", order},
                                                                         {u"<a>", amount}});
}

// The Allocate Credit save: inside one transaction, the payment's credit read again under an
// update lock; when the amount no longer fits, nothing is written.
bool allocateCredit(tesr::SqlConnection& conn, int payment, int orderId, const QString& order, Currency amount,
                    QString* error)
{
    if (!conn.BeginTrans()) {
        *error = conn.LastError();
        return false;
    }
    const QString recheck = tesr::ledger::FillMarkers(tesr::frmAllocateCredit::RecheckPaymentStatement,
                                                      {{u"<pid>", QString::number(payment)}});
    auto rs = conn.OpenRecordset(recheck);
    bool fits = false;
    if (rs && !rs->Eof())
        fits = *Currency::fromVariant(rs->Field("Amount")) - *Currency::fromVariant(rs->Field("Allocated")) >= amount;
    if (!rs)
        *error = conn.LastError();
    else if (!fits)
        *error = QStringLiteral("the credit changed");
    rs.reset();
    if (fits && conn.Execute(applyCommand(payment, orderId, order, amount.toPlainString())) && conn.CommitTrans())
        return true;
    if (error->isEmpty())
        *error = conn.LastError();
    if (conn.InTransaction())
        conn.RollbackTrans();
    return false;
}

} // namespace

class TestConcurrentSaves : public QObject {
    Q_OBJECT

private slots:
    void sameAllocationRemovedTwice();
    void sameCreditAllocatedTwice_data();
    void sameCreditAllocatedTwice();
    void writersQueueUp();
};

void TestConcurrentSaves::sameAllocationRemovedTwice()
{
    LedgerFile f;
    QVERIFY2(f.ok(), qPrintable(f.error));
    QVERIFY(
        f.exec("INSERT INTO Orders (ID, UniqueID, CustomerID, State, Total, Payments, Balance) VALUES (1, 'U-1', 1, "
               "3, 1000, 0, 1000); INSERT INTO Payments (ID, CustomerID, Amount, Allocated) VALUES (1, 1, 1000, 0)"));
    for (int round = 1; round <= Rounds; ++round) {
        const QString amount = QStringLiteral("%1.25").arg(round);
        QVERIFY2(f.exec(applyCommand(1, 1, "U-1", amount)), qPrintable(f.error));
        const int allocation = f.count("SELECT MAX(ID) FROM PaymentAllocations");
        const QString remove = removeCommand(allocation, 1, "U-1", amount);
        const Outcome outcome = race(f, [&](tesr::SqlConnection& conn, QString* error) {
            if (conn.Execute(remove))
                return true;
            *error = conn.LastError();
            return false;
        });
        QVERIFY2(outcome.savedCount() == 1, qPrintable(outcome.error[0] + " / " + outcome.error[1]));
        const QString why = outcome.saved[0] ? outcome.error[1] : outcome.error[0];
        QVERIFY2(why.contains(QStringLiteral("no longer there")), qPrintable(why));
        // Moved back exactly once.
        QCOMPARE(f.money("SELECT Allocated FROM Payments WHERE ID = 1"), Currency());
        QCOMPARE(f.money("SELECT Payments FROM Orders WHERE ID = 1"), Currency());
        QCOMPARE(f.money("SELECT Balance FROM Orders WHERE ID = 1"), Currency::fromUnits(1000));
        QCOMPARE(f.count("SELECT COUNT(*) FROM PaymentAllocations"), 0);
    }
}

void TestConcurrentSaves::sameCreditAllocatedTwice_data()
{
    QTest::addColumn<QString>("first");
    QTest::addColumn<QString>("second");
    QTest::addColumn<int>("bothFit"); // 1 when the two amounts together fit the credit
    QTest::newRow("each takes most of it") << "70"
                                           << "60" << 0;
    QTest::newRow("to the ten-thousandth") << "50.0001"
                                           << "50" << 0;
    QTest::newRow("both fit") << "30"
                              << "70" << 1;
}

void TestConcurrentSaves::sameCreditAllocatedTwice()
{
    QFETCH(QString, first);
    QFETCH(QString, second);
    QFETCH(int, bothFit);
    LedgerFile f;
    QVERIFY2(f.ok(), qPrintable(f.error));
    QVERIFY(
        f.exec("INSERT INTO Orders (ID, UniqueID, CustomerID, State, Total, Payments, Balance) VALUES (1, 'U-1', 1, "
               "3, 100000, 0, 100000); INSERT INTO Orders (ID, UniqueID, CustomerID, State, Total, Payments, "
               "Balance) VALUES (2, 'U-2', 1, 3, 100000, 0, 100000)"));
    const Currency amounts[2] = {*Currency::parsePlain(first), *Currency::parsePlain(second)};
    for (int round = 1; round <= Rounds; ++round) {
        const qint64 payment = f.insert("INSERT INTO Payments (CustomerID, Amount, Allocated) VALUES (1, 100, 0)");
        QVERIFY(payment > 0);
        std::atomic<int> job{0};
        const Outcome outcome = race(f, [&](tesr::SqlConnection& conn, QString* error) {
            const int k = job++;
            return allocateCredit(conn, int(payment), k + 1, QStringLiteral("U-%1").arg(k + 1), amounts[k], error);
        });
        QVERIFY2(outcome.savedCount() == (bothFit ? 2 : 1), qPrintable(outcome.error[0] + " / " + outcome.error[1]));
        if (!bothFit) {
            const QString why = outcome.saved[0] ? outcome.error[1] : outcome.error[0];
            QVERIFY2(why == QStringLiteral("the credit changed"), qPrintable(why));
        }
        const Currency allocated = f.money(QStringLiteral("SELECT Allocated FROM Payments WHERE ID = %1").arg(payment));
        QVERIFY2(allocated <= Currency::fromUnits(100), qPrintable(allocated.toPlainString()));
        QCOMPARE(
            allocated,
            f.money(QStringLiteral("SELECT SUM(Amount) FROM PaymentAllocations WHERE PaymentID = %1").arg(payment)));
    }
    // Every order moved by exactly what was applied to it.
    QCOMPARE(f.count("SELECT COUNT(*) FROM Orders o WHERE o.Payments <> ROUND((SELECT COALESCE(SUM(a.Amount), 0) FROM "
                     "PaymentAllocations a WHERE a.OrderUniqueID = o.UniqueID), 4) OR o.Balance <> ROUND(o.Total - "
                     "o.Payments, 4)"),
             0);
}

void TestConcurrentSaves::writersQueueUp()
{
    // Many short compound writes from both sides at once: none fails for the other's lock.
    LedgerFile f;
    QVERIFY2(f.ok(), qPrintable(f.error));
    QVERIFY(
        f.exec("INSERT INTO Orders (ID, UniqueID, CustomerID, State, Total, Payments, Balance) VALUES (1, 'U-1', 1, "
               "3, 1000000, 0, 1000000); INSERT INTO Payments (ID, CustomerID, Amount, Allocated) VALUES (1, 1, "
               "1000000, 0)"));
    const Outcome outcome = race(f, [&](tesr::SqlConnection& conn, QString* error) {
        for (int i = 0; i < 40; ++i) {
            if (!conn.Execute(applyCommand(1, 1, "U-1", "1.5"))) {
                *error = conn.LastError();
                return false;
            }
        }
        return true;
    });
    QVERIFY2(outcome.savedCount() == 2, qPrintable(outcome.error[0] + " / " + outcome.error[1]));
    QCOMPARE(f.money("SELECT Allocated FROM Payments WHERE ID = 1"), Currency::fromUnits(120));
    QCOMPARE(f.money("SELECT Payments FROM Orders WHERE ID = 1"), Currency::fromUnits(120));
    QCOMPARE(f.count("SELECT COUNT(*) FROM PaymentAllocations"), 80);
}

TESR_TEST_MAIN(TestConcurrentSaves)
#include "tst_concurrentsaves.moc"

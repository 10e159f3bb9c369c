// Two workstations saving against the same rows at the same moment, on a real database of the
// test's engine: each "workstation" is a thread with a session of its own, released together
// from a barrier, many rounds over. Removing the same allocation twice moves the figures once
// and the second removal fails with nothing written; two Allocate Credit saves of the same
// payment's credit (the payment re-read under an update lock inside the transaction, then the
// apply statement) never take its Allocated above its Amount. (That writers wait for each other
// rather than fail, the load test shows with eight workstations at once.)

#include "forms/frmAllocateCredit/frmAllocateCredit.h"

#include "ledger/LedgerFixture.h"
#include "support/TestMain.h"

#include <QThread>

#include <array>
#include <barrier>
#include <functional>

using namespace ledgertest;
using tesr::Currency;

namespace {

constexpr int Rounds = 12;

// Runs job(0) and job(1) at once, each on a session it opens; answers each one's failure
// text (empty: it saved).
std::array<QString, 2> race(const tesrtest::TestDatabase& db,
                            const std::function<QString(tesr::SqlConnection&, int)>& job)
{
    std::array<QString, 2> failure;
    std::barrier start(2);
    std::unique_ptr<QThread> threads[2];
    for (int k = 0; k < 2; ++k) {
        threads[k].reset(QThread::create([&, k] {
            auto conn = openAnother(db, 10000);
            start.arrive_and_wait();
            failure[k] = conn ? job(*conn, k) : QStringLiteral("no connection");
        }));
        threads[k]->start();
    }
    for (auto& thread : threads)
        thread->wait();
    return failure;
}

// The Allocate Credit save.
QString allocateCredit(tesr::SqlConnection& c, qint64 payment, int order, Currency amount)
{
    if (!c.BeginTrans())
        return c.LastError();
    auto rs = c.OpenRecordset(tesr::ledger::FillMarkers(tesr::frmAllocateCredit::RecheckPaymentStatement,
                                                        {{u"<pid>", QString::number(payment)}}));
    const bool fits =
        rs && !rs->Eof() &&
        Currency::fromVariant(rs->Field("Amount"))->minus(*Currency::fromVariant(rs->Field("Allocated"))) >= amount;
    QString failure = !rs ? c.LastError() : fits ? QString() : QStringLiteral("the credit changed");
    rs.reset();
    if (failure.isEmpty() &&
        !(c.Execute(applyCommand(payment, QStringLiteral("U-%1").arg(order), amount.toPlainString(), order)) &&
          c.CommitTrans()))
        failure = c.LastError();
    if (c.InTransaction())
        c.RollbackTrans();
    return failure;
}

} // namespace

class TestConcurrentSaves : public QObject {
    Q_OBJECT

    std::unique_ptr<tesrtest::TestDatabase> db;

private slots:
    void init()
    {
        db = std::make_unique<tesrtest::TestDatabase>();
        db->exec("INSERT INTO Orders (UniqueID, CustomerID, State, Total, Payments, Balance) VALUES ('U-1', 1, 3, "
                 "100000, 0, 100000); INSERT INTO Orders (UniqueID, CustomerID, State, Total, Payments, Balance) "
                 "VALUES ('U-2', 1, 3, 100000, 0, 100000)");
    }
    void cleanup() { db.reset(); }

    void sameAllocationRemovedTwice()
    {
        db->exec("INSERT INTO Payments (CustomerID, Amount, Allocated) VALUES (1, 1000, 0)");
        for (int round = 1; round <= Rounds; ++round) {
            const QString amount = QStringLiteral("%1.25").arg(round);
            db->exec(applyCommand(1, "U-1", amount));
            const QString remove = removeCommand(db->count("SELECT MAX(ID) FROM PaymentAllocations"), 1, "U-1", amount);
            const auto failure =
                race(*db, [&](tesr::SqlConnection& c, int) { return c.Execute(remove) ? QString() : c.LastError(); });
            QVERIFY2(failure[0].isEmpty() != failure[1].isEmpty(), qPrintable(failure[0] + " / " + failure[1]));
            QVERIFY2((failure[0] + failure[1]).contains("no longer there"), qPrintable(failure[0] + failure[1]));
            // Moved back exactly once.
            QCOMPARE(db->money("SELECT Allocated FROM Payments WHERE ID = 1"), Currency());
            QCOMPARE(db->money("SELECT Balance FROM Orders WHERE UniqueID = 'U-1'"), Currency::fromUnits(100000));
            QCOMPARE(db->count("SELECT COUNT(*) FROM PaymentAllocations") + db->count(OutOfStep), 0);
        }
    }

    void sameCreditAllocatedTwice_data()
    {
        QTest::addColumn<QString>("first");
        QTest::addColumn<QString>("second");
        QTest::addColumn<bool>("bothFit"); // the two amounts together fit the credit of 100
        for (const auto& [tag, first, second, bothFit] : {std::tuple{"each takes most of it", "70", "60", false},
                                                          {"to the ten-thousandth", "50.0001", "50", false},
                                                          {"both fit", "30", "70", true}})
            QTest::newRow(tag) << QString::fromLatin1(first) << QString::fromLatin1(second) << bothFit;
    }
    void sameCreditAllocatedTwice()
    {
        QFETCH(QString, first);
        QFETCH(QString, second);
        QFETCH(bool, bothFit);
        const Currency amounts[2] = {*Currency::parsePlain(first), *Currency::parsePlain(second)};
        for (int round = 1; round <= Rounds; ++round) {
            db->exec("INSERT INTO Payments (CustomerID, Amount, Allocated) VALUES (1, 100, 0)");
            const auto failure =
                race(*db, [&](tesr::SqlConnection& c, int k) { return allocateCredit(c, round, k + 1, amounts[k]); });
            const QString both = failure[0] + " / " + failure[1];
            QVERIFY2(bothFit ? both == " / " : failure[0].isEmpty() != failure[1].isEmpty(), qPrintable(both));
            QVERIFY2(bothFit || both.contains("the credit changed"), qPrintable(both));
            QCOMPARE(db->count(OutOfStep), 0); // never above its Amount, every figure in step
        }
    }
};

TESR_TEST_MAIN(TestConcurrentSaves)
#include "tst_concurrentsaves.moc"

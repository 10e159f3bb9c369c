// Faults injected at every step of every writing path, on a real database of the test's engine:
// the k-th statement a press of OK, Delete or Remove sends fails (the connection's test hook
// refuses it), for every k from the first statement to the last. Each time the database is as it
// was, the screen is still open with what the user entered or selected, the user is told with the
// injected failure as the detail, and pressing again on the same screen writes exactly once.
// A save held up by a lock, or cut off from its database, is the same fault seen by the user.

#include "support/ScreenTest.h"
#include "support/TestMain.h"

#include "host/IntegrityCheck.h"
#include "platform/SqlConnection.h"
#include "platform/controls/ComboBox.h"

#include <QDomDocument>
#include <QElapsedTimer>

using namespace tesr;
using namespace tesrtest;
using namespace Qt::StringLiterals;

namespace {

const QString kInjected = u"injected failure"_s;

// Fails statement number `k` (0: the first) sent after arm(); counts them all.
class Injector {
public:
    ~Injector() { disarm(); }
    void arm(int k)
    {
        m_sent.clear();
        setStatementHook([this, k](const QString& statement) {
            m_sent << statement;
            return m_sent.size() - 1 != k;
        });
    }
    void disarm() { setStatementHook({}); }
    // The statements sent since arm(), the refused one last when there was a fault.
    const QStringList& sent() const { return m_sent; }

private:
    QStringList m_sent;
};

// What a screen shows of the user's entries or selection (what a path has none of stays empty).
struct Entries {
    QString amount{}, firstOrder{}, secondOrder{}, payment{}, description{};
    bool listed = false; // the row pressed on, on a list screen
    bool operator==(const Entries&) const = default;
};
char* toString(const Entries& e)
{
    return QTest::toString(
        u"amount '%1', first order '%2', second order '%3', payment '%4', description '%5', %6"_s.arg(
            e.amount, e.firstOrder, e.secondOrder, e.payment, e.description, e.listed ? u"listed"_s : u"not listed"_s));
}

// What a faulted press left, read before the second press.
struct Round {
    QString before; // ledgerState and the path's own reading just before the press
    QString extraBefore;
    bool faulted = false; // false: k was past the last statement, the press saved
    bool open = false;    // the screen still shown
    Entries shows;
    QString ledger; // ledgerState
    QString extra;  // more of the database, per path
};

} // namespace

class TestFaultSweep : public QObject {
    Q_OBJECT

    Injector inject;

    // Arms the injector at k, presses the button, disarms; fills what r knows before and, after
    // a fault, what the screen and the database show. True when the press was faulted.
    bool press(
        QWidget* w, const QString& button, int k, Round& r, TestHost& h, const std::function<Entries()>& shows,
        const std::function<QString()>& extra = [] { return QString(); })
    {
        r.before = ledgerState(h.db());
        r.extraBefore = extra();
        inject.arm(k);
        clickButton(w, button);
        inject.disarm();
        r.faulted = k < inject.sent().size();
        if (r.faulted) {
            r.open = w->isVisible();
            r.shows = shows();
            r.ledger = ledgerState(h.db());
            r.extra = extra();
        }
        return r.faulted;
    }

    // A round on a list screen: the row selected and Delete pressed with statement k failing;
    // after a fault, whether the row is still listed, then (beforeRetry first) selected and
    // deleted again; then the screen closed.
    void deleteRow(QWidget* w, ReportControl* g, int tag, int k, Round& r, TestHost& h,
                   const std::function<void()>& beforeRetry)
    {
        clickTag(g, tag);
        auto listed = [&] { return Entries{.listed = tags(g).contains(QString::number(tag))}; };
        if (press(w, u"cmdDelete"_s, k, r, h, listed)) {
            if (beforeRetry)
                beforeRetry();
            clickTag(g, tag);
            clickButton(w, u"cmdDelete"_s);
        }
        clickButton(w, u"cmdClose"_s);
    }

    // Runs rounds k = 0, 1, ... until a press goes through whole. `round(k, r)` opens the screen,
    // makes the entries, press()es, fills the rest of r after a fault, presses again without
    // one, and closes. `entered` is what the screen must still show after the fault;
    // `wroteOnce()` checks what the second press wrote.
    void sweep(TestHost& h, const std::function<void(int, Round&)>& round, const Entries& entered,
               const QString& toldHeadline, const std::function<void()>& wroteOnce)
    {
        int k = 0;
        for (;; ++k) {
            const qsizetype told = h.prompter().calls(ScriptedPrompter::Call::Kind::Error).size();
            Round r;
            round(k, r);
            if (QTest::currentTestFailed())
                return;
            if (!r.faulted)
                break;
            const QString at = u"statement %1: %2"_s.arg(k).arg(inject.sent().value(k));
            QVERIFY2(r.open, qPrintable(at));
            QCOMPARE(r.shows, entered);
            QCOMPARE(r.ledger, r.before);
            QCOMPARE(r.extra, r.extraBefore);
            const auto errors = h.prompter().calls(ScriptedPrompter::Call::Kind::Error);
            QVERIFY2(errors.size() == told + 1, qPrintable(at));
            QCOMPARE(errors.last().headline, toldHeadline);
            QVERIFY2(errors.last().detail.contains(kInjected), qPrintable(at + u" told: "_s + errors.last().detail));
            wroteOnce();
            if (QTest::currentTestFailed())
                return qWarning("%s", qPrintable(at));
        }
        QVERIFY2(k >= 1, qPrintable(QString::number(k))); // the sweep reached real statements
        qInfo("%s: %d statements, each failed in turn", QTest::currentTestFunction(), k);
    }

private slots:
    void init()
    {
        forgetPlacements({u"New Payment"_s, u"Allocate Credit"_s, u"Customer Payments"_s, u"Order Payments"_s,
                          u"Payment Allocations"_s, u"Edit Payment"_s});
    }
    void cleanup() { inject.disarm(); }

    // The payment, two allocations with their order lines, the customer's line, in one transaction.
    void newPayment()
    {
        TestHost h;
        const Shop b = makeShop(h.db());
        auto shows = [](QWidget* w) {
            auto* g = child<ReportControl>(w, "rptOrders");
            return Entries{.amount = child<ComboBox>(w, "cboAmount")->Text(),
                           .firstOrder = caption(g, 0, 4),
                           .secondOrder = caption(g, 1, 4),
                           .description = textOf(w, "txtDescription")};
        };
        int saved = 0, rounds = 0;
        auto extra = [&] { return QString::number(h.db().count(u"SELECT COUNT(*) FROM Payments"_s)); };
        auto round = [&](int k, Round& r) {
            ModalDriver d;
            onScreen(
                d, u"frmNewPayment"_s,
                [&](QWidget* w) {
                    pickFirstMethod(w);
                    typeOver(child(w, "cboAmount"), u"10"_s, true);
                    editCell(child<ReportControl>(w, "rptOrders"), 0, 4, u"6"_s);
                    editCell(child<ReportControl>(w, "rptOrders"), 1, 4, u"4"_s);
                    typeOver(child(w, "txtDescription"), u"memo"_s);
                    if (press(
                            w, u"cmdOK"_s, k, r, h, [&] { return shows(w); }, extra))
                        clickButton(w, u"cmdOK"_s);
                },
                [](QWidget* w) { return !child<ComboBox>(w, "cboAmount")->Text().isEmpty(); });
            saved = h.library().ShowNewPayment(b.abbott);
            QVERIFY2(d.waitDone(), qPrintable(d.failure()));
            ++rounds;
        };
        const Entries entered{.amount = "10", .firstOrder = "$6.00", .secondOrder = "$4.00", .description = "memo"};
        sweep(h, round, entered, u"The payment could not be added."_s, [&] {
            QCOMPARE(h.prompter().calls(ScriptedPrompter::Call::Kind::Error).last().explanation,
                     u"This typically happens if the database is in use by another user or program. Try saving "
                     "again. If the problem persists, close the program, restart and try again."_s);
            QCOMPARE(allocationsOf(h.db(), saved), (QStringList{"SO-1001=6", "SO-1002=4"}));
            QCOMPARE(allocatedOf(h.db(), saved), u"10"_s);
            QCOMPARE(h.db().count(u"SELECT COUNT(*) FROM Payments WHERE Amount = 10"_s), rounds);
            QCOMPARE(activity(h.db()).size(), 3 * rounds);
        });
    }

    // The credit of one payment applied to two orders, with their order lines.
    void allocateCredit()
    {
        TestHost h;
        const Shop b = makeShop(h.db());
        const int payment = h.db().addPayment(b.abbott, cur("1000"), b.cash, at(2024, 3, 4));
        auto shows = [](QWidget* w) {
            auto* g = child<ReportControl>(w, "rptOrders");
            return Entries{.firstOrder = caption(g, 0, 3),
                           .secondOrder = caption(g, 1, 3),
                           .payment = focusedTag(child<ReportControl>(w, "rptPayments"))};
        };
        int rounds = 0;
        auto round = [&](int k, Round& r) {
            ModalDriver d;
            onScreen(d, u"frmAllocateCredit"_s, [&](QWidget* w) {
                clickCell(child<ReportControl>(w, "rptPayments"), 0, 1);
                editCell(child<ReportControl>(w, "rptOrders"), 0, 3, u"6"_s);
                editCell(child<ReportControl>(w, "rptOrders"), 1, 3, u"4"_s);
                if (press(w, u"cmdOK"_s, k, r, h, [&] { return shows(w); }))
                    clickButton(w, u"cmdOK"_s);
            });
            QVERIFY(h.library().ShowAllocateCredit(b.abbott));
            QVERIFY2(d.waitDone(), qPrintable(d.failure()));
            ++rounds;
        };
        const Entries entered{.firstOrder = "$6.00", .secondOrder = "$4.00", .payment = QString::number(payment)};
        sweep(h, round, entered, u"The credit could not be applied."_s, [&] {
            QCOMPARE(allocatedOf(h.db(), payment), QString::number(10 * rounds));
            QCOMPARE(activity(h.db()).size(), 2 * rounds);
        });
    }

    // A payment deleted from Customer Payments, with the customer's line.
    void deletePayment()
    {
        TestHost h;
        const Shop b = makeShop(h.db());
        int payment = 0, rounds = 0;
        auto round = [&](int k, Round& r) {
            payment = h.db().addPayment(b.abbott, cur("25"), b.cash, at(2024, 3, 4));
            ++rounds;
            ModalDriver d;
            onScreen(d, u"frmCustomerPayments"_s,
                     [&](QWidget* w) { deleteRow(w, child<ReportControl>(w, "rptPayments"), payment, k, r, h, {}); });
            h.library().ShowCustomerPayments(b.abbott);
            QVERIFY2(d.waitDone(), qPrintable(d.failure()));
        };
        sweep(h, round, {.listed = true}, u"The payment could not be deleted."_s, [&] {
            QCOMPARE(h.db().count(u"SELECT COUNT(*) FROM Payments"_s), 0);
            QCOMPARE(activity(h.db()).size(), rounds);
        });
    }

    // An allocation removed from Payment Allocations.
    void removeAllocation()
    {
        TestHost h;
        const Shop b = makeShop(h.db());
        const int payment = h.db().addPayment(b.abbott, cur("500"), b.cash, at(2024, 3, 4));
        int allocation = 0;
        auto round = [&](int k, Round& r) {
            h.db().allocate(payment, u"SO-1001"_s, cur("7.5"));
            allocation = h.db().count(u"SELECT MAX(ID) FROM PaymentAllocations"_s);
            h.prompter().expectQuestion(ScriptedPrompter::Yes);
            ModalDriver d;
            onScreen(d, u"frmPaymentAllocations"_s, [&](QWidget* w) {
                deleteRow(w, child<ReportControl>(w, "rptAllocations"), allocation, k, r, h,
                          [&] { h.prompter().expectQuestion(ScriptedPrompter::Yes); });
            });
            h.library().ShowPaymentAllocations(payment);
            QVERIFY2(d.waitDone(), qPrintable(d.failure()));
        };
        sweep(h, round, {.listed = true}, u"The payment allocation could not be deleted."_s, [&] {
            QCOMPARE(h.db().count(u"SELECT COUNT(*) FROM PaymentAllocations"_s), 0);
            QCOMPARE(allocatedOf(h.db(), payment), u"0"_s);
            QCOMPARE(owedOf(h.db(), b.orderA), (Owed{"0", "800"}));
        });
    }

    // The integrity repair: a payment's Allocated and an order's figures set right, each with
    // its activity line, in one transaction. A failed repair keeps nothing and says why; the
    // next one repairs once.
    void repair()
    {
        TestHost h;
        const Shop b = makeShop(h.db());
        const int payment = h.db().addPayment(b.abbott, cur("500"), b.cash, at(2024, 3, 4));
        h.db().allocate(payment, u"SO-1001"_s, cur("7.5"));
        h.db().exec(u"UPDATE Payments SET Allocated = 1 WHERE ID = %1; UPDATE Orders SET Payments = 0, Balance = 0 "
                    "WHERE ID = %2"_s.arg(payment)
                        .arg(b.orderA));
        const QString damaged = ledgerState(h.db());
        int k = 0;
        for (;; ++k) {
            auto conn = h.db().openConnection();
            inject.arm(k);
            const auto result = tesr::host::repairIntegrity(*conn, 5);
            inject.disarm();
            if (k >= inject.sent().size()) {
                QVERIFY2(result.ok, qPrintable(result.error));
                break;
            }
            const QString at = u"statement %1: %2"_s.arg(k).arg(inject.sent().value(k));
            QVERIFY2(!result.ok && result.error.contains(kInjected), qPrintable(at + u" told: "_s + result.error));
            QVERIFY2(result.repaired.isEmpty() && !conn->InTransaction(), qPrintable(at));
            QCOMPARE(ledgerState(h.db()), damaged);
            QCOMPARE(activity(h.db()).size(), 0);
        }
        QVERIFY(tesr::host::checkIntegrity(h.db().connection()).clean());
        QCOMPARE(allocatedOf(h.db(), payment), u"7.5"_s);
        QCOMPARE(owedOf(h.db(), b.orderA), (Owed{"7.5", "792.5"}));
        QCOMPARE(activity(h.db()).size(), 2);
        qInfo("repair: %d statements, each failed in turn", k);
    }

    // A payment's descriptive fields saved by Edit Payment.
    void editPayment()
    {
        TestHost h;
        const Shop b = makeShop(h.db());
        const int payment = h.db().addPayment(b.abbott, cur("25"), b.cash, at(2024, 3, 4), u"before"_s);
        const QString memo = u"SELECT Description FROM Payments WHERE ID = %1"_s.arg(payment);
        auto extra = [&] { return h.db().scalar(memo).toString(); };
        auto round = [&](int k, Round& r) {
            h.db().exec(u"UPDATE Payments SET Description = 'before' WHERE ID = %1"_s.arg(payment));
            ModalDriver d;
            onScreen(d, u"frmEditPayment"_s, [&](QWidget* w) {
                typeOver(child(w, "txtDescription"), u"after"_s);
                if (press(
                        w, u"cmdOK"_s, k, r, h, [&] { return Entries{.description = textOf(w, "txtDescription")}; },
                        extra))
                    clickButton(w, u"cmdOK"_s);
            });
            QVERIFY(h.library().ShowEditPayment(payment));
            QVERIFY2(d.waitDone(), qPrintable(d.failure()));
        };
        sweep(h, round, {.description = "after"}, u"Unable to edit the payment."_s,
              [&] { QCOMPARE(h.db().scalar(memo).toString(), u"after"_s); });
    }

    // The save cannot be made: another workstation holds the order beyond the busy timeout
    // (SQLite: the write lock; PostgreSQL: the order's row), or the database became unreachable
    // after the screen opened. The user is told with the engine's words, nothing is written,
    // the entries stay, and OK saves once the database is back.
    void lockedOrUnreachable_data()
    {
        QTest::addColumn<bool>("credit"); // Allocate Credit, else New Payment
        QTest::addColumn<bool>("locked"); // else unreachable
        QTest::addColumn<Owed>("owed");   // the order's, after the retry
        QTest::addColumn<int>("lines");   // activity lines after the retry
        QTest::newRow("New Payment, locked") << false << true << Owed{"800", "0"} << 2;
        QTest::newRow("New Payment, unreachable") << false << false << Owed{"800", "0"} << 2;
        QTest::newRow("Allocate Credit, locked") << true << true << Owed{"100", "700"} << 1;
        QTest::newRow("Allocate Credit, unreachable") << true << false << Owed{"100", "700"} << 1;
    }
    void lockedOrUnreachable()
    {
        QFETCH(bool, credit);
        QFETCH(bool, locked);
        QFETCH(Owed, owed);
        QFETCH(int, lines);
        TestHost h;
        const Shop b = makeShop(h.db());
        if (credit)
            h.db().addPayment(b.abbott, cur("1000"), b.cash, at(2024, 3, 4));
        const QString before = ledgerState(h.db()), url = h.config().databaseUrl();
        std::unique_ptr<Connection> other = h.db().openConnection();
        if (locked) {
            QVERIFY(other->BeginTrans());
            QVERIFY(other->Execute(u"UPDATE Orders SET Sidemark = 'Kitchen' WHERE UniqueID = 'SO-1001'"_s));
        }
        const int column = credit ? 3 : 4;
        ModalDriver slow(20000);
        qint64 waited = 0;
        QString kept, during;
        auto act = [&](QWidget* w) {
            if (credit) {
                clickCell(child<ReportControl>(w, "rptPayments"), 0, 1);
            } else {
                pickFirstMethod(w);
                typeOver(child(w, "cboAmount"), u"800"_s, true);
            }
            editCell(child<ReportControl>(w, "rptOrders"), 0, column, credit ? u"100"_s : u"800"_s);
            if (!locked)
                h.config().setDatabaseUrl(url + u"_gone"_s);
            QElapsedTimer clock;
            clock.start();
            clickButton(w, u"cmdOK"_s);
            waited = clock.elapsed();
            QVERIFY(w->isVisible());
            kept = caption(child<ReportControl>(w, "rptOrders"), 0, column);
            during = ledgerState(h.db());
            if (locked)
                QVERIFY(other->RollbackTrans());
            h.config().setDatabaseUrl(url);
            clickButton(w, u"cmdOK"_s);
        };
        if (credit) {
            onScreen(slow, u"frmAllocateCredit"_s, act);
            QVERIFY(h.library().ShowAllocateCredit(b.abbott));
        } else {
            onScreen(slow, u"frmNewPayment"_s, act,
                     [](QWidget* w) { return !child<ComboBox>(w, "cboAmount")->Text().isEmpty(); });
            QVERIFY(h.library().ShowNewPayment(b.abbott));
        }
        QVERIFY2(slow.waitDone(30000), qPrintable(slow.failure()));
        other->Close();
        QVERIFY2(!locked || waited >= 4000, qPrintable(QString::number(waited)));
        QCOMPARE(kept, credit ? u"$100.00"_s : u"$800.00"_s);
        QCOMPARE(during, before);
        QCOMPARE(h.prompter().headlines(),
                 QStringList{credit ? u"The credit could not be applied."_s : u"The payment could not be added."_s});
        const QString engineSaid = !locked ? u"_gone"_s : onPostgres() ? u"lock timeout"_s : u"locked"_s;
        QVERIFY2(errors(h.prompter()).value(2).contains(engineSaid), qPrintable(errors(h.prompter()).join(u'|')));
        QCOMPARE(owedOf(h.db(), b.orderA), owed);
        QCOMPARE(h.db().count(u"SELECT COUNT(*) FROM Payments"_s), 1);
        QCOMPARE(activity(h.db()).size(), lines);
    }
};

TESR_TEST_MAIN(TestFaultSweep)
#include "tst_faultsweep.moc"

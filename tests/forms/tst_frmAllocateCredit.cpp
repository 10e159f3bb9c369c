// Allocate Credit through the Library on a TestHost over a real database: amounts typed into
// the real grid, OK and Cancel clicked, message boxes answered under the watchdog, the host's
// question scripted, and the ledger read back.

#include "support/ScreenTest.h"
#include "support/TestMain.h"

#include "forms/frmAllocateCredit/frmAllocateCredit.h"
#include "platform/Ado.h"
#include "values/Regional.h"

using namespace tesr;
using namespace tesrtest;
using namespace Qt::StringLiterals;

namespace {

const QString kScreen = u"frmAllocateCredit"_s;
const QString kMoreThanUnallocated = u"You cannot allocate more than the selected unallocated amount."_s;
const QString kTooLarge = u"The amounts to allocate are too large: their total is beyond any amount the ledger can "
                          "hold. Correct the amounts and try again."_s;

// Two payments with credit (1,500.00 untouched, 50.00 left of 80.00), one used up, and three
// orders that take payments: the first with a quote in its UniqueID, the last owing less than
// nothing. Not listed: another state, a zero balance, another customer's order and payment.
struct Book {
    int customer = 0, cash = 0, p1 = 0, p2 = 0, o1 = 0, o2 = 0, o5 = 0;
};

Book makeBook(TestDatabase& db)
{
    Book b;
    const int cash = b.cash = db.addPaymentMethod(u"Cash"_s);
    const int check = db.addPaymentMethod(u"Check"_s);
    b.customer = db.addCustomer(u"Ann O'Hara"_s);
    const int other = db.addCustomer(u"Baker & Sons"_s);
    b.o1 = db.addOrder(b.customer, u"SO-1'A"_s, cur("1200"), 3, 0, u"1001"_s, u"Kitchen "_s);
    b.o2 = db.addOrder(b.customer, u"SO-2"_s, cur("250.50"), 2, 0, u"1002"_s, u"Bath"_s);
    db.addOrder(b.customer, u"SO-3"_s, cur("99"), 1, 0, u"1003"_s);
    db.addOrder(b.customer, u"SO-6"_s, cur("70"), 3, 0, u"1006"_s);
    b.o5 = db.addOrder(b.customer, u"SO-5"_s, cur("-20"), 3, 0, u"1005"_s, u"Refund"_s);
    db.addOrder(other, u"SO-9"_s, cur("10"), 3, 0, u"1009"_s);
    b.p1 = db.addPayment(b.customer, cur("1500"), check, at(2024, 3, 4, 15, 30));
    b.p2 = db.addPayment(b.customer, cur("80"), cash, at(2024, 3, 5));
    const int p3 = db.addPayment(b.customer, cur("40"), cash, at(2024, 3, 6));
    db.allocate(b.p2, u"SO-6"_s, cur("30"));
    db.allocate(p3, u"SO-6"_s, cur("40"));
    db.addPayment(other, cur("99"), cash, at(2024, 3, 6));
    return b;
}

} // namespace

class TestAllocateCredit : public QObject {
    Q_OBJECT
    static ReportControl* orders(QWidget* w) { return child<ReportControl>(w, "rptOrders"); }
    static void typeAmount(QWidget* w, int record, const QString& typed)
    {
        editCell(orders(w), record, frmAllocateCredit::OrdAllocate, typed);
    }
    static void selectPayment(QWidget* w, int record)
    {
        clickCell(child<ReportControl>(w, "rptPayments"), record, frmAllocateCredit::PayDetails);
    }
    // The column captions, "-" for one hidden or the user may not resize.
    static QString columnsOf(ReportControl* g)
    {
        QStringList out;
        for (int i = 0; i < g->Columns().Count(); ++i) {
            const ReportColumn* c = g->Columns().Column(i);
            out << (c->Visible() && c->Resizable() ? c->Caption() : u"-"_s);
        }
        return out.join(u',');
    }

private slots:
    void init() { forgetPlacements({u"Allocate Credit"_s}); }

    void opensWithBothListsAndTheCredit()
    {
        SCREEN_FIXTURE(makeBook);
        const QString before = ledgerState(h.db());
        const QString owing = Regional::formatCurrency(cur("-20"));
        onScreen(d, kScreen, [&](QWidget* w) {
            QCOMPARE(w->windowTitle(), u"Allocate Credit"_s);
            ReportControl* p = child<ReportControl>(w, "rptPayments");
            QVERIFY(!p->AllowEdit() && orders(w)->AllowEdit());
            QCOMPARE(columnsOf(p), u"Date,Details,Amount,Allocated,Unallocated"_s);
            QCOMPARE(columnsOf(orders(w)), u"Order Number,Sidemark,Balance,Allocate,New Balance,-"_s);
            QCOMPARE(shown(p), (QStringList{u"%1|3/4/2024|Check|$1,500.00|$0.00|$1,500.00"_s.arg(b.p1),
                                            u"%1|3/5/2024|Cash|$80.00|$30.00|$50.00"_s.arg(b.p2)}));
            QCOMPARE(shown(orders(w)), (QStringList{u"%1|1001|Kitchen|$1,200.00|$0.00|$1,200.00|SO-1'A"_s.arg(b.o1),
                                                    u"%1|1002|Bath|$250.50|$0.00|$250.50|SO-2"_s.arg(b.o2),
                                                    u"%1|1005|Refund|%2|$0.00|%2|SO-5"_s.arg(b.o5).arg(owing)}));
            // Money cells hold amounts, not texts.
            QCOMPARE(p->Records().Record(1)->Item(4)->Value().value<Currency>(), cur("50"));
            QCOMPARE(textOf(w, "Label4"), u"&Customer:"_s);
            QCOMPARE(textOf(w, "lblCustomer"), u"Ann O'Hara"_s);
            QCOMPARE(textOf(w, "lblCredit"), u"Credit: $1,550.00"_s);
            QCOMPARE(textOf(w, "Label2"), u"Payments not fully allocated"_s);
            QCOMPARE(textOf(w, "Label1"), u"Apply the selected payment to:"_s);
            QCOMPARE(textOf(w, "lblSummary"), u"Allocated: $0.00, Unallocated: $1,550.00"_s);
            render(w, u"frmAllocateCredit.png"_s);
            w->close(); // the close box: nothing saved
        });
        QVERIFY(!h.library().ShowAllocateCredit(b.customer));
        SCREEN_DONE(d, h);
        QCOMPARE(ledgerState(h.db()), before);
    }

    // A customer's name is shown as it is stored, markup and all.
    void databaseTextIsShownAsText()
    {
        SCREEN_FIXTURE(makeBook);
        const QString name = u"<b>Ann</b> <img src=\"/tmp/x.png\">"_s;
        h.db().exec(u"UPDATE Customers SET CustomerName = '%1' WHERE ID = %2"_s.arg(name).arg(b.customer));
        QString shownName;
        QStringList rich;
        onScreen(d, kScreen, [&](QWidget* w) {
            shownName = textOf(w, "lblCustomer");
            rich = richTextLabels(w);
            w->close();
        });
        h.library().ShowAllocateCredit(b.customer);
        SCREEN_DONE(d, h);
        QCOMPARE(shownName, name);
        QCOMPARE(rich, QStringList());
    }

    void anAmountIsReadAsTheUserTypesIt_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("kept"); // what the cell holds afterwards
        // clang-format off
        QTest::newRow("dollar sign dropped") << "$25" << "25";
        QTest::newRow("grouped thousands") << "$1,000.5" << "1000.5";
        QTest::newRow("a quote refused") << "1'2" << "5";
        QTest::newRow("misplaced grouping refused") << "1,00" << "5";
        // clang-format on
    }
    void anAmountIsReadAsTheUserTypesIt()
    {
        QFETCH(QString, typed);
        QFETCH(QString, kept);
        SCREEN_FIXTURE(makeBook);
        const QString before = ledgerState(h.db());
        QVariant value;
        QString seen;
        onScreen(d, kScreen, [&](QWidget* w) {
            typeAmount(w, 0, u"5"_s);
            typeAmount(w, 0, typed);
            value = orders(w)->Records().Record(0)->Item(frmAllocateCredit::OrdAllocate)->Value();
            seen = caption(orders(w), 0, 3) + u'|' + caption(orders(w), 0, 4) + u'|' + textOf(w, "lblSummary");
            clickButton(w, u"cmdCancel"_s);
        });
        QVERIFY(!h.library().ShowAllocateCredit(b.customer));
        SCREEN_DONE(d, h);
        const Currency amount = *Currency::parsePlain(kept);
        QCOMPARE(value.metaType(), QMetaType::fromType<Currency>());
        QCOMPARE(value.value<Currency>(), amount);
        auto money = [](std::optional<Currency> c) { return Regional::formatCurrency(c); };
        QCOMPARE(seen, u"%1|%2|Allocated: %1, Unallocated: %3"_s.arg(money(amount), money(cur("1200").minus(amount)),
                                                                     money(cur("1550").minus(amount))));
        QCOMPARE(ledgerState(h.db()), before);
    }

    void appliesTheCreditToTwoOrders()
    {
        SCREEN_FIXTURE(makeBook);
        onScreen(d, kScreen, [&](QWidget* w) {
            selectPayment(w, 0);
            typeAmount(w, 0, u"1,000"_s);
            typeAmount(w, 1, u"$25.50"_s);
            QCOMPARE(textOf(w, "lblSummary"), u"Allocated: $1,025.50, Unallocated: $524.50"_s);
            clickButton(w, u"cmdOK"_s);
        });
        QVERIFY(h.library().ShowAllocateCredit(b.customer));
        SCREEN_DONE(d, h);
        TestDatabase& db = h.db();
        QVERIFY(h.prompter().calls().isEmpty());
        QCOMPARE(allocationsOf(db, b.p1), (QStringList{"SO-1'A=1000", "SO-2=25.5"}));
        QCOMPARE(allocatedOf(db, b.p1), u"1025.5"_s);
        QCOMPARE(allocatedOf(db, b.p2), u"30"_s);
        QCOMPARE(owedOf(db, {b.o1, b.o2, b.o5}), (QList<Owed>{{"1000", "200"}, {"25.5", "225"}, {"0", "-20"}}));
        QCOMPARE(activity(db, u"OrderID = %1"_s.arg(b.o1)), QStringList{"A credit of $1,000.00 was applied."});
        QCOMPARE(activity(db, u"OrderID = %1"_s.arg(b.o2)), QStringList{"A credit of $25.50 was applied."});
        QCOMPARE(activity(db, u"CustomerID = %1"_s.arg(b.customer)).size(), 2);
    }

    // Spread Oldest First (Ctrl+Shift+S) fills the Allocate cells from the selected payment's
    // credit, within the customer's, oldest order first up to each balance, none to an order
    // owing less than nothing; OK saves them as typed ones.
    void spreadOldestFirst_data()
    {
        QTest::addColumn<int>("payment");        // record to select, -1 none
        QTest::addColumn<bool>("overdrawn");     // a third payment, applied beyond its amount
        QTest::addColumn<QStringList>("spread"); // per order, after
        QTest::addColumn<QString>("message");
        const QStringList nothing{"0", "0", "0"};
        const QString no;
        // clang-format off
        QTest::newRow("whole payment") << 0 << false << QStringList{"1200", "250.5", "0"} << no;
        QTest::newRow("within the customer's credit") << 0 << true << QStringList{"1200", "60", "0"} << no;
        QTest::newRow("no payment selected") << -1 << false << nothing
            << "Select the payment to apply first: Spread Oldest First fills the Allocate cells from its credit.";
        QTest::newRow("payment without credit") << 2 << true << nothing << "The selected payment has no credit to spread.";
        // clang-format on
    }
    void spreadOldestFirst()
    {
        QFETCH(int, payment);
        QFETCH(bool, overdrawn);
        QFETCH(QStringList, spread);
        QFETCH(QString, message);
        SCREEN_FIXTURE(makeBook);
        if (overdrawn) // the customer's credit drops to 1,260.00
            h.db().allocate(h.db().addPayment(b.customer, cur("10"), b.cash, at(2024, 3, 7)), u"SO-9"_s, cur("300"));
        QStringList after;
        QString shownText;
        auto spreadNow = [](QWidget* w) {
            QTest::keyClick(w->focusWidget(), Qt::Key_S, Qt::ControlModifier | Qt::ShiftModifier);
        };
        auto read = [&](QWidget* w) {
            const ReportRecords& records = orders(w)->Records();
            for (int i = 0; i < records.Count(); ++i)
                after << records.Record(i)
                             ->Item(frmAllocateCredit::OrdAllocate)
                             ->Value()
                             .value<Currency>()
                             .toPlainString();
            if (message.isEmpty())
                return clickButton(w, u"cmdOK"_s);
            clickButton(w, u"cmdCancel"_s);
        };
        onScreen(d, kScreen, [&](QWidget* w) {
            if (payment >= 0)
                selectPayment(w, payment);
            if (message.isEmpty()) {
                spreadNow(w);
                return read(w);
            }
            QTimer::singleShot(0, w, [w, spreadNow] { spreadNow(w); });
            answerBox(d, shownText);
            d.expect(kScreen, read);
        });
        QCOMPARE(h.library().ShowAllocateCredit(b.customer), message.isEmpty());
        SCREEN_DONE(d, h);
        QCOMPARE(shownText, message);
        QCOMPARE(after, spread);
        QStringList saved; // what OK wrote against the first payment
        for (int i = 0; message.isEmpty() && i < 2; ++i)
            saved << QStringList{"SO-1'A", "SO-2"}[i] + u'=' + after[i];
        QCOMPARE(allocationsOf(h.db(), b.p1), saved);
    }

    void okChecksTheAmounts_data()
    {
        QTest::addColumn<int>("payment");         // record to select, -1 none
        QTest::addColumn<QStringList>("amounts"); // typed into the orders in record order
        QTest::addColumn<QString>("message");     // standard message box, empty for none
        QTest::addColumn<int>("answer");          // to the host's question, 0 when none is asked
        QTest::addColumn<int>("allocations");     // written; -1 when the dialog stays open
        QTest::addColumn<QString>("meanwhile");   // another session's change to the first payment
        const QString none;
        const QString changed = u"The credit of the selected payment has changed since this list was opened (it may "
                                u"have been applied on another workstation). Nothing was saved.\n\nClose this dialog "
                                u"and open it again to see the payment's current credit."_s;
        const QString more = u"You cannot allocate more than the customers current credit."_s;
        // clang-format off
        QTest::newRow("above the credit: the credit is told") << 0 << QStringList{"1551"} << more << 0 << -1 << none;
        QTest::newRow("a cent above the selected payment") << 1 << QStringList{"", "50.01"} << kMoreThanUnallocated << 0 << -1 << none;
        QTest::newRow("exactly the selected payment") << 1 << QStringList{"", "50"} << none << 0 << 1 << none;
        QTest::newRow("no payment selected") << -1 << QStringList{"", "10"} << kMoreThanUnallocated << 0 << -1 << none;
        QTest::newRow("negative total: nothing written or asked") << -1 << QStringList{"", "", "-5"} << none << 0 << 0 << none;
        QTest::newRow("positive and negative") << 1 << QStringList{"", "40", "-5"} << none << 0 << 1 << none;
        QTest::newRow("nothing applied, No") << 0 << QStringList{} << none << int(ScriptedPrompter::No) << -1 << none;
        QTest::newRow("nothing applied, Yes") << 0 << QStringList{} << none << int(ScriptedPrompter::Yes) << 0 << none;
        QTest::newRow("too little left meanwhile") << 0 << QStringList{"1000"} << changed << 0 << -1 << "UPDATE Payments SET Allocated = Allocated + 600 WHERE ID = %1";
        QTest::newRow("payment deleted meanwhile") << 0 << QStringList{"1000"} << changed << 0 << -1 << "DELETE FROM Payments WHERE ID = %1";
        QTest::newRow("a total money cannot hold, never wrapped") << 0 << QStringList{"500000000000000", "500000000000000"} << kTooLarge << 0 << -1 << none;
        // clang-format on
    }
    void okChecksTheAmounts()
    {
        QFETCH(int, payment);
        QFETCH(QStringList, amounts);
        QFETCH(QString, message);
        QFETCH(int, answer);
        QFETCH(int, allocations);
        QFETCH(QString, meanwhile);
        SCREEN_FIXTURE(makeBook);
        if (answer)
            h.prompter().expectQuestion(answer, u"You have not applied any amounts to the sales/orders. Are you sure "
                                                u"you want to continue?"_s);
        QString shownText, before;
        bool stayedOpen = false;
        onScreen(d, kScreen, [&](QWidget* w) {
            if (payment >= 0)
                selectPayment(w, payment);
            for (int i = 0; i < amounts.size(); ++i)
                if (!amounts[i].isEmpty())
                    typeAmount(w, i, amounts[i]);
            if (!meanwhile.isEmpty()) { // after the lists were read
                std::unique_ptr<Connection> other = h.db().openConnection();
                QVERIFY(other->Execute(meanwhile.arg(b.p1)));
                other->Close();
            }
            before = ledgerState(h.db());
            if (!message.isEmpty())
                return clickLater(w, u"cmdOK"_s);
            clickButton(w, u"cmdOK"_s);
            if ((stayedOpen = w->isVisible()))
                clickButton(w, u"cmdCancel"_s);
        });
        if (!message.isEmpty()) {
            answerBox(d, shownText);
            d.expect(kScreen, [&](QWidget* w) {
                stayedOpen = true;
                clickButton(w, u"cmdCancel"_s);
            });
        }
        QCOMPARE(h.library().ShowAllocateCredit(b.customer), allocations >= 0);
        SCREEN_DONE(d, h);
        QCOMPARE(shownText, message);
        QCOMPARE(stayedOpen, allocations < 0);
        // The fixture's own allocation of the second payment, and what was written.
        QCOMPARE(
            h.db().count(u"SELECT COUNT(*) FROM PaymentAllocations WHERE PaymentID IN (%1, %2)"_s.arg(b.p1).arg(b.p2)),
            1 + qMax(allocations, 0));
        QCOMPARE(h.db().count(u"SELECT COUNT(*) FROM ActivityHistory"_s), qMax(allocations, 0));
        if (allocations < 0)
            QCOMPARE(ledgerState(h.db()), before);
        if (!meanwhile.isEmpty() && allocations > 0) { // added to what the other session left
            QCOMPARE(allocatedOf(h.db(), b.p1), u"1500"_s);
            QCOMPARE(owedOf(h.db(), b.o1), (Owed{"1000", "200"}));
        }
        if (answer)
            QVERIFY(h.prompter().calls()[0].explanation.startsWith(
                u"The customers credit of $1,550.00 will remain unchanged; No sales/orders will be affected."_s));
    }
};

TESR_TEST_MAIN(TestAllocateCredit)
#include "tst_frmAllocateCredit.moc"

// New Payment through the Library on a TestHost over a real database: keys and clicks on its
// named controls, the host's questions scripted, message boxes and the screens it opens
// answered under the watchdog, and the ledger read back.

#include "support/ScreenTest.h"
#include "support/TestMain.h"

#include "platform/controls/ComboBox.h"
#include "platform/controls/PushButton.h"
#include "values/Regional.h"

#include <QLabel>
#include <QMessageBox>

using namespace tesr;
using namespace tesrtest;
using namespace Qt::StringLiterals;

namespace {
const QString kScreen = u"frmNewPayment"_s;
const QString kAmountMsg = u"You must enter a valid payment amount. Payments cannot be negative."_s;
const QString kPartialQ = u"You have not fully allocated the payment amount. Are you sure you want to continue?"_s;
const QString kCreditQ =
    u"You are recording a payment but not applying it to any sales/orders. Are you sure you want to continue?"_s;
const QString kNegativeNotice = u"You cannot record negative payments for sales or orders."_s;
const QString kTooLarge = u"The amounts to allocate are too large: their total, or an order's new balance, is beyond "
                          "any amount the ledger can hold. Correct the amounts and try again."_s;
} // namespace

class TestNewPayment : public QObject {
    Q_OBJECT
    static ComboBox* combo(QWidget* w, const char* name) { return child<ComboBox>(w, name); }
    static ReportControl* grid(QWidget* w) { return child<ReportControl>(w, "rptOrders"); }
    static void allocate(QWidget* w, int record, const QString& text) { editCell(grid(w), record, 4, text); }
    static void type(QWidget* w, const char* name, const QString& text) { typeOver(child(w, name), text); }
    // The dialog has loaded once the amount box holds what its leave rule gave it; the action
    // queues whatever comes after it.
    static void onDialog(ModalDriver& d, ModalDriver::Action action)
    {
        onScreen(d, kScreen, std::move(action), [](QWidget* w) { return !combo(w, "cboAmount")->Text().isEmpty(); });
    }
    // Walks the pick-only method box with the arrow keys.
    static void pickMethod(QWidget* w, const QString& name)
    {
        ComboBox* box = combo(w, "cboPaymentMethod");
        box->setFocus(Qt::TabFocusReason);
        QTest::keyClick(box, Qt::Key_Home);
        for (int i = 0; i < box->ListCount() && box->Text() != name; ++i)
            QTest::keyClick(box, Qt::Key_Down);
        QCOMPARE(box->Text(), name);
    }
    static QString entries(ComboBox* box)
    {
        QStringList out;
        for (int i = 0; i < box->ListCount(); ++i)
            out << box->List(i) + u'=' + QString::number(box->ItemData(i));
        return out.join(u' ');
    }
    // Each record's "To Allocate" as a plain amount.
    static QStringList toAllocate(QWidget* w)
    {
        QStringList out;
        for (int i = 0; i < grid(w)->Records().Count(); ++i)
            out << grid(w)->Records().Record(i)->Item(4)->Value().value<Currency>().toPlainString();
        return out;
    }
    static void spreadNow(QWidget* w)
    {
        QTest::keyClick(w->focusWidget(), Qt::Key_S, Qt::ControlModifier | Qt::ShiftModifier);
    }
    static QString field(TestDatabase& db, int payment, const char* column)
    {
        return db.scalar(u"SELECT %1 FROM Payments WHERE ID = %2"_s.arg(QLatin1String(column)).arg(payment)).toString();
    }

private slots:
    void init()
    {
        forgetPlacements({u"New Payment"_s});
        setZone(300); // local time is universal time minus five hours
    }
    void cleanup() { resetZone(); }

    void opensLoaded()
    {
        SCREEN_FIXTURE(makeShop);
        tesrtest::Fields seen;
        onDialog(d, [&](QWidget* w) {
            seen[u"caption"_s] = w->windowTitle();
            seen[u"font"_s] = w->font().family() + u' ' + QString::number(w->font().pointSizeF());
            for (const char* name : {"Label4", "Label5", "lblSummary", "lblAmount", "Label1", "lblPaymentDate",
                                     "lblCardNumber", "lblNameOnCard", "lblExpireDate", "lblExpireDate2", "Label3",
                                     "cmdCredit", "cmdOK", "cmdCancel", "cboCustomer", "cboAmount", "txtExpireMonth"})
                seen[QString::fromLatin1(name)] = textOf(w, name);
            seen[u"card tip"_s] = child<QLabel>(w, "Image1")->toolTip();
            seen[u"enabled"_s] = enabledStates(w, {"cboCustomer", "txtCardNumber"});
            seen[u"credit shown"_s] = child<PushButton>(w, "cmdCredit")->Visible() ? u"yes"_s : u"no"_s;
            QCOMPARE(textOf(w, "txtPaymentDate"), Regional::formatShortDate(OleDate::fromParts(QDate::currentDate())));
            QCOMPARE(textOf(w, "txtExpireYear"), QString::number(QDate::currentDate().year()));
            ReportControl* g = grid(w);
            QStringList columns;
            for (int i = 0; i < g->Columns().Count(); ++i)
                columns << g->Columns().Column(i)->Caption();
            seen[u"columns"_s] = columns.join(u',');
            const QStringList rows = shown(g); // each: tag|cells
            for (int i = 0; i < rows.size(); ++i)
                seen[u"row %1"_s.arg(i + 1)] = rows[i];
            seen[u"focused"_s] = focusedTag(g);
            seen[u"amounts"_s] = entries(combo(w, "cboAmount"));
            seen[u"methods"_s] = entries(combo(w, "cboPaymentMethod"));
            QCOMPARE(g->Records().Record(1)->Item(3)->Value().value<Currency>(), cur("1000.5"));
            render(w, u"frmNewPayment.png"_s);
            clickButton(w, u"cmdCancel"_s);
        });
        QCOMPARE(h.library().ShowNewPayment(b.abbott), 0);
        SCREEN_DONE(d, h);
        const QString orderA = QString::number(b.orderA), orderB = QString::number(b.orderB);
        // Only the order and the sale, trimmed, the first focused.
        COMPARE_FIELDS(
            seen,
            (tesrtest::Fields{
                {u"caption"_s, u"New Payment"_s},
                {u"font"_s, u"Verdana 9.75"_s},
                {u"Label4"_s, u"&Customer:"_s},
                {u"Label5"_s, u"Orders:"_s},
                {u"lblSummary"_s, u"Allocated: $0.00, Unallocated: $0.00"_s},
                {u"lblAmount"_s, u"&Amount:"_s},
                {u"Label1"_s, u"&Payment method:"_s},
                {u"lblPaymentDate"_s, u"&Received on:"_s},
                {u"lblCardNumber"_s, u"Card number:"_s},
                {u"lblNameOnCard"_s, u"&Name on card:"_s},
                {u"lblExpireDate"_s, u"&Expires on:"_s},
                {u"lblExpireDate2"_s, u"/"_s},
                {u"Label3"_s, u"Memo:"_s},
                {u"cmdCredit"_s, u"Allocate Credit..."_s},
                {u"cmdOK"_s, u"OK"_s},
                {u"cmdCancel"_s, u"Cancel"_s},
                {u"cboCustomer"_s, u"Abbott Interiors"_s},
                {u"cboAmount"_s, u"0"_s},
                {u"txtExpireMonth"_s, u"1"_s},
                {u"card tip"_s, u"4 characters only; enter the last 4 of the CC."_s},
                {u"enabled"_s, u"cboCustomer"_s},
                {u"credit shown"_s, u"no"_s},
                {u"columns"_s, u"Number,Sidemark,Balance,Req. Deposit.,To Allocate,New Balance,UniqueID"_s},
                {u"row 1"_s, orderA + u"|1001|Kitchen|$800.00|$400.00|$0.00|$800.00|SO-1001"_s},
                {u"row 2"_s, orderB + u"|1002|Bath|$2,000.00|$1,000.50|$0.00|$2,000.00|SO-1002"_s},
                {u"focused"_s, orderA},
                {u"amounts"_s, u"$80.00 (10%)=80 $120.00 (15%)=120 $160.00 (20%)=160 $200.00 (25%)=200 "
                               u"$240.00 (30%)=240 $400.00 (50%)=400 $520.00 (65%)=520 $600.00 (75%)=600 "
                               u"$640.00 (80%)=640 $720.00 (90%)=720"_s},
                {u"methods"_s, u"Cash=%1 Check=%2 Visa=%3"_s.arg(QString::number(b.cash), QString::number(b.check),
                                                                 QString::number(b.visa))}}));
        QVERIFY(h.prompter().calls().isEmpty());
    }

    // A customer with unallocated payments is told so once, and offered Allocate Credit.
    void creditNotice()
    {
        SCREEN_FIXTURE(makeShop);
        h.db().addPayment(b.abbott, cur("75"), b.cash, at(2024, 3, 4, 15));
        bool offered = false;
        onDialog(d, [&](QWidget* w) {
            offered = child<PushButton>(w, "cmdCredit")->Visible();
            clickButton(w, u"cmdCancel"_s);
        });
        QCOMPARE(h.library().ShowNewPayment(b.abbott), 0);
        SCREEN_DONE(d, h);
        QVERIFY(offered);
        const auto told = h.prompter().calls();
        QCOMPARE(told.size(), 1);
        QCOMPARE(told[0].headline, u"This customer has a credit."_s);
        QCOMPARE(told[0].explanation,
                 u"You should allocate the remaining amounts of past payments before recording new payments. Click "
                 "the Allocate Credit button to assign the un-used portion of past payments."_s);
    }

    // Spread Oldest First (Ctrl+Shift+S) fills the cells from the amount, as typing them would:
    // the user's amounts stay, the rest goes to the oldest orders first up to each balance, none
    // to an order owing nothing; an amount box with nothing to spread says so and changes nothing.
    void spreadOldestFirst_data()
    {
        QTest::addColumn<QString>("amount");
        QTest::addColumn<QStringList>("typed");  // per record, before spreading
        QTest::addColumn<QStringList>("spread"); // per record, after
        QTest::addColumn<QString>("message");
        const QStringList none;
        const QString no;
        // clang-format off
        QTest::newRow("over two orders") << "1,000" << none << QStringList{"800", "200", "0", "0"} << no;
        QTest::newRow("typed amount kept") << "1000" << QStringList{"100"} << QStringList{"100", "900", "0", "0"} << no;
        QTest::newRow("empty amount") << "" << none << QStringList{"0", "0", "0", "0"}
            << "Enter the payment amount first: Spread Oldest First fills the To Allocate cells from it.";
        QTest::newRow("unreadable amount") << "12x" << none << QStringList{"0", "0", "0", "0"}
            << "The amount \"12x\" cannot be read. Type it in figures, for example $1,250.50.";
        // clang-format on
    }
    void spreadOldestFirst()
    {
        QFETCH(QString, amount);
        QFETCH(QStringList, typed);
        QFETCH(QStringList, spread);
        QFETCH(QString, message);
        SCREEN_FIXTURE(makeShop);
        h.db().addOrder(b.abbott, u"SO-Z"_s, cur("0"), 3, 0, u"1003"_s);
        h.db().addOrder(b.abbott, u"SO-N"_s, cur("-50"), 2, 0, u"1004"_s);
        QStringList after;
        QString summary, shownText;
        auto read = [&](QWidget* w) {
            after = toAllocate(w);
            summary = textOf(w, "lblSummary");
            QCOMPARE(caption(grid(w), 1, 5),
                     Regional::formatCurrency(*cur("2000").minus(*Currency::parsePlain(after[1]))));
            clickButton(w, u"cmdCancel"_s);
        };
        onDialog(d, [&](QWidget* w) {
            for (int r = 0; r < typed.size(); ++r)
                if (!typed[r].isEmpty())
                    allocate(w, r, typed[r]);
            typeOver(combo(w, "cboAmount"), amount); // still being typed: checked by the spread
            if (message.isEmpty()) {
                spreadNow(w);
                return read(w);
            }
            QTimer::singleShot(0, w, [w] { spreadNow(w); });
            answerBox(d, shownText);
            d.expect(kScreen, read);
        });
        QCOMPARE(h.library().ShowNewPayment(b.abbott), 0);
        SCREEN_DONE(d, h);
        QCOMPARE(shownText, message);
        QCOMPARE(after, spread);
        CurrencyTotal allocated;
        for (const QString& a : after)
            allocated.add(*Currency::parsePlain(a));
        const Currency paid = Currency::leadingNumber(QString(amount).remove(u'$').remove(u','));
        if (message.isEmpty())
            QCOMPARE(summary, u"Allocated: %1, Unallocated: %2"_s.arg(
                                  Regional::formatCurrency(*allocated.value()),
                                  Regional::formatCurrency(*paid.minus(*allocated.value()))));
    }

    // A second spread after the amount changed fills the spread's cells again, and keeps the one
    // the user typed over meanwhile; OK saves them like typed amounts.
    void spreadAgainThenSaved()
    {
        SCREEN_FIXTURE(makeShop);
        QStringList first;
        onDialog(d, [&](QWidget* w) {
            pickMethod(w, u"Check"_s);
            typeOver(combo(w, "cboAmount"), u"1000"_s, true);
            spreadNow(w);
            first = toAllocate(w);
            allocate(w, 1, u"50"_s);
            typeOver(combo(w, "cboAmount"), u"600"_s, true);
            spreadNow(w);
            clickButton(w, u"cmdOK"_s);
        });
        const int id = h.library().ShowNewPayment(b.abbott);
        SCREEN_DONE(d, h);
        QCOMPARE(first, (QStringList{"800", "200"}));
        QVERIFY(h.prompter().calls().isEmpty()); // fully allocated: no question
        QCOMPARE(allocationsOf(h.db(), id), (QStringList{"SO-1001=550", "SO-1002=50"}));
        QCOMPARE(owedOf(h.db(), {b.orderA, b.orderB}), (QList<Owed>{{"550", "250"}, {"50", "1950"}}));
    }

    // The amount still in its box when the dialog is confirmed: its leave rule runs first, so
    // the statement gets a plain number; nothing allocated, the payment is all credit.
    void creditOnlyAsTyped_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("stored");
        QTest::addColumn<QString>("shown");
        QTest::addColumn<bool>("byKeyboard");
        // clang-format off
        QTest::newRow("grouping, Enter") << "2,500.25" << "2500.25" << "$2,500.25" << true;
        QTest::newRow("grouping, mouse") << "2,500.25" << "2500.25" << "$2,500.25" << false;
        QTest::newRow("currency symbol") << "$500" << "500" << "$500.00" << false;
        QTest::newRow("more than four decimals") << "10.123456" << "10.1235" << "$10.12" << true;
        // clang-format on
    }
    void creditOnlyAsTyped()
    {
        QFETCH(QString, typed);
        QFETCH(QString, stored);
        QFETCH(QString, shown);
        QFETCH(bool, byKeyboard);
        SCREEN_FIXTURE(makeShop);
        h.prompter().expectQuestion(ScriptedPrompter::Yes, kCreditQ);
        onDialog(d, [&](QWidget* w) {
            pickMethod(w, u"Cash"_s);
            typeOver(combo(w, "cboAmount"), typed);
            if (byKeyboard)
                QTest::keyClick(combo(w, "cboAmount"), Qt::Key_Return);
            else
                clickButton(w, u"cmdOK"_s);
        });
        const int id = h.library().ShowNewPayment(b.abbott);
        SCREEN_DONE(d, h);
        const auto asked = h.prompter().calls();
        QCOMPARE(asked[0].explanation,
                 u"You are recording a payment of %1 for this customer which will be applied as a "
                 "credit. No sales/orders will be affected by this payment."_s.arg(shown));
        QCOMPARE(asked[0].buttons, 6);
        QCOMPARE(h.db().money(u"SELECT Amount FROM Payments WHERE ID = %1"_s.arg(id)).toPlainString(), stored);
        QCOMPARE(allocatedOf(h.db(), id), u"0"_s);
        QCOMPARE(owedOf(h.db(), b.orderA), (Owed{"0", "800"}));
        QCOMPARE(activity(h.db()), QStringList{u"A payment of %1 was applied to this customer."_s.arg(shown)});
    }

    // An amount typed to a fifth decimal at a half: the payment is stored as the module rounds it
    // (halves to even), never as the engine would round the typed text, so a payment given
    // wholly to an order leaves no ten-thousandth of credit behind.
    void amountStoredAsAllocated()
    {
        SCREEN_FIXTURE(makeShop);
        onDialog(d, [&](QWidget* w) {
            pickMethod(w, u"Cash"_s);
            allocate(w, 0, u"10.00025"_s);
            // Left for Cancel, the box keeps the text as typed (its leave rule would rewrite it).
            typeOver(combo(w, "cboAmount"), u"10.00025"_s);
            leaveForCancel(w);
            clickButton(w, u"cmdOK"_s);
        });
        const int id = h.library().ShowNewPayment(b.abbott);
        SCREEN_DONE(d, h);
        QCOMPARE(h.db().money(u"SELECT Amount FROM Payments WHERE ID = %1"_s.arg(id)), cur("10.0002"));
        QCOMPARE(allocatedOf(h.db(), id), u"10.0002"_s);
        QCOMPARE(h.host().Common().GetCustomerCredit(b.abbott), Currency());
    }

    // Each check refuses with its own words in its place in the order; the dialog keeps every
    // entry and nothing reaches the database.
    void refusals_data()
    {
        QTest::addColumn<QString>("amount");
        QTest::addColumn<QString>("method"); // a V asks for card details
        QTest::addColumn<QString>("card");
        QTest::addColumn<QStringList>("toAllocate"); // per record
        QTest::addColumn<QString>("answers");        // to the host's questions, in order
        QTest::addColumn<QString>("message");        // in the standard message box
        QTest::addColumn<QStringList>("asked");      // the host's headlines
        const QStringList none;
        const QString no;
        const QString kCard = u"You must enter the last 4 digits of the credit card number."_s;
        const QString kName = u"You must enter the name printed on the card."_s;
        const QString kOver = u"You cannot allocate more than the payment amount."_s;
        const QString kMethod = u"You must choose a payment method."_s;
        const QString kNegativeQ =
            u"One or more sales/orders will have a negative balance as a result of this payment. "
            "Are you sure you want to continue?"_s;
        // clang-format off
        for (const char* amount : {"0", "", "-5"})
            QTest::newRow(amount) << amount << "Cash" << no << none << no << kAmountMsg << none;
        QTest::newRow("amount before card") << "0" << "V" << no << none << no << kAmountMsg << none;
        QTest::newRow("no payment method") << "100" << "" << no << none << no << kMethod << none;
        QTest::newRow("card number") << "100" << "V" << no << QStringList{"120"} << no << kCard << none;
        QTest::newRow("name on card") << "100" << "V" << "4242" << none << no << kName << none;
        QTest::newRow("over-allocated, before any question") << "100" << "Visa" << no << QStringList{"60", "60"} << no << kOver << none;
        QTest::newRow("partial declined") << "100" << "Cash" << no << QStringList{"60"} << "n" << no << QStringList{kPartialQ};
        QTest::newRow("negative after the partial question") << "100" << "Cash" << no << QStringList{"-10", "50"} << "y" << no << QStringList{kPartialQ, kNegativeNotice};
        QTest::newRow("negative balance declined") << "900" << "Cash" << no << QStringList{"900"} << "n" << no << QStringList{kNegativeQ};
        QTest::newRow("credit declined") << "250" << "Cash" << no << none << "n" << no << QStringList{kCreditQ};
        QTest::newRow("a total money cannot hold, never wrapped") << "100" << "Cash" << no << QStringList{"500000000000000", "500000000000000"} << no << kTooLarge << none;
        // clang-format on
    }
    void refusals()
    {
        QFETCH(QString, amount);
        QFETCH(QString, method);
        QFETCH(QString, card);
        QFETCH(QStringList, toAllocate);
        QFETCH(QString, answers);
        QFETCH(QString, message);
        QFETCH(QStringList, asked);
        SCREEN_FIXTURE(makeShop);
        const QString before = ledgerState(h.db());
        // The option may be stored as text.
        h.config().setOption(u"Payments"_s, u"RequireCCDetails"_s, method == u"V" ? QVariant(u"1"_s) : QVariant(0));
        for (const QChar a : answers)
            h.prompter().expectQuestion(a == u'y' ? ScriptedPrompter::Yes : ScriptedPrompter::No);
        QString shownText, focused;
        QStringList entered, kept;
        auto state = [](QWidget* w) {
            return QStringList{combo(w, "cboAmount")->Text(), caption(grid(w), 0, 4), caption(grid(w), 1, 4),
                               textOf(w, "txtDescription"), textOf(w, "txtCardNumber")};
        };
        auto check = [&](QWidget* w) {
            QVERIFY(w->isVisible());
            kept = state(w);
            focused = w->focusWidget() ? w->focusWidget()->objectName() : QString();
            clickButton(w, u"cmdCancel"_s);
        };
        onDialog(d, [&](QWidget* w) {
            if (!method.isEmpty())
                pickMethod(w, method == u"V" ? u"Visa"_s : method);
            typeOver(combo(w, "cboAmount"), amount);
            for (int r = 0; r < toAllocate.size(); ++r)
                allocate(w, r, toAllocate[r]);
            if (!card.isEmpty())
                type(w, "txtCardNumber", card);
            type(w, "txtDescription", u"kept"_s);
            entered = state(w);
            if (message.isEmpty()) {
                clickButton(w, u"cmdOK"_s);
                return check(w);
            }
            clickLater(w, u"cmdOK"_s);
            d.expect(u"moduleMessageBox"_s, [&](QWidget* box) {
                shownText = messageBoxText(box) + u'|' + box->windowTitle();
                QCOMPARE(qobject_cast<QMessageBox*>(box)->icon(), QMessageBox::Warning);
                answerMessageBox(box, QMessageBox::Ok);
            });
            d.expect(kScreen, check);
        });
        QCOMPARE(h.library().ShowNewPayment(b.abbott), 0);
        SCREEN_DONE(d, h);
        QCOMPARE(shownText, message.isEmpty() ? message : message + u"|tesrpay5"_s);
        QCOMPARE(h.prompter().headlines(), asked);
        QCOMPARE(kept, entered);
        QCOMPARE(ledgerState(h.db()), before);
        if (method.isEmpty()) // the box to fix is the one to type in
            QCOMPARE(focused, u"cboPaymentMethod"_s);
        if (toAllocate == QStringList{"60"} && !answers.isEmpty())
            QCOMPARE(h.prompter().calls()[0].explanation,
                     u"You are recording a payment of $100.00 for this customer but only $60.00 will be applied to one "
                     "or more sales/orders. $40.00 will be applied as a credit to this customer."_s);
        if (asked.contains(kNegativeNotice))
            QCOMPARE(h.prompter().calls().last().buttons, 1);
    }

    // What a box cannot take is refused there, in words, when it is left by Tab (its leave rule)
    // and again on OK, or only on OK when it was left for Cancel (which checks nothing): the entry
    // stays as typed and the focus with it (never a 0, a blank or a statement), nothing written.
    void refusedAtItsBox_data()
    {
        QTest::addColumn<QString>("box");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<bool>("byTab");      // else left for Cancel, with Visa and an amount chosen
        QTest::addColumn<QString>("message"); // its start
        const QString today = QDate::currentDate().toString(u"M/d/yyyy"_s);
        const QString tail = u"1 WHERE ID = 1; UPDATE Orders SET Payments = Total, Balance = 0; --"_s;
        const QString expiry = u"You must enter a valid expire date of the card."_s;
        // clang-format off
        QTest::newRow("amount, no number") << "cboAmount" << "abc" << true << u"The amount \"abc\" cannot be read. Type it in figures, for example $1,250.50."_s;
        QTest::newRow("amount, out of range") << "cboAmount" << "1e9" << true << u"The amount $1,000,000,000.00 is too large. The largest amount is $100,000,000.00."_s;
        QTest::newRow("date") << "txtPaymentDate" << "31/45/2024" << true << u"The date \"31/45/2024\" cannot be read. Type it as M/d/yyyy, for example %1."_s.arg(today);
        QTest::newRow("month, a statement tail") << "txtExpireMonth" << tail << false << expiry;
        QTest::newRow("year, a statement tail") << "txtExpireYear" << tail << false << expiry;
        QTest::newRow("year, out of range") << "txtExpireYear" << "99999999999" << false << expiry;
        QTest::newRow("amount, a statement tail") << "cboAmount" << tail << false << u"The amount \""_s;
        // clang-format on
    }
    void refusedAtItsBox()
    {
        QFETCH(QString, box);
        QFETCH(QString, typed);
        QFETCH(bool, byTab);
        QFETCH(QString, message);
        SCREEN_FIXTURE(makeShop);
        const QString before = ledgerState(h.db());
        const QByteArray name = box.toLatin1();
        QStringList messages, kept;
        int focusKept = 0;
        auto look = [&](QWidget* w) {
            QWidget* field = child(w, name.constData());
            focusKept += w->focusWidget() == field || field->isAncestorOf(w->focusWidget());
            kept << textOf(w, name.constData());
        };
        auto answer = [&](QWidget* mb) {
            messages << messageBoxText(mb);
            QCOMPARE(qobject_cast<QMessageBox*>(mb)->icon(), QMessageBox::Warning);
            answerMessageBox(mb, QMessageBox::Ok);
        };
        onDialog(d, [&](QWidget* w) {
            QWidget* field = child(w, name.constData());
            if (!byTab) {
                pickMethod(w, u"Visa"_s); // opens the card fields
                if (box != u"cboAmount")
                    typeOver(combo(w, "cboAmount"), u"50"_s, true);
            }
            typeOver(field, typed);
            if (byTab) {
                QTimer::singleShot(0, field, [field] { QTest::keyClick(field, Qt::Key_Tab); });
                d.expect(u"moduleMessageBox"_s, answer);
                d.expect(kScreen, [&](QWidget* w2) {
                    look(w2);
                    clickLater(w2, u"cmdOK"_s);
                });
            } else {
                leaveForCancel(w);
                clickLater(w, u"cmdOK"_s);
            }
            d.expect(u"moduleMessageBox"_s, answer);
            d.expect(kScreen, [&](QWidget* w2) {
                look(w2);
                clickButton(w2, u"cmdCancel"_s);
            });
        });
        QCOMPARE(h.library().ShowNewPayment(b.abbott), 0);
        SCREEN_DONE(d, h);
        QCOMPARE(messages.size(), byTab ? 2 : 1);
        for (const QString& m : messages)
            QVERIFY2(m.startsWith(message), qPrintable(m));
        QCOMPARE(kept, QStringList(messages.size(), typed));
        QCOMPARE(focusKept, messages.size());
        QCOMPARE(ledgerState(h.db()), before);
    }

    // The database refuses one of the writes (on PostgreSQL, where writes are held, the refusal
    // comes back with a later read or the commit): all of the save is undone, the dialog keeps
    // every entry and tells the engine's words, and the next OK saves from scratch. (Each
    // statement refused in turn before it reaches the engine: the fault sweep.)
    void refusedWriteRollsBack_data()
    {
        QTest::addColumn<QString>("table");
        QTest::addColumn<QString>("event");
        QTest::addColumn<QString>("condition");
        // clang-format off
        QTest::newRow("second allocation") << "PaymentAllocations" << "INSERT" << "NEW.OrderUniqueID = 'SO-1002'";
        QTest::newRow("second order") << "Orders" << "UPDATE OF Balance" << "OLD.UniqueID = 'SO-1002'";
        QTest::newRow("payment row") << "Payments" << "INSERT" << "";
        QTest::newRow("customer's activity line") << "ActivityHistory" << "INSERT" << "NEW.OrderID IS NULL";
        // clang-format on
    }
    void refusedWriteRollsBack()
    {
        QFETCH(QString, table);
        QFETCH(QString, event);
        QFETCH(QString, condition);
        SCREEN_FIXTURE(makeShop);
        const QString before = ledgerState(h.db());
        h.db().refuseWrites(event, table, u"payments closed"_s, condition);
        QStringList afterFailure;
        QString during;
        onDialog(d, [&](QWidget* w) {
            pickMethod(w, u"Visa"_s);
            type(w, "txtCardNumber", u"4242"_s);
            typeOver(combo(w, "cboAmount"), u"1000"_s);
            allocate(w, 0, u"600"_s);
            allocate(w, 1, u"400"_s);
            clickButton(w, u"cmdOK"_s);
            QVERIFY(w->isVisible());
            afterFailure = {combo(w, "cboAmount")->Text(), caption(grid(w), 0, 4), caption(grid(w), 1, 4),
                            textOf(w, "txtCardNumber")};
            during = ledgerState(h.db());
            h.db().allowWrites();
            clickButton(w, u"cmdOK"_s);
        });
        const int id = h.library().ShowNewPayment(b.abbott);
        SCREEN_DONE(d, h);
        QCOMPARE(afterFailure, (QStringList{"1000", "$600.00", "$400.00", "4242"})); // amount, cells, card
        QCOMPARE(during, before);
        const QStringList said = errors(h.prompter());
        QCOMPARE(said.value(0), u"The payment could not be added."_s);
        QVERIFY2(said.value(2).contains(u"payments closed"_s), qPrintable(said.value(2)));
        QCOMPARE(h.db().count(u"SELECT COUNT(*) FROM Payments"_s), 1);
        QCOMPARE(allocationsOf(h.db(), id), (QStringList{"SO-1001=600", "SO-1002=400"}));
        QCOMPARE(allocatedOf(h.db(), id), u"1000"_s);
        QCOMPARE(owedOf(h.db(), {b.orderA, b.orderB}), (QList<Owed>{{"600", "200"}, {"400", "1600"}}));
        QCOMPARE(activity(h.db()).size(), 3);
    }

    // What the user types is saved exactly: quotes, line breaks, percent signs, markers,
    // letters beyond ASCII; an order whose UniqueID holds a quote is allocated like any other.
    void textsSavedIntact()
    {
        TestHost h;
        TestDatabase& db = h.db();
        db.addPaymentMethod(u"Visa"_s, 1);
        const int customer = db.addCustomer(u"O'Hara & Söhne"_s);
        const int order = db.addOrder(customer, u"SO-'9"_s, cur("100"));
        const QString memo = u"Line 1\r\nLine 2 – 'quoted' 50% <amt> <desc> {0} ü"_s;
        const QString name = u"Zoë O'Brien, 100%"_s;
        h.prompter().expectQuestion(ScriptedPrompter::Yes, kPartialQ);
        ModalDriver d;
        QString customerShown;
        onDialog(d, [&](QWidget* w) {
            customerShown = combo(w, "cboCustomer")->Text();
            pickMethod(w, u"Visa"_s);
            type(w, "txtCardNumber", u"12'4"_s);
            type(w, "txtNameOnCard", name);
            child<QLineEdit>(w, "txtDescription")->setText(memo); // pasted
            typeOver(combo(w, "cboAmount"), u"75.5"_s, true);
            allocate(w, 0, u"10"_s);
            clickButton(w, u"cmdOK"_s);
        });
        const int id = h.library().ShowNewPayment(customer);
        SCREEN_DONE(d, h);
        QCOMPARE(customerShown, u"O'Hara & Söhne"_s);
        QCOMPARE(QStringList({field(db, id, "Description"), field(db, id, "CardNumber"), field(db, id, "NameOnCard")}),
                 QStringList({memo, "12'4", name}));
        QCOMPARE(allocationsOf(db, id), QStringList{"SO-'9=10"});
        QCOMPARE(owedOf(db, order), (Owed{"10", "90"}));
        QCOMPARE(activity(db).last(), u"A payment of $75.50 was applied to this customer."_s);
    }
};

TESR_TEST_MAIN(TestNewPayment)
#include "tst_frmNewPayment.moc"

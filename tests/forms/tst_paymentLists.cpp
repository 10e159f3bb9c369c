// The three lists (Customer Payments, Order Payments, Payment Allocations) and the roads
// between the screens, through the Library on a TestHost over a real database: rows clicked,
// removals answered through the scripted prompter and the real task dialog, the dialogs they
// open driven under the watchdog, and the three figures read back.

#include "support/ScreenTest.h"
#include "support/TestMain.h"

#include "host/DemoData.h"
#include "ledger/Statements.h"
#include "shared/modSharedSQL.h"
#include "values/Regional.h"

#include <QApplication>
#include <QLabel>
#include <QTimer>

using namespace tesr;
using namespace tesrtest;
using namespace Qt::StringLiterals;

namespace {

enum Screen { CustomerPayments, OrderPayments, Allocations };
const QString kScreens[] = {u"frmCustomerPayments"_s, u"frmOrderPayments"_s, u"frmPaymentAllocations"_s};
const char* const kGrids[] = {"rptPayments", "rptPayments", "rptAllocations"};
const QString kRemoveQ = u"Are you sure you want to remove the selected payment? This process cannot be undone."_s;
const QString kDeleteQ =
    u"Are you sure you want to delete the selected payment allocation? This process cannot be undone."_s;
const QString kLog = u"Check the event log for details."_s;

// Abbott has an order whose UniqueID holds a quote, paid by `full` (which also pays the second
// order) and by part of `part`, and two unused payments of the same moment and amount; Baker
// has an order nobody has paid and a payment left as credit.
struct Book {
    int abbott = 0, baker = 0, o1 = 0, o2 = 0, bakerOrder = 0;
    int full = 0, part = 0, credit = 0, twin = 0;
    int fullHere = 0, fullThere = 0, partHere = 0; // allocations
};

Book makeBook(TestDatabase& db)
{
    Book b;
    const int cash = db.addPaymentMethod(u"Cash"_s);
    const int check = db.addPaymentMethod(u"Check"_s);
    const int visa = db.addPaymentMethod(u"Visa"_s, 1);
    b.abbott = db.addCustomer(u"Abbott Interiors"_s);
    b.baker = db.addCustomer(u"Baker & Sons"_s);
    b.o1 = db.addOrder(b.abbott, u"SO-'1"_s, cur("1500"), 3, 0, u"2001"_s, u"Kitchen"_s);
    b.o2 = db.addOrder(b.abbott, u"SO-2"_s, cur("900"), 3, 0, u"2002 "_s, u"  O'Neil porch  "_s);
    b.bakerOrder = db.addOrder(b.baker, u"SO-6"_s, cur("500"), 3, 0, u"6001"_s, u"Shades"_s);
    b.full = db.addPayment(b.abbott, cur("1000"), check, at(2024, 5, 1, 14, 45), u"First half"_s);
    // Its whole card number stored, as before the box kept four digits: the lists show four.
    b.part = db.addPayment(b.abbott, cur("1234.5678"), visa, at(2024, 5, 2, 9, 5), {}, u"4111 1111 1111 4242"_s,
                           u"J Smith"_s, 12, 2027);
    b.credit = db.addPayment(b.abbott, cur("1234.005"), cash, at(2024, 5, 3, 23, 59));
    b.twin = db.addPayment(b.abbott, cur("1234.005"), cash, at(2024, 5, 3, 23, 59));
    db.addPayment(b.baker, cur("99"), cash, at(2024, 5, 3));
    // Payment Allocations lists in the engine's order: the orders are last written in the
    // order the list is expected in.
    int* ids[] = {&b.partHere, &b.fullHere, &b.fullThere};
    const std::tuple<int, QString, const char*> rows[] = {
        {b.part, u"SO-'1"_s, "250.1234"}, {b.full, u"SO-'1"_s, "599.9999"}, {b.full, u"SO-2"_s, "400.0001"}};
    for (int i = 0; i < 3; ++i) {
        db.allocate(std::get<0>(rows[i]), std::get<1>(rows[i]), cur(std::get<2>(rows[i])));
        *ids[i] = db.count(u"SELECT MAX(ID) FROM PaymentAllocations"_s);
        db.exec(u"UPDATE PaymentAllocations SET AddedOn = '%1' WHERE ID = %2"_s
                    .arg(modSharedSQL::FormatSQLDate(at(2024, 6, 2 + i, 10, 30), false))
                    .arg(*ids[i]));
    }
    return b;
}

// The three figures of the book (the two payments' Allocated, the two orders' Payments and
// Balance), with the number of allocations and payments.
struct Figures {
    QString full, part;
    Owed o1, o2;
    int allocations = 0, payments = 0;
    bool operator==(const Figures&) const = default;
};
char* toString(const Figures& f)
{
    return QTest::toString(u"full: Allocated %1; part: Allocated %2; order 1: Payments %3, Balance %4; order 2: "
                           "Payments %5, Balance %6; %7 allocations, %8 payments"_s
                               .arg(f.full, f.part, f.o1.payments, f.o1.balance, f.o2.payments, f.o2.balance)
                               .arg(f.allocations)
                               .arg(f.payments));
}
Figures figures(TestDatabase& db, const Book& b)
{
    return {allocatedOf(db, b.full),
            allocatedOf(db, b.part),
            owedOf(db, b.o1),
            owedOf(db, b.o2),
            db.count(u"SELECT COUNT(*) FROM PaymentAllocations"_s),
            db.count(u"SELECT COUNT(*) FROM Payments"_s)};
}
// A text with the book's IDs and the unused payments' amount in place of {names}.
QString fill(QString text, const Book& b)
{
    const std::pair<const char*, int> ids[] = {
        {"{full}", b.full},           {"{part}", b.part},         {"{credit}", b.credit},
        {"{twin}", b.twin},           {"{fullHere}", b.fullHere}, {"{partHere}", b.partHere},
        {"{fullThere}", b.fullThere}, {"{abbott}", b.abbott},     {"{o1}", b.o1}};
    for (const auto& [name, id] : ids)
        text.replace(QLatin1String(name), QString::number(id));
    return text.replace(u"{c}"_s, Regional::formatCurrency(cur("1234.005")));
}
const Figures kStart{"1000", "250.1234", {"850.1233", "649.8767"}, {"400.0001", "499.9999"}, 3, 5};
// The part payment's allocation to the first order removed.
const Figures kPartRemoved{"1000", "0", {"599.9999", "900.0001"}, {"400.0001", "499.9999"}, 2, 5};

} // namespace

class TestPaymentLists : public QObject {
    Q_OBJECT
    static ReportControl* grid(QWidget* w, Screen s = CustomerPayments) { return child<ReportControl>(w, kGrids[s]); }
    static QString cpButtons(QWidget* w)
    {
        return enabledStates(w, {"cmdAllocations", "cmdNew", "cmdEdit", "cmdDelete"});
    }
    static void open(TestHost& h, Screen s, const Book& b)
    {
        if (s == CustomerPayments)
            h.library().ShowCustomerPayments(b.abbott);
        else if (s == OrderPayments)
            h.library().ShowOrderPayments(b.o1);
        else
            h.library().ShowPaymentAllocations(b.full);
    }
    static void addScreenColumn()
    {
        QTest::addColumn<int>("screen");
        QTest::addColumn<QString>("expected");
    }

private slots:
    void init()
    {
        forgetPlacements({u"Customer Payments"_s, u"Order Payments"_s, u"Payment Allocations"_s, u"New Payment"_s,
                          u"Edit Payment"_s});
        setZone(300, true); // four hours behind universal time
    }
    void cleanup() { resetZone(); }

    // Caption, columns, rows (only the customer's, the order's or the payment's; captions
    // rounded, cells holding the four decimals) and what the summary says.
    void lists_data()
    {
        addScreenColumn();
        // clang-format off
        QTest::newRow("Customer Payments") << int(CustomerPayments) << u"Customer Payments|Date Details Amount Allocated Unallocated|"
            "{full}|5/1/2024|Check - First half|$1,000.00|$1,000.00|$0.00|{part}|5/2/2024|Visa ending 4242 (J Smith)|$1,234.57|$250.12|$984.44|"
            "{credit}|5/3/2024|Cash|{c}|$0.00|{c}|{twin}|5/3/2024|Cash|{c}|$0.00|{c}|1234.5678"_s;
        QTest::newRow("Order Payments") << int(OrderPayments) << u"Order Payments|Date Details Amount|"
            "{partHere}|5/2/2024|Visa ending 4242 (J Smith)|$250.12|{fullHere}|5/1/2024|Check - First half|$600.00|599.9999|$850.12"_s;
        QTest::newRow("Payment Allocations") << int(Allocations) << u"Payment Allocations|Date Order Number Sidemark Amount|"
            "{fullHere}|6/3/2024|2001|Kitchen|$600.00|{fullThere}|6/4/2024|2002 |O'Neil porch|$400.00|599.9999"_s;
        // clang-format on
    }
    void lists()
    {
        QFETCH(int, screen);
        QFETCH(QString, expected);
        SCREEN_FIXTURE(makeBook);
        QStringList seen;
        const auto s = Screen(screen);
        onScreen(d, kScreens[s], [&](QWidget* w) {
            QCOMPARE(w->font().family() + u' ' + QString::number(w->font().pointSizeF()), u"Verdana 9.75"_s);
            ReportControl* g = grid(w, s);
            QStringList columns;
            for (int i = 0; i < g->Columns().Count(); ++i)
                columns << g->Columns().Column(i)->Caption();
            QStringList rows = shown(g); // in the engine's order
            rows.sort();
            const int at = int(tags(g).indexOf(QString::number(s == CustomerPayments ? b.part : b.fullHere)));
            const QVariant value = g->Records().Record(at)->Item(s == Allocations ? 3 : 2)->Value();
            seen << w->windowTitle() << columns.join(u' ') << rows << value.value<Currency>().toPlainString();
            if (s == OrderPayments)
                seen << textOf(w, "lblSummary");
            render(w, kScreens[s] + u".png"_s);
            clickButton(w, u"cmdClose"_s);
        });
        open(h, s, b);
        SCREEN_DONE(d, h);
        QCOMPARE(seen.join(u'|'), fill(expected, b));
    }

    // The database refuses the removal, or a payment still applied may not be deleted: nothing
    // changes, the row stays, and the host tells why.
    void refusedDeleteChangesNothing_data()
    {
        addScreenColumn(); // the host's last headline and explanation
        // clang-format off
        QTest::newRow("Customer Payments, refused") << int(CustomerPayments) << u"The payment could not be deleted.|"_s + kLog;
        QTest::newRow("Customer Payments, still applied") << int(CustomerPayments) << u"The selected payment cannot be deleted because it is attached to one or more quotes/sales/orders.|In order to delete a payment you must first delete all allocations for it."_s;
        QTest::newRow("Order Payments, refused") << int(OrderPayments) << u"The payment allocation could not be removed.|"_s + kLog;
        QTest::newRow("Payment Allocations, refused") << int(Allocations) << u"The payment allocation could not be deleted.|"_s + kLog;
        // clang-format on
    }
    void refusedDeleteChangesNothing()
    {
        QFETCH(int, screen);
        QFETCH(QString, expected);
        SCREEN_FIXTURE(makeBook);
        const auto s = Screen(screen);
        const bool applied = QByteArray(QTest::currentDataTag()).endsWith("applied");
        if (!applied)
            h.db().refuseWrites(u"DELETE"_s, s == CustomerPayments ? u"Payments"_s : u"PaymentAllocations"_s,
                                u"locked"_s);
        if (s != CustomerPayments)
            h.prompter().expectQuestion(ScriptedPrompter::Yes, s == OrderPayments ? kRemoveQ : kDeleteQ);
        QStringList before, after;
        onScreen(d, kScreens[s], [&](QWidget* w) {
            before = shown(grid(w, s));
            const int tag = s == CustomerPayments ? (applied ? b.part : b.credit)
                            : s == OrderPayments  ? b.partHere
                                                  : b.fullHere;
            clickTag(grid(w, s), tag);
            clickButton(w, u"cmdDelete"_s);
            after = shown(grid(w, s));
            clickButton(w, u"cmdClose"_s);
        });
        open(h, s, b);
        SCREEN_DONE(d, h);
        QCOMPARE(after, before);
        QCOMPARE(figures(h.db(), b), kStart);
        const auto last = h.prompter().calls().last();
        QCOMPARE(last.headline + u'|' + last.explanation, expected);
        QCOMPARE(int(last.kind),
                 int(applied ? ScriptedPrompter::Call::Kind::Notice : ScriptedPrompter::Call::Kind::Error));
        QVERIFY(activity(h.db()).isEmpty());
    }

    // A row removed with a Yes, kept with a No, or nothing asked without one row selected; a
    // payment deleted from Customer Payments without a question: the rows left, the focus (the
    // next in record order), Order Payments' total (not reloaded), Customer Payments' buttons and
    // the three figures after.
    void removeOne_data()
    {
        QTest::addColumn<int>("screen");
        QTest::addColumn<QString>("selected"); // tags clicked, with Ctrl held for a second one
        QTest::addColumn<int>("answer");       // to the question, 0 when none is to be asked
        QTest::addColumn<QString>("expected"); // rows|focus[|Order Payments' total][|Customer Payments' buttons]
        QTest::addColumn<Figures>("after");
        const int no = ScriptedPrompter::No, yes = ScriptedPrompter::Yes;
        const QString both = u"{partHere},{fullHere}|"_s, unchanged = u"|$850.12"_s;
        const Figures fullHereGone{"400.0001", "250.1234", {"250.1234", "1249.8766"}, {"400.0001", "499.9999"}, 2, 5};
        // clang-format off
        QTest::newRow("customer, deleted without a question") << int(CustomerPayments) << "{credit}" << 0 << u"{full},{part},{twin}|{twin}|all"_s << Figures{"1000", "250.1234", {"850.1233", "649.8767"}, {"400.0001", "499.9999"}, 3, 4};
        QTest::newRow("order, answered No") << int(OrderPayments) << "{fullHere}" << no << both + "{fullHere}" + unchanged << kStart;
        QTest::newRow("order, nothing selected") << int(OrderPayments) << "" << 0 << both + unchanged << kStart;
        QTest::newRow("order, two selected") << int(OrderPayments) << "{partHere},{fullHere}" << 0 << both + "{fullHere}" + unchanged << kStart;
        QTest::newRow("order, the payment keeps another") << int(OrderPayments) << "{fullHere}" << yes << u"{partHere}|{partHere}|$850.12"_s << fullHereGone;
        QTest::newRow("allocations, the first: the next takes the focus") << int(Allocations) << "{fullHere}" << yes << u"{fullThere}|{fullThere}"_s << fullHereGone;
        QTest::newRow("allocations, the last: the new last takes the focus") << int(Allocations) << "{fullThere}" << yes << u"{fullHere}|{fullHere}"_s << Figures{"599.9999", "250.1234", {"850.1233", "649.8767"}, {"0", "900"}, 2, 5};
        // clang-format on
    }
    void removeOne()
    {
        QFETCH(int, screen);
        QFETCH(QString, selected);
        QFETCH(int, answer);
        QFETCH(QString, expected);
        QFETCH(Figures, after);
        SCREEN_FIXTURE(makeBook);
        const auto s = Screen(screen);
        if (answer)
            h.prompter().expectQuestion(answer, s == OrderPayments ? kRemoveQ : kDeleteQ);
        QString seen;
        onScreen(d, kScreens[s], [&](QWidget* w) {
            const QStringList clicks = fill(selected, b).split(u',', Qt::SkipEmptyParts);
            for (int i = 0; i < clicks.size(); ++i)
                clickTag(grid(w, s), clicks[i].toInt(), i ? Qt::ControlModifier : Qt::NoModifier);
            clickButton(w, u"cmdDelete"_s);
            seen = tags(grid(w, s)).join(u',') + u'|' + focusedTag(grid(w, s));
            if (s == OrderPayments)
                seen += u'|' + textOf(w, "lblSummary");
            if (s == CustomerPayments) {
                seen += u'|' + cpButtons(w);
                QVERIFY(grid(w)->hasFocus());
            }
            clickButton(w, u"cmdClose"_s);
        });
        open(h, s, b);
        SCREEN_DONE(d, h);
        QCOMPARE(seen, fill(expected, b));
        QCOMPARE(figures(h.db(), b), after);
        // The amount and the day exactly as the row showed them.
        const QString deleted = u"A payment of {c}, recorded on 5/3/2024, was deleted from this customer."_s;
        QCOMPARE(activity(h.db()), s == CustomerPayments ? QStringList{fill(deleted, b)} : QStringList());
        if (s == CustomerPayments)
            QVERIFY(h.prompter().calls().isEmpty());
        if (answer)
            QCOMPARE(h.prompter().calls()[0].explanation,
                     s == OrderPayments ? u"Removing a payment will remove the amount from the sale/order and apply it "
                                          "back to the original payment as 'unallocated'."_s
                                        : u"Deleting a payment allocation will remove the amount from the order and "
                                          "apply it back to the original payment as 'unallocated'."_s);
    }

    // The payment's only allocation removed: the task dialog offers to delete the payment. Or
    // another workstation got there first: the allocation gone, or the payment gone or applied
    // again before the delete. Nothing then changes but what the other workstation did, the
    // user is told so, and a row that is gone leaves the list.
    void orderRemovesTheOnlyAllocation_data()
    {
        QTest::addColumn<QString>("answer");    // on the task dialog; none when it is not shown
        QTest::addColumn<QString>("meanwhile"); // what another workstation does
        QTest::addColumn<Figures>("after");
        QTest::addColumn<QString>("activity"); // the line written, if any
        QTest::addColumn<QString>("told");     // by the host after the question, if anything
        // The whole payment (not the part removed here), on its local date and time.
        const QString deleted =
            u"A payment of $1,234.57, recorded on 5/2/2024 5:05:00 AM, was deleted from this customer."_s;
        // clang-format off
        QTest::newRow("keep it as credit") << "button256" << "" << kPartRemoved << "" << "";
        QTest::newRow("kept by keyboard") << "keys" << "" << kPartRemoved << "" << "";
        QTest::newRow("dialog closed") << "escape" << "" << kPartRemoved << "" << "";
        QTest::newRow("delete it") << "button128" << "" << Figures{"1000", "0", {"599.9999", "900.0001"}, {"400.0001", "499.9999"}, 2, 4} << deleted << "";
        QTest::newRow("allocation removed elsewhere") << "" << "allocation" << kPartRemoved << "" << "The selected payment allocation has already been removed.";
        QTest::newRow("payment deleted elsewhere") << "button128" << "payment" << Figures{"1000", "0", {"599.9999", "900.0001"}, {"400.0001", "499.9999"}, 2, 4} << "" << "The selected payment has already been deleted.";
        QTest::newRow("payment applied elsewhere") << "button128" << "credit" << Figures{"1000", "10", {"599.9999", "900.0001"}, {"410.0001", "489.9999"}, 3, 5} << "" << "The selected payment cannot be deleted because it is attached to one or more quotes/sales/orders.";
        // clang-format on
    }
    void orderRemovesTheOnlyAllocation()
    {
        QFETCH(QString, answer);
        QFETCH(QString, meanwhile);
        QFETCH(Figures, after);
        QFETCH(QString, activity);
        QFETCH(QString, told);
        SCREEN_FIXTURE(makeBook);
        h.prompter().expectQuestion(ScriptedPrompter::Yes, kRemoveQ);
        QStringList dialog;
        QString left;
        onScreen(d, kScreens[OrderPayments], [&](QWidget* w) {
            if (meanwhile == u"allocation")
                h.db().exec(ledger::FillMarkers(ledger::RemoveAllocation, {{u"<aid>", QString::number(b.partHere)},
                                                                           {u"<pid>", QString::number(b.part)},
                                                                           {u"<ouid>", u"SO-''1"_s},
                                                                           {u"<a>", u"250.1234"_s}}));
            clickTag(grid(w), b.partHere);
            clickLater(w, u"cmdDelete"_s);
            if (!answer.isEmpty())
                d.expect(u"TaskDialog1"_s, [&](QWidget* t) {
                    dialog << t->windowTitle() << textOf(t, "mainInstruction") << textOf(t, "content")
                           << textOf(t, "button128") << textOf(t, "button256");
                    QVERIFY(child<QLabel>(t, "content")->wordWrap());
                    render(t, u"frmOrderPayments-delete.png"_s);
                    if (meanwhile == u"payment")
                        h.db().exec(u"DELETE FROM Payments WHERE ID = %1"_s.arg(b.part));
                    if (meanwhile == u"credit")
                        h.db().allocate(b.part, u"SO-2"_s, cur("10"));
                    if (answer == u"escape")
                        QTest::keyClick(t, Qt::Key_Escape);
                    else if (answer == u"keys") {
                        // The first choice has the focus; Down moves it to the second, Enter answers.
                        QCOMPARE(t->focusWidget()->objectName(), u"button128"_s);
                        QTest::keyClick(t->focusWidget(), Qt::Key_Down);
                        QCOMPARE(t->focusWidget()->objectName(), u"button256"_s);
                        QTest::keyClick(t->focusWidget(), Qt::Key_Return);
                    } else
                        clickButton(t, answer);
                });
            d.expect(kScreens[OrderPayments], [&](QWidget* w2) {
                left = tags(grid(w2)).join(u',');
                clickButton(w2, u"cmdClose"_s);
            });
        });
        h.library().ShowOrderPayments(b.o1);
        SCREEN_DONE(d, h);
        if (!answer.isEmpty())
            QCOMPARE(dialog.join(u'|'),
                     u"Delete Payment|The selected payment has been removed and it has no further allocations. Do "
                     "you want to delete this payment also?|If you choose to delete the payment then it will be "
                     "permanently deleted. If you choose keep the payment then it will remain on the customer's "
                     "account as a credit and can be applied to future sales.|Yes, delete the payment.|No, keep the "
                     "payment as a credit for this customer."_s);
        QCOMPARE(left, QString::number(b.fullHere)); // the removed row gone
        QCOMPARE(figures(h.db(), b), after);
        QCOMPARE(tesrtest::activity(h.db()), activity.isEmpty() ? QStringList() : QStringList{activity});
        QCOMPARE(h.prompter().headlines().mid(1), told.isEmpty() ? QStringList() : QStringList{told});
    }

    // A payment with an allocation to an order kept on another system: the host tells why and
    // the screen closes by itself (a watchdog closes it and fails the test otherwise).
    void allocationsOfAnOrderKeptElsewhere()
    {
        TestHost h;
        const Book b = makeBook(h.db());
        h.db().allocate(b.full, u"REMOTE-77"_s, cur("99"));
        const Figures before = figures(h.db(), b);
        bool stayedOpen = false;
        QTimer watchdog;
        watchdog.setSingleShot(true);
        QObject::connect(&watchdog, &QTimer::timeout, [&stayedOpen] {
            for (QWidget* modal; (modal = QApplication::activeModalWidget()); stayedOpen = true)
                modal->close();
        });
        watchdog.start(3000);
        h.library().ShowPaymentAllocations(b.full);
        QVERIFY(!stayedOpen);
        const auto calls = h.prompter().calls();
        QCOMPARE(int(calls.size()), 1);
        QCOMPARE(
            calls[0].headline + u'|' + calls[0].explanation,
            u"Payment allocations cannot be viewed on this computer becauase of unknown sale/order references.|"
            "This payment contains references to one or more sales or orders that do not exist on this "
            "computer. Viewing or deleting of the allocations for this payment must be done on the main system."_s);
        QCOMPARE(calls[0].buttons * 10 + calls[0].icon, 13);
        QCOMPARE(figures(h.db(), b), before);
    }

    // Customer Payments after the dialogs it opens: reloaded after a save there, the saved
    // payment selected (none after Payment Allocations); the very same records after a cancel.
    void customerListAfterDialogs_data()
    {
        QTest::addColumn<QString>("button");
        QTest::addColumn<bool>("save");
        QTest::addColumn<QString>("expected"); // selected|buttons|the clicked row's captions|same or reloaded
        QTest::addColumn<Figures>("after");
        const QString credit = u"|Cash|{c}|$0.00|{c}|"_s;
        // clang-format off
        QTest::newRow("New Payment cancelled") << "cmdNew" << false << "{credit}|all" + credit + "same" << kStart;
        QTest::newRow("New Payment saved") << "cmdNew" << true << "{new}|all" + credit + "reloaded" << Figures{"1000", "250.1234", {"850.1233", "649.8767"}, {"400.0001", "499.9999"}, 3, 6};
        QTest::newRow("Edit Payment cancelled") << "cmdEdit" << false << "{credit}|all" + credit + "same" << kStart;
        QTest::newRow("Edit Payment saved") << "cmdEdit" << true << "{credit}|all|Cash - Balance on delivery|{c}|$0.00|{c}|reloaded" << kStart;
        QTest::newRow("an allocation removed") << "cmdAllocations" << true << u"|cmdNew|Visa ending 4242 (J Smith)|$1,234.57|$0.00|$1,234.57|reloaded"_s << kPartRemoved;
        // clang-format on
    }
    void customerListAfterDialogs()
    {
        QFETCH(QString, button);
        QFETCH(bool, save);
        QFETCH(QString, expected);
        QFETCH(Figures, after);
        SCREEN_FIXTURE(makeBook);
        const bool allocations = button == u"cmdAllocations";
        const int clicked = allocations ? b.part : b.credit;
        if (allocations)
            h.prompter().expectQuestion(ScriptedPrompter::Yes, kDeleteQ);
        else if (save && button == u"cmdNew")
            h.prompter().expectQuestion(ScriptedPrompter::Yes);
        const QString dialog = allocations           ? kScreens[Allocations]
                               : button == u"cmdNew" ? u"frmNewPayment"_s
                                                     : u"frmEditPayment"_s;
        // A reload makes new records: the old ones carry a mark (a pointer could be reused).
        const QString mark = u"loaded before the dialog"_s;
        QString seen;
        onScreen(d, kScreens[CustomerPayments], [&](QWidget* w) {
            clickTag(grid(w), clicked);
            grid(w)->Records().Record(int(tags(grid(w)).indexOf(QString::number(clicked))))->Item(2)->SetToolTip(mark);
            clickLater(w, button);
            onScreen(d, dialog, [&](QWidget* e) {
                if (allocations) {
                    clickTag(grid(e, Allocations), b.partHere);
                    clickButton(e, u"cmdDelete"_s);
                    return clickButton(e, u"cmdClose"_s);
                }
                if (!save)
                    return clickButton(e, u"cmdCancel"_s);
                const bool isNew = button == u"cmdNew";
                if (isNew)
                    pickFirstMethod(e);
                typeOver(child(e, isNew ? "cboAmount" : "txtDescription"), isNew ? u"300"_s : u"Balance on delivery"_s,
                         true);
                clickButton(e, u"cmdOK"_s);
            });
            d.expect(kScreens[CustomerPayments], [&](QWidget* w2) {
                ReportControl* g = grid(w2);
                const int row = int(tags(g).indexOf(QString::number(clicked)));
                seen = focusedTag(g) + u'|' + cpButtons(w2);
                for (int k = 1; k < 5; ++k)
                    seen += u'|' + caption(g, row, k);
                seen += g->Records().Record(row)->Item(2)->ToolTip() == mark ? u"|same"_s : u"|reloaded"_s;
                clickButton(w2, u"cmdClose"_s);
            });
        });
        h.library().ShowCustomerPayments(b.abbott);
        SCREEN_DONE(d, h);
        const QString newest = QString::number(h.db().count(u"SELECT MAX(ID) FROM Payments"_s));
        QCOMPARE(seen, fill(expected, b).replace(u"{new}"_s, newest));
        QCOMPARE(figures(h.db(), b), after);
    }

    // The picture for the README: Customer Payments over the demo database, for the customer
    // the host selects first; the list holds the customer's whole list.
    void customerPaymentsOverTheDemoDatabase()
    {
        TestHost h;
        const auto dir = makeTempDir();
        const QString demo = dir->filePath(u"demo.db"_s);
        QString error;
        QVERIFY2(host::createDemoDatabase(demo, &error), qPrintable(error));
        h.config().setDatabaseUrl(demo);
        auto conn = openCompanyConnection(demo, &error);
        QVERIFY2(conn, qPrintable(error));
        auto rs = conn->OpenRecordset(u"SELECT CustomerID, COUNT(*) FROM Payments WHERE CustomerID = (SELECT ID FROM "
                                      "Customers WHERE CustomerName = 'Amanda Anderson') GROUP BY CustomerID"_s);
        QVERIFY(rs && !rs->Eof());
        const int customer = rs->FieldValue(0).toInt(), payments = rs->FieldValue(1).toInt();
        rs->Close();
        conn->Close();
        QVERIFY(payments > 3);
        ModalDriver d;
        int listed = -1;
        onScreen(d, kScreens[CustomerPayments], [&](QWidget* w) {
            listed = grid(w)->Records().Count();
            w->resize(720, 420);
            clickCell(grid(w), 2);
            render(w, u"customer-payments.png"_s);
            clickButton(w, u"cmdClose"_s);
        });
        h.library().ShowCustomerPayments(customer);
        SCREEN_DONE(d, h);
        QCOMPARE(listed, payments);
    }
};

TESR_TEST_MAIN(TestPaymentLists)
#include "tst_paymentLists.moc"

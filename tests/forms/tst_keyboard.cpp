// The keyboard and a screen reader on every screen and on the host's window: no control a
// screen reader would leave nameless or unexplained, Enter on a focused button, and a split
// payment recorded from the host's customer list with keys alone, read back whole.

#include "support/ScreenTest.h"
#include "support/TestMain.h"

#include "ui/MainWindow.h"

#include <QAccessible>
#include <QApplication>

using namespace tesr;
using namespace tesrtest;
using namespace Qt::StringLiterals;

namespace {

// Abbott owes on two orders and has no credit; Baker has a payment partly applied to one order.
struct Book {
    int cash = 0, abbott = 0, first = 0, second = 0, baker = 0, bakerOrder = 0, bakerPaid = 0;
};

Book makeBook(TestDatabase& db)
{
    Book b;
    b.cash = db.addPaymentMethod(u"Cash"_s);
    db.addPaymentMethod(u"Visa"_s, 1);
    b.abbott = db.addCustomer(u"Abbott Interiors"_s);
    b.first = db.addOrder(b.abbott, u"SO-1"_s, cur("800"), 3, 0, u"1001"_s, u"Kitchen"_s);
    b.second = db.addOrder(b.abbott, u"SO-2"_s, cur("2000"), 2, 0, u"1002"_s, u"Bath"_s);
    b.baker = db.addCustomer(u"Baker Homes"_s);
    b.bakerOrder = db.addOrder(b.baker, u"SO-3"_s, cur("500"), 3, 0, u"1003"_s);
    b.bakerPaid = db.addPayment(b.baker, cur("300"), b.cash, at(2024, 5, 1, 12));
    db.allocate(b.bakerPaid, u"SO-3"_s, cur("100"));
    return b;
}

// The keys a user presses, each to whatever has the focus.
void press(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
{
    QWidget* target = QApplication::focusWidget() ? QApplication::focusWidget() : QApplication::activeWindow();
    QVERIFY2(target, "nothing has the keyboard");
    QTest::keyClick(target, key, modifiers);
    QCoreApplication::processEvents(); // as between two keys of a user: a cell's commit lands
}
void type(const QString& text)
{
    for (const QChar c : text)
        QTest::keyClick(QApplication::focusWidget(), c.toLatin1());
}

// Each control of the window a user operates that a screen reader could not name or explain,
// as "objectName: what is missing". Lists are controls; their rows and cells are data.
QStringList unexplained(QWidget* window)
{
    using R = QAccessible::Role;
    static const QList<R> controls = {R::PushButton,  R::ButtonMenu, R::ButtonDropDown, R::CheckBox,
                                      R::RadioButton, R::ComboBox,   R::EditableText,   R::SpinBox,
                                      R::Slider,      R::Table,      R::Tree,           R::List};
    QStringList out;
    std::function<void(QAccessibleInterface*)> walk = [&](QAccessibleInterface* parent) {
        for (int i = 0; i < parent->childCount(); ++i) {
            QAccessibleInterface* c = parent->child(i);
            if (!c || !controls.contains(c->role())) {
                if (c)
                    walk(c);
                continue;
            }
            const QObject* o = c->object();
            const QString who = !o                          ? u"?"_s
                                : o->objectName().isEmpty() ? QString::fromLatin1(o->metaObject()->className())
                                                            : o->objectName();
            if (c->text(QAccessible::Name).isEmpty())
                out << who + u": no name"_s;
            if (c->text(QAccessible::Description).isEmpty())
                out << who + u": no description"_s;
            if (c->role() != R::Table && c->role() != R::Tree && c->role() != R::List)
                walk(c);
        }
    };
    walk(QAccessible::queryAccessibleInterface(window));
    return out;
}

} // namespace

class TestKeyboard : public QObject {
    Q_OBJECT

private slots:
    void cleanup() { resetZone(); }

    // Every screen: nothing unnamed or unexplained; Enter on its focused Cancel or Close button
    // closes it and saves nothing (on a dialog whose OK is the default button too).
    void everyScreenIsNamedAndClosesWithEnter_data()
    {
        QTest::addColumn<QString>("screen");
        QTest::addColumn<QString>("closeButton");
        for (const char* s : {"frmNewPayment", "frmEditPayment", "frmAllocateCredit"})
            QTest::newRow(s) << QString::fromLatin1(s) << u"cmdCancel"_s;
        for (const char* s : {"frmCustomerPayments", "frmOrderPayments", "frmPaymentAllocations"})
            QTest::newRow(s) << QString::fromLatin1(s) << u"cmdClose"_s;
    }
    void everyScreenIsNamedAndClosesWithEnter()
    {
        QFETCH(QString, screen);
        QFETCH(QString, closeButton);
        SCREEN_FIXTURE(makeBook);
        const QString before = ledgerState(h.db());
        QStringList missing;
        bool closed = false;
        onScreen(d, screen, [&](QWidget* w) {
            missing = unexplained(w);
            QWidget* button = childWidget(w, closeButton);
            button->setFocus(Qt::TabFocusReason);
            QTest::keyClick(button, Qt::Key_Return);
            closed = !w->isVisible();
        });
        Library& l = h.library();
        if (screen == u"frmNewPayment")
            l.ShowNewPayment(b.abbott);
        else if (screen == u"frmEditPayment")
            l.ShowEditPayment(b.bakerPaid);
        else if (screen == u"frmAllocateCredit")
            l.ShowAllocateCredit(b.baker);
        else if (screen == u"frmCustomerPayments")
            l.ShowCustomerPayments(b.baker);
        else if (screen == u"frmOrderPayments")
            l.ShowOrderPayments(b.bakerOrder);
        else
            l.ShowPaymentAllocations(b.bakerPaid);
        SCREEN_DONE(d, h);
        QVERIFY2(missing.isEmpty(), qPrintable(missing.join(u"; "_s)));
        QVERIFY(closed);
        QCOMPARE(ledgerState(h.db()), before);
    }

    // The host's window: nothing unnamed or unexplained there either.
    void hostWindowIsNamed()
    {
        TestHost t;
        host::MainWindow window(t.host(), t.library());
        window.setDatabaseReady(true);
        const QStringList missing = unexplained(&window);
        QVERIFY2(missing.isEmpty(), qPrintable(missing.join(u"; "_s)));
    }

    // A payment split over two orders, from the host's customer list to the saved rows, with
    // keys only: Alt+U to the customers, Tab to "New Payment...", Enter; in New Payment Alt+A
    // for the amount (typed with grouping), Alt+P the method, Alt+O the orders (an amount typed
    // on a row goes to its cell), Alt+M the memo, Enter for OK. The New Balance column and the
    // summary follow the cells; the payment is saved in one go, dated local midnight of today
    // in universal time, with an activity line on each order and one on the customer.
    void splitPaymentByKeyboard()
    {
        SCREEN_FIXTURE(makeBook);
        setZone(300); // local time is universal time minus five hours
        host::MainWindow window(h.host(), h.library());
        window.setDatabaseReady(true);
        QVERIFY(showActive(&window));
        QStringList seen;
        onScreen(
            d, u"frmNewPayment"_s,
            [&](QWidget* w) {
                press(Qt::Key_A, Qt::AltModifier);
                type(u"1,234.50"_s);
                press(Qt::Key_P, Qt::AltModifier);
                press(Qt::Key_Home); // Cash
                press(Qt::Key_O, Qt::AltModifier);
                press(Qt::Key_Home);
                type(u"600"_s);
                press(Qt::Key_Return);
                press(Qt::Key_Down);
                type(u"$634.50"_s);
                press(Qt::Key_Return);
                press(Qt::Key_M, Qt::AltModifier);
                type(u"split by keys"_s);
                auto* g = child<ReportControl>(w, "rptOrders");
                seen << textOf(w, "cboAmount") << caption(g, 0, 5) << caption(g, 1, 5) << textOf(w, "lblSummary");
                // Enter once the step has returned: OK saves and closes the dialog.
                QTimer::singleShot(0, [] { press(Qt::Key_Return); });
            },
            [](QWidget* w) { return child<ReportControl>(w, "rptOrders")->Records().Count() == 2; });
        press(Qt::Key_U, Qt::AltModifier);
        press(Qt::Key_Home);
        press(Qt::Key_Tab);
        press(Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget()->objectName(), u"cmdNewPayment"_s);
        QTimer::singleShot(0, [] { press(Qt::Key_Return); });
        SCREEN_DONE(d, h);
        QCOMPARE(seen, (QStringList{"1234.5", "$200.00", "$1,365.50", "Allocated: $1,234.50, Unallocated: $0.00"}));
        QVERIFY(h.prompter().calls().isEmpty()); // fully allocated: no question

        const int id = window.selectedPaymentId();
        QVERIFY(id > 0);
        TestDatabase& db = h.db();
        const auto field = [&](const char* column) {
            return db.scalar(u"SELECT %1 FROM Payments WHERE ID = %2"_s.arg(QLatin1String(column)).arg(id));
        };
        QCOMPARE(field("CustomerID").toInt(), b.abbott);
        QCOMPARE(field("PaymentMethodID").toInt(), b.cash);
        QCOMPARE(Currency::fromVariant(field("Amount")), cur("1234.5"));
        QCOMPARE(field("Description").toString(), u"split by keys"_s);
        QCOMPARE(OleDate::fromVariant(field("PaymentDate")), OleDate::fromParts(QDate::currentDate(), QTime(5, 0)));
        QCOMPARE(allocatedOf(db, id), u"1234.5"_s);
        QCOMPARE(allocationsOf(db, id), (QStringList{u"SO-1=600"_s, u"SO-2=634.5"_s}));
        QCOMPARE(owedOf(db, {b.first, b.second}), (QList<Owed>{{"600", "200"}, {"634.5", "1365.5"}}));
        QCOMPARE(activity(db, u"OrderID = %1"_s.arg(b.first)), QStringList{"A payment of $600.00 was applied."});
        QCOMPARE(activity(db, u"OrderID = %1"_s.arg(b.second)), QStringList{"A payment of $634.50 was applied."});
        QCOMPARE(activity(db, u"OrderID IS NULL AND CustomerID = %1"_s.arg(b.abbott)),
                 QStringList{"A payment of $1,234.50 was applied to this customer."});
    }
};

TESR_TEST_MAIN(TestKeyboard)
#include "tst_keyboard.moc"

// The customer box's type-ahead and the credit check, against a real company database: the user
// types into a real combo box, every edit refills its list through the reference host's
// services, and what the list offers is compared with the customers the rules allow.

#include "support/Shorthand.h"
#include "support/TestHost.h"
#include "support/TestMain.h"

#include "platform/controls/ComboBox.h"
#include "shared/modSharedCustomers.h"

#include <QApplication>
#include <QDialog>
#include <QListWidget>

using namespace tesr;
using tesrtest::cur;
using tesrtest::TestHost;
using namespace Qt::StringLiterals;

namespace {

// Last used one day apart in this order (the later, the more recent); sales reps 1 and 17.
void addCustomers(TestHost& h)
{
    const char* names[] = {"Abbott Interiors", "Baker & Sons", "Cabot Lodge", "O'Brien's Blinds", "Dormant Abbey",
                           "Zabka Homes   ",   "100% Shades",  "Abc_Decor",   "abstract designs", "Müller Gardinen"};
    for (int i = 0; i < 10; ++i) {
        const int id = h.db().addCustomer(QString::fromUtf8(names[i]), i != 4, i % 2 ? 17 : 1);
        h.db().exec(u"UPDATE Customers SET LastUsed = '2024-01-%1 10:00:00' WHERE ID = %2"_s.arg(i + 10).arg(id));
    }
}

QString entries(const ComboBox& box)
{
    QStringList out;
    for (int i = 0; i < box.ListCount(); ++i)
        out << box.List(i);
    return out.join(u'|');
}

} // namespace

class TestCustomerLookup : public QObject {
    Q_OBJECT

private slots:
    // The search statement exactly as the database receives it, before any engine translation (the
    // credit's is held to what it finds, below).
    void statementText()
    {
        TestHost h;
        const QString head = u"SELECT TOP 32 ID, CustomerName FROM [Customers] WHERE Active <> 0 "_s;
        QCOMPARE(modSharedCustomers::CustomerSearchStatement(QString(), false, 17, h.host()),
                 head + " AND SalesRepID = 17 ORDER BY LastUsed DESC");
        QCOMPARE(modSharedCustomers::CustomerSearchStatement(u"<filter>"_s, true, 17, h.host()),
                 head + "AND CustomerName Like '%<filter>%'  ORDER BY CustomerName");
        QCOMPARE(modSharedCustomers::CustomerSearchStatement(u"O'B"_s, false, 17, h.host()),
                 head + "AND CustomerName Like '%O''B%'  AND SalesRepID = 17 ORDER BY CustomerName");
    }

    // Without right 303/4 the user sees only their own customers (user 17 here).
    void typingFillsTheList_data()
    {
        tesrtest::rows(
            {"empty: most recent first, inactive left out||all|Müller Gardinen|abstract designs|Abc_Decor|"
             "100% Shades|Zabka Homes|O'Brien's Blinds|Cabot Lodge|Baker & Sons|Abbott Interiors",
             "empty, own customers only|||Müller Gardinen|Abc_Decor|Zabka Homes|O'Brien's Blinds|Baker & Sons",
             "contains, in name order, any case|ab|all|Abbott Interiors|Abc_Decor|abstract designs|Cabot "
             "Lodge|Zabka Homes",
             "contains, own customers only|ab||Abc_Decor|Zabka Homes", "a quote|O'B|all|O'Brien's Blinds",
             "a percent sign is a wildcard|0%S|all|100% Shades",
             "an underscore matches one character|Ab_o|all|Abbott Interiors", "non-ASCII|Müll|all|Müller Gardinen",
             "a statement breaker finds nothing|'; DELETE FROM Customers; --|all|"});
    }
    void typingFillsTheList()
    {
        const QStringList f = tesrtest::fields();
        const QString typed = f[0];
        const bool all = !f[1].isEmpty();
        const QString offered = f.mid(2).join(u'|');
        TestHost h;
        addCustomers(h);
        h.config().setUserId(17);
        if (!all)
            h.config().deny(303, 4);
        QDialog window;
        auto* box = new ComboBox(&window);
        box->setGeometry(10, 10, 300, 24);
        connect(box, &ComboBox::Change, box, [&] { modSharedCustomers::FillCustomerCombo(*box, &h.host(), true); });
        window.show();
        window.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&window));
        box->SetFocus();
        QTest::keyClicks(box, u"x"_s); // typed and taken back: the recent list
        QTest::keyClick(box, Qt::Key_Backspace);
        // Each key to whatever has the focus: the list shown meanwhile takes neither the keys nor
        // the window. Beyond ASCII the keyboard's text arrives, as an input method sends it.
        for (const QChar c : typed)
            QTest::sendKeyEvent(QTest::Click, QApplication::focusWidget(),
                                c.unicode() < 128 ? Qt::Key(c.toUpper().unicode()) : Qt::Key_unknown, QString(c),
                                Qt::NoModifier);
        QCOMPARE(QApplication::activeWindow(), &window);
        QCOMPARE(box->Text(), typed);
        QCOMPARE(entries(*box), offered);
        for (int i = 0; i < box->ListCount(); ++i) // each entry keeps its customer's key
            QCOMPARE(h.host().Common().GetCustomerName(box->ItemData(i)), box->List(i));
        QCOMPARE(box->SelStart(), int(typed.size()));
        QCOMPARE(box->ListIndex(), -1);
        QCOMPARE(box->DropDown()->isVisible(), !offered.isEmpty());
        if (!offered.isEmpty()) // under the box
            QCOMPARE(box->DropDown()->geometry().topLeft(), box->mapToGlobal(QPoint(0, box->height())));
        QCOMPARE(h.db().count(u"SELECT COUNT(*) FROM Customers"_s), 10);
    }

    // With no host, no connection or a refused statement the list ends empty, and the box is
    // left exactly as the user had it.
    void failuresLeaveTheBoxAsTyped_data()
    {
        tesrtest::rows({"no host|host", "no connection|connection", "statement refused|statement"});
    }
    void failuresLeaveTheBoxAsTyped()
    {
        const QString failure = tesrtest::fields()[0];
        TestHost h;
        if (failure == "connection")
            h.config().setDatabaseUrl(h.db().folder() + u"/missing.db"_s);
        if (failure == "statement")
            h.db().exec(u"DROP VIEW vwScreen_EditPayment; DROP TABLE Customers"_s);
        ComboBox box;
        box.AddItem(u"stale entry"_s);
        box.SetText(u"Ab"_s);
        box.SetSelStart(0);
        for (bool dropped : {true, false}) {
            modSharedCustomers::FillCustomerCombo(box, failure == "host" ? nullptr : &h.host(), dropped);
            QCOMPARE(box.ListCount(), 0);
            QCOMPARE(box.Text(), u"Ab"_s);
            QCOMPARE(box.SelStart(), 2);
            QCOMPARE(box.ListIndex(), -1);
            QCOMPARE(box.DroppedState(), dropped);
        }
    }

    // Payments as amount/allocated: the credit is what is left of them, to the fourth decimal.
    void credit_data()
    {
        tesrtest::rows({"no payments||0", "all allocated|100/100 50.5/50.5|0",
                        "part allocated|100/60 50/50 25.25/0|65.25",
                        // Equal figures fall into one group of the query and still both count.
                        "equal payments|10/4 10/4|12", "allocated beyond the amount lowers the credit|100/0 20/30|90",
                        "four decimals|0.0003/0.0001 0.1/0|0.1002"});
    }
    void credit()
    {
        const QString payments = tesrtest::fields()[0];
        const QString credit = tesrtest::fields()[1];
        TestHost h;
        const int cash = h.db().addPaymentMethod(u"Cash"_s);
        const int customer = h.db().addCustomer(u"Abbott"_s);
        h.db().addPayment(h.db().addCustomer(u"Baker"_s), cur("999"), cash, OleDate::absent());
        for (const QString& p : payments.split(u' ', Qt::SkipEmptyParts)) {
            const int id =
                h.db().addPayment(customer, *Currency::parsePlain(p.section(u'/', 0, 0)), cash, OleDate::absent());
            h.db().exec(u"UPDATE Payments SET Allocated = %1 WHERE ID = %2"_s.arg(p.section(u'/', 1)).arg(id));
        }
        QCOMPARE(modSharedCustomers::QueryCustomerCredit(customer, h.host()), Currency::parsePlain(credit));
    }
};

TESR_TEST_MAIN(TestCustomerLookup)
#include "tst_customer_lookup.moc"

// The customer box's type-ahead and the credit check, against a real company database file:
// the user types into a real combo box, every edit refills its list through the reference
// host's services, and what the list offers is compared with the customers the rules allow.

#include "support/TestHost.h"
#include "support/TestMain.h"

#include "platform/controls/ComboBox.h"
#include "shared/modSharedCustomers.h"

#include <QDialog>
#include <QListWidget>
#include <QSignalSpy>

#include <memory>

using namespace tesr;
using tesrtest::TestDatabase;
using tesrtest::TestHost;

namespace {

Currency money(const char* text)
{
    return *Currency::parsePlain(QString::fromLatin1(text));
}

// Customers with last-used dates one day apart (the later in the list, the more recent), sales
// reps 1 and 17, one inactive and one stored with trailing blanks.
struct Customers {
    QMap<QString, int> id;
};

Customers makeCustomers(TestDatabase& db)
{
    struct Row {
        const char* name;
        bool active;
        int rep;
    };
    const Row rows[] = {
        {"Abbott Interiors", true, 1},  {"Baker & Sons", true, 17},  {"Cabot Lodge", true, 1},
        {"O'Brien's Blinds", true, 17}, {"Dormant Abbey", false, 1}, {"Zabka Homes   ", true, 17},
        {"100% Shades", true, 1},       {"Abc_Decor", true, 17},     {"abstract designs", true, 1},
        {"Müller Gardinen", true, 17},
    };
    Customers c;
    int day = 1;
    for (const Row& r : rows) {
        const QString name = QString::fromUtf8(r.name);
        const int id = db.addCustomer(name, r.active, r.rep);
        db.exec(QStringLiteral("UPDATE Customers SET LastUsed = '2024-01-%1 10:00:00' WHERE ID = %2")
                    .arg(day++, 2, 10, QLatin1Char('0'))
                    .arg(id));
        c.id.insert(name.trimmed(), id);
    }
    return c;
}

// Types text key by key; characters beyond ASCII arrive as the keyboard's text, as an input
// method delivers them.
void typeText(QWidget* w, const QString& text)
{
    for (const QChar c : text) {
        if (c.unicode() < 128)
            QTest::keyClick(w, char(c.unicode()));
        else
            QTest::sendKeyEvent(QTest::Click, w, Qt::Key_unknown, QString(c), Qt::NoModifier);
    }
}

QStringList entries(const ComboBox& box)
{
    QStringList out;
    for (int i = 0; i < box.ListCount(); ++i)
        out << box.List(i);
    return out;
}

} // namespace

class TestCustomerLookup : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<QDialog> m_window;
    ComboBox* m_box = nullptr;

    // A window with the customer box whose every edit refills the list, as New Payment does.
    void openBox(TestHost& h)
    {
        m_window = std::make_unique<QDialog>();
        m_window->resize(360, 200);
        m_box = new ComboBox(m_window.get());
        m_box->setObjectName(QStringLiteral("cboCustomer"));
        m_box->setGeometry(10, 10, 300, 24);
        connect(m_box, &ComboBox::Change, m_box,
                [this, &h] { modSharedCustomers::FillCustomerCombo(*m_box, &h.host(), true); });
        m_window->show();
        m_window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(m_window.get()));
        m_box->SetFocus();
    }

private slots:
    void cleanup() { m_window.reset(); }

    // The statements exactly as the database receives them, before any engine translation.
    void statementText_data()
    {
        QTest::addColumn<QString>("search");
        QTest::addColumn<bool>("all");
        QTest::addColumn<QString>("statement");
        QTest::newRow("recent, every customer")
            << "" << true
            << "SELECT TOP 32 ID, CustomerName FROM [Customers] WHERE Active <> 0  ORDER BY LastUsed DESC";
        QTest::newRow("recent, own customers")
            << "" << false
            << "SELECT TOP 32 ID, CustomerName FROM [Customers] WHERE Active <> 0  AND SalesRepID = 17 ORDER BY "
               "LastUsed DESC";
        QTest::newRow("search, every customer")
            << "ab" << true
            << "SELECT TOP 32 ID, CustomerName FROM [Customers] WHERE Active <> 0 AND CustomerName Like '%ab%'  "
               "ORDER BY CustomerName";
        QTest::newRow("search, own customers, quote made safe")
            << "O'B" << false
            << "SELECT TOP 32 ID, CustomerName FROM [Customers] WHERE Active <> 0 AND CustomerName Like '%O''B%'  AND "
               "SalesRepID = 17 ORDER BY CustomerName";
        QTest::newRow("a typed marker is only text")
            << "<filter>" << true
            << "SELECT TOP 32 ID, CustomerName FROM [Customers] WHERE Active <> 0 AND CustomerName Like '%<filter>%'  "
               "ORDER BY CustomerName";
    }
    void statementText()
    {
        QFETCH(QString, search);
        QFETCH(bool, all);
        QFETCH(QString, statement);
        TestHost h;
        QCOMPARE(modSharedCustomers::CustomerSearchStatement(search, all, 17, h.host()), statement);
    }

    void typingFillsTheList_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<bool>("allCustomers");
        QTest::addColumn<QStringList>("offered");
        const QStringList recentAll{"abstract designs", "Abc_Decor",   "100% Shades",  "Zabka Homes",
                                    "O'Brien's Blinds", "Cabot Lodge", "Baker & Sons", "Abbott Interiors"};
        QTest::newRow("empty: most recent first, inactive left out")
            << "" << true << (QStringList{"Müller Gardinen"} + recentAll);
        QTest::newRow("empty, own customers only")
            << "" << false
            << QStringList{"Müller Gardinen", "Abc_Decor", "Zabka Homes", "O'Brien's Blinds", "Baker & Sons"};
        QTest::newRow("contains, in name order, any case")
            << "ab" << true
            << QStringList{"Abbott Interiors", "Abc_Decor", "abstract designs", "Cabot Lodge", "Zabka Homes"};
        QTest::newRow("contains, own customers only") << "ab" << false << QStringList{"Abc_Decor", "Zabka Homes"};
        QTest::newRow("a quote") << "O'B" << true << QStringList{"O'Brien's Blinds"};
        QTest::newRow("a percent sign is a wildcard") << "0%S" << true << QStringList{"100% Shades"};
        QTest::newRow("an underscore matches one character") << "Ab_o" << true << QStringList{"Abbott Interiors"};
        QTest::newRow("non-ASCII") << "Müll" << true << QStringList{"Müller Gardinen"};
        QTest::newRow("a statement breaker finds nothing") << "'; DELETE FROM Customers; --" << true << QStringList{};
    }
    void typingFillsTheList()
    {
        QFETCH(QString, typed);
        QFETCH(bool, allCustomers);
        QFETCH(QStringList, offered);
        TestHost h;
        const Customers c = makeCustomers(h.db());
        h.config().setUserId(17);
        if (!allCustomers)
            h.config().deny(303, 4);
        openBox(h);
        if (typed.isEmpty()) {
            // Typing a letter and taking it back leaves the box empty: the recent list.
            QTest::keyClicks(m_box, QStringLiteral("x"));
            QTest::keyClick(m_box, Qt::Key_Backspace);
        } else {
            typeText(m_box, typed);
        }
        QCOMPARE(m_box->Text(), typed);
        QCOMPARE(entries(*m_box), offered);
        for (int i = 0; i < m_box->ListCount(); ++i)
            QCOMPARE(m_box->ItemData(i), c.id.value(m_box->List(i)));
        QCOMPARE(m_box->SelStart(), int(typed.size()));
        QCOMPARE(m_box->ListIndex(), -1);
        QVERIFY(m_box->DroppedState());
        QCOMPARE(m_box->DropDown()->isVisible(), !offered.isEmpty());
        QCOMPARE(h.db().count(QStringLiteral("SELECT COUNT(*) FROM Customers")), 10);
    }

    // The typed text is never replaced by an entry's, and the caret stays where the user is.
    void typingKeepsTheUsersText()
    {
        TestHost h;
        makeCustomers(h.db());
        openBox(h);
        QTest::keyClicks(m_box, QStringLiteral("ab"));
        QCOMPARE(m_box->ListCount(), 5);
        QTest::keyClick(m_box, Qt::Key_Left);
        QTest::keyClicks(m_box, QStringLiteral("b")); // "abb"
        QCOMPARE(m_box->Text(), QStringLiteral("abb"));
        QCOMPARE(entries(*m_box), QStringList{"Abbott Interiors"});
        QCOMPARE(m_box->SelStart(), 3);
        // Choosing the entry is the user's act: then the text is the entry's.
        QTest::keyClick(m_box, Qt::Key_Down);
        QTest::keyClick(m_box, Qt::Key_Return);
        QCOMPARE(m_box->Text(), QStringLiteral("Abbott Interiors"));
        QCOMPARE(m_box->ListIndex(), 0);
    }

    void atMost32Customers()
    {
        TestHost h;
        for (int i = 0; i < 40; ++i)
            h.db().addCustomer(QStringLiteral("Customer %1").arg(i, 2, 10, QLatin1Char('0')));
        openBox(h);
        QTest::keyClicks(m_box, QStringLiteral("Cust"));
        QCOMPARE(m_box->ListCount(), 32);
        QCOMPARE(m_box->List(0), QStringLiteral("Customer 00"));
        QCOMPARE(m_box->List(31), QStringLiteral("Customer 31"));
    }

    // With no host, no connection or a refused statement the list ends empty, and the box is
    // left exactly as the user had it.
    void failuresLeaveTheBoxAsTyped_data()
    {
        QTest::addColumn<QString>("failure");
        QTest::newRow("no host") << "host";
        QTest::newRow("no connection") << "connection";
        QTest::newRow("statement refused") << "statement";
    }
    void failuresLeaveTheBoxAsTyped()
    {
        QFETCH(QString, failure);
        TestHost h;
        makeCustomers(h.db());
        if (failure == QLatin1String("connection"))
            h.config().setDatabaseUrl(h.db().folder() + QStringLiteral("/missing.db"));
        if (failure == QLatin1String("statement"))
            h.db().exec(QStringLiteral("DROP VIEW vwScreen_EditPayment; DROP TABLE Customers"));
        m_window = std::make_unique<QDialog>();
        m_box = new ComboBox(m_window.get());
        m_box->AddItem(QStringLiteral("stale entry"));
        m_box->SetText(QStringLiteral("Ab"));
        m_box->SetSelStart(0);
        for (bool dropped : {true, false}) {
            modSharedCustomers::FillCustomerCombo(*m_box, failure == QLatin1String("host") ? nullptr : &h.host(),
                                                  dropped);
            QCOMPARE(m_box->ListCount(), 0);
            QCOMPARE(m_box->Text(), QStringLiteral("Ab"));
            QCOMPARE(m_box->SelStart(), 2);
            QCOMPARE(m_box->ListIndex(), -1);
            QCOMPARE(m_box->DroppedState(), dropped);
        }
    }

    void credit_data()
    {
        QTest::addColumn<QStringList>("payments"); // amount/allocated
        QTest::addColumn<QString>("credit");
        QTest::newRow("no payments") << QStringList{} << "0";
        QTest::newRow("all allocated") << QStringList{"100/100", "50.5/50.5"} << "0";
        QTest::newRow("part allocated") << QStringList{"100/60", "50/50", "25.25/0"} << "65.25";
        // Two payments with the same figures fall into one group of the query and still both count.
        QTest::newRow("equal payments") << QStringList{"10/4", "10/4"} << "12";
        QTest::newRow("allocated beyond the amount lowers the credit") << QStringList{"100/0", "20/30"} << "90";
        QTest::newRow("four decimals") << QStringList{"0.0003/0.0001", "0.1/0"} << "0.1002";
    }
    void credit()
    {
        QFETCH(QStringList, payments);
        QFETCH(QString, credit);
        TestHost h;
        TestDatabase& db = h.db();
        const int cash = db.addPaymentMethod(QStringLiteral("Cash"));
        const int customer = db.addCustomer(QStringLiteral("Abbott"));
        const int other = db.addCustomer(QStringLiteral("Baker"));
        db.addPayment(other, money("999"), cash, OleDate::absent());
        for (const QString& p : payments) {
            const QStringList parts = p.split(u'/');
            const int id = db.addPayment(customer, *Currency::parsePlain(parts[0]), cash, OleDate::absent());
            db.exec(QStringLiteral("UPDATE Payments SET Allocated = %1 WHERE ID = %2").arg(parts[1]).arg(id));
        }
        QCOMPARE(modSharedCustomers::QueryCustomerCredit(customer, h.host()), Currency::parsePlain(credit));
    }

    void creditStatementText()
    {
        QCOMPARE(modSharedCustomers::CustomerCreditStatement(42),
                 QStringLiteral("WITH x AS (SELECT SUM(Amount - Allocated) AS Credit, Amount, Allocated, CustomerID "
                                "FROM Payments GROUP BY Amount, Allocated, CustomerID HAVING (CustomerID = 42) AND "
                                "(Allocated <> Amount)) SELECT SUM(Credit) AS theSum FROM x"));
    }
};

TESR_TEST_MAIN(TestCustomerLookup)
#include "tst_customer_lookup.moc"

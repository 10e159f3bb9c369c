// The roads between the screens, end to end over a real SQLite file: Customer Payments opening
// New Payment, Edit Payment and Payment Allocations and reloading after them, and Order
// Payments opening New Payment by itself for an order nobody has paid yet. Every window is
// driven with the mouse and keyboard on its named controls under the modal driver's watchdog.

#include "support/ModalDriver.h"
#include "support/TestHost.h"
#include "support/TestMain.h"

#include "host/DemoData.h"
#include "platform/HelperTools.h"
#include "platform/SqlConnection.h"
#include "platform/controls/ComboBox.h"
#include "platform/controls/ReportControl.h"
#include "shared/modSharedWork.h"

#include <QAbstractButton>
#include <QLabel>
#include <QLineEdit>
#include <QTimer>

using namespace tesr;
using tesrtest::ModalDriver;
using tesrtest::ScriptedPrompter;
using tesrtest::TestDatabase;
using tesrtest::TestHost;

namespace {

const QString kCustomerPayments = QStringLiteral("frmCustomerPayments");
const QString kOrderPayments = QStringLiteral("frmOrderPayments");
const QString kAllocations = QStringLiteral("frmPaymentAllocations");
const QString kNewPayment = QStringLiteral("frmNewPayment");
const QString kEditPayment = QStringLiteral("frmEditPayment");

Currency money(const char* text)
{
    return *Currency::parsePlain(QString::fromLatin1(text));
}

OleDate at(int y, int m, int d, int h = 0, int mi = 0)
{
    return *OleDate::fromYmdHms(y, m, d, h, mi);
}

// Abbott has one open order and one payment applied in full to an order that takes no more
// payments (so Abbott has no credit); Baker has an open order nobody has paid yet.
struct Shop {
    int abbott = 0;
    int open = 0; // Abbott's open order
    int paid = 0; // Abbott's payment
    int paidAllocation = 0;
    int baker = 0;
    int unpaid = 0; // Baker's order
};

Shop makeShop(TestDatabase& db)
{
    Shop s;
    db.addPaymentMethod(QStringLiteral("Cash"));
    const int check = db.addPaymentMethod(QStringLiteral("Check"));
    s.abbott = db.addCustomer(QStringLiteral("Abbott Interiors"));
    s.open = db.addOrder(s.abbott, QStringLiteral("SO-5001"), money("800"), 3, 0, QStringLiteral("5001"),
                         QStringLiteral("Kitchen"));
    db.addOrder(s.abbott, QStringLiteral("SO-5000"), money("150"), 3, 500, QStringLiteral("5000"),
                QStringLiteral("Porch"));
    s.paid = db.addPayment(s.abbott, money("150"), check, at(2024, 4, 2, 12), QStringLiteral("Deposit"));
    db.allocate(s.paid, QStringLiteral("SO-5000"), money("150"));
    s.paidAllocation = db.count(QStringLiteral("SELECT ID FROM PaymentAllocations WHERE PaymentID = %1").arg(s.paid));
    s.baker = db.addCustomer(QStringLiteral("Baker & Sons"));
    s.unpaid = db.addOrder(s.baker, QStringLiteral("SO-6001"), money("500"), 3, 0, QStringLiteral("6001"),
                           QStringLiteral("Shades"));
    return s;
}

ReportControl* grid(QWidget* w, const char* name = "rptPayments")
{
    return w->findChild<ReportControl*>(QString::fromLatin1(name));
}

ComboBox* combo(QWidget* w, const char* name)
{
    return w->findChild<ComboBox*>(QString::fromLatin1(name));
}

QString buttonStates(QWidget* w)
{
    QString s;
    for (const char* name : {"cmdAllocations", "cmdNew", "cmdEdit", "cmdDelete"}) {
        const auto* b = w->findChild<QAbstractButton*>(QString::fromLatin1(name));
        s += b && b->isEnabled() ? u'1' : u'0';
    }
    return s;
}

QStringList selectedTags(ReportControl* g)
{
    QStringList out;
    const ReportSelectedRows rows = g->SelectedRows();
    for (int i = 0; i < rows.Count(); ++i)
        out << (rows.Row(i)->Record() ? rows.Row(i)->Record()->Tag() : QStringLiteral("[heading]"));
    return out;
}

const ReportRecord* recordByTag(ReportControl* g, int id)
{
    for (int i = 0; i < g->Records().Count(); ++i)
        if (g->Records().Record(i)->Tag() == QString::number(id))
            return g->Records().Record(i);
    return nullptr;
}

void clickTag(ReportControl* g, int id)
{
    const ReportRecord* record = recordByTag(g, id);
    QVERIFY(record && record->Row());
    const QRect cell = g->CellRect(record->Row(), g->Columns().Column(1));
    QTest::mouseClick(g->viewport(), Qt::LeftButton, Qt::NoModifier, cell.center());
}

// The driver may first meet a screen while its first activation still lets events through;
// a second match can only come once that activation has returned and the screen has loaded.
void onScreen(ModalDriver& driver, const QString& name, ModalDriver::Action action)
{
    driver.expect(name, [](QWidget*) {}).expect(name, std::move(action));
}

// A click that opens a modal window comes from the event loop once the step has ended, so that
// the driver is free to answer that window.
void clickLater(QWidget* window, const QString& name)
{
    QTimer::singleShot(0, window, [window, name] { tesrtest::clickButton(window, name); });
}

// Selects what the field holds and types over it, then leaves it with Tab.
void typeOver(QWidget* field, const QString& text)
{
    field->setFocus(Qt::TabFocusReason);
    QTest::keyClick(field, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(field, text);
    QTest::keyClick(field, Qt::Key_Tab);
}

void pickMethod(QWidget* w, const QString& name)
{
    ComboBox* box = combo(w, "cboPaymentMethod");
    box->setFocus(Qt::TabFocusReason);
    QTest::keyClick(box, Qt::Key_Home);
    for (int i = 0; i < box->ListCount() && box->Text() != name; ++i)
        QTest::keyClick(box, Qt::Key_Down);
    QCOMPARE(box->Text(), name);
}

// New Payment has loaded once its amount box holds the number its leave rule gave it.
bool newPaymentLoaded(QWidget* w)
{
    return !combo(w, "cboAmount")->Text().isEmpty();
}

// Records a payment of `amount` in New Payment: the only open order takes it whole.
void recordPayment(QWidget* w, const QString& amount)
{
    QVERIFY(newPaymentLoaded(w));
    pickMethod(w, QStringLiteral("Check"));
    typeOver(combo(w, "cboAmount"), amount);
    tesrtest::clickButton(w, QStringLiteral("cmdOK"));
}

QStringList activity(TestDatabase& db, const QString& where)
{
    QStringList lines;
    auto rs = db.connection().OpenRecordset(
        QStringLiteral("SELECT Description FROM ActivityHistory WHERE %1 ORDER BY ID").arg(where));
    for (; rs && !rs->Eof(); rs->MoveNext())
        lines << rs->Field(QStringLiteral("Description")).toString();
    return lines;
}

} // namespace

class TestScreenRoads : public QObject {
    Q_OBJECT

private slots:
    void init()
    {
        for (const char* caption :
             {"Customer Payments", "Order Payments", "Payment Allocations", "New Payment", "Edit Payment"})
            helperFactory().CreateRegistryTools()->WriteString(RegistryTools::HKEY_CURRENT_USER_ROOT,
                                                               QString::fromLatin1(modSharedWork::WindowPositionsKey),
                                                               QString::fromLatin1(caption), QString());
    }

    // The road of one payment: Customer Payments -> New... -> saved -> listed and selected.
    void newPaymentIsListedAndSelected()
    {
        TestHost h;
        const Shop s = makeShop(h.db());
        ModalDriver driver;
        bool customerFree = false;
        QStringList selected;
        QString buttons;
        QString shown;
        onScreen(driver, kCustomerPayments, [&](QWidget* w) { clickLater(w, QStringLiteral("cmdNew")); });
        onScreen(driver, kNewPayment, [&](QWidget* w) {
            customerFree = combo(w, "cboCustomer")->isEnabled();
            recordPayment(w, QStringLiteral("300"));
        });
        driver.expect(kCustomerPayments, [&](QWidget* w) {
            selected = selectedTags(grid(w));
            buttons = buttonStates(w);
            if (const ReportRecord* r = recordByTag(grid(w), selected.value(0).toInt()))
                for (int k = 1; k < r->ItemCount(); ++k)
                    shown += r->Item(k)->Caption() + u'|';
            tesrtest::clickButton(w, QStringLiteral("cmdClose"));
        });
        h.library().ShowCustomerPayments(s.abbott);
        QVERIFY2(driver.waitDone(), qPrintable(driver.failure()));
        QVERIFY2(h.prompter().ok(), qPrintable(h.prompter().failures()));

        const int id = h.db().count(QStringLiteral("SELECT MAX(ID) FROM Payments"));
        QVERIFY(id > s.paid);
        QVERIFY(customerFree);
        QCOMPARE(selected, QStringList{QString::number(id)});
        QCOMPARE(buttons, QStringLiteral("1111"));
        QCOMPARE(shown, QStringLiteral("Check|$300.00|$300.00|$0.00|"));
        QCOMPARE(h.db().money(QStringLiteral("SELECT Allocated FROM Payments WHERE ID = %1").arg(id)), money("300"));
        QCOMPARE(h.db().money(QStringLiteral("SELECT Payments FROM Orders WHERE ID = %1").arg(s.open)), money("300"));
        QCOMPARE(h.db().money(QStringLiteral("SELECT Balance FROM Orders WHERE ID = %1").arg(s.open)), money("500"));
        QCOMPARE(activity(h.db(), QStringLiteral("OrderID IS NULL AND CustomerID = %1").arg(s.abbott)),
                 QStringList{"A payment of $300.00 was applied to this customer."});
        QCOMPARE(activity(h.db(), QStringLiteral("OrderID = %1").arg(s.open)),
                 QStringList{"A payment of $300.00 was applied."});
    }

    // Cancelled New Payment or Edit Payment: the list is not reloaded (the selection stays).
    void cancelledDialogsLeaveTheList_data()
    {
        QTest::addColumn<QString>("button");
        QTest::addColumn<QString>("dialog");
        QTest::newRow("New Payment") << "cmdNew" << kNewPayment;
        QTest::newRow("Edit Payment") << "cmdEdit" << kEditPayment;
    }
    void cancelledDialogsLeaveTheList()
    {
        QFETCH(QString, button);
        QFETCH(QString, dialog);
        TestHost h;
        const Shop s = makeShop(h.db());
        ModalDriver driver;
        const ReportRecord* before = nullptr;
        const ReportRecord* after = nullptr;
        QStringList selected;
        onScreen(driver, kCustomerPayments, [&](QWidget* w) {
            clickTag(grid(w), s.paid);
            before = recordByTag(grid(w), s.paid);
            clickLater(w, button);
        });
        onScreen(driver, dialog, [&](QWidget* w) { tesrtest::clickButton(w, QStringLiteral("cmdCancel")); });
        driver.expect(kCustomerPayments, [&](QWidget* w) {
            after = recordByTag(grid(w), s.paid);
            selected = selectedTags(grid(w));
            tesrtest::clickButton(w, QStringLiteral("cmdClose"));
        });
        h.library().ShowCustomerPayments(s.abbott);
        QVERIFY2(driver.waitDone(), qPrintable(driver.failure()));
        QVERIFY(before);
        QCOMPARE(after, before); // the very same record: no reload
        QCOMPARE(selected, QStringList{QString::number(s.paid)});
        QCOMPARE(h.db().count(QStringLiteral("SELECT COUNT(*) FROM Payments")), 1);
    }

    // Edit Payment saved: the list is reloaded with the same payment selected.
    void editedPaymentStaysSelected()
    {
        TestHost h;
        const Shop s = makeShop(h.db());
        ModalDriver driver;
        QString detailsBefore;
        QString detailsAfter;
        QStringList selected;
        QString buttons;
        onScreen(driver, kCustomerPayments, [&](QWidget* w) {
            clickTag(grid(w), s.paid);
            detailsBefore = recordByTag(grid(w), s.paid)->Item(1)->Caption();
            clickLater(w, QStringLiteral("cmdEdit"));
        });
        onScreen(driver, kEditPayment, [&](QWidget* w) {
            auto* memo = w->findChild<QLineEdit*>(QStringLiteral("txtDescription"));
            QVERIFY(memo);
            QTest::mouseClick(memo, Qt::LeftButton);
            QTest::keyClick(memo, Qt::Key_A, Qt::ControlModifier);
            QTest::keyClicks(memo, QStringLiteral("Balance on delivery"));
            QTest::keyClick(memo, Qt::Key_Tab);
            tesrtest::clickButton(w, QStringLiteral("cmdOK"));
        });
        driver.expect(kCustomerPayments, [&](QWidget* w) {
            selected = selectedTags(grid(w));
            detailsAfter = recordByTag(grid(w), s.paid)->Item(1)->Caption();
            buttons = buttonStates(w);
            tesrtest::clickButton(w, QStringLiteral("cmdClose"));
        });
        h.library().ShowCustomerPayments(s.abbott);
        QVERIFY2(driver.waitDone(), qPrintable(driver.failure()));
        QCOMPARE(detailsBefore, QStringLiteral("Check - Deposit"));
        QCOMPARE(detailsAfter, QStringLiteral("Check - Balance on delivery"));
        QCOMPARE(selected, QStringList{QString::number(s.paid)});
        QCOMPARE(buttons, QStringLiteral("1111"));
    }

    // Payment Allocations from Customer Payments: an allocation removed there, and the list
    // reloaded with the new figures and nothing selected.
    void allocationsRemovedThenReloaded()
    {
        TestHost h;
        const Shop s = makeShop(h.db());
        h.prompter().expectQuestion(ScriptedPrompter::Yes);
        ModalDriver driver;
        QString shownAfter;
        QStringList selected;
        QString buttons;
        int allocationsListed = -1;
        onScreen(driver, kCustomerPayments, [&](QWidget* w) {
            clickTag(grid(w), s.paid);
            clickLater(w, QStringLiteral("cmdAllocations"));
        });
        onScreen(driver, kAllocations, [&](QWidget* w) {
            ReportControl* g = grid(w, "rptAllocations");
            allocationsListed = g->Records().Count();
            clickTag(g, s.paidAllocation);
            tesrtest::clickButton(w, QStringLiteral("cmdDelete"));
            tesrtest::clickButton(w, QStringLiteral("cmdClose"));
        });
        driver.expect(kCustomerPayments, [&](QWidget* w) {
            selected = selectedTags(grid(w));
            buttons = buttonStates(w);
            const ReportRecord* r = recordByTag(grid(w), s.paid);
            QVERIFY(r);
            shownAfter = r->Item(3)->Caption() + u'|' + r->Item(4)->Caption();
            tesrtest::clickButton(w, QStringLiteral("cmdClose"));
        });
        h.library().ShowCustomerPayments(s.abbott);
        QVERIFY2(driver.waitDone(), qPrintable(driver.failure()));
        QVERIFY2(h.prompter().ok(), qPrintable(h.prompter().failures()));
        QCOMPARE(allocationsListed, 1);
        QCOMPARE(shownAfter, QStringLiteral("$0.00|$150.00"));
        QVERIFY(selected.isEmpty());
        QCOMPARE(buttons, QStringLiteral("0100"));
        QCOMPARE(h.db().count(QStringLiteral("SELECT COUNT(*) FROM PaymentAllocations")), 0);
    }

    // An order nobody has paid yet: New Payment opens at once for its customer, locked.
    void unpaidOrderOpensNewPayment_data()
    {
        QTest::addColumn<QString>("how");
        QTest::newRow("saved, applied to this order") << "save";
        QTest::newRow("cancelled") << "cancel";
        QTest::newRow("no right to record from an order") << "denied";
    }
    void unpaidOrderOpensNewPayment()
    {
        QFETCH(QString, how);
        TestHost h;
        const Shop s = makeShop(h.db());
        if (how == QLatin1String("denied"))
            h.config().deny(803, 8);
        ModalDriver driver;
        QString customerBox;
        int listed = -1;
        QString total;
        bool newEnabled = true;
        if (how != QLatin1String("denied")) {
            // No step for Order Payments before: it opens New Payment from its first activation.
            onScreen(driver, kNewPayment, [&](QWidget* w) {
                QVERIFY(newPaymentLoaded(w));
                ComboBox* customer = combo(w, "cboCustomer");
                customerBox =
                    customer->Text() + (customer->isEnabled() ? QStringLiteral("|free") : QStringLiteral("|locked"));
                if (how == QLatin1String("save"))
                    recordPayment(w, QStringLiteral("200"));
                else
                    tesrtest::clickButton(w, QStringLiteral("cmdCancel"));
            });
            driver.expect(kOrderPayments, [&](QWidget* w) {
                listed = grid(w)->Records().Count();
                total = w->findChild<QLabel*>(QStringLiteral("lblSummary"))->text();
                tesrtest::clickButton(w, QStringLiteral("cmdClose"));
            });
        } else {
            onScreen(driver, kOrderPayments, [&](QWidget* w) {
                listed = grid(w)->Records().Count();
                total = w->findChild<QLabel*>(QStringLiteral("lblSummary"))->text();
                newEnabled = w->findChild<QAbstractButton*>(QStringLiteral("cmdNewPayment"))->isEnabled();
                tesrtest::clickButton(w, QStringLiteral("cmdClose"));
            });
        }
        h.library().ShowOrderPayments(s.unpaid);
        QVERIFY2(driver.waitDone(), qPrintable(driver.failure()));
        QVERIFY2(h.prompter().ok(), qPrintable(h.prompter().failures()));
        if (how == QLatin1String("save")) {
            QCOMPARE(customerBox, QStringLiteral("Baker & Sons|locked"));
            QCOMPARE(listed, 1);
            QCOMPARE(total, QStringLiteral("$200.00"));
            QCOMPARE(h.db().money(QStringLiteral("SELECT Balance FROM Orders WHERE ID = %1").arg(s.unpaid)),
                     money("300"));
            QCOMPARE(h.db().count(QStringLiteral("SELECT COUNT(*) FROM Payments WHERE CustomerID = %1").arg(s.baker)),
                     1);
        } else {
            if (how == QLatin1String("cancel"))
                QCOMPARE(customerBox, QStringLiteral("Baker & Sons|locked"));
            else
                QVERIFY(!newEnabled);
            QCOMPARE(listed, 0);
            QCOMPARE(total, QStringLiteral("$0.00"));
            QCOMPARE(h.db().count(QStringLiteral("SELECT COUNT(*) FROM Payments WHERE CustomerID = %1").arg(s.baker)),
                     0);
        }
    }

    // Each screen opens where and as large as it was last closed, under its own caption.
    void placementIsKeptPerScreen_data()
    {
        QTest::addColumn<QString>("screen");
        QTest::addColumn<QString>("caption");
        QTest::newRow("Customer Payments") << kCustomerPayments << "Customer Payments";
        QTest::newRow("Order Payments") << kOrderPayments << "Order Payments";
        QTest::newRow("Payment Allocations") << kAllocations << "Payment Allocations";
    }
    void placementIsKeptPerScreen()
    {
        QFETCH(QString, screen);
        QFETCH(QString, caption);
        TestHost h;
        const Shop s = makeShop(h.db());
        const int key = h.db().count(QStringLiteral("SELECT ID FROM Orders WHERE UniqueID = 'SO-5000'"));
        auto open = [&] {
            if (screen == kCustomerPayments)
                h.library().ShowCustomerPayments(s.abbott);
            else if (screen == kOrderPayments)
                h.library().ShowOrderPayments(key);
            else
                h.library().ShowPaymentAllocations(s.paid);
        };
        const QRect placed(QPoint(140, 90), QSize(760, 540));
        {
            ModalDriver driver;
            onScreen(driver, screen, [&](QWidget* w) {
                w->setGeometry(placed);
                tesrtest::clickButton(w, QStringLiteral("cmdClose"));
            });
            open();
            QVERIFY2(driver.waitDone(), qPrintable(driver.failure()));
        }
        const QString stored = helperFactory().CreateRegistryTools()->ReadString(
            RegistryTools::HKEY_CURRENT_USER_ROOT, QString::fromLatin1(modSharedWork::WindowPositionsKey), caption,
            QString());
        QCOMPARE(stored.split(u',').size(), 4);
        ModalDriver driver;
        QRect reopened;
        onScreen(driver, screen, [&](QWidget* w) {
            reopened = w->geometry();
            tesrtest::clickButton(w, QStringLiteral("cmdClose"));
        });
        open();
        QVERIFY2(driver.waitDone(), qPrintable(driver.failure()));
        QCOMPARE(reopened, placed);
    }

    // The picture for the README: Customer Payments over the demo database, for the customer
    // the host selects first. The list must be the customer's whole list either way.
    void customerPaymentsOverTheDemoDatabase()
    {
        TestHost h;
        const auto dir = tesrtest::makeTempDir();
        const QString demo = dir->filePath(QStringLiteral("demo.db"));
        QString error;
        QVERIFY2(host::createDemoDatabase(demo, &error), qPrintable(error));
        h.config().setDatabaseUrl(demo);
        int customer = 0;
        int payments = 0;
        {
            auto conn = openCompanyConnection(demo, &error);
            QVERIFY2(conn, qPrintable(error));
            auto rs = conn->OpenRecordset(QStringLiteral(
                "SELECT Customers.ID, COUNT(Payments.ID) AS N FROM Customers INNER JOIN Payments ON "
                "Payments.CustomerID = Customers.ID WHERE Customers.CustomerName = 'Amanda Anderson' GROUP BY "
                "Customers.ID"));
            QVERIFY(rs && !rs->Eof());
            customer = rs->Field(QStringLiteral("ID")).toInt();
            payments = rs->Field(QStringLiteral("N")).toInt();
            rs->Close();
            conn->Close();
        }
        QVERIFY(payments > 3);
        ModalDriver driver;
        int listed = -1;
        onScreen(driver, kCustomerPayments, [&](QWidget* w) {
            ReportControl* g = grid(w);
            listed = g->Records().Count();
            w->resize(720, 420);
            clickTag(g, g->Records().Record(2)->Tag().toInt());
            const QString out = qEnvironmentVariable("TESR_RENDER_DIR");
            if (!out.isEmpty())
                w->grab().save(out + QStringLiteral("/customer-payments.png"));
            tesrtest::clickButton(w, QStringLiteral("cmdClose"));
        });
        h.library().ShowCustomerPayments(customer);
        QVERIFY2(driver.waitDone(), qPrintable(driver.failure()));
        QCOMPARE(listed, payments);
    }
};

TESR_TEST_MAIN(TestScreenRoads)
#include "tst_screen_roads.moc"

// New Payment end to end: opened through the Library over a real SQLite file, driven with keys
// and mouse clicks on its named controls, the host's questions answered by a scripted
// prompter, the standard message boxes and the calendar answered through the modal driver, and
// the database checked afterwards (the payment's Allocated, the orders' Payments and Balance,
// the allocation rows and the activity lines).

#include "support/ModalDriver.h"
#include "support/TestHost.h"
#include "support/TestMain.h"

#include "platform/HelperTools.h"
#include "platform/SqlConnection.h"
#include "platform/controls/ComboBox.h"
#include "platform/controls/FlatEdit.h"
#include "platform/controls/PushButton.h"
#include "platform/controls/ReportControl.h"
#include "shared/modSharedDateTime.h"
#include "shared/modSharedWork.h"
#include "values/Regional.h"

#include <QAbstractButton>
#include <QCalendarWidget>
#include <QElapsedTimer>
#include <QLabel>
#include <QListWidget>
#include <QMessageBox>
#include <QPainter>
#include <QSqlError>
#include <QSqlQuery>
#include <QTableView>
#include <QTimer>

#include <functional>

using namespace tesr;
using tesrtest::ModalDriver;
using tesrtest::ScriptedPrompter;
using tesrtest::TestDatabase;
using tesrtest::TestHost;
using Kind = ScriptedPrompter::Call::Kind;

namespace {

const QString kScreen = QStringLiteral("frmNewPayment");
const QString kMessageBox = QStringLiteral("moduleMessageBox");

const QString kAmountMsg = QStringLiteral("You must enter a valid payment amount. Payments cannot be negative.");
const QString kCardMsg = QStringLiteral("You must enter the last 4 digits of the credit card number.");
const QString kNameMsg = QStringLiteral("You must enter the name printed on the card.");
const QString kOverMsg = QStringLiteral("You cannot allocate more than the payment amount.");
const QString kDateMsg = QStringLiteral("You must enter a valid payment date.");
const QString kPartialQ =
    QStringLiteral("You have not fully allocated the payment amount. Are you sure you want to continue?");
const QString kCreditQ = QStringLiteral(
    "You are recording a payment but not applying it to any sales/orders. Are you sure you want to continue?");
const QString kNegativeNotice = QStringLiteral("You cannot record negative payments for sales or orders.");
const QString kNegativeBalanceQ = QStringLiteral(
    "One or more sales/orders will have a negative balance as a result of this payment. Are you sure you want to "
    "continue?");
const QString kCreditNotice = QStringLiteral("This customer has a credit.");
const QString kSaveFailed = QStringLiteral("The payment could not be added.");

Currency money(const char* text)
{
    return *Currency::parsePlain(QString::fromLatin1(text));
}

// Abbott has two orders that take payments (an order and a sale) and four that do not; Baker
// one order and an unused payment (credit); Barker nothing at all.
struct Shop {
    int cash = 0, check = 0, visa = 0;
    int abbott = 0, baker = 0, barker = 0;
    int orderA = 0, orderB = 0, bakerOrder = 0;
};

Shop makeShop(TestDatabase& db)
{
    Shop s;
    s.cash = db.addPaymentMethod(QStringLiteral("Cash"));
    s.check = db.addPaymentMethod(QStringLiteral("Check"));
    s.visa = db.addPaymentMethod(QStringLiteral("Visa"), 1);
    s.abbott = db.addCustomer(QStringLiteral("Abbott Interiors"));
    s.baker = db.addCustomer(QStringLiteral("Baker & Sons"));
    s.barker = db.addCustomer(QStringLiteral("Barker Supply"));
    s.orderA = db.addOrder(s.abbott, QStringLiteral("SO-1001"), money("800"), 3, 0, QStringLiteral(" 1001 "),
                           QStringLiteral("Kitchen  "), money("400"));
    db.addOrder(s.abbott, QStringLiteral("SO-Q1"), money("50"), 1, 0); // a quote
    s.orderB = db.addOrder(s.abbott, QStringLiteral("SO-1002"), money("2000"), 2, 0, QStringLiteral("1002"),
                           QStringLiteral("Bath"), money("1000.5"));
    db.addOrder(s.abbott, QStringLiteral("SO-4"), money("70"), 4, 0);
    db.addOrder(s.abbott, QStringLiteral("SO-500"), money("80"), 3, 500);
    db.addOrder(s.abbott, QStringLiteral("SO-1600"), money("90"), 2, 1600);
    s.bakerOrder = db.addOrder(s.baker, QStringLiteral("SO-2001"), money("300"), 3, 0, QStringLiteral("2001"));
    db.addPayment(s.baker, money("50"), s.cash, *OleDate::fromYmdHms(2024, 2, 1));
    return s;
}

// Runs engine-native SQL on the fixture's own session (triggers hold ';' inside their body).
void nativeExec(TestDatabase& db, const QString& sql)
{
    auto* conn = dynamic_cast<SqlConnection*>(&db.connection());
    QVERIFY(conn);
    QSqlQuery q(conn->database());
    QVERIFY2(q.exec(sql), qPrintable(q.lastError().text()));
}

// Makes the database refuse a write, the way a constraint or another program's rule would:
// a trigger on `table` raising `message` for the rows that meet `condition` (empty: every row).
// `event` is "INSERT" or "UPDATE OF column".
void refuseWrites(TestDatabase& db, const QString& table, const QString& event, const QString& condition,
                  const QString& message)
{
    if (tesrtest::onPostgres()) {
        nativeExec(db, QStringLiteral("CREATE FUNCTION refuse_write() RETURNS trigger LANGUAGE plpgsql AS "
                                      "$$ BEGIN RAISE EXCEPTION '%1'; END $$")
                           .arg(message));
        nativeExec(
            db, QStringLiteral("CREATE TRIGGER trgRefuse BEFORE %1 ON %2 FOR EACH ROW %3 EXECUTE FUNCTION "
                               "refuse_write()")
                    .arg(event, table, condition.isEmpty() ? QString() : QStringLiteral("WHEN (%1)").arg(condition)));
    } else {
        nativeExec(db, QStringLiteral("CREATE TRIGGER trgRefuse BEFORE %1 ON %2 %3 BEGIN SELECT RAISE(ABORT, '%4'); "
                                      "END")
                           .arg(event, table,
                                condition.isEmpty() ? QString() : QStringLiteral("WHEN %1").arg(condition), message));
    }
}

void allowWrites(TestDatabase& db, const QString& table)
{
    nativeExec(db, tesrtest::onPostgres() ? QStringLiteral("DROP TRIGGER trgRefuse ON %1").arg(table)
                                          : QStringLiteral("DROP TRIGGER trgRefuse"));
}

template <class T> T* child(QWidget* w, const char* name)
{
    T* c = w->findChild<T*>(QString::fromLatin1(name));
    if (!c)
        qFatal("no control %s", name);
    return c;
}

ComboBox* combo(QWidget* w, const char* name)
{
    return child<ComboBox>(w, name);
}
FlatEdit* edit(QWidget* w, const char* name)
{
    return child<FlatEdit>(w, name);
}
ReportControl* grid(QWidget* w)
{
    return child<ReportControl>(w, "rptOrders");
}
QString summary(QWidget* w)
{
    return child<QLabel>(w, "lblSummary")->text();
}

// The dialog has loaded once its amount box holds the number its leave rule gave it: that is
// the last step of the first activation.
bool loaded(QWidget* w)
{
    return !combo(w, "cboAmount")->Text().isEmpty();
}

// The action runs on the dialog once it has loaded. While the first activation still lets
// events through, the step waits for the next look; so it must be the only step queued, and
// the action queues whatever comes after it.
void whenLoaded(ModalDriver& driver, ModalDriver::Action action)
{
    driver.expect(kScreen, [&driver, action](QWidget* w) {
        if (!loaded(w)) {
            whenLoaded(driver, action);
            return;
        }
        action(w);
    });
}

// The same for another screen opened from the dialog: the action runs once `ready` holds.
void whenReady(ModalDriver& driver, const QString& screen, ModalDriver::Action action,
               std::function<bool(QWidget*)> ready = {})
{
    if (!ready)
        ready = [](QWidget* w) {
            const auto grids = w->findChildren<ReportControl*>();
            return !grids.isEmpty() &&
                   std::all_of(grids.begin(), grids.end(), [](ReportControl* g) { return g->Records().Count() > 0; });
        };
    driver.expect(screen, [&driver, screen, action, ready](QWidget* w) {
        if (!ready(w)) {
            whenReady(driver, screen, action, ready);
            return;
        }
        action(w);
    });
}

// Presses a button once the current step has returned, for a press that opens a modal window.
void clickLater(QWidget* w, const char* button)
{
    const QString name = QString::fromLatin1(button);
    QTimer::singleShot(0, w, [w, name] { tesrtest::clickButton(w, name); });
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

// The user selects what the field holds and types over it (every key a real edit).
void typeOver(QWidget* field, const QString& text)
{
    field->setFocus(Qt::TabFocusReason);
    QTest::keyClick(field, Qt::Key_A, Qt::ControlModifier);
    if (text.isEmpty())
        QTest::keyClick(field, Qt::Key_Delete);
    else
        typeText(field, text);
}

// Types a value into the "To Allocate" cell of a record and presses Enter.
void allocate(ReportControl* g, int record, const QString& text, int column = 4)
{
    ReportRow* row = g->Rows().FindRow(g->Records().Record(record));
    QVERIFY(row);
    const QRect cell = g->CellRect(row, g->Columns().Column(column));
    QTest::mouseClick(g->viewport(), Qt::LeftButton, Qt::NoModifier, cell.center());
    for (const QChar c : text)
        typeText(QApplication::focusWidget(), QString(c));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    // The grid reports the change once the editor has closed, as the event loop goes on.
    QCoreApplication::processEvents();
}

// Picks a payment method by walking the pick-only box with the arrow keys.
void pickMethod(QWidget* w, const QString& name)
{
    ComboBox* box = combo(w, "cboPaymentMethod");
    box->setFocus(Qt::TabFocusReason);
    QTest::keyClick(box, Qt::Key_Home);
    for (int i = 0; i < box->ListCount() && box->Text() != name; ++i)
        QTest::keyClick(box, Qt::Key_Down);
    QCOMPARE(box->Text(), name);
}

QString caption(ReportControl* g, int record, int item)
{
    return g->Records().Record(record)->Item(item)->Caption();
}

Currency value(ReportControl* g, int record, int item)
{
    return g->Records().Record(record)->Item(item)->Value().value<Currency>();
}

QStringList comboEntries(ComboBox* box)
{
    QStringList out;
    for (int i = 0; i < box->ListCount(); ++i)
        out << box->List(i) + u'=' + QString::number(box->ItemData(i));
    return out;
}

// "UniqueID=amount" for every allocation of a payment, in the order they were written.
QStringList allocations(TestDatabase& db, int payment)
{
    QStringList out;
    auto rs = db.connection().OpenRecordset(
        QStringLiteral("SELECT OrderUniqueID, Amount FROM PaymentAllocations WHERE PaymentID = %1 ORDER BY ID")
            .arg(payment));
    for (; rs && !rs->Eof(); rs->MoveNext())
        out << rs->Field(QStringLiteral("OrderUniqueID")).toString() + u'=' +
                   Currency::fromVariant(rs->Field(QStringLiteral("Amount")))->toPlainString();
    return out;
}

// "customer|order|text" for every activity line, in the order they were written.
QStringList activity(TestDatabase& db)
{
    QStringList out;
    auto rs = db.connection().OpenRecordset(
        QStringLiteral("SELECT CustomerID, OrderID, Description FROM ActivityHistory ORDER BY ID"));
    for (; rs && !rs->Eof(); rs->MoveNext())
        out << QStringLiteral("%1|%2|%3")
                   .arg(rs->Field(QStringLiteral("CustomerID")).toInt())
                   .arg(rs->Field(QStringLiteral("OrderID")).toInt())
                   .arg(rs->Field(QStringLiteral("Description")).toString());
    return out;
}

// An order's Payments and Balance.
QString orderFigures(TestDatabase& db, int order)
{
    return db.money(QStringLiteral("SELECT Payments FROM Orders WHERE ID = %1").arg(order)).toPlainString() + u'/' +
           db.money(QStringLiteral("SELECT Balance FROM Orders WHERE ID = %1").arg(order)).toPlainString();
}

int paymentCount(TestDatabase& db)
{
    return db.count(QStringLiteral("SELECT COUNT(*) FROM Payments"));
}

// Nothing of a refused or failed save may be in the database.
void verifyUntouched(TestDatabase& db, const Shop& s)
{
    QCOMPARE(paymentCount(db), 1); // Baker's credit payment only
    QCOMPARE(db.count(QStringLiteral("SELECT COUNT(*) FROM PaymentAllocations")), 0);
    QCOMPARE(orderFigures(db, s.orderA), QStringLiteral("0/800"));
    QCOMPARE(orderFigures(db, s.orderB), QStringLiteral("0/2000"));
    QCOMPARE(db.count(QStringLiteral("SELECT COUNT(*) FROM ActivityHistory")), 0);
}

void render(QWidget* w, const QString& file)
{
    const QString dir = qEnvironmentVariable("TESR_RENDER_DIR");
    if (!dir.isEmpty())
        w->grab().save(dir + u'/' + file);
}

void forgetPlacement()
{
    helperFactory().CreateRegistryTools()->WriteString(RegistryTools::HKEY_CURRENT_USER_ROOT,
                                                       QString::fromLatin1(modSharedWork::WindowPositionsKey),
                                                       QStringLiteral("New Payment"), QString());
}

QString storedPlacement()
{
    return helperFactory().CreateRegistryTools()->ReadString(RegistryTools::HKEY_CURRENT_USER_ROOT,
                                                             QString::fromLatin1(modSharedWork::WindowPositionsKey),
                                                             QStringLiteral("New Payment"), QString());
}

// Local time is universal time minus five hours while these tests run.
modSharedDateTime::TimeZoneInfo fiveHoursWest()
{
    modSharedDateTime::TimeZoneInfo tz;
    tz.bias = 300;
    tz.daylightBias = -60;
    return tz;
}

QString todayText()
{
    return Regional::formatShortDate(OleDate::fromParts(QDate::currentDate()));
}

} // namespace

class TestNewPayment : public QObject {
    Q_OBJECT

private slots:
    void init()
    {
        forgetPlacement();
        modSharedDateTime::setTimeZoneSource(fiveHoursWest);
    }
    void cleanup() { modSharedDateTime::setTimeZoneSource({}); }

    // Every control by its name and caption, the seven columns, the orders that may take a
    // payment, the presets of the first one and the defaults of the payment fields.
    void opensLoaded()
    {
        TestHost h;
        const Shop s = makeShop(h.db());
        ModalDriver driver;
        QStringList texts, columns, records, presets, methods;
        QString amount, date, month, year, summaryText, title, fontFamily;
        bool creditShown = true, timerActive = true, customerEnabled = false, cardEnabled = true;
        int focusedRecord = -1, timerInterval = 0;
        whenLoaded(driver, [&](QWidget* w) {
            title = w->windowTitle();
            fontFamily = w->font().family() + u' ' + QString::number(w->font().pointSizeF());
            for (const char* name : {"Label4", "Label5", "lblSummary", "lblAmount", "Label1", "lblPaymentDate",
                                     "lblCardNumber", "lblNameOnCard", "lblExpireDate", "lblExpireDate2", "Label3"})
                texts << child<QLabel>(w, name)->text();
            for (const char* name : {"cmdCredit", "cmdOK", "cmdCancel"})
                texts << child<QAbstractButton>(w, name)->text();
            texts << child<QLabel>(w, "Image1")->toolTip();
            QCOMPARE(child<QLabel>(w, "Label4")->buddy(), combo(w, "cboCustomer"));
            QCOMPARE(child<QLabel>(w, "lblAmount")->buddy(), combo(w, "cboAmount"));
            QCOMPARE(child<QLabel>(w, "lblNameOnCard")->buddy(), edit(w, "txtNameOnCard"));
            QVERIFY(child<QWidget>(w, "GroupBox1"));
            QVERIFY(child<QWidget>(w, "DatePicker1")->isHidden());
            QVERIFY(child<QWidget>(w, "cmdPaymentDate")->isVisible());

            ReportControl* g = grid(w);
            QCOMPARE(g->CustomDraw(), 4);
            QCOMPARE(g->PaintManager().TextFont().pointSizeF(), 10.0);
            for (int i = 0; i < g->Columns().Count(); ++i) {
                const ReportColumn* c = g->Columns().Column(i);
                columns << QStringLiteral("%1:%2:%3:%4:%5:%6:%7")
                               .arg(c->ItemIndex())
                               .arg(c->Caption())
                               // The last visible column takes the grid's spare width.
                               .arg(c->ItemIndex() == 5 && c->Width() >= 85 ? 85 : c->Width())
                               .arg(c->Resizable())
                               .arg(c->Editable())
                               .arg(c->Alignment() & Qt::AlignRight ? QStringLiteral("R") : QStringLiteral("L"))
                               .arg(c->Visible());
                QCOMPARE(c->HeaderAlignment(), c->Alignment());
            }
            for (int r = 0; r < g->Records().Count(); ++r) {
                const ReportRecord* rec = g->Records().Record(r);
                QStringList cells{rec->Tag()};
                for (int k = 0; k < rec->ItemCount(); ++k)
                    cells << rec->Item(k)->Caption();
                records << cells.join(u'|');
                for (int k = 2; k <= 5; ++k)
                    QVERIFY(rec->Item(k)->Value().canConvert<Currency>());
            }
            QCOMPARE(value(g, 1, 3), money("1000.5"));
            focusedRecord = g->FocusedRow() ? g->FocusedRow()->Record()->Index() : -1;
            presets = comboEntries(combo(w, "cboAmount"));
            methods = comboEntries(combo(w, "cboPaymentMethod"));
            amount = combo(w, "cboAmount")->Text();
            date = edit(w, "txtPaymentDate")->Text();
            month = edit(w, "txtExpireMonth")->Text();
            year = edit(w, "txtExpireYear")->Text();
            summaryText = summary(w);
            creditShown = child<PushButton>(w, "cmdCredit")->Visible();
            auto* timer = w->findChild<QTimer*>(QStringLiteral("tmrSetAmount"));
            timerActive = timer->isActive();
            timerInterval = timer->interval();
            customerEnabled = combo(w, "cboCustomer")->isEnabled();
            QCOMPARE(combo(w, "cboCustomer")->Text(), QStringLiteral("Abbott Interiors"));
            cardEnabled = edit(w, "txtCardNumber")->isEnabled();
            tesrtest::clickButton(w, QStringLiteral("cmdCancel"));
        });
        QCOMPARE(h.library().ShowNewPayment(s.abbott), 0);
        QVERIFY2(driver.waitDone(), qPrintable(driver.failure()));

        QCOMPARE(title, QStringLiteral("New Payment"));
        QCOMPARE(fontFamily, QStringLiteral("Verdana 9.75"));
        QCOMPARE(texts, (QStringList{"&Customer:", "Orders:", "Allocated: $0.00, Unallocated: $0.00",
                                     "&Amount:", "&Payment method:", "&Received on:", "Card number:", "&Name on card:",
                                     "&Expires on:", "/", "Memo:", "Allocate Credit...", "OK", "Cancel",
                                     "4 characters only; enter the last 4 of the CC."}));
        QCOMPARE(columns, (QStringList{"0:Number:65:1:0:L:1", "1:Sidemark:100:1:0:L:1", "2:Balance:85:1:0:R:1",
                                       "3:Req. Deposit.:85:1:0:R:1", "4:To Allocate:85:1:1:R:1",
                                       "5:New Balance:85:1:0:R:1", "6:UniqueID:16:0:0:L:0"}));
        // Only the order and the sale, in the order the database returned them, trimmed.
        QCOMPARE(
            records,
            (QStringList{QStringLiteral("%1|1001|Kitchen|$800.00|$400.00|$0.00|$800.00|SO-1001").arg(s.orderA),
                         QStringLiteral("%1|1002|Bath|$2,000.00|$1,000.50|$0.00|$2,000.00|SO-1002").arg(s.orderB)}));
        QCOMPARE(focusedRecord, 0);
        QCOMPARE(presets, (QStringList{"$80.00 (10%)=80", "$120.00 (15%)=120", "$160.00 (20%)=160", "$200.00 (25%)=200",
                                       "$240.00 (30%)=240", "$400.00 (50%)=400", "$520.00 (65%)=520",
                                       "$600.00 (75%)=600", "$640.00 (80%)=640", "$720.00 (90%)=720"}));
        QCOMPARE(methods, (QStringList{QStringLiteral("Cash=%1").arg(s.cash), QStringLiteral("Check=%1").arg(s.check),
                                       QStringLiteral("Visa=%1").arg(s.visa)}));
        QCOMPARE(amount, QStringLiteral("0"));
        QCOMPARE(date, todayText());
        QCOMPARE(month, QStringLiteral("1"));
        QCOMPARE(year, QString::number(QDate::currentDate().year()));
        QCOMPARE(summaryText, QStringLiteral("Allocated: $0.00, Unallocated: $0.00"));
        QVERIFY(!creditShown);
        QVERIFY(!timerActive);
        QCOMPARE(timerInterval, 100);
        QVERIFY(customerEnabled);
        QVERIFY(!cardEnabled); // no method chosen yet
        QVERIFY(h.prompter().calls().isEmpty());
        QCOMPARE(paymentCount(h.db()), 1);
        QVERIFY(!storedPlacement().isEmpty());
    }

    void closingSavesNothing_data()
    {
        QTest::addColumn<QString>("how");
        QTest::newRow("Cancel") << "cancel";
        QTest::newRow("Escape") << "escape";
        QTest::newRow("close box") << "close";
    }
    void closingSavesNothing()
    {
        QFETCH(QString, how);
        TestHost h;
        const Shop s = makeShop(h.db());
        ModalDriver driver;
        whenLoaded(driver, [&](QWidget* w) {
            typeOver(combo(w, "cboAmount"), QStringLiteral("100"));
            allocate(grid(w), 0, QStringLiteral("100"));
            if (how == QLatin1String("cancel"))
                tesrtest::clickButton(w, QStringLiteral("cmdCancel"));
            else if (how == QLatin1String("escape"))
                QTest::keyClick(grid(w), Qt::Key_Escape);
            else
                w->close();
        });
        QCOMPARE(h.library().ShowNewPayment(s.abbott), 0);
        QVERIFY2(driver.waitDone(), qPrintable(driver.failure()));
        verifyUntouched(h.db(), s);
        QVERIFY(!storedPlacement().isEmpty());
    }

    // The main road: an amount typed with grouping, spread over two orders, saved in one go.
    void paymentSplitOverTwoOrders()
    {
        TestHost h;
        const Shop s = makeShop(h.db());
        ModalDriver driver;
        QString amountAfterLeaving, summaryText, newBalances;
        whenLoaded(driver, [&](QWidget* w) {
            pickMethod(w, QStringLiteral("Check"));
            typeOver(combo(w, "cboAmount"), QStringLiteral("1,234.50"));
            ReportControl* g = grid(w);
            allocate(g, 0, QStringLiteral("600"));
            amountAfterLeaving = combo(w, "cboAmount")->Text();
            allocate(g, 1, QStringLiteral("$634.50"));
            newBalances = caption(g, 0, 5) + u' ' + caption(g, 1, 5);
            summaryText = summary(w);
            typeOver(edit(w, "txtDescription"), QStringLiteral("Deposit"));
            tesrtest::clickButton(w, QStringLiteral("cmdOK"));
        });
        const int id = h.library().ShowNewPayment(s.abbott);
        QVERIFY2(driver.waitDone(), qPrintable(driver.failure()));
        QVERIFY2(h.prompter().ok(), qPrintable(h.prompter().failures()));
        QVERIFY(h.prompter().calls().isEmpty()); // fully allocated: no question

        QCOMPARE(amountAfterLeaving, QStringLiteral("1234.5"));
        QCOMPARE(newBalances, QStringLiteral("$200.00 $1,365.50"));
        QCOMPARE(summaryText, QStringLiteral("Allocated: $1,234.50, Unallocated: $0.00"));
        QVERIFY(id > 0);
        TestDatabase& db = h.db();
        QCOMPARE(db.money(QStringLiteral("SELECT Amount FROM Payments WHERE ID = %1").arg(id)), money("1234.5"));
        QCOMPARE(db.money(QStringLiteral("SELECT Allocated FROM Payments WHERE ID = %1").arg(id)), money("1234.5"));
        QCOMPARE(db.count(QStringLiteral("SELECT PaymentMethodID FROM Payments WHERE ID = %1").arg(id)), s.check);
        QCOMPARE(db.count(QStringLiteral("SELECT CustomerID FROM Payments WHERE ID = %1").arg(id)), s.abbott);
        QCOMPARE(db.scalar(QStringLiteral("SELECT Description FROM Payments WHERE ID = %1").arg(id)).toString(),
                 QStringLiteral("Deposit"));
        // Midnight local time, stored in universal time five hours later.
        QCOMPARE(
            OleDate::fromVariant(db.scalar(QStringLiteral("SELECT PaymentDate FROM Payments WHERE ID = %1").arg(id))),
            OleDate::fromParts(QDate::currentDate(), QTime(5, 0)));
        QCOMPARE(allocations(db, id), (QStringList{"SO-1001=600", "SO-1002=634.5"}));
        QCOMPARE(orderFigures(db, s.orderA), QStringLiteral("600/200"));
        QCOMPARE(orderFigures(db, s.orderB), QStringLiteral("634.5/1365.5"));
        QCOMPARE(
            activity(db),
            (QStringList{QStringLiteral("%1|%2|A payment of $600.00 was applied.").arg(s.abbott).arg(s.orderA),
                         QStringLiteral("%1|%2|A payment of $634.50 was applied.").arg(s.abbott).arg(s.orderB),
                         QStringLiteral("%1|0|A payment of $1,234.50 was applied to this customer.").arg(s.abbott)}));
    }

    // Amount left in the box while OK is pressed: its leave rule runs first, so the statement
    // only ever gets a plain number.
    void amountStillBeingTypedAtOK_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("stored");
        QTest::addColumn<bool>("byKeyboard");
        QTest::newRow("grouping, Enter") << "2,500.25"
                                         << "2500.25" << true;
        QTest::newRow("grouping, mouse") << "2,500.25"
                                         << "2500.25" << false;
        QTest::newRow("more than four decimals") << "10.123456"
                                                 << "10.1235" << true;
    }
    void amountStillBeingTypedAtOK()
    {
        QFETCH(QString, typed);
        QFETCH(QString, stored);
        QFETCH(bool, byKeyboard);
        TestHost h;
        const Shop s = makeShop(h.db());
        h.prompter().expectQuestion(ScriptedPrompter::Yes, kCreditQ);
        ModalDriver driver;
        whenLoaded(driver, [&](QWidget* w) {
            pickMethod(w, QStringLiteral("Cash"));
            typeOver(combo(w, "cboAmount"), typed);
            if (byKeyboard)
                QTest::keyClick(combo(w, "cboAmount"), Qt::Key_Return);
            else
                tesrtest::clickButton(w, QStringLiteral("cmdOK"));
        });
        const int id = h.library().ShowNewPayment(s.abbott);
        QVERIFY2(driver.waitDone(), qPrintable(driver.failure()));
        QVERIFY2(h.prompter().ok(), qPrintable(h.prompter().failures()));
        QVERIFY(id > 0);
        QCOMPARE(h.db().money(QStringLiteral("SELECT Amount FROM Payments WHERE ID = %1").arg(id)),
                 *Currency::parsePlain(stored));
        QCOMPARE(h.db().money(QStringLiteral("SELECT Allocated FROM Payments WHERE ID = %1").arg(id)), Currency());
    }

    void creditOnlyPayment_data()
    {
        QTest::addColumn<int>("answer");
        QTest::newRow("yes: saved as credit") << int(ScriptedPrompter::Yes);
        QTest::newRow("no: back to the dialog") << int(ScriptedPrompter::No);
    }
    void creditOnlyPayment()
    {
        QFETCH(int, answer);
        TestHost h;
        const Shop s = makeShop(h.db());
        h.prompter().expectQuestion(answer, kCreditQ);
        ModalDriver driver;
        bool stillOpen = false;
        QString amountKept;
        whenLoaded(driver, [&](QWidget* w) {
            pickMethod(w, QStringLiteral("Cash"));
            typeOver(combo(w, "cboAmount"), QStringLiteral("250"));
            tesrtest::clickButton(w, QStringLiteral("cmdOK"));
            stillOpen = w->isVisible();
            amountKept = combo(w, "cboAmount")->Text();
            if (stillOpen)
                tesrtest::clickButton(w, QStringLiteral("cmdCancel"));
        });
        const int id = h.library().ShowNewPayment(s.abbott);
        QVERIFY2(driver.waitDone(), qPrintable(driver.failure()));
        QVERIFY2(h.prompter().ok(), qPrintable(h.prompter().failures()));
        const auto questions = h.prompter().calls(Kind::Question);
        QCOMPARE(int(questions.size()), 1);
        QCOMPARE(questions[0].explanation,
                 QStringLiteral("You are recording a payment of $250.00 for this customer which will be applied as a "
                                "credit. No sales/orders will be affected by this payment."));
        QCOMPARE(questions[0].buttons, 6);
        TestDatabase& db = h.db();
        if (answer == ScriptedPrompter::No) {
            QVERIFY(stillOpen);
            QCOMPARE(amountKept, QStringLiteral("250"));
            QCOMPARE(id, 0);
            verifyUntouched(db, s);
            return;
        }
        QVERIFY(id > 0);
        QCOMPARE(db.money(QStringLiteral("SELECT Amount - Allocated FROM Payments WHERE ID = %1").arg(id)),
                 money("250"));
        QVERIFY(allocations(db, id).isEmpty());
        QCOMPARE(orderFigures(db, s.orderA), QStringLiteral("0/800"));
        QCOMPARE(activity(db),
                 QStringList{QStringLiteral("%1|0|A payment of $250.00 was applied to this customer.").arg(s.abbott)});
    }

    // Each check refuses with its own words, in its place in the order; the dialog stays open
    // with every entry and nothing reaches the database.
    void refusals_data()
    {
        QTest::addColumn<QString>("amount");
        QTest::addColumn<QString>("method");
        QTest::addColumn<bool>("requireCard");
        QTest::addColumn<QString>("card");
        QTest::addColumn<QStringList>("toAllocate"); // per record
        QTest::addColumn<QString>("date");           // typed over today's
        QTest::addColumn<QStringList>("answers");    // the host's questions, in order: y/n
        QTest::addColumn<QString>("message");        // standard message box, or empty
        QTest::addColumn<QStringList>("asked");      // headlines the host showed
        const QStringList none;
        QTest::newRow("zero amount") << "0"
                                     << "Cash" << false << "" << none << "" << none << kAmountMsg << none;
        QTest::newRow("empty amount") << ""
                                      << "Cash" << false << "" << none << "" << none << kAmountMsg << none;
        QTest::newRow("negative amount") << "-5"
                                         << "Cash" << false << "" << none << "" << none << kAmountMsg << none;
        QTest::newRow("letters") << "abc"
                                 << "Cash" << false << "" << none << "" << none << kAmountMsg << none;
        QTest::newRow("out of range") << "1e9"
                                      << "Cash" << false << "" << none << "" << none << kAmountMsg << none;
        QTest::newRow("currency symbol") << "$100"
                                         << "Cash" << false << "" << none << "" << none << kAmountMsg << none;
        QTest::newRow("amount before card details") << "0"
                                                    << "Visa" << true << "" << none << "" << none << kAmountMsg << none;
        QTest::newRow("card number required")
            << "100"
            << "Visa" << true << "" << QStringList{"120"} << "" << none << kCardMsg << none;
        QTest::newRow("name on card required") << "100"
                                               << "Visa" << true << "4242" << none << "" << none << kNameMsg << none;
        QTest::newRow("over-allocated before any question")
            << "100"
            << "Visa" << false << "" << QStringList{"60", "60"} << "" << none << kOverMsg << none;
        QTest::newRow("unreadable date") << "100"
                                         << "Cash" << false << "" << QStringList{"60"} << "31/45/2024" << none
                                         << kDateMsg << none;
        QTest::newRow("partial allocation declined")
            << "100"
            << "Cash" << false << "" << QStringList{"60"} << "" << QStringList{"n"} << "" << QStringList{kPartialQ};
        QTest::newRow("negative allocation after the partial question")
            << "100"
            << "Cash" << false << "" << QStringList{"-10", "50"} << "" << QStringList{"y"} << ""
            << QStringList{kPartialQ, kNegativeNotice};
        QTest::newRow("negative balance declined") << "900"
                                                   << "Cash" << false << "" << QStringList{"900"} << ""
                                                   << QStringList{"n"} << "" << QStringList{kNegativeBalanceQ};
    }
    void refusals()
    {
        QFETCH(QString, amount);
        QFETCH(QString, method);
        QFETCH(bool, requireCard);
        QFETCH(QString, card);
        QFETCH(QStringList, toAllocate);
        QFETCH(QString, date);
        QFETCH(QStringList, answers);
        QFETCH(QString, message);
        QFETCH(QStringList, asked);
        TestHost h;
        const Shop s = makeShop(h.db());
        h.config().setOption(QStringLiteral("Payments"), QStringLiteral("RequireCCDetails"), requireCard ? 1 : 0);
        for (const QString& a : answers)
            h.prompter().expectQuestion(a == QLatin1String("y") ? ScriptedPrompter::Yes : ScriptedPrompter::No);
        ModalDriver driver;
        QString shown;
        QString amountBefore, amountAfter, allocationsAfter, memoAfter;
        auto fill = [&](QWidget* w) {
            pickMethod(w, method);
            typeOver(combo(w, "cboAmount"), amount);
            for (int r = 0; r < toAllocate.size(); ++r)
                allocate(grid(w), r, toAllocate[r]);
            if (!card.isEmpty())
                typeOver(edit(w, "txtCardNumber"), card);
            if (!date.isEmpty())
                typeOver(edit(w, "txtPaymentDate"), date);
            typeOver(edit(w, "txtDescription"), QStringLiteral("kept"));
            amountBefore = combo(w, "cboAmount")->Text();
        };
        auto check = [&](QWidget* w) {
            QVERIFY(w->isVisible());
            amountAfter = combo(w, "cboAmount")->Text();
            for (int r = 0; r < grid(w)->Records().Count(); ++r)
                allocationsAfter += caption(grid(w), r, 4) + u' ';
            memoAfter = edit(w, "txtDescription")->Text();
            tesrtest::clickButton(w, QStringLiteral("cmdCancel"));
        };
        if (!message.isEmpty()) {
            // The steps after the first are queued once the dialog has loaded, so that a
            // look before that cannot get ahead of them.
            whenLoaded(driver, [&](QWidget* w) {
                fill(w);
                clickLater(w, "cmdOK");
                driver.expect(kMessageBox, [&](QWidget* box) {
                    shown = tesrtest::messageBoxText(box);
                    QCOMPARE(box->windowTitle(), QStringLiteral("tesrpay5"));
                    QCOMPARE(qobject_cast<QMessageBox*>(box)->icon(), QMessageBox::Warning);
                    tesrtest::answerMessageBox(box, QMessageBox::Ok);
                });
                driver.expect(kScreen, check);
            });
        } else {
            whenLoaded(driver, [&](QWidget* w) {
                fill(w);
                tesrtest::clickButton(w, QStringLiteral("cmdOK"));
                check(w);
            });
        }
        QCOMPARE(h.library().ShowNewPayment(s.abbott), 0);
        QVERIFY2(driver.waitDone(), qPrintable(driver.failure()));
        QVERIFY2(h.prompter().ok(), qPrintable(h.prompter().failures()));
        QCOMPARE(shown, message);
        QCOMPARE(h.prompter().headlines(), asked);
        QCOMPARE(amountAfter, amountBefore);
        QCOMPARE(memoAfter, QStringLiteral("kept"));
        QStringList expectedCells;
        for (int r = 0; r < 2; ++r)
            expectedCells << Regional::formatCurrency(r < toAllocate.size() ? *Regional::parseCurrency(toAllocate[r])
                                                                            : Currency());
        QCOMPARE(allocationsAfter, expectedCells.join(u' ') + u' ');
        verifyUntouched(h.db(), s);
        if (asked.contains(kPartialQ))
            QCOMPARE(h.prompter().calls()[0].explanation,
                     QStringLiteral("You are recording a payment of $100.00 for this customer but only $%1.00 will be "
                                    "applied to one or more sales/orders. $%2.00 will be applied as a credit to this "
                                    "customer.")
                         .arg(toAllocate.size() == 1 ? 60 : 40)
                         .arg(toAllocate.size() == 1 ? 40 : 60));
        if (asked.contains(kNegativeNotice))
            QCOMPARE(h.prompter().calls().last().buttons, 1);
    }

    // A card method with the option set but the details given, a non-card method with the
    // option set, and a card method without the option all go on to the save.
    void cardDetailsOnlyWhenRequired_data()
    {
        QTest::addColumn<QString>("method");
        QTest::addColumn<QVariant>("option");
        QTest::addColumn<bool>("giveDetails");
        QTest::newRow("card, required, given") << "Visa" << QVariant(1) << true;
        QTest::newRow("card, option as text, given") << "Visa" << QVariant(QStringLiteral("1")) << true;
        QTest::newRow("card, not required, empty") << "Visa" << QVariant(0) << false;
        QTest::newRow("no card, required, empty") << "Check" << QVariant(1) << false;
    }
    void cardDetailsOnlyWhenRequired()
    {
        QFETCH(QString, method);
        QFETCH(QVariant, option);
        QFETCH(bool, giveDetails);
        TestHost h;
        const Shop s = makeShop(h.db());
        h.config().setOption(QStringLiteral("Payments"), QStringLiteral("RequireCCDetails"), option);
        h.prompter().expectQuestion(ScriptedPrompter::Yes, kCreditQ);
        ModalDriver driver;
        bool cardEnabled = false;
        whenLoaded(driver, [&](QWidget* w) {
            pickMethod(w, method);
            cardEnabled = edit(w, "txtCardNumber")->isEnabled();
            for (const char* name : {"lblCardNumber", "lblNameOnCard", "lblExpireDate", "lblExpireDate2",
                                     "txtNameOnCard", "txtExpireMonth", "txtExpireYear"})
                QCOMPARE(child<QWidget>(w, name)->isEnabled(), cardEnabled);
            if (giveDetails) {
                typeOver(edit(w, "txtCardNumber"), QStringLiteral("4242"));
                typeOver(edit(w, "txtNameOnCard"), QStringLiteral("J Smith"));
                typeOver(edit(w, "txtExpireMonth"), QStringLiteral("13")); // out of range: 1
                typeOver(edit(w, "txtExpireYear"), QStringLiteral("2031"));
            }
            typeOver(combo(w, "cboAmount"), QStringLiteral("100"));
            tesrtest::clickButton(w, QStringLiteral("cmdOK"));
        });
        const int id = h.library().ShowNewPayment(s.abbott);
        QVERIFY2(driver.waitDone(), qPrintable(driver.failure()));
        QVERIFY2(h.prompter().ok(), qPrintable(h.prompter().failures()));
        QCOMPARE(cardEnabled, method == QLatin1String("Visa"));
        QVERIFY(id > 0);
        const QString expiry = h.db()
                                   .scalar(QStringLiteral("SELECT CAST(ExpireMonth AS TEXT) || '/' || "
                                                          "CAST(ExpireYear AS TEXT) FROM Payments WHERE ID = %1")
                                               .arg(id))
                                   .toString();
        QCOMPARE(expiry, giveDetails ? QStringLiteral("1/2031")
                                     : QStringLiteral("1/") + QString::number(QDate::currentDate().year()));
    }

    // Switching the method back and forth changes only whether the card fields may be used.
    void cardFieldsFollowTheMethod()
    {
        TestHost h;
        const Shop s = makeShop(h.db());
        ModalDriver driver;
        QStringList states;
        whenLoaded(driver, [&](QWidget* w) {
            pickMethod(w, QStringLiteral("Visa"));
            states << QString::number(edit(w, "txtCardNumber")->isEnabled());
            typeOver(edit(w, "txtCardNumber"), QStringLiteral("4242"));
            pickMethod(w, QStringLiteral("Cash"));
            states << QString::number(edit(w, "txtCardNumber")->isEnabled()) << edit(w, "txtCardNumber")->Text();
            pickMethod(w, QStringLiteral("Visa"));
            states << QString::number(edit(w, "txtCardNumber")->isEnabled()) << edit(w, "txtCardNumber")->Text();
            tesrtest::clickButton(w, QStringLiteral("cmdCancel"));
        });
        h.library().ShowNewPayment(s.abbott);
        QVERIFY2(driver.waitDone(), qPrintable(driver.failure()));
        QCOMPARE(states, (QStringList{"1", "0", "4242", "1", "4242"}));
    }

    // With one order the amount goes to it when the amount box is left; with two nothing is
    // allocated and only the summary follows the amount.
    void oneOrderAutomaticAllocation_data()
    {
        QTest::addColumn<int>("orders");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("toAllocate");
        QTest::addColumn<QString>("newBalance");
        QTest::addColumn<QString>("summaryText");
        QTest::newRow("less than the balance") << 1 << "200"
                                               << "$200.00"
                                               << "$300.00"
                                               << "Allocated: $200.00, Unallocated: $0.00";
        QTest::newRow("more than the balance") << 1 << "800"
                                               << "$500.00"
                                               << "$0.00"
                                               << "Allocated: $500.00, Unallocated: $300.00";
        QTest::newRow("the balance exactly") << 1 << "500"
                                             << "$500.00"
                                             << "$0.00"
                                             << "Allocated: $500.00, Unallocated: $0.00";
        QTest::newRow("letters give 0") << 1 << "abc"
                                        << "$0.00"
                                        << "$500.00"
                                        << "Allocated: $0.00, Unallocated: $0.00";
        QTest::newRow("two orders: nothing allocated") << 2 << "200"
                                                       << "$0.00"
                                                       << "$500.00"
                                                       << "Allocated: $0.00, Unallocated: $200.00";
    }
    void oneOrderAutomaticAllocation()
    {
        QFETCH(int, orders);
        QFETCH(QString, typed);
        QFETCH(QString, toAllocate);
        QFETCH(QString, newBalance);
        QFETCH(QString, summaryText);
        TestHost h;
        TestDatabase& db = h.db();
        db.addPaymentMethod(QStringLiteral("Cash"));
        const int customer = db.addCustomer(QStringLiteral("Cabot Lodge"));
        const int order = db.addOrder(customer, QStringLiteral("CL-1"), money("500"));
        if (orders == 2)
            db.addOrder(customer, QStringLiteral("CL-2"), money("700"));
        const bool saves = orders == 1 && typed == QLatin1String("800");
        if (saves)
            h.prompter().expectQuestion(ScriptedPrompter::Yes, kPartialQ);
        ModalDriver driver;
        QString seenAllocate, seenBalance, seenSummary;
        whenLoaded(driver, [&](QWidget* w) {
            typeOver(combo(w, "cboAmount"), typed);
            QTest::keyClick(combo(w, "cboAmount"), Qt::Key_Tab);
            seenAllocate = caption(grid(w), 0, 4);
            seenBalance = caption(grid(w), 0, 5);
            seenSummary = summary(w);
            pickMethod(w, QStringLiteral("Cash"));
            tesrtest::clickButton(w, saves ? QStringLiteral("cmdOK") : QStringLiteral("cmdCancel"));
        });
        const int id = h.library().ShowNewPayment(customer);
        QVERIFY2(driver.waitDone(), qPrintable(driver.failure()));
        QVERIFY2(h.prompter().ok(), qPrintable(h.prompter().failures()));
        QCOMPARE(seenAllocate, toAllocate);
        QCOMPARE(seenBalance, newBalance);
        QCOMPARE(seenSummary, summaryText);
        if (saves) {
            QCOMPARE(db.money(QStringLiteral("SELECT Allocated FROM Payments WHERE ID = %1").arg(id)), money("500"));
            QCOMPARE(orderFigures(db, order), QStringLiteral("500/0"));
        }
    }

    // "To Allocate" takes what is numeric once dollar signs are removed; the rest is refused and
    // the cell keeps its value.
    void toAllocateEdits_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("kept");
        QTest::newRow("plain") << "150"
                               << "150";
        QTest::newRow("dollar sign") << "$150"
                                     << "150";
        QTest::newRow("grouping") << "$1,000"
                                  << "1000";
        QTest::newRow("cents") << "12.34"
                               << "12.34";
        QTest::newRow("negative") << "-10"
                                  << "-10";
        QTest::newRow("trailing letters refused") << "12abc"
                                                  << "75";
        QTest::newRow("letters refused") << "abc"
                                         << "75";
        QTest::newRow("empty refused") << ""
                                       << "75";
    }
    void toAllocateEdits()
    {
        QFETCH(QString, typed);
        QFETCH(QString, kept);
        TestHost h;
        const Shop s = makeShop(h.db());
        ModalDriver driver;
        Currency held;
        QString shown, newBalance, summaryText;
        whenLoaded(driver, [&](QWidget* w) {
            typeOver(combo(w, "cboAmount"), QStringLiteral("5000"));
            ReportControl* g = grid(w);
            allocate(g, 1, QStringLiteral("75"));
            // The editor opens with the cell's text; the user clears it and types.
            ReportRow* row = g->Rows().FindRow(g->Records().Record(1));
            QTest::mouseClick(g->viewport(), Qt::LeftButton, Qt::NoModifier,
                              g->CellRect(row, g->Columns().Column(4)).center());
            QTest::keyClick(g, Qt::Key_F2);
            QWidget* editor = QApplication::focusWidget();
            QTest::keyClick(editor, Qt::Key_A, Qt::ControlModifier);
            QTest::keyClick(editor, Qt::Key_Delete);
            typeText(editor, typed);
            QTest::keyClick(editor, Qt::Key_Return);
            QCoreApplication::processEvents();
            held = value(g, 1, 4);
            shown = caption(g, 1, 4);
            newBalance = caption(g, 1, 5);
            summaryText = summary(w);
            tesrtest::clickButton(w, QStringLiteral("cmdCancel"));
        });
        h.library().ShowNewPayment(s.abbott);
        QVERIFY2(driver.waitDone(), qPrintable(driver.failure()));
        const Currency expected = *Currency::parsePlain(kept);
        QCOMPARE(held, expected);
        QCOMPARE(shown, Regional::formatCurrency(expected));
        QCOMPARE(newBalance, Regional::formatCurrency(money("2000") - expected));
        QCOMPARE(summaryText,
                 QStringLiteral("Allocated: %1, Unallocated: %2")
                     .arg(Regional::formatCurrency(expected), Regional::formatCurrency(money("5000") - expected)));
    }

    // A preset chosen from the list reaches the amount box on the timer's tick, as a whole
    // number; moving to another order offers its presets and keeps the amount.
    void presetArrivesByTimer()
    {
        TestHost h;
        TestDatabase& db = h.db();
        const int customer = db.addCustomer(QStringLiteral("Preset Partners"));
        db.addOrder(customer, QStringLiteral("PP-1"), money("1234.56"));
        db.addOrder(customer, QStringLiteral("PP-2"), money("5"));
        db.addOrder(customer, QStringLiteral("PP-3"), money("25"));
        ModalDriver driver;
        QString rightAfter, afterTick, afterLeaving;
        QStringList first, second, third;
        bool timerRunning = false, timerStopped = false;
        qint64 waited = 0;
        whenLoaded(driver, [&](QWidget* w) {
            ComboBox* amount = combo(w, "cboAmount");
            first = comboEntries(amount);
            amount->setFocus(Qt::TabFocusReason);
            QTest::keyClick(amount, Qt::Key_F4);
            QTRY_VERIFY(amount->DropDown()->isVisible());
            for (int i = 0; i < 6; ++i)
                QTest::keyClick(amount, Qt::Key_Down); // the sixth entry: 50 per cent
            QElapsedTimer clock;
            clock.start();
            QTest::keyClick(amount, Qt::Key_Return);
            rightAfter = amount->Text();
            auto* timer = w->findChild<QTimer*>(QStringLiteral("tmrSetAmount"));
            timerRunning = timer->isActive();
            QTRY_COMPARE_WITH_TIMEOUT(amount->Text(), QStringLiteral("617"), 2000);
            waited = clock.elapsed();
            afterTick = summary(w);
            timerStopped = !timer->isActive();
            // Leaving the box: the summary follows the amount.
            QTest::keyClick(amount, Qt::Key_Tab);
            afterLeaving = summary(w);
            ReportControl* g = grid(w);
            g->setFocus(Qt::TabFocusReason);
            QTest::keyClick(g, Qt::Key_Down);
            second = comboEntries(amount);
            QTest::keyClick(g, Qt::Key_Down);
            third = comboEntries(amount);
            QCOMPARE(amount->Text(), QStringLiteral("617"));
            tesrtest::clickButton(w, QStringLiteral("cmdCancel"));
        });
        h.library().ShowNewPayment(customer);
        QVERIFY2(driver.waitDone(), qPrintable(driver.failure()));
        QCOMPARE(first, (QStringList{"$123.00 (10%)=123", "$185.00 (15%)=185", "$247.00 (20%)=247", "$309.00 (25%)=309",
                                     "$370.00 (30%)=370", "$617.00 (50%)=617", "$802.00 (65%)=802", "$926.00 (75%)=926",
                                     "$988.00 (80%)=988", "$1,111.00 (90%)=1111"}));
        QCOMPARE(rightAfter, QStringLiteral("$617.00 (50%)"));
        QVERIFY(timerRunning);
        QVERIFY2(waited >= 90, qPrintable(QString::number(waited)));
        QVERIFY(timerStopped);
        QCOMPARE(afterTick, QStringLiteral("Allocated: $0.00, Unallocated: $0.00")); // nothing recomputed yet
        QCOMPARE(afterLeaving, QStringLiteral("Allocated: $0.00, Unallocated: $617.00"));
        // 2.5 and 1.5 both go to the even neighbour; 12.5 too.
        QCOMPARE(second,
                 (QStringList{"$0.00 (10%)=0", "$1.00 (15%)=1", "$1.00 (20%)=1", "$1.00 (25%)=1", "$2.00 (30%)=2",
                              "$2.00 (50%)=2", "$3.00 (65%)=3", "$4.00 (75%)=4", "$4.00 (80%)=4", "$4.00 (90%)=4"}));
        QCOMPARE(third.at(5), QStringLiteral("$12.00 (50%)=12"));
    }

    void customerWithoutOrders()
    {
        TestHost h;
        const Shop s = makeShop(h.db());
        ModalDriver driver;
        int records = -1, presets = -1;
        whenLoaded(driver, [&](QWidget* w) {
            records = grid(w)->Records().Count();
            presets = combo(w, "cboAmount")->ListCount();
            tesrtest::clickButton(w, QStringLiteral("cmdCancel"));
        });
        h.library().ShowNewPayment(s.barker);
        QVERIFY2(driver.waitDone(), qPrintable(driver.failure()));
        QCOMPARE(records, 0);
        QCOMPARE(presets, 0);
    }

    // Typing part of a name offers the matches without touching the orders; a text that is no
    // customer changes nothing when the box is left; choosing an entry takes that customer,
    // with the credit notice, and the payment is saved for them.
    void typeAheadChoosesAnotherCustomer()
    {
        TestHost h;
        const Shop s = makeShop(h.db());
        h.prompter().expectQuestion(ScriptedPrompter::Yes, kPartialQ);
        ModalDriver driver;
        QStringList offered;
        QString ordersWhileTyping, ordersAfterLeaving, ordersAfterChoosing, creditButton;
        auto orderTags = [](QWidget* w) {
            QStringList tags;
            for (int r = 0; r < grid(w)->Records().Count(); ++r)
                tags << grid(w)->Records().Record(r)->Tag();
            return tags.join(u',');
        };
        whenLoaded(driver, [&](QWidget* w) {
            ComboBox* customer = combo(w, "cboCustomer");
            typeOver(customer, QStringLiteral("Bark"));
            ordersWhileTyping = orderTags(w);
            QTest::keyClick(customer, Qt::Key_Tab);
            ordersAfterLeaving = orderTags(w) + u'|' + customer->Text();
            typeOver(customer, QStringLiteral("Ba"));
            offered = comboEntries(customer);
            QVERIFY(customer->DropDown()->isVisible());
            QTest::keyClick(customer, Qt::Key_Down);
            QTest::keyClick(customer, Qt::Key_Return);
            ordersAfterChoosing = orderTags(w) + u'|' + customer->Text();
            creditButton = QString::number(child<PushButton>(w, "cmdCredit")->Visible());
            pickMethod(w, QStringLiteral("Cash"));
            typeOver(combo(w, "cboAmount"), QStringLiteral("400"));
            QTest::keyClick(combo(w, "cboAmount"), Qt::Key_Tab); // one order: 300 of it allocated
            tesrtest::clickButton(w, QStringLiteral("cmdOK"));
        });
        const int id = h.library().ShowNewPayment(s.abbott);
        QVERIFY2(driver.waitDone(), qPrintable(driver.failure()));
        QVERIFY2(h.prompter().ok(), qPrintable(h.prompter().failures()));
        const QString abbottOrders = QStringLiteral("%1,%2").arg(s.orderA).arg(s.orderB);
        QCOMPARE(ordersWhileTyping, abbottOrders);
        QCOMPARE(ordersAfterLeaving, abbottOrders + QStringLiteral("|Bark"));
        QCOMPARE(offered, (QStringList{QStringLiteral("Baker & Sons=%1").arg(s.baker),
                                       QStringLiteral("Barker Supply=%1").arg(s.barker)}));
        QCOMPARE(ordersAfterChoosing, QString::number(s.bakerOrder) + QStringLiteral("|Baker & Sons"));
        QCOMPARE(creditButton, QStringLiteral("1"));
        QCOMPARE(h.prompter().headlines(), (QStringList{kCreditNotice, kPartialQ}));
        QCOMPARE(h.prompter().calls()[0].explanation,
                 QStringLiteral("You should allocate the remaining amounts of past payments before recording new "
                                "payments. Click the Allocate Credit button to assign the un-used portion of past "
                                "payments."));
        QVERIFY(id > 0);
        QCOMPARE(h.db().count(QStringLiteral("SELECT CustomerID FROM Payments WHERE ID = %1").arg(id)), s.baker);
        QCOMPARE(allocations(h.db(), id), QStringList{"SO-2001=300"});
        QCOMPARE(orderFigures(h.db(), s.bakerOrder), QStringLiteral("300/0"));
        QCOMPARE(orderFigures(h.db(), s.orderA), QStringLiteral("0/800"));
    }

    // Typing a customer's whole name and leaving the box takes that customer too.
    void leavingWithAWholeNameTakesTheCustomer()
    {
        TestHost h;
        const Shop s = makeShop(h.db());
        ModalDriver driver;
        int records = -1;
        QString tag;
        whenLoaded(driver, [&](QWidget* w) {
            typeOver(combo(w, "cboCustomer"), QStringLiteral("Baker & Sons"));
            QTest::keyClick(combo(w, "cboCustomer"), Qt::Key_Tab);
            records = grid(w)->Records().Count();
            tag = records == 1 ? grid(w)->Records().Record(0)->Tag() : QString();
            tesrtest::clickButton(w, QStringLiteral("cmdCancel"));
        });
        h.library().ShowNewPayment(s.abbott);
        QVERIFY2(driver.waitDone(), qPrintable(driver.failure()));
        QCOMPARE(records, 1);
        QCOMPARE(tag, QString::number(s.bakerOrder));
        QCOMPARE(h.prompter().headlines(), QStringList{kCreditNotice});
    }

    // Opened for an order's customer, the customer cannot be changed.
    void forcedCustomerIsLocked()
    {
        TestHost h;
        const Shop s = makeShop(h.db());
        ModalDriver driver;
        bool enabled = true;
        QString name;
        int records = -1;
        whenLoaded(driver, [&](QWidget* w) {
            enabled = combo(w, "cboCustomer")->isEnabled();
            name = combo(w, "cboCustomer")->Text();
            records = grid(w)->Records().Count();
            tesrtest::clickButton(w, QStringLiteral("cmdCancel"));
        });
        QCOMPARE(h.library().ShowNewPayment(s.baker, true), 0);
        QVERIFY2(driver.waitDone(), qPrintable(driver.failure()));
        QVERIFY(!enabled);
        QCOMPARE(name, QStringLiteral("Baker & Sons"));
        QCOMPARE(records, 1);
        QCOMPARE(h.prompter().headlines(), QStringList{kCreditNotice}); // once per load of the customer
    }

    // The database refuses one of the writes: everything of the save is rolled back, the dialog
    // keeps every entry, and the next OK saves from scratch.
    void refusedWriteRollsBack_data()
    {
        QTest::addColumn<QString>("table");
        QTest::addColumn<QString>("event");
        QTest::addColumn<QString>("condition");
        QTest::addColumn<bool>("reported");
        QTest::newRow("second allocation") << "PaymentAllocations"
                                           << "INSERT"
                                           << "NEW.OrderUniqueID = 'SO-1002'" << false;
        QTest::newRow("second order update") << "Orders"
                                             << "UPDATE OF Balance"
                                             << "OLD.UniqueID = 'SO-1002'" << false;
        QTest::newRow("payment row") << "Payments"
                                     << "INSERT"
                                     << "" << true;
    }
    void refusedWriteRollsBack()
    {
        QFETCH(QString, table);
        QFETCH(QString, event);
        QFETCH(QString, condition);
        QFETCH(bool, reported);
        TestHost h;
        const Shop s = makeShop(h.db());
        refuseWrites(h.db(), table, event, condition,
                     reported ? QStringLiteral("payments closed") : QStringLiteral("order locked"));
        ModalDriver driver;
        QString afterFailure;
        QStringList errors;
        whenLoaded(driver, [&](QWidget* w) {
            pickMethod(w, QStringLiteral("Visa"));
            typeOver(edit(w, "txtCardNumber"), QStringLiteral("4242"));
            typeOver(combo(w, "cboAmount"), QStringLiteral("1000"));
            allocate(grid(w), 0, QStringLiteral("600"));
            allocate(grid(w), 1, QStringLiteral("400"));
            tesrtest::clickButton(w, QStringLiteral("cmdOK"));
            QVERIFY(w->isVisible());
            afterFailure = combo(w, "cboAmount")->Text() + u'|' + caption(grid(w), 0, 4) + u'|' +
                           caption(grid(w), 1, 4) + u'|' + edit(w, "txtCardNumber")->Text();
            for (const auto& c : h.prompter().calls(Kind::Error))
                errors << c.headline << c.explanation << c.detail;
            verifyUntouched(h.db(), s);
            allowWrites(h.db(), table);
            tesrtest::clickButton(w, QStringLiteral("cmdOK"));
        });
        const int id = h.library().ShowNewPayment(s.abbott);
        QVERIFY2(driver.waitDone(), qPrintable(driver.failure()));
        QCOMPARE(afterFailure, QStringLiteral("1000|$600.00|$400.00|4242"));
        if (reported) {
            QCOMPARE(errors.size(), 3);
            QCOMPARE(errors[0], kSaveFailed);
            QCOMPARE(errors[1], QStringLiteral("This typically happens if the database is in use by another user or "
                                               "program. Try saving again. If the problem persists, close the "
                                               "program, restart and try again."));
            QVERIFY2(errors[2].contains(QStringLiteral("payments closed")), qPrintable(errors[2]));
        } else {
            QVERIFY(errors.isEmpty());
        }
        QVERIFY(id > 0);
        TestDatabase& db = h.db();
        QCOMPARE(paymentCount(db), 2);
        QCOMPARE(allocations(db, id), (QStringList{"SO-1001=600", "SO-1002=400"}));
        QCOMPARE(db.money(QStringLiteral("SELECT Allocated FROM Payments WHERE ID = %1").arg(id)), money("1000"));
        QCOMPARE(orderFigures(db, s.orderA), QStringLiteral("600/200"));
        QCOMPARE(orderFigures(db, s.orderB), QStringLiteral("400/1600"));
        QCOMPARE(activity(db).size(), 3);
    }

    // Another program holds a lock the save needs beyond the busy timeout (SQLite: the
    // database's write lock; PostgreSQL: the order's row): the save fails and leaves nothing,
    // and succeeds once the lock is gone.
    void lockedDatabase()
    {
        TestHost h;
        const Shop s = makeShop(h.db());
        std::unique_ptr<Connection> other = h.db().openConnection();
        QVERIFY(other->BeginTrans());
        QVERIFY(other->Execute(QStringLiteral("UPDATE Orders SET Sidemark = 'Kitchen' WHERE UniqueID = 'SO-1001'")));
        ModalDriver driver(20000);
        QStringList errors;
        qint64 waited = 0;
        whenLoaded(driver, [&](QWidget* w) {
            pickMethod(w, QStringLiteral("Cash"));
            typeOver(combo(w, "cboAmount"), QStringLiteral("800"));
            allocate(grid(w), 0, QStringLiteral("800"));
            QElapsedTimer clock;
            clock.start();
            tesrtest::clickButton(w, QStringLiteral("cmdOK"));
            waited = clock.elapsed();
            QVERIFY(w->isVisible());
            QCOMPARE(caption(grid(w), 0, 4), QStringLiteral("$800.00"));
            for (const auto& c : h.prompter().calls(Kind::Error))
                errors << c.headline;
            QVERIFY(other->RollbackTrans());
            tesrtest::clickButton(w, QStringLiteral("cmdOK"));
        });
        const int id = h.library().ShowNewPayment(s.abbott);
        QVERIFY2(driver.waitDone(30000), qPrintable(driver.failure()));
        other->Close();
        QVERIFY2(waited >= 4000, qPrintable(QString::number(waited)));
        // SQLite refuses the transaction itself, which is reported; on PostgreSQL the order's
        // update fails inside it, which the dialog leaves to the user to retry.
        QCOMPARE(errors, tesrtest::onPostgres() ? QStringList{} : QStringList{kSaveFailed});
        QVERIFY(id > 0);
        QCOMPARE(orderFigures(h.db(), s.orderA), QStringLiteral("800/0"));
        QCOMPARE(paymentCount(h.db()), 2);
        QCOMPARE(activity(h.db()).size(), 2);
    }

    // Whatever the user types is saved exactly: quotes, line breaks, percent signs, markers,
    // non-ASCII; an order whose UniqueID holds a quote is allocated like any other.
    void textsSavedIntact()
    {
        TestHost h;
        TestDatabase& db = h.db();
        db.addPaymentMethod(QStringLiteral("Visa"), 1);
        const int customer = db.addCustomer(QStringLiteral("O'Hara & Söhne"));
        const int order = db.addOrder(customer, QStringLiteral("SO-'9"), money("100"));
        const QString memo = QStringLiteral("Line 1\r\nLine 2 – 'quoted' 50% <amt> <desc> {0} ü");
        const QString name = QStringLiteral("Zoë O'Brien, 100%");
        h.prompter().expectQuestion(ScriptedPrompter::Yes, kPartialQ);
        ModalDriver driver;
        QString customerShown;
        whenLoaded(driver, [&](QWidget* w) {
            customerShown = combo(w, "cboCustomer")->Text();
            pickMethod(w, QStringLiteral("Visa"));
            typeOver(edit(w, "txtCardNumber"), QStringLiteral("12'4"));
            typeOver(edit(w, "txtNameOnCard"), name);
            edit(w, "txtDescription")->SetText(memo); // pasted
            typeOver(combo(w, "cboAmount"), QStringLiteral("75.5"));
            QTest::keyClick(combo(w, "cboAmount"), Qt::Key_Tab);
            allocate(grid(w), 0, QStringLiteral("10"));
            tesrtest::clickButton(w, QStringLiteral("cmdOK"));
        });
        const int id = h.library().ShowNewPayment(customer);
        QVERIFY2(driver.waitDone(), qPrintable(driver.failure()));
        QVERIFY2(h.prompter().ok(), qPrintable(h.prompter().failures()));
        QCOMPARE(customerShown, QStringLiteral("O'Hara & Söhne"));
        QVERIFY(id > 0);
        auto text = [&](const char* column) {
            return db.scalar(QStringLiteral("SELECT %1 FROM Payments WHERE ID = %2").arg(QLatin1String(column)).arg(id))
                .toString();
        };
        QCOMPARE(text("Description"), memo);
        QCOMPARE(text("CardNumber"), QStringLiteral("12'4"));
        QCOMPARE(text("NameOnCard"), name);
        QCOMPARE(db.money(QStringLiteral("SELECT Amount FROM Payments WHERE ID = %1").arg(id)), money("75.5"));
        QCOMPARE(allocations(db, id), QStringList{"SO-'9=10"});
        QCOMPARE(orderFigures(db, order), QStringLiteral("10/90"));
        QCOMPARE(activity(db).last(),
                 QStringLiteral("%1|0|A payment of $75.50 was applied to this customer.").arg(customer));
    }

    // The calendar opens under the date box on the box's day; a chosen day lands in the box,
    // closing it without a choice changes nothing.
    void pickDateUnderTheBox()
    {
        TestHost h;
        const Shop s = makeShop(h.db());
        ModalDriver driver;
        QPoint shownAt, expectedAt;
        QString monthShown, afterPick, afterEscape;
        bool noneShown = true, dateFocused = false;
        whenLoaded(driver, [&](QWidget* w) {
            typeOver(edit(w, "txtPaymentDate"), QStringLiteral("3/15/2024"));
            FlatEdit* box = edit(w, "txtPaymentDate");
            expectedAt = w->mapToGlobal(QPoint(box->x(), box->y() + box->height() + 1));
            clickLater(w, "cmdPaymentDate");
            driver.expect(QStringLiteral("DatePicker1"), [&](QWidget* picker) {
                shownAt = picker->pos();
                noneShown = picker->findChild<QAbstractButton*>(QStringLiteral("buttonNone"))->isVisible();
                auto* calendar = picker->findChild<QCalendarWidget*>(QStringLiteral("calendar0"));
                monthShown = calendar->selectedDate().toString(Qt::ISODate);
                auto* view = calendar->findChild<QTableView*>();
                QTest::keyClick(view, Qt::Key_Right); // the 16th
                QTest::keyClick(view, Qt::Key_Return);
            });
            driver.expect(kScreen, [&](QWidget* w2) {
                afterPick = edit(w2, "txtPaymentDate")->Text();
                dateFocused = edit(w2, "txtPaymentDate")->hasFocus();
                clickLater(w2, "cmdPaymentDate");
                driver.expect(QStringLiteral("DatePicker1"), [](QWidget* picker) {
                    auto* view =
                        picker->findChild<QCalendarWidget*>(QStringLiteral("calendar0"))->findChild<QTableView*>();
                    QTest::keyClick(view, Qt::Key_Escape);
                });
                driver.expect(kScreen, [&](QWidget* w3) {
                    afterEscape = edit(w3, "txtPaymentDate")->Text();
                    tesrtest::clickButton(w3, QStringLiteral("cmdCancel"));
                });
            });
        });
        h.library().ShowNewPayment(s.abbott);
        QVERIFY2(driver.waitDone(), qPrintable(driver.failure()));
        QCOMPARE(monthShown, QStringLiteral("2024-03-15"));
        QVERIFY(!noneShown);
        QCOMPARE(shownAt, expectedAt);
        QCOMPARE(afterPick, QStringLiteral("3/16/2024"));
        QVERIFY(dateFocused);
        QCOMPARE(afterEscape, QStringLiteral("3/16/2024"));
    }

    // A customer with credit gets the notice and the button; the button opens Allocate Credit
    // for that customer. Closed there without saving, the dialog stays as it was; once all the
    // credit is applied there, the orders load again and the button goes.
    void allocateCreditButton_data()
    {
        QTest::addColumn<bool>("saveThere");
        QTest::newRow("closed without saving") << false;
        QTest::newRow("all credit applied") << true;
    }
    void allocateCreditButton()
    {
        QFETCH(bool, saveThere);
        TestHost h;
        const Shop s = makeShop(h.db());
        ModalDriver driver;
        QString before, after, opened;
        bool visibleBefore = false, visibleAfter = true;
        whenLoaded(driver, [&](QWidget* w) {
            visibleBefore = child<PushButton>(w, "cmdCredit")->Visible();
            allocate(grid(w), 0, QStringLiteral("25"));
            before = caption(grid(w), 0, 4) + u' ' + caption(grid(w), 0, 2);
            clickLater(w, "cmdCredit");
            whenReady(driver, QStringLiteral("frmAllocateCredit"), [&](QWidget* credit) {
                opened = credit->windowTitle();
                if (!saveThere) {
                    QTimer::singleShot(0, credit, [credit] { qobject_cast<QDialog*>(credit)->reject(); });
                    return;
                }
                // The one payment with credit, all of it to Baker's one order.
                auto* payments = child<ReportControl>(credit, "rptPayments");
                QTest::mouseClick(payments->viewport(), Qt::LeftButton, Qt::NoModifier,
                                  payments->CellRect(payments->Rows().Row(0), payments->Columns().Column(1)).center());
                allocate(child<ReportControl>(credit, "rptOrders"), 0, QStringLiteral("50"), 3);
                tesrtest::clickButton(credit, QStringLiteral("cmdOK"));
            });
            driver.expect(kScreen, [&](QWidget* w2) {
                after = caption(grid(w2), 0, 4) + u' ' + caption(grid(w2), 0, 2);
                visibleAfter = child<PushButton>(w2, "cmdCredit")->Visible();
                tesrtest::clickButton(w2, QStringLiteral("cmdCancel"));
            });
        });
        h.library().ShowNewPayment(s.baker);
        QVERIFY2(driver.waitDone(), qPrintable(driver.failure()));
        QVERIFY2(h.prompter().ok(), qPrintable(h.prompter().failures()));
        QVERIFY(visibleBefore);
        QCOMPARE(opened, QStringLiteral("Allocate Credit"));
        QCOMPARE(before, QStringLiteral("$25.00 $300.00"));
        // Only the first load of the customer tells of the credit.
        QCOMPARE(h.prompter().headlines(), QStringList{kCreditNotice});
        if (!saveThere) {
            QCOMPARE(after, before); // not reloaded: nothing was saved there
            QVERIFY(visibleAfter);
            return;
        }
        QCOMPARE(after, QStringLiteral("$0.00 $250.00")); // loaded again: the entry is gone
        QVERIFY(!visibleAfter);
        QCOMPARE(orderFigures(h.db(), s.bakerOrder), QStringLiteral("50/250"));
    }

    // The dialog as a user sees it: orders, the presets list open, a card method chosen.
    void renderForALook()
    {
        if (qEnvironmentVariableIsEmpty("TESR_RENDER_DIR"))
            QSKIP("set TESR_RENDER_DIR to get the picture");
        TestHost h;
        TestDatabase& db = h.db();
        db.addPaymentMethod(QStringLiteral("Cash"));
        db.addPaymentMethod(QStringLiteral("Visa"), 1);
        const int customer = db.addCustomer(QStringLiteral("Abbott Interiors"));
        const char* sidemarks[] = {"Kitchen", "Master bath", "Living room drapes", "Office blinds", "Guest room"};
        for (int i = 0; i < 5; ++i)
            db.addOrder(customer, QStringLiteral("SO-%1").arg(1001 + i),
                        Currency::fromUnits(450 + 975 * i) + money("0.5"), 3, 0, QString::number(1001 + i),
                        QString::fromLatin1(sidemarks[i]), Currency::fromUnits(200 + 400 * i));
        ModalDriver driver;
        whenLoaded(driver, [&](QWidget* w) {
            pickMethod(w, QStringLiteral("Visa"));
            typeOver(edit(w, "txtCardNumber"), QStringLiteral("4242"));
            typeOver(edit(w, "txtNameOnCard"), QStringLiteral("Jane Abbott"));
            typeOver(edit(w, "txtDescription"), QStringLiteral("Deposit for the kitchen and bath"));
            allocate(grid(w), 0, QStringLiteral("450.5"));
            ComboBox* amount = combo(w, "cboAmount");
            typeOver(amount, QStringLiteral("1000"));
            QTest::keyClick(amount, Qt::Key_F4);
            QTRY_VERIFY(amount->DropDown()->isVisible());
            QTest::keyClick(amount, Qt::Key_Down);
            // The list is a window of its own: paint it where it stands over the dialog.
            QPixmap picture = w->grab();
            {
                QPainter p(&picture);
                p.drawPixmap(w->mapFromGlobal(amount->DropDown()->mapToGlobal(QPoint(0, 0))),
                             amount->DropDown()->grab());
            }
            picture.save(qEnvironmentVariable("TESR_RENDER_DIR") + QStringLiteral("/frmNewPayment.png"));
            QTest::keyClick(amount, Qt::Key_Escape);
            w->resize(820, 640);
            render(w, QStringLiteral("frmNewPayment-large.png"));
            tesrtest::clickButton(w, QStringLiteral("cmdCancel"));
        });
        h.library().ShowNewPayment(customer);
        QVERIFY2(driver.waitDone(), qPrintable(driver.failure()));
    }
};

TESR_TEST_MAIN(TestNewPayment)
#include "tst_frmNewPayment.moc"

// Allocate Credit end to end: opened through the Library over a real SQLite file, amounts typed
// into the real grid, OK and Cancel clicked, the standard message boxes answered under the
// watchdog, the host's question answered by the scripted prompter, and the database read back.

#include "support/ModalDriver.h"
#include "support/TestHost.h"
#include "support/TestMain.h"

#include "forms/frmAllocateCredit/CurrencyText.h"
#include "forms/frmAllocateCredit/frmAllocateCredit.h"
#include "platform/HelperTools.h"
#include "platform/SqlConnection.h"
#include "platform/controls/ReportControl.h"
#include "shared/modSharedWork.h"
#include "values/Regional.h"

#include <QLabel>
#include <QMessageBox>
#include <QPointer>
#include <QSqlError>
#include <QSqlQuery>
#include <QTimer>

using namespace tesr;
using tesrtest::ModalDriver;
using tesrtest::ScriptedPrompter;
using tesrtest::TestDatabase;
using tesrtest::TestHost;

namespace {

const QString kScreen = QStringLiteral("frmAllocateCredit");
const QString kMoreThanCredit = QStringLiteral("You cannot allocate more than the customers current credit.");
const QString kMoreThanUnallocated = QStringLiteral("You cannot allocate more than the selected unallocated amount.");
const QString kNothingApplied =
    QStringLiteral("You have not applied any amounts to the sales/orders. Are you sure you want to continue?");

Currency money(const char* text)
{
    return *Currency::parsePlain(QString::fromLatin1(text));
}

// A customer with two payments holding credit (1,500.00 untouched, 50.00 left of 80.00), one
// used up, and three orders that take payments: the first with a quote in its UniqueID, the
// last owing less than nothing. Orders that must not be listed: another state, a zero balance,
// another customer's.
struct Book {
    int customer = 0;
    int p1 = 0;
    int p2 = 0;
    int o1 = 0;
    int o2 = 0;
    int o5 = 0;
};

Book makeBook(TestDatabase& db)
{
    Book b;
    const int cash = db.addPaymentMethod(QStringLiteral("Cash"));
    const int check = db.addPaymentMethod(QStringLiteral("Check"));
    b.customer = db.addCustomer(QStringLiteral("Ann O'Hara"));
    const int other = db.addCustomer(QStringLiteral("Baker & Sons"));
    b.o1 = db.addOrder(b.customer, QStringLiteral("SO-1'A"), money("1200"), 3, 0, QStringLiteral("1001"),
                       QStringLiteral("Kitchen "));
    b.o2 = db.addOrder(b.customer, QStringLiteral("SO-2"), money("250.50"), 2, 0, QStringLiteral("1002"),
                       QStringLiteral("Bath"));
    db.addOrder(b.customer, QStringLiteral("SO-3"), money("99"), 1, 0, QStringLiteral("1003"));
    db.addOrder(b.customer, QStringLiteral("SO-6"), money("70"), 3, 0, QStringLiteral("1006"));
    b.o5 = db.addOrder(b.customer, QStringLiteral("SO-5"), money("-20"), 3, 0, QStringLiteral("1005"),
                       QStringLiteral("Refund"));
    db.addOrder(other, QStringLiteral("SO-9"), money("10"), 3, 0, QStringLiteral("1009"));
    b.p1 = db.addPayment(b.customer, money("1500"), check, *OleDate::fromYmdHms(2024, 3, 4, 15, 30), QString());
    b.p2 = db.addPayment(b.customer, money("80"), cash, *OleDate::fromYmdHms(2024, 3, 5));
    const int p3 = db.addPayment(b.customer, money("40"), cash, *OleDate::fromYmdHms(2024, 3, 6));
    db.allocate(b.p2, QStringLiteral("SO-6"), money("30"));
    db.allocate(p3, QStringLiteral("SO-6"), money("40"));
    db.addPayment(other, money("99"), cash, *OleDate::fromYmdHms(2024, 3, 6));
    return b;
}

// The driver may first meet the dialog while its first activation still lets events through;
// a second match can only come once that activation has returned and the lists are loaded.
void onScreen(ModalDriver& driver, ModalDriver::Action action)
{
    driver.expect(kScreen, [](QWidget*) {}).expect(kScreen, std::move(action));
}

ReportControl* grid(QWidget* w, const char* name)
{
    return w->findChild<ReportControl*>(QString::fromLatin1(name));
}

QString text(QWidget* w, const char* name)
{
    const auto* label = w->findChild<QLabel*>(QString::fromLatin1(name));
    return label ? label->text() : QStringLiteral("(missing)");
}

void clickCell(ReportControl* g, int record, int column)
{
    const ReportRow* row = g->Rows().FindRow(g->Records().Record(record));
    QVERIFY(row);
    const QRect cell = g->CellRect(row, g->Columns().Find(column));
    QVERIFY(!cell.isEmpty());
    QTest::mouseClick(g->viewport(), Qt::LeftButton, Qt::NoModifier, cell.center());
}

// Types into an order's Allocate cell the way a user does: click the cell, type, Enter.
void typeAmount(QWidget* w, int record, const QString& typed)
{
    ReportControl* orders = grid(w, "rptOrders");
    clickCell(orders, record, frmAllocateCredit::OrdAllocate);
    for (const QChar c : typed)
        QTest::keyClick(QApplication::focusWidget(), c.toLatin1());
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    QCoreApplication::processEvents(); // the editor commits on Enter once the key has been handled
}

void selectPayment(QWidget* w, int record)
{
    clickCell(grid(w, "rptPayments"), record, frmAllocateCredit::PayDetails);
}

// Clicks OK once the action has returned, so that the message box it opens is the driver's
// next step.
void clickLater(QWidget* w, const char* name)
{
    QPointer<QWidget> target(w);
    const QString button = QString::fromLatin1(name);
    QTimer::singleShot(0, [target, button] {
        if (target)
            tesrtest::clickButton(target, button);
    });
}

QStringList shownRecords(ReportControl* g)
{
    QStringList out;
    for (int i = 0; i < g->Records().Count(); ++i) {
        const ReportRecord* r = g->Records().Record(i);
        QStringList cells{r->Tag()};
        for (int k = 0; k < r->ItemCount(); ++k)
            cells << r->Item(k)->Caption();
        out << cells.join(u'|');
    }
    return out;
}

// Each column as index:caption:flags, and whether it is at least as wide as designed. The
// design widths are proportions: the visible columns share the list's whole width.
QStringList columnsOf(ReportControl* g, const QList<int>& designWidths)
{
    QStringList out;
    int total = 0;
    for (int i = 0; i < g->Columns().Count(); ++i) {
        const ReportColumn* c = g->Columns().Column(i);
        const bool wideEnough = !c->Visible() || c->Width() >= designWidths.value(i);
        out << QStringLiteral("%1:%2:%3%4%5%6")
                   .arg(c->ItemIndex())
                   .arg(c->Caption())
                   .arg(QLatin1String(c->Resizable() ? "r" : "-"))
                   .arg(QLatin1String(c->Editable() ? "e" : "-"))
                   .arg(QLatin1String(c->Visible() ? "v" : "-"))
                   .arg(QLatin1String(wideEnough ? "" : " too narrow"));
        if (c->Visible())
            total += c->Width();
    }
    if (total != g->viewport()->width())
        out << QStringLiteral("columns %1 wide in a list %2 wide").arg(total).arg(g->viewport()->width());
    return out;
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
                                                       QStringLiteral("Allocate Credit"), QString());
}

QString storedPlacement()
{
    return helperFactory().CreateRegistryTools()->ReadString(RegistryTools::HKEY_CURRENT_USER_ROOT,
                                                             QString::fromLatin1(modSharedWork::WindowPositionsKey),
                                                             QStringLiteral("Allocate Credit"), QString());
}

// Makes the database refuse updates of a table's rows that meet a condition, with the message
// given, as engine-native DDL on the fixture's own session.
bool refuseUpdates(TestDatabase& db, const QString& table, const QString& condition, const QString& message)
{
    auto* conn = dynamic_cast<SqlConnection*>(&db.connection());
    if (!conn)
        return false;
    const QString name = QStringLiteral("refuse_") + table.toLower();
    QStringList ddl;
    if (tesrtest::onPostgres()) {
        ddl << QStringLiteral("CREATE FUNCTION dbo.%1() RETURNS trigger LANGUAGE plpgsql AS $b$ BEGIN IF %2 THEN "
                              "RAISE EXCEPTION '%3'; END IF; RETURN NEW; END $b$")
                   .arg(name, condition, message)
            << QStringLiteral("CREATE TRIGGER %1 BEFORE UPDATE ON dbo.%2 FOR EACH ROW EXECUTE FUNCTION dbo.%1()")
                   .arg(name, table);
    } else {
        ddl << QStringLiteral("CREATE TRIGGER %1 BEFORE UPDATE ON %2 WHEN %3 BEGIN SELECT RAISE(ABORT, '%4'); END")
                   .arg(name, table, condition, message);
    }
    for (const QString& statement : ddl) {
        QSqlQuery q(conn->database());
        if (!q.exec(statement)) {
            qWarning("%s: %s", qPrintable(statement), qPrintable(q.lastError().text()));
            return false;
        }
    }
    return true;
}

// Everything the dialog may change, as one text: allocations, the payments' Allocated, the
// orders' Payments and Balance, and the activity lines.
QString ledgerState(TestDatabase& db)
{
    QStringList parts;
    auto read = [&](const QString& statement, const QStringList& columns) {
        auto rs = db.connection().OpenRecordset(statement);
        for (; rs && !rs->Eof(); rs->MoveNext()) {
            QStringList cells;
            for (const QString& c : columns) {
                const QVariant v = rs->Field(c);
                const bool isMoney = QStringList{"Amount", "Allocated", "Payments", "Balance"}.contains(c);
                cells << (isMoney ? Currency::fromVariant(v).value_or(Currency()).toPlainString() : v.toString());
            }
            parts << cells.join(u',');
        }
    };
    read(QStringLiteral("SELECT PaymentID, OrderUniqueID, Amount FROM PaymentAllocations ORDER BY ID"),
         {"PaymentID", "OrderUniqueID", "Amount"});
    read(QStringLiteral("SELECT ID, Allocated FROM Payments ORDER BY ID"), {"ID", "Allocated"});
    read(QStringLiteral("SELECT ID, Payments, Balance FROM Orders ORDER BY ID"), {"ID", "Payments", "Balance"});
    read(QStringLiteral("SELECT OrderID, Description FROM ActivityHistory ORDER BY ID"), {"OrderID", "Description"});
    return parts.join(u';');
}

} // namespace

class TestAllocateCredit : public QObject {
    Q_OBJECT

private slots:
    void init() { forgetPlacement(); }

    void opensWithBothListsAndTheCredit()
    {
        TestHost h;
        const Book b = makeBook(h.db());
        const QString before = ledgerState(h.db());
        ModalDriver driver;
        QStringList payments, orders, paymentColumns, orderColumns, labels;
        onScreen(driver, [&](QWidget* w) {
            QCOMPARE(w->windowTitle(), QStringLiteral("Allocate Credit"));
            QCOMPARE(w->font().family(), QStringLiteral("Verdana"));
            QCOMPARE(w->font().pointSizeF(), 9.75);
            ReportControl* p = grid(w, "rptPayments");
            ReportControl* o = grid(w, "rptOrders");
            QCOMPARE(p->CustomDraw(), 4);
            QCOMPARE(o->CustomDraw(), 4);
            QCOMPARE(o->PaintManager().TextFont().pointSizeF(), 10.0);
            QVERIFY(!p->AllowEdit());
            QVERIFY(o->AllowEdit());
            render(w, QStringLiteral("frmAllocateCredit-design-size.png"));
            paymentColumns = columnsOf(p, {65, 85, 85, 85, 85});
            orderColumns = columnsOf(o, {65, 100, 85, 85, 85});
            payments = shownRecords(p);
            orders = shownRecords(o);
            // Money cells hold amounts, not texts.
            QCOMPARE(o->Records().Record(1)->Item(3)->Value().value<Currency>(), Currency());
            QCOMPARE(p->Records().Record(1)->Item(4)->Value().value<Currency>(), money("50"));
            labels << text(w, "Label4") << text(w, "lblCustomer") << text(w, "lblCredit") << text(w, "Label2")
                   << text(w, "Label1") << text(w, "lblSummary");
            w->close(); // the close box: nothing saved
        });
        QVERIFY(!h.library().ShowAllocateCredit(b.customer));
        QVERIFY2(driver.waitDone(), qPrintable(driver.failure()));

        QCOMPARE(paymentColumns,
                 (QStringList{"0:Date:r-v", "1:Details:r-v", "2:Amount:r-v", "3:Allocated:r-v", "4:Unallocated:r-v"}));
        QCOMPARE(orderColumns, (QStringList{"0:Order Number:r-v", "1:Sidemark:r-v", "2:Balance:r-v", "3:Allocate:rev",
                                            "4:New Balance:r-v", "5:UniqueID:---"}));
        QCOMPARE(payments, (QStringList{QStringLiteral("%1|3/4/2024|Check|$1,500.00|$0.00|$1,500.00").arg(b.p1),
                                        QStringLiteral("%1|3/5/2024|Cash|$80.00|$30.00|$50.00").arg(b.p2)}));
        const QString minus20 = Regional::formatCurrency(money("-20"));
        QCOMPARE(orders, (QStringList{QStringLiteral("%1|1001|Kitchen|$1,200.00|$0.00|$1,200.00|SO-1'A").arg(b.o1),
                                      QStringLiteral("%1|1002|Bath|$250.50|$0.00|$250.50|SO-2").arg(b.o2),
                                      QStringLiteral("%1|1005|Refund|%2|$0.00|%2|SO-5").arg(b.o5).arg(minus20)}));
        QCOMPARE(labels, (QStringList{"&Customer:", "Ann O'Hara", "Credit: $1,550.00", "Payments not fully allocated",
                                      "Apply the selected payment to:", "Allocated: $0.00, Unallocated: $1,550.00"}));
        QCOMPARE(ledgerState(h.db()), before);
        QVERIFY(!storedPlacement().isEmpty());
    }

    void anAmountIsReadAsTheUserTypesIt_data()
    {
        QTest::addColumn<int>("order");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("kept"); // plain amount the cell holds afterwards
        QTest::newRow("dollar sign dropped") << 1 << "$25"
                                             << "25";
        QTest::newRow("grouped thousands") << 0 << "$1,000.5"
                                           << "1000.5";
        QTest::newRow("negative") << 1 << "-10"
                                  << "-10";
        QTest::newRow("more than the balance") << 1 << "300"
                                               << "300";
        QTest::newRow("letters refused") << 0 << "abc"
                                         << "5";
        QTest::newRow("a quote refused") << 0 << "1'2"
                                         << "5";
        QTest::newRow("misplaced grouping refused") << 1 << "1,00"
                                                    << "5";
    }
    void anAmountIsReadAsTheUserTypesIt()
    {
        QFETCH(int, order);
        QFETCH(QString, typed);
        QFETCH(QString, kept);
        TestHost h;
        const Book b = makeBook(h.db());
        const QString before = ledgerState(h.db());
        ModalDriver driver;
        QVariant value;
        QString caption, newBalance, summary;
        onScreen(driver, [&](QWidget* w) {
            typeAmount(w, order, QStringLiteral("5"));
            typeAmount(w, order, typed);
            const ReportRecord* r = grid(w, "rptOrders")->Records().Record(order);
            value = r->Item(frmAllocateCredit::OrdAllocate)->Value();
            caption = r->Item(frmAllocateCredit::OrdAllocate)->Caption();
            newBalance = r->Item(frmAllocateCredit::OrdNewBalance)->Caption();
            summary = text(w, "lblSummary");
            tesrtest::clickButton(w, QStringLiteral("cmdCancel"));
        });
        QVERIFY(!h.library().ShowAllocateCredit(b.customer));
        QVERIFY2(driver.waitDone(), qPrintable(driver.failure()));

        const Currency amount = *Currency::parsePlain(kept);
        const Currency balance = order == 0 ? money("1200") : money("250.50");
        QCOMPARE(value.value<Currency>(), amount);
        QCOMPARE(value.metaType(), QMetaType::fromType<Currency>());
        QCOMPARE(caption, Regional::formatCurrency(amount));
        QCOMPARE(newBalance, Regional::formatCurrency(balance - amount));
        QCOMPARE(summary, QStringLiteral("Allocated: %1, Unallocated: %2")
                              .arg(Regional::formatCurrency(amount), Regional::formatCurrency(money("1550") - amount)));
        QCOMPARE(ledgerState(h.db()), before);
    }

    void appliesTheCreditToTwoOrders()
    {
        TestHost h;
        const Book b = makeBook(h.db());
        ModalDriver driver;
        onScreen(driver, [&](QWidget* w) {
            selectPayment(w, 0);
            typeAmount(w, 0, QStringLiteral("1,000"));
            typeAmount(w, 1, QStringLiteral("$25.50"));
            QCOMPARE(text(w, "lblSummary"), QStringLiteral("Allocated: $1,025.50, Unallocated: $524.50"));
            w->resize(720, 520);
            render(w, QStringLiteral("frmAllocateCredit.png"));
            tesrtest::clickButton(w, QStringLiteral("cmdOK"));
        });
        QVERIFY(h.library().ShowAllocateCredit(b.customer));
        QVERIFY2(driver.waitDone(), qPrintable(driver.failure()));

        // One allocation per order, the three figures moved by it, one activity line per order.
        const QString p1 = QString::number(b.p1), c = QString::number(b.customer);
        const QStringList state = ledgerState(h.db()).split(u';');
        QVERIFY(state.contains(p1 + QStringLiteral(",SO-1'A,1000")));
        QVERIFY(state.contains(p1 + QStringLiteral(",SO-2,25.5")));
        QVERIFY(state.contains(p1 + QStringLiteral(",1025.5")));
        QVERIFY(state.contains(QStringLiteral("%1,30").arg(b.p2)));
        QVERIFY(state.contains(QStringLiteral("%1,1000,200").arg(b.o1)));
        QVERIFY(state.contains(QStringLiteral("%1,25.5,225").arg(b.o2)));
        QVERIFY(state.contains(QStringLiteral("%1,0,-20").arg(b.o5)));
        QCOMPARE(state.filter(QStringLiteral("credit")),
                 (QStringList{QStringLiteral("%1,A credit of $1,000.00 was applied.").arg(b.o1),
                              QStringLiteral("%1,A credit of $25.50 was applied.").arg(b.o2)}));
        QCOMPARE(h.db().count(QStringLiteral("SELECT COUNT(*) FROM ActivityHistory WHERE CustomerID = ") + c), 2);
        QVERIFY(h.prompter().calls().isEmpty());
    }

    void okChecksTheAmounts_data()
    {
        QTest::addColumn<int>("payment");         // record to select, -1 none
        QTest::addColumn<QStringList>("amounts"); // typed into the orders in record order
        QTest::addColumn<QString>("message");     // standard message box, empty for none
        QTest::addColumn<int>("answer");          // to the host's question, 0 when none is asked
        QTest::addColumn<bool>("saved");
        QTest::addColumn<int>("allocations");
        const QString none;
        QTest::newRow("above the credit and the payment: the credit is told")
            << 0 << QStringList{"1551"} << kMoreThanCredit << 0 << false << 0;
        QTest::newRow("a cent above the selected payment")
            << 1 << QStringList{"", "50.01"} << kMoreThanUnallocated << 0 << false << 0;
        QTest::newRow("exactly the selected payment") << 1 << QStringList{"", "50"} << none << 0 << true << 1;
        QTest::newRow("no payment selected") << -1 << QStringList{"", "10"} << kMoreThanUnallocated << 0 << false << 0;
        QTest::newRow("no payment, a negative amount offsets the total")
            << -1 << QStringList{"10", "", "-20"} << kMoreThanUnallocated << 0 << false << 0;
        QTest::newRow("negative total: nothing written, nothing asked")
            << -1 << QStringList{"", "", "-5"} << none << 0 << true << 0;
        QTest::newRow("positive and negative, payment selected")
            << 1 << QStringList{"", "40", "-5"} << none << 0 << true << 1;
        QTest::newRow("nothing applied, answered No")
            << 0 << QStringList{} << none << ScriptedPrompter::No << false << 0;
        QTest::newRow("nothing applied, answered Yes")
            << 0 << QStringList{} << none << ScriptedPrompter::Yes << true << 0;
    }
    void okChecksTheAmounts()
    {
        QFETCH(int, payment);
        QFETCH(QStringList, amounts);
        QFETCH(QString, message);
        QFETCH(int, answer);
        QFETCH(bool, saved);
        QFETCH(int, allocations);
        TestHost h;
        const Book b = makeBook(h.db());
        if (answer)
            h.prompter().expectQuestion(answer, kNothingApplied);
        ModalDriver driver;
        QString shown;
        bool stayedOpen = false;
        onScreen(driver, [&](QWidget* w) {
            if (payment >= 0)
                selectPayment(w, payment);
            for (int i = 0; i < amounts.size(); ++i)
                if (!amounts[i].isEmpty())
                    typeAmount(w, i, amounts[i]);
            if (!message.isEmpty()) {
                clickLater(w, "cmdOK");
                return;
            }
            tesrtest::clickButton(w, QStringLiteral("cmdOK"));
            stayedOpen = w->isVisible();
            if (stayedOpen)
                tesrtest::clickButton(w, QStringLiteral("cmdCancel"));
        });
        if (!message.isEmpty()) {
            driver.expect(QStringLiteral("moduleMessageBox"), [&](QWidget* box) {
                shown = tesrtest::messageBoxText(box);
                tesrtest::answerMessageBox(box, QMessageBox::Ok);
            });
            driver.expect(kScreen, [&](QWidget* w) {
                stayedOpen = true;
                tesrtest::clickButton(w, QStringLiteral("cmdCancel"));
            });
        }
        QCOMPARE(h.library().ShowAllocateCredit(b.customer), saved);
        QVERIFY2(driver.waitDone(), qPrintable(driver.failure()));
        QVERIFY2(h.prompter().ok(), qPrintable(h.prompter().failures()));

        QCOMPARE(shown, message);
        QCOMPARE(stayedOpen, !saved);
        QCOMPARE(h.db().count(QStringLiteral("SELECT COUNT(*) FROM PaymentAllocations WHERE PaymentID IN (%1, %2)")
                                  .arg(b.p1)
                                  .arg(b.p2)),
                 1 + allocations); // the fixture's own allocation of the second payment
        QCOMPARE(h.db().count(QStringLiteral("SELECT COUNT(*) FROM ActivityHistory")), allocations);
        if (answer) {
            const auto questions = h.prompter().calls(ScriptedPrompter::Call::Kind::Question);
            QCOMPARE(questions.size(), 1);
            QVERIFY(questions[0].explanation.startsWith(
                QStringLiteral("The customers credit of $1,550.00 will remain unchanged; No sales/orders will be "
                               "affected.")));
        }
    }

    void aFailingStatementUndoesTheWholeSave()
    {
        TestHost h;
        const Book b = makeBook(h.db());
        // The second order's update is refused, after the first order's statement has run.
        QVERIFY(refuseUpdates(h.db(), QStringLiteral("Orders"), QStringLiteral("NEW.ID = %1").arg(b.o2),
                              QStringLiteral("refused by the test")));
        const QString before = ledgerState(h.db());
        ModalDriver driver;
        QString during;
        bool stayedOpen = false;
        onScreen(driver, [&](QWidget* w) {
            selectPayment(w, 0);
            typeAmount(w, 0, QStringLiteral("100"));
            typeAmount(w, 1, QStringLiteral("50"));
            tesrtest::clickButton(w, QStringLiteral("cmdOK")); // nothing is shown
            stayedOpen = w->isVisible();
            during = ledgerState(h.db());
            // The entries are still there to correct.
            QCOMPARE(grid(w, "rptOrders")->Records().Record(0)->Item(3)->Value().value<Currency>(), money("100"));
            tesrtest::clickButton(w, QStringLiteral("cmdCancel"));
        });
        QVERIFY(!h.library().ShowAllocateCredit(b.customer));
        QVERIFY2(driver.waitDone(), qPrintable(driver.failure()));
        QVERIFY(stayedOpen);
        QCOMPARE(during, before);
        QCOMPARE(ledgerState(h.db()), before);
        QVERIFY(h.prompter().calls().isEmpty());
    }

    void creditTakenMeanwhileOnAnotherWorkstation_data()
    {
        QTest::addColumn<QString>("meanwhile");
        QTest::addColumn<bool>("refused");
        QTest::addColumn<QString>("message");
        const QString changed = QStringLiteral("has changed since this list was opened");
        QTest::newRow("too little left") << "UPDATE Payments SET Allocated = Allocated + 600 WHERE ID = %1" << true
                                         << changed;
        QTest::newRow("still enough left")
            << "UPDATE Payments SET Allocated = Allocated + 500 WHERE ID = %1" << false << QString();
        QTest::newRow("payment deleted") << "DELETE FROM Payments WHERE ID = %1" << true << changed;
    }
    void creditTakenMeanwhileOnAnotherWorkstation()
    {
        QFETCH(QString, meanwhile);
        QFETCH(bool, refused);
        QFETCH(QString, message);
        TestHost h;
        const Book b = makeBook(h.db());
        QString before;
        QString shown;
        ModalDriver driver;
        onScreen(driver, [&](QWidget* w) {
            selectPayment(w, 0);
            typeAmount(w, 0, QStringLiteral("1000"));
            // Another session changes the payment after the list was read.
            std::unique_ptr<Connection> other = h.db().openConnection();
            QVERIFY(other->Execute(meanwhile.arg(b.p1)));
            other->Close();
            before = ledgerState(h.db());
            if (refused)
                clickLater(w, "cmdOK");
            else
                tesrtest::clickButton(w, QStringLiteral("cmdOK"));
        });
        if (refused) {
            driver.expect(QStringLiteral("moduleMessageBox"), [&](QWidget* box) {
                shown = tesrtest::messageBoxText(box);
                tesrtest::answerMessageBox(box, QMessageBox::Ok);
            });
            driver.expect(kScreen, [&](QWidget* w) { tesrtest::clickButton(w, QStringLiteral("cmdCancel")); });
        }
        QCOMPARE(h.library().ShowAllocateCredit(b.customer), !refused);
        QVERIFY2(driver.waitDone(), qPrintable(driver.failure()));
        QVERIFY2(shown.contains(message), qPrintable(shown));
        if (refused) {
            QCOMPARE(ledgerState(h.db()), before);
        } else {
            QCOMPARE(h.db().money(QStringLiteral("SELECT Allocated FROM Payments WHERE ID = %1").arg(b.p1)),
                     money("1500"));
            QCOMPARE(h.db().money(QStringLiteral("SELECT Balance FROM Orders WHERE ID = %1").arg(b.o1)), money("200"));
        }
    }

    // The lists format thousands of amounts with a formatter that works the locale out once; it
    // must write exactly what the regional formatting writes, in every locale.
    void listMoneyTextMatchesTheRegionalFormat_data()
    {
        QTest::addColumn<QString>("locale");
        for (const char* name : {"en_US", "de_DE", "fr_FR", "de_CH", "nl_NL", "ja_JP", "hi_IN", "ar_EG", "es_MX"})
            QTest::newRow(name) << QString::fromLatin1(name);
    }
    void listMoneyTextMatchesTheRegionalFormat()
    {
        QFETCH(QString, locale);
        QLocale::setDefault(QLocale(locale));
        const CurrencyText text;
        QStringList mismatches;
        for (const char* v : {"0", "0.005", "0.015", "-0.004", "-0.005", "0.0001", "1", "-1", "12.5", "-1234567.891",
                              "1234567890.12", "999.995", "-922337203685477.5807", "922337203685477.5807"}) {
            const Currency amount = *Currency::parsePlain(QString::fromLatin1(v));
            if (text(amount) != Regional::formatCurrency(amount))
                mismatches << QStringLiteral("%1: %2 vs %3")
                                  .arg(QLatin1String(v), text(amount), Regional::formatCurrency(amount));
        }
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
        QVERIFY2(mismatches.isEmpty(), qPrintable(mismatches.join(QStringLiteral("; "))));
    }

    void aCustomerWithNothingToAllocate()
    {
        TestHost h;
        const int customer = h.db().addCustomer(QStringLiteral("Nobody Yet"));
        ModalDriver driver;
        QStringList seen;
        onScreen(driver, [&](QWidget* w) {
            seen << QString::number(grid(w, "rptPayments")->Records().Count())
                 << QString::number(grid(w, "rptOrders")->Records().Count()) << text(w, "lblCredit")
                 << text(w, "lblSummary");
            tesrtest::clickButton(w, QStringLiteral("cmdCancel"));
        });
        QVERIFY(!h.library().ShowAllocateCredit(customer));
        QVERIFY2(driver.waitDone(), qPrintable(driver.failure()));
        QCOMPARE(seen, (QStringList{"0", "0", "Credit: $0.00", "Allocated: $0.00, Unallocated: $0.00"}));
    }
};

TESR_TEST_MAIN(TestAllocateCredit)
#include "tst_frmAllocateCredit.moc"

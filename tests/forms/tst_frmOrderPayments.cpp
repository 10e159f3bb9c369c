// Order Payments end to end: opened through the Library over a real SQLite file, an applied
// payment removed with the mouse, the host's question answered by a scripted prompter, the
// delete question answered on the real task dialog, and the three figures checked afterwards.

#include "support/ModalDriver.h"
#include "support/TestHost.h"
#include "support/TestMain.h"

#include "ledger/Statements.h"
#include "platform/HelperTools.h"
#include "platform/controls/ReportControl.h"
#include "shared/modSharedDateTime.h"
#include "shared/modSharedSQL.h"
#include "shared/modSharedWork.h"

#include <QAbstractButton>
#include <QLabel>
#include <QTimer>

using namespace tesr;
using tesrtest::ModalDriver;
using tesrtest::ScriptedPrompter;
using tesrtest::TestDatabase;
using tesrtest::TestHost;
using Kind = ScriptedPrompter::Call::Kind;

namespace {

const QString kScreen = QStringLiteral("frmOrderPayments");
const QString kRemoveQuestion =
    QStringLiteral("Are you sure you want to remove the selected payment? This process cannot be undone.");

Currency money(const char* text)
{
    return *Currency::parsePlain(QString::fromLatin1(text));
}

OleDate at(int y, int m, int d, int h = 0, int mi = 0)
{
    return *OleDate::fromYmdHms(y, m, d, h, mi);
}

// One order paid by two payments: `shared` also pays another order of the customer, `only`
// pays nothing else.
struct Book {
    int customer = 0;
    int order = 0;
    QString uniqueID;
    int shared = 0;
    int only = 0;
    int sharedHere = 0; // allocation IDs
    int sharedThere = 0;
    int onlyHere = 0;
};

int allocationID(TestDatabase& db, int payment, const QString& uniqueID)
{
    return db.count(QStringLiteral("SELECT ID FROM PaymentAllocations WHERE PaymentID = %1 AND OrderUniqueID = %2")
                        .arg(payment)
                        .arg(TestDatabase::quoted(uniqueID)));
}

Book makeBook(TestDatabase& db, const QString& uniqueID = QStringLiteral("SO-2001"))
{
    Book b;
    b.uniqueID = uniqueID;
    const int check = db.addPaymentMethod(QStringLiteral("Check"));
    const int visa = db.addPaymentMethod(QStringLiteral("Visa"), 1);
    b.customer = db.addCustomer(QStringLiteral("Abbott Interiors"));
    b.order = db.addOrder(b.customer, uniqueID, money("1500"), 3, 0, QStringLiteral("2001"), QStringLiteral("Kitchen"));
    db.addOrder(b.customer, QStringLiteral("SO-2002"), money("900"), 3, 0, QStringLiteral("2002"),
                QStringLiteral("Bath"));
    b.shared = db.addPayment(b.customer, money("1000"), check, at(2024, 5, 1, 14, 45), QStringLiteral("First half"));
    db.allocate(b.shared, uniqueID, money("600"));
    db.allocate(b.shared, QStringLiteral("SO-2002"), money("400"));
    b.only =
        db.addPayment(b.customer, money("250.1234"), visa, at(2024, 5, 2, 9, 5), QString(), QStringLiteral("1111"));
    db.allocate(b.only, uniqueID, money("250.1234"));
    b.sharedHere = allocationID(db, b.shared, uniqueID);
    b.sharedThere = allocationID(db, b.shared, QStringLiteral("SO-2002"));
    b.onlyHere = allocationID(db, b.only, uniqueID);
    return b;
}

// The three figures, and what is left of the ledger around them.
struct Figures {
    Currency sharedAllocated, onlyAllocated, orderPayments, orderBalance;
    int allocations = 0;
    int payments = 0;
    bool operator==(const Figures&) const = default;
};

Figures figures(TestDatabase& db, const Book& b)
{
    Figures f;
    f.sharedAllocated = db.money(QStringLiteral("SELECT Allocated FROM Payments WHERE ID = %1").arg(b.shared));
    f.onlyAllocated = db.money(QStringLiteral("SELECT Allocated FROM Payments WHERE ID = %1").arg(b.only));
    f.orderPayments = db.money(QStringLiteral("SELECT Payments FROM Orders WHERE ID = %1").arg(b.order));
    f.orderBalance = db.money(QStringLiteral("SELECT Balance FROM Orders WHERE ID = %1").arg(b.order));
    f.allocations = db.count(QStringLiteral("SELECT COUNT(*) FROM PaymentAllocations"));
    f.payments = db.count(QStringLiteral("SELECT COUNT(*) FROM Payments"));
    return f;
}

char* toString(const Figures& f)
{
    return qstrdup(QStringLiteral("shared %1, only %2, order %3 / %4, %5 allocations, %6 payments")
                       .arg(f.sharedAllocated.toPlainString(), f.onlyAllocated.toPlainString(),
                            f.orderPayments.toPlainString(), f.orderBalance.toPlainString())
                       .arg(f.allocations)
                       .arg(f.payments)
                       .toUtf8()
                       .constData());
}

ReportControl* grid(QWidget* w)
{
    return w->findChild<ReportControl*>(QStringLiteral("rptPayments"));
}

bool enabled(QWidget* w, const char* name)
{
    auto* b = w->findChild<QAbstractButton*>(QString::fromLatin1(name));
    return b && b->isEnabled();
}

QString summary(QWidget* w)
{
    return w->findChild<QLabel*>(QStringLiteral("lblSummary"))->text();
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

QString focusedTag(ReportControl* g)
{
    const ReportRow* row = g->FocusedRow();
    return row && row->Record() ? row->Record()->Tag() : QString();
}

void clickRow(ReportControl* g, int row, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
{
    const QRect cell = g->CellRect(g->Rows().Row(row), g->Columns().Column(1));
    QTest::mouseClick(g->viewport(), Qt::LeftButton, modifiers, cell.center());
}

void clickTag(ReportControl* g, int tag)
{
    for (int r = 0; r < g->Rows().Count(); ++r)
        if (g->Rows().Row(r)->Record() && g->Rows().Row(r)->Record()->Tag() == QString::number(tag))
            clickRow(g, r);
}

// The driver may first meet the screen while its first activation still lets events through;
// a second match can only come once that activation has returned and the list is loaded.
void onScreen(ModalDriver& driver, const QString& name, ModalDriver::Action action)
{
    driver.expect(name, [](QWidget*) {}).expect(name, std::move(action));
}

// A click that opens a modal window must come from the event loop, once the driver's step has
// ended, so that the driver is free to answer that window.
void clickLater(QWidget* window, const QString& name)
{
    QTimer::singleShot(0, window, [window, name] { tesrtest::clickButton(window, name); });
}

void render(QWidget* w, const QString& file)
{
    const QString dir = qEnvironmentVariable("TESR_RENDER_DIR");
    if (!dir.isEmpty())
        w->grab().save(dir + u'/' + file);
}

QStringList activity(TestDatabase& db, int customer)
{
    QStringList lines;
    auto rs = db.connection().OpenRecordset(
        QStringLiteral("SELECT Description FROM ActivityHistory WHERE CustomerID = %1 ORDER BY ID").arg(customer));
    for (; rs && !rs->Eof(); rs->MoveNext())
        lines << rs->Field(QStringLiteral("Description")).toString();
    return lines;
}

} // namespace

class TestOrderPayments : public QObject {
    Q_OBJECT

private slots:
    void init()
    {
        helperFactory().CreateRegistryTools()->WriteString(RegistryTools::HKEY_CURRENT_USER_ROOT,
                                                           QString::fromLatin1(modSharedWork::WindowPositionsKey),
                                                           QStringLiteral("Order Payments"), QString());
        // Four hours behind universal time, daylight saving in effect.
        modSharedDateTime::setTimeZoneSource([] {
            modSharedDateTime::TimeZoneInfo tz;
            tz.bias = 300;
            tz.daylightBias = -60;
            tz.daylightInEffect = true;
            return tz;
        });
    }
    void cleanup() { modSharedDateTime::setTimeZoneSource(nullptr); }

    void listsWhatWasAppliedToTheOrder()
    {
        TestHost h;
        const Book b = makeBook(h.db());
        ModalDriver driver;
        QStringList rows;
        QString total;
        QString buttons;
        onScreen(driver, kScreen, [&](QWidget* w) {
            QCOMPARE(w->windowTitle(), QStringLiteral("Order Payments"));
            QCOMPARE(w->font().family(), QStringLiteral("Verdana"));
            QCOMPARE(w->font().pointSizeF(), 9.75);
            w->resize(606, 442);
            const QList<std::pair<const char*, QRect>> design{
                {"rptPayments", QRect(8, 8, 590, 364)}, {"lblSummary", QRect(8, 379, 590, 19)},
                {"GroupBox1", QRect(8, 396, 588, 12)},  {"cmdNewPayment", QRect(8, 410, 130, 24)},
                {"cmdDelete", QRect(143, 410, 80, 24)}, {"cmdClose", QRect(519, 410, 80, 24)}};
            for (const auto& [name, rect] : design)
                QCOMPARE(w->findChild<QWidget*>(QString::fromLatin1(name))->geometry(), rect);
            QCOMPARE(w->findChild<QAbstractButton*>(QStringLiteral("cmdNewPayment"))->text(),
                     QStringLiteral("New Payment..."));
            QCOMPARE(w->findChild<QAbstractButton*>(QStringLiteral("cmdDelete"))->text(), QStringLiteral("Remove"));
            ReportControl* g = grid(w);
            QStringList columns;
            for (int i = 0; i < g->Columns().Count(); ++i)
                columns << g->Columns().Column(i)->Caption();
            QCOMPARE(columns, (QStringList{"Date", "Details", "Amount"}));
            QVERIFY(g->Columns().Column(0)->Width() >= 65);
            QVERIFY(g->Columns().Column(1)->Width() > 85); // the details take the spare room
            QCOMPARE(g->Columns().Column(2)->Width(), 85);
            QCOMPARE(g->CustomDraw(), 4);
            rows = shownRecords(g);
            rows.sort();
            total = summary(w);
            // Neither button depends on the selection.
            buttons = QStringLiteral("%1%2").arg(enabled(w, "cmdNewPayment")).arg(enabled(w, "cmdDelete"));
            clickRow(g, 1);
            buttons += QStringLiteral("%1%2").arg(enabled(w, "cmdNewPayment")).arg(enabled(w, "cmdDelete"));
            render(w, QStringLiteral("frmOrderPayments.png"));
            tesrtest::clickButton(w, QStringLiteral("cmdClose"));
        });
        h.library().ShowOrderPayments(b.order);
        QVERIFY2(driver.waitDone(), qPrintable(driver.failure()));

        // Only the part of a payment applied to this order; the sum of the four-decimal amounts.
        QStringList expected{QStringLiteral("%1|5/1/2024|Check - First half|$600.00").arg(b.sharedHere),
                             QStringLiteral("%1|5/2/2024|Visa ending 1111|$250.12").arg(b.onlyHere)};
        expected.sort();
        QCOMPARE(rows, expected);
        QCOMPARE(total, QStringLiteral("$850.12"));
        QCOMPARE(buttons, QStringLiteral("1111"));
        QVERIFY(h.prompter().calls().isEmpty());
    }

    void permissionsDisableTheButtonsForGood_data()
    {
        QTest::addColumn<int>("denied");
        QTest::addColumn<QString>("buttons");
        QTest::newRow("all rights") << 0 << "11";
        QTest::newRow("no recording from an order") << 8 << "01";
        QTest::newRow("no removing") << 32 << "10";
        QTest::newRow("neither") << 40 << "00";
    }
    void permissionsDisableTheButtonsForGood()
    {
        QFETCH(int, denied);
        QFETCH(QString, buttons);
        TestHost h;
        const Book b = makeBook(h.db());
        h.config().setRights(803, 40 & ~denied);
        ModalDriver driver;
        QStringList seen;
        onScreen(driver, kScreen, [&](QWidget* w) {
            auto state = [w] {
                return QStringLiteral("%1%2").arg(enabled(w, "cmdNewPayment")).arg(enabled(w, "cmdDelete"));
            };
            seen << state();
            // Rights given back later are not picked up: a disabled button stays disabled.
            h.config().setRights(803, 40);
            clickRow(grid(w), 0);
            clickRow(grid(w), 1);
            seen << state();
            tesrtest::clickButton(w, QStringLiteral("cmdClose"));
        });
        h.library().ShowOrderPayments(b.order);
        QVERIFY2(driver.waitDone(), qPrintable(driver.failure()));
        QCOMPARE(seen, (QStringList{buttons, buttons}));
    }

    void removeNeedsOneRowAndAYes_data()
    {
        QTest::addColumn<QString>("selection");
        QTest::addColumn<bool>("asked");
        QTest::newRow("answered No") << "one" << true;
        QTest::newRow("nothing selected") << "none" << false;
        QTest::newRow("two selected") << "two" << false;
    }
    void removeNeedsOneRowAndAYes()
    {
        QFETCH(QString, selection);
        QFETCH(bool, asked);
        TestHost h;
        const Book b = makeBook(h.db());
        const Figures before = figures(h.db(), b);
        if (asked)
            h.prompter().expectQuestion(ScriptedPrompter::No, kRemoveQuestion);
        ModalDriver driver;
        QStringList shownBefore;
        QStringList shownAfter;
        onScreen(driver, kScreen, [&](QWidget* w) {
            ReportControl* g = grid(w);
            shownBefore = shownRecords(g);
            if (selection != QLatin1String("none"))
                clickRow(g, 0);
            if (selection == QLatin1String("two"))
                clickRow(g, 1, Qt::ControlModifier);
            tesrtest::clickButton(w, QStringLiteral("cmdDelete"));
            shownAfter = shownRecords(g);
            tesrtest::clickButton(w, QStringLiteral("cmdClose"));
        });
        h.library().ShowOrderPayments(b.order);
        QVERIFY2(driver.waitDone(), qPrintable(driver.failure()));
        QVERIFY2(h.prompter().ok(), qPrintable(h.prompter().failures()));
        QCOMPARE(int(h.prompter().calls().size()), asked ? 1 : 0);
        if (asked)
            QCOMPARE(h.prompter().calls()[0].explanation,
                     QStringLiteral("Removing a payment will remove the amount from the sale/order and apply it back "
                                    "to the original payment as 'unallocated'."));
        QCOMPARE(shownAfter, shownBefore);
        QCOMPARE(figures(h.db(), b), before);
    }

    // The payment keeps another allocation: no delete question, only the figures move back.
    void removeOneOfSeveralAllocations()
    {
        TestHost h;
        const Book b = makeBook(h.db());
        Figures expected = figures(h.db(), b);
        expected.sharedAllocated -= money("600");
        expected.orderPayments -= money("600");
        expected.orderBalance += money("600");
        expected.allocations -= 1;
        h.prompter().expectQuestion(ScriptedPrompter::Yes, kRemoveQuestion);
        ModalDriver driver;
        QStringList tags;
        QString focused;
        QString total;
        onScreen(driver, kScreen, [&](QWidget* w) {
            clickTag(grid(w), b.sharedHere);
            tesrtest::clickButton(w, QStringLiteral("cmdDelete"));
            for (int i = 0; i < grid(w)->Records().Count(); ++i)
                tags << grid(w)->Records().Record(i)->Tag();
            focused = focusedTag(grid(w));
            total = summary(w);
            tesrtest::clickButton(w, QStringLiteral("cmdClose"));
        });
        h.library().ShowOrderPayments(b.order);
        QVERIFY2(driver.waitDone(), qPrintable(driver.failure()));
        QVERIFY2(h.prompter().ok(), qPrintable(h.prompter().failures()));
        QCOMPARE(tags, QStringList{QString::number(b.onlyHere)});
        QCOMPARE(focused, QString::number(b.onlyHere));
        QCOMPARE(total, QStringLiteral("$850.12")); // the list is not reloaded
        QCOMPARE(figures(h.db(), b), expected);
        QCOMPARE(
            h.db().count(QStringLiteral("SELECT COUNT(*) FROM PaymentAllocations WHERE ID = %1").arg(b.sharedThere)),
            1);
        QVERIFY(activity(h.db(), b.customer).isEmpty());
    }

    void removeTheOnlyAllocation_data()
    {
        QTest::addColumn<QString>("answer");
        QTest::addColumn<bool>("deleted");
        QTest::newRow("keep it as credit") << "button256" << false;
        QTest::newRow("dialog closed") << "escape" << false;
        QTest::newRow("delete it") << "button128" << true;
    }
    void removeTheOnlyAllocation()
    {
        QFETCH(QString, answer);
        QFETCH(bool, deleted);
        TestHost h;
        const Book b = makeBook(h.db());
        Figures expected = figures(h.db(), b);
        expected.onlyAllocated = Currency();
        expected.orderPayments -= money("250.1234");
        expected.orderBalance += money("250.1234");
        expected.allocations -= 1;
        if (deleted)
            expected.payments -= 1;
        h.prompter().expectQuestion(ScriptedPrompter::Yes, kRemoveQuestion);
        ModalDriver driver;
        QStringList dialog;
        QStringList tags;
        onScreen(driver, kScreen, [&](QWidget* w) {
            clickTag(grid(w), b.onlyHere);
            clickLater(w, QStringLiteral("cmdDelete"));
        });
        driver.expect(QStringLiteral("TaskDialog1"), [&](QWidget* w) {
            dialog << w->windowTitle() << w->findChild<QLabel*>(QStringLiteral("mainInstruction"))->text()
                   << w->findChild<QLabel*>(QStringLiteral("content"))->text();
            for (const char* id : {"button128", "button256"})
                dialog << w->findChild<QAbstractButton*>(QString::fromLatin1(id))->text();
            QVERIFY(w->findChild<QLabel*>(QStringLiteral("content"))->wordWrap());
            render(w, QStringLiteral("frmOrderPayments-delete.png"));
            if (answer == QLatin1String("escape"))
                QTest::keyClick(w, Qt::Key_Escape);
            else
                tesrtest::clickButton(w, answer);
        });
        driver.expect(kScreen, [&](QWidget* w) {
            for (int i = 0; i < grid(w)->Records().Count(); ++i)
                tags << grid(w)->Records().Record(i)->Tag();
            tesrtest::clickButton(w, QStringLiteral("cmdClose"));
        });
        h.library().ShowOrderPayments(b.order);
        QVERIFY2(driver.waitDone(), qPrintable(driver.failure()));
        QVERIFY2(h.prompter().ok(), qPrintable(h.prompter().failures()));

        QCOMPARE(dialog,
                 (QStringList{"Delete Payment",
                              "The selected payment has been removed and it has no further allocations. Do you want "
                              "to delete this payment also?",
                              "If you choose to delete the payment then it will be permanently deleted. If you choose "
                              "keep the payment then it will remain on the customer's account as a credit and can be "
                              "applied to future sales.",
                              "Yes, delete the payment.", "No, keep the payment as a credit for this customer."}));
        QCOMPARE(tags, QStringList{QString::number(b.sharedHere)});
        QCOMPARE(figures(h.db(), b), expected);
        // The whole payment (not the part removed here), on its date and time in local time.
        QCOMPARE(activity(h.db(), b.customer),
                 deleted ? QStringList{"A payment of $250.12, recorded on 5/2/2024 5:05:00 AM, was deleted from this "
                                       "customer."}
                         : QStringList());
        QVERIFY(h.prompter().calls(Kind::Error).isEmpty());
    }

    // The remove statement fails half way: nothing of it stays.
    void removeFailureChangesNothing()
    {
        TestHost h;
        const Book b = makeBook(h.db());
        h.db().refuseWrites(QStringLiteral("DELETE"), QStringLiteral("PaymentAllocations"),
                            QStringLiteral("allocation locked"));
        const Figures before = figures(h.db(), b);
        h.prompter().expectQuestion(ScriptedPrompter::Yes, kRemoveQuestion);
        ModalDriver driver;
        QStringList shownBefore;
        QStringList shownAfter;
        onScreen(driver, kScreen, [&](QWidget* w) {
            shownBefore = shownRecords(grid(w));
            clickTag(grid(w), b.onlyHere);
            tesrtest::clickButton(w, QStringLiteral("cmdDelete"));
            shownAfter = shownRecords(grid(w));
            tesrtest::clickButton(w, QStringLiteral("cmdClose"));
        });
        h.library().ShowOrderPayments(b.order);
        QVERIFY2(driver.waitDone(), qPrintable(driver.failure()));
        QCOMPARE(shownAfter, shownBefore);
        QCOMPARE(figures(h.db(), b), before);
        const auto errors = h.prompter().calls(Kind::Error);
        QCOMPARE(int(errors.size()), 1);
        QCOMPARE(errors[0].headline, QStringLiteral("The payment allocation could not be removed."));
        QCOMPARE(errors[0].explanation, QStringLiteral("Check the event log for details."));
    }

    // Another workstation got there first: the allocation, or later the payment, is gone.
    void otherWorkstationFirst_data()
    {
        QTest::addColumn<bool>("paymentGone");
        QTest::newRow("the allocation was removed") << false;
        QTest::newRow("the payment was deleted") << true;
    }
    void otherWorkstationFirst()
    {
        QFETCH(bool, paymentGone);
        TestHost h;
        const Book b = makeBook(h.db());
        h.prompter().expectQuestion(ScriptedPrompter::Yes, kRemoveQuestion);
        ModalDriver driver;
        QStringList tags;
        onScreen(driver, kScreen, [&](QWidget* w) {
            if (!paymentGone) {
                h.db().exec(ledger::FillMarkers(ledger::RemoveAllocation, {{u"<aid>", QString::number(b.onlyHere)},
                                                                           {u"<pid>", QString::number(b.only)},
                                                                           {u"<ouid>", b.uniqueID},
                                                                           {u"<a>", QStringLiteral("250.1234")}}));
            }
            clickTag(grid(w), b.onlyHere);
            clickLater(w, QStringLiteral("cmdDelete"));
        });
        if (paymentGone) {
            driver.expect(QStringLiteral("TaskDialog1"), [&](QWidget* w) {
                h.db().exec(QStringLiteral("DELETE FROM Payments WHERE ID = %1").arg(b.only));
                tesrtest::clickButton(w, QStringLiteral("button128"));
            });
        }
        driver.expect(kScreen, [&](QWidget* w) {
            for (int i = 0; i < grid(w)->Records().Count(); ++i)
                tags << grid(w)->Records().Record(i)->Tag();
            tesrtest::clickButton(w, QStringLiteral("cmdClose"));
        });
        const Figures settled = [&] {
            Figures f = figures(h.db(), b);
            f.onlyAllocated = Currency();
            f.orderPayments -= money("250.1234");
            f.orderBalance += money("250.1234");
            f.allocations -= 1;
            return f;
        }();
        h.library().ShowOrderPayments(b.order);
        QVERIFY2(driver.waitDone(), qPrintable(driver.failure()));
        QVERIFY2(h.prompter().ok(), qPrintable(h.prompter().failures()));
        const auto errors = h.prompter().calls(Kind::Error);
        if (paymentGone) {
            // The removal stands; the delete found nothing to delete and says so.
            QCOMPARE(tags, QStringList{QString::number(b.sharedHere)});
            QCOMPARE(int(errors.size()), 1);
            QCOMPARE(errors[0].headline, QStringLiteral("The payment could not be deleted."));
            QCOMPARE(errors[0].explanation, QStringLiteral("Check the event log for details."));
            Figures expected = settled;
            expected.payments -= 1;
            expected.onlyAllocated = Currency();
            QCOMPARE(figures(h.db(), b), expected);
        } else {
            // Nothing to remove: no message, the row stays until the next load.
            QCOMPARE(tags.size(), 2);
            QVERIFY(errors.isEmpty());
            QCOMPARE(figures(h.db(), b), settled);
        }
        QVERIFY(activity(h.db(), b.customer).isEmpty());
    }

    // A quote in the order's UniqueID breaks neither the list nor the removal.
    void quoteInTheOrdersUniqueID()
    {
        TestHost h;
        const Book b = makeBook(h.db(), QStringLiteral("O'NEIL-7"));
        Figures expected = figures(h.db(), b);
        expected.sharedAllocated -= money("600");
        expected.orderPayments -= money("600");
        expected.orderBalance += money("600");
        expected.allocations -= 1;
        h.prompter().expectQuestion(ScriptedPrompter::Yes, kRemoveQuestion);
        ModalDriver driver;
        int listed = 0;
        onScreen(driver, kScreen, [&](QWidget* w) {
            listed = grid(w)->Records().Count();
            clickTag(grid(w), b.sharedHere);
            tesrtest::clickButton(w, QStringLiteral("cmdDelete"));
            tesrtest::clickButton(w, QStringLiteral("cmdClose"));
        });
        h.library().ShowOrderPayments(b.order);
        QVERIFY2(driver.waitDone(), qPrintable(driver.failure()));
        QCOMPARE(listed, 2);
        QCOMPARE(figures(h.db(), b), expected);
        QVERIFY(h.prompter().calls(Kind::Error).isEmpty());
    }

    void withoutConnectionTheListStaysEmpty()
    {
        TestHost h;
        const Book b = makeBook(h.db());
        h.config().setDatabaseUrl(h.db().folder() + QStringLiteral("/missing.db"));
        h.config().deny(803, 8); // no New Payment on the empty list
        ModalDriver driver;
        int records = -1;
        QString total;
        onScreen(driver, kScreen, [&](QWidget* w) {
            records = grid(w)->Records().Count();
            total = summary(w);
            tesrtest::clickButton(w, QStringLiteral("cmdDelete"));
            tesrtest::clickButton(w, QStringLiteral("cmdClose"));
        });
        h.library().ShowOrderPayments(b.order);
        QVERIFY2(driver.waitDone(), qPrintable(driver.failure()));
        QCOMPARE(records, 0);
        QCOMPARE(total, QStringLiteral("$0.00"));
        QVERIFY(h.prompter().calls().isEmpty());
    }
};

TESR_TEST_MAIN(TestOrderPayments)
#include "tst_frmOrderPayments.moc"

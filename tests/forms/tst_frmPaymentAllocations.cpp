// Payment Allocations end to end: opened through the Library over a real SQLite file, one
// allocation removed at a time with the mouse, the host's question answered by a scripted
// prompter, and the three figures checked afterwards; a payment with an allocation to an order
// kept on another system is refused and the screen closes by itself.

#include "support/ModalDriver.h"
#include "support/TestHost.h"
#include "support/TestMain.h"

#include "ledger/Statements.h"
#include "platform/HelperTools.h"
#include "platform/controls/ReportControl.h"
#include "shared/modSharedSQL.h"
#include "shared/modSharedWork.h"

#include <QAbstractButton>
#include <QApplication>
#include <QTimer>

using namespace tesr;
using tesrtest::ModalDriver;
using tesrtest::ScriptedPrompter;
using tesrtest::TestDatabase;
using tesrtest::TestHost;
using Kind = ScriptedPrompter::Call::Kind;

namespace {

const QString kScreen = QStringLiteral("frmPaymentAllocations");
const QString kDeleteQuestion =
    QStringLiteral("Are you sure you want to delete the selected payment allocation? This process cannot be undone.");

Currency money(const char* text)
{
    return *Currency::parsePlain(QString::fromLatin1(text));
}

OleDate at(int y, int m, int d, int h = 0, int mi = 0)
{
    return *OleDate::fromYmdHms(y, m, d, h, mi);
}

// One payment spread over three orders (amounts to the last of four decimals).
struct Book {
    int customer = 0;
    int payment = 0;
    QList<int> orders;
    QList<int> allocations;
    QList<Currency> amounts;
};

Book makeBook(TestDatabase& db)
{
    Book b;
    const int check = db.addPaymentMethod(QStringLiteral("Check"));
    b.customer = db.addCustomer(QStringLiteral("Abbott Interiors"));
    b.payment = db.addPayment(b.customer, money("1600"), check, at(2024, 6, 1));
    const char* numbers[] = {"3001 ", "3002", "3003"};
    const char* sidemarks[] = {"  Kitchen  ", "Bath", "O'Neil porch"};
    b.amounts = {money("500.0001"), money("700"), money("300.5")};
    for (int i = 0; i < 3; ++i) {
        const QString uid = QStringLiteral("SO-300%1").arg(i + 1);
        b.orders << db.addOrder(b.customer, uid, money("2000"), 3, 0, QString::fromLatin1(numbers[i]),
                                QString::fromLatin1(sidemarks[i]));
        db.allocate(b.payment, uid, b.amounts[i]);
        b.allocations << db.count(QStringLiteral("SELECT MAX(ID) FROM PaymentAllocations"));
        db.exec(QStringLiteral("UPDATE PaymentAllocations SET AddedOn = '%1' WHERE ID = %2")
                    .arg(modSharedSQL::FormatSQLDate(at(2024, 6, 2 + i, 10, 30), false))
                    .arg(b.allocations.last()));
    }
    return b;
}

struct Figures {
    Currency allocated;
    QList<Currency> payments, balances;
    int allocations = 0;
    bool operator==(const Figures&) const = default;
};

Figures figures(TestDatabase& db, const Book& b)
{
    Figures f;
    f.allocated = db.money(QStringLiteral("SELECT Allocated FROM Payments WHERE ID = %1").arg(b.payment));
    for (int order : b.orders) {
        f.payments << db.money(QStringLiteral("SELECT Payments FROM Orders WHERE ID = %1").arg(order));
        f.balances << db.money(QStringLiteral("SELECT Balance FROM Orders WHERE ID = %1").arg(order));
    }
    f.allocations = db.count(QStringLiteral("SELECT COUNT(*) FROM PaymentAllocations"));
    return f;
}

char* toString(const Figures& f)
{
    QStringList parts{f.allocated.toPlainString()};
    for (int i = 0; i < f.payments.size(); ++i)
        parts << f.payments[i].toPlainString() + u'/' + f.balances[i].toPlainString();
    parts << QString::number(f.allocations);
    return qstrdup(parts.join(QStringLiteral(", ")).toUtf8().constData());
}

ReportControl* grid(QWidget* w)
{
    return w->findChild<ReportControl*>(QStringLiteral("rptAllocations"));
}

bool deleteEnabled(QWidget* w)
{
    return w->findChild<QAbstractButton*>(QStringLiteral("cmdDelete"))->isEnabled();
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

QStringList tags(ReportControl* g)
{
    QStringList out;
    for (int i = 0; i < g->Records().Count(); ++i)
        out << g->Records().Record(i)->Tag();
    return out;
}

QString focusedTag(ReportControl* g)
{
    const ReportRow* row = g->FocusedRow();
    return row && row->Record() ? row->Record()->Tag() : QString();
}

void clickTag(ReportControl* g, int tag)
{
    for (int r = 0; r < g->Rows().Count(); ++r) {
        if (g->Rows().Row(r)->Record() && g->Rows().Row(r)->Record()->Tag() == QString::number(tag)) {
            const QRect cell = g->CellRect(g->Rows().Row(r), g->Columns().Column(1));
            QTest::mouseClick(g->viewport(), Qt::LeftButton, Qt::NoModifier, cell.center());
        }
    }
}

// The driver may first meet the screen while its first activation still lets events through;
// a second match can only come once that activation has returned and the list is loaded.
void onScreen(ModalDriver& driver, const QString& name, ModalDriver::Action action)
{
    driver.expect(name, [](QWidget*) {}).expect(name, std::move(action));
}

void render(QWidget* w, const QString& file)
{
    const QString dir = qEnvironmentVariable("TESR_RENDER_DIR");
    if (!dir.isEmpty())
        w->grab().save(dir + u'/' + file);
}

// Opens a screen that is to close by itself. A watchdog closes it (and fails the test) when it
// is still open after a few seconds, so no run waits for a person.
bool showsAndClosesByItself(TestHost& h, int paymentID)
{
    bool stayedOpen = false;
    QTimer watchdog;
    watchdog.setSingleShot(true);
    QObject::connect(&watchdog, &QTimer::timeout, [&stayedOpen] {
        while (QWidget* modal = QApplication::activeModalWidget()) {
            stayedOpen = true;
            modal->close();
        }
    });
    watchdog.start(3000);
    h.library().ShowPaymentAllocations(paymentID);
    return !stayedOpen;
}

} // namespace

class TestPaymentAllocations : public QObject {
    Q_OBJECT

private slots:
    void init()
    {
        helperFactory().CreateRegistryTools()->WriteString(RegistryTools::HKEY_CURRENT_USER_ROOT,
                                                           QString::fromLatin1(modSharedWork::WindowPositionsKey),
                                                           QStringLiteral("Payment Allocations"), QString());
    }

    void listsThePaymentsAllocations()
    {
        TestHost h;
        const Book b = makeBook(h.db());
        ModalDriver driver;
        QStringList rows;
        bool mayDelete = false;
        onScreen(driver, kScreen, [&](QWidget* w) {
            QCOMPARE(w->windowTitle(), QStringLiteral("Payment Allocations"));
            QCOMPARE(w->font().family(), QStringLiteral("Verdana"));
            QCOMPARE(w->font().pointSizeF(), 9.75);
            ReportControl* g = grid(w);
            QStringList columns;
            for (int i = 0; i < g->Columns().Count(); ++i) {
                const ReportColumn* c = g->Columns().Column(i);
                QVERIFY(c->Resizable() && !c->Editable());
                columns << c->Caption();
            }
            QCOMPARE(columns, (QStringList{"Date", "Order Number", "Sidemark", "Amount"}));
            QCOMPARE(g->Columns().Column(1)->Width(), 100);
            QVERIFY(g->Columns().Column(2)->Width() > 85); // the sidemark takes the spare room
            QCOMPARE(g->Columns().Column(3)->Width(), 85);
            QVERIFY(!g->AllowEdit());
            QCOMPARE(g->CustomDraw(), 4);
            rows = shownRecords(g);
            QCOMPARE(g->Records().Record(0)->Item(3)->Value().value<Currency>(), money("500.0001"));
            mayDelete = deleteEnabled(w);
            // Delete bottom left and Close bottom right, whatever the window's size.
            w->resize(640, 360);
            const QRect list = g->geometry();
            const QRect del = w->findChild<QWidget*>(QStringLiteral("cmdDelete"))->geometry();
            const QRect close = w->findChild<QWidget*>(QStringLiteral("cmdClose"))->geometry();
            QCOMPARE(list.topLeft(), QPoint(8, 8));
            QCOMPARE(list.right(), close.right());
            QCOMPARE(del.left(), 8);
            QCOMPARE(close.right(), 640 - 9);
            QCOMPARE(del.bottom(), 360 - 9);
            QCOMPARE(close.top(), del.top());
            QVERIFY(list.bottom() < del.top());
            render(w, QStringLiteral("frmPaymentAllocations.png"));
            tesrtest::clickButton(w, QStringLiteral("cmdClose"));
        });
        h.library().ShowPaymentAllocations(b.payment);
        QVERIFY2(driver.waitDone(), qPrintable(driver.failure()));
        // Order numbers as stored, sidemarks trimmed.
        QCOMPARE(rows, (QStringList{QStringLiteral("%1|6/2/2024|3001 |Kitchen|$500.00").arg(b.allocations[0]),
                                    QStringLiteral("%1|6/3/2024|3002|Bath|$700.00").arg(b.allocations[1]),
                                    QStringLiteral("%1|6/4/2024|3003|O'Neil porch|$300.50").arg(b.allocations[2])}));
        QVERIFY(mayDelete);
        QVERIFY(h.prompter().calls().isEmpty());
    }

    void anOrderMissingHereRefusesTheList()
    {
        TestHost h;
        const Book b = makeBook(h.db());
        // A fourth allocation names an order kept on another system.
        h.db().allocate(b.payment, QStringLiteral("REMOTE-77"), money("99"));
        const Figures before = figures(h.db(), b);
        QVERIFY(showsAndClosesByItself(h, b.payment));
        const auto calls = h.prompter().calls();
        QCOMPARE(int(calls.size()), 1);
        QCOMPARE(calls[0].kind, Kind::Notice);
        QCOMPARE(calls[0].headline, QStringLiteral("Payment allocations cannot be viewed on this computer becauase of "
                                                   "unknown sale/order references."));
        QCOMPARE(calls[0].explanation,
                 QStringLiteral("This payment contains references to one or more sales or orders that do not exist on "
                                "this computer. Viewing or deleting of the allocations for this payment must be done "
                                "on the main system."));
        QCOMPARE(calls[0].buttons, 1);
        QCOMPARE(calls[0].icon, 3);
        QCOMPARE(figures(h.db(), b), before);
    }

    void withoutConnectionTheScreenCloses()
    {
        TestHost h;
        const Book b = makeBook(h.db());
        h.config().setDatabaseUrl(h.db().folder() + QStringLiteral("/missing.db"));
        QVERIFY(showsAndClosesByItself(h, b.payment));
        QVERIFY(h.prompter().calls().isEmpty());
    }

    // A payment without allocations: an empty list that stays open; Delete does nothing.
    void aPaymentWithoutAllocations()
    {
        TestHost h;
        const Book b = makeBook(h.db());
        const int lone = h.db().addPayment(b.customer, money("10"), 1, at(2024, 7, 1));
        ModalDriver driver;
        int records = -1;
        bool mayDelete = false;
        onScreen(driver, kScreen, [&](QWidget* w) {
            records = grid(w)->Records().Count();
            mayDelete = deleteEnabled(w);
            tesrtest::clickButton(w, QStringLiteral("cmdDelete"));
            tesrtest::clickButton(w, QStringLiteral("cmdClose"));
        });
        h.library().ShowPaymentAllocations(lone);
        QVERIFY2(driver.waitDone(), qPrintable(driver.failure()));
        QCOMPARE(records, 0);
        QVERIFY(mayDelete);
        QVERIFY(h.prompter().calls().isEmpty());
    }

    void withoutTheRightDeleteStaysDisabled()
    {
        TestHost h;
        const Book b = makeBook(h.db());
        h.config().deny(803, 32);
        const Figures before = figures(h.db(), b);
        ModalDriver driver;
        QList<bool> seen;
        onScreen(driver, kScreen, [&](QWidget* w) {
            seen << deleteEnabled(w);
            h.config().grant(803, 32); // not picked up again
            clickTag(grid(w), b.allocations[1]);
            seen << deleteEnabled(w);
            tesrtest::clickButton(w, QStringLiteral("cmdDelete"));
            tesrtest::clickButton(w, QStringLiteral("cmdClose"));
        });
        h.library().ShowPaymentAllocations(b.payment);
        QVERIFY2(driver.waitDone(), qPrintable(driver.failure()));
        QCOMPARE(seen, (QList<bool>{false, false}));
        QVERIFY(h.prompter().calls().isEmpty());
        QCOMPARE(figures(h.db(), b), before);
    }

    void deleteOneAllocation_data()
    {
        QTest::addColumn<int>("which");
        QTest::addColumn<int>("answer");
        QTest::addColumn<int>("focus"); // index of the allocation focused afterwards, -1 none
        QTest::newRow("answered No") << 1 << int(ScriptedPrompter::No) << 1;
        QTest::newRow("the middle one: the next takes the focus") << 1 << int(ScriptedPrompter::Yes) << 2;
        QTest::newRow("the last one: the new last takes the focus") << 2 << int(ScriptedPrompter::Yes) << 1;
        QTest::newRow("the first one, four decimals") << 0 << int(ScriptedPrompter::Yes) << 1;
    }
    void deleteOneAllocation()
    {
        QFETCH(int, which);
        QFETCH(int, answer);
        QFETCH(int, focus);
        TestHost h;
        const Book b = makeBook(h.db());
        const bool yes = answer == ScriptedPrompter::Yes;
        Figures expected = figures(h.db(), b);
        if (yes) {
            expected.allocated -= b.amounts[which];
            expected.payments[which] -= b.amounts[which];
            expected.balances[which] += b.amounts[which];
            expected.allocations -= 1;
        }
        h.prompter().expectQuestion(answer, kDeleteQuestion);
        ModalDriver driver;
        QStringList left;
        QString focused;
        onScreen(driver, kScreen, [&](QWidget* w) {
            clickTag(grid(w), b.allocations[which]);
            tesrtest::clickButton(w, QStringLiteral("cmdDelete"));
            left = tags(grid(w));
            focused = focusedTag(grid(w));
            tesrtest::clickButton(w, QStringLiteral("cmdClose"));
        });
        h.library().ShowPaymentAllocations(b.payment);
        QVERIFY2(driver.waitDone(), qPrintable(driver.failure()));
        QVERIFY2(h.prompter().ok(), qPrintable(h.prompter().failures()));
        QCOMPARE(h.prompter().calls()[0].explanation,
                 QStringLiteral("Deleting a payment allocation will remove the amount from the order and apply it back "
                                "to the original payment as 'unallocated'."));
        QStringList expectedLeft;
        for (int i = 0; i < 3; ++i)
            if (!yes || i != which)
                expectedLeft << QString::number(b.allocations[i]);
        QCOMPARE(left, expectedLeft);
        QCOMPARE(focused, QString::number(b.allocations[focus]));
        QCOMPARE(figures(h.db(), b), expected);
        QCOMPARE(h.db().count(QStringLiteral("SELECT COUNT(*) FROM ActivityHistory")), 0);
    }

    void deleteEveryAllocationLeavesAnEmptyList()
    {
        TestHost h;
        const Book b = makeBook(h.db());
        for (int i = 0; i < 3; ++i)
            h.prompter().expectQuestion(ScriptedPrompter::Yes, kDeleteQuestion);
        ModalDriver driver;
        QStringList left{"?"};
        onScreen(driver, kScreen, [&](QWidget* w) {
            for (int i = 0; i < 3; ++i) {
                clickTag(grid(w), b.allocations[i]);
                tesrtest::clickButton(w, QStringLiteral("cmdDelete"));
            }
            left = tags(grid(w));
            tesrtest::clickButton(w, QStringLiteral("cmdClose"));
        });
        h.library().ShowPaymentAllocations(b.payment);
        QVERIFY2(driver.waitDone(), qPrintable(driver.failure()));
        QVERIFY2(h.prompter().ok(), qPrintable(h.prompter().failures()));
        QVERIFY(left.isEmpty());
        const Figures f = figures(h.db(), b);
        QCOMPARE(f.allocated, Currency());
        QCOMPARE(f.payments, (QList<Currency>{Currency(), Currency(), Currency()}));
        QCOMPARE(f.balances, (QList<Currency>{money("2000"), money("2000"), money("2000")}));
        QCOMPARE(f.allocations, 0);
    }

    void deleteFailureChangesNothing()
    {
        TestHost h;
        const Book b = makeBook(h.db());
        h.db().refuseWrites(QStringLiteral("DELETE"), QStringLiteral("PaymentAllocations"),
                            QStringLiteral("allocation locked"));
        const Figures before = figures(h.db(), b);
        h.prompter().expectQuestion(ScriptedPrompter::Yes, kDeleteQuestion);
        ModalDriver driver;
        QStringList left;
        onScreen(driver, kScreen, [&](QWidget* w) {
            clickTag(grid(w), b.allocations[1]);
            tesrtest::clickButton(w, QStringLiteral("cmdDelete"));
            left = tags(grid(w));
            tesrtest::clickButton(w, QStringLiteral("cmdClose"));
        });
        h.library().ShowPaymentAllocations(b.payment);
        QVERIFY2(driver.waitDone(), qPrintable(driver.failure()));
        QCOMPARE(left.size(), 3);
        QCOMPARE(figures(h.db(), b), before);
        const auto errors = h.prompter().calls(Kind::Error);
        QCOMPARE(int(errors.size()), 1);
        QCOMPARE(errors[0].headline, QStringLiteral("The payment allocation could not be deleted."));
        QCOMPARE(errors[0].explanation, QStringLiteral("Check the event log for details."));
    }

    // Another workstation removed the allocation first: nothing is done twice, nothing is said.
    void allocationAlreadyRemoved()
    {
        TestHost h;
        const Book b = makeBook(h.db());
        h.prompter().expectQuestion(ScriptedPrompter::Yes, kDeleteQuestion);
        ModalDriver driver;
        Figures afterOther;
        onScreen(driver, kScreen, [&](QWidget* w) {
            h.db().exec(ledger::FillMarkers(ledger::RemoveAllocation, {{u"<aid>", QString::number(b.allocations[1])},
                                                                       {u"<pid>", QString::number(b.payment)},
                                                                       {u"<ouid>", QStringLiteral("SO-3002")},
                                                                       {u"<a>", QStringLiteral("700")}}));
            afterOther = figures(h.db(), b);
            clickTag(grid(w), b.allocations[1]);
            tesrtest::clickButton(w, QStringLiteral("cmdDelete"));
            tesrtest::clickButton(w, QStringLiteral("cmdClose"));
        });
        h.library().ShowPaymentAllocations(b.payment);
        QVERIFY2(driver.waitDone(), qPrintable(driver.failure()));
        QVERIFY2(h.prompter().ok(), qPrintable(h.prompter().failures()));
        QCOMPARE(figures(h.db(), b), afterOther);
        QCOMPARE(afterOther.allocated, money("800.5001"));
        QCOMPARE(int(h.prompter().calls().size()), 1); // the question only
    }
};

TESR_TEST_MAIN(TestPaymentAllocations)
#include "tst_frmPaymentAllocations.moc"

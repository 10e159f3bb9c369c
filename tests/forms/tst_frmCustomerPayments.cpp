// Customer Payments end to end: opened through the Library over a real SQLite file, driven with
// mouse clicks on its named controls, the host's messages answered by a scripted prompter, and
// the database checked afterwards.

#include "support/ModalDriver.h"
#include "support/TestHost.h"
#include "support/TestMain.h"

#include "forms/frmCustomerPayments/ReviewGrid.h"
#include "platform/HelperTools.h"
#include "platform/controls/ReportControl.h"
#include "shared/modSharedReportControl.h"
#include "shared/modSharedWork.h"
#include "values/Regional.h"

#include <QAbstractButton>
#include <QPointer>
#include <QTimer>

using namespace tesr;
using tesrtest::ModalDriver;
using tesrtest::ScriptedPrompter;
using tesrtest::TestDatabase;
using tesrtest::TestHost;
using Kind = ScriptedPrompter::Call::Kind;

namespace {

const QString kScreen = QStringLiteral("frmCustomerPayments");

Currency money(const char* text)
{
    return *Currency::parsePlain(QString::fromLatin1(text));
}

OleDate at(int y, int m, int d, int h = 0, int mi = 0)
{
    return *OleDate::fromYmdHms(y, m, d, h, mi);
}

// A customer with a payment applied in full, one applied in part and one left as credit, and
// a second customer whose payment must never show.
struct Book {
    int customer = 0;
    int full = 0;
    int part = 0;
    int credit = 0;
    int twin = 0; // the same day and amount as `credit`
    int otherPayment = 0;
};

Book makeBook(TestDatabase& db)
{
    Book b;
    const int check = db.addPaymentMethod(QStringLiteral("Check"));
    const int visa = db.addPaymentMethod(QStringLiteral("Visa"), 1);
    const int cash = db.addPaymentMethod(QStringLiteral("Cash"));
    b.customer = db.addCustomer(QStringLiteral("Abbott Interiors"));
    const int other = db.addCustomer(QStringLiteral("Baker & Sons"));
    db.addOrder(b.customer, QStringLiteral("SO-1001"), money("800"), 3, 0, QStringLiteral("1001"),
                QStringLiteral("Kitchen"));
    db.addOrder(b.customer, QStringLiteral("SO-1002"), money("2000"), 3, 0, QStringLiteral("1002"),
                QStringLiteral("Bath"));
    b.full = db.addPayment(b.customer, money("500"), check, at(2024, 3, 4, 15, 30), QStringLiteral("Deposit"));
    db.allocate(b.full, QStringLiteral("SO-1001"), money("500"));
    b.part = db.addPayment(b.customer, money("1234.5678"), visa, at(2024, 3, 5), QString(), QStringLiteral("4242"),
                           QStringLiteral("J Smith"), 12, 2027);
    db.allocate(b.part, QStringLiteral("SO-1002"), money("1000"));
    b.credit = db.addPayment(b.customer, money("25"), cash, at(2024, 3, 6));
    b.twin = db.addPayment(b.customer, money("25"), cash, at(2024, 3, 6));
    b.otherPayment = db.addPayment(other, money("99"), cash, at(2024, 3, 6));
    return b;
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

// The enabled state of the four buttons: Allocations, New, Edit, Delete.
QString buttonStates(QWidget* w)
{
    QString s;
    for (const char* name : {"cmdAllocations", "cmdNew", "cmdEdit", "cmdDelete"})
        s += enabled(w, name) ? u'1' : u'0';
    return s;
}

// What every record shows, in record order: tag, then each cell's caption.
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

const ReportRecord* recordByTag(ReportControl* g, int id)
{
    for (int i = 0; i < g->Records().Count(); ++i)
        if (g->Records().Record(i)->Tag() == QString::number(id))
            return g->Records().Record(i);
    return nullptr;
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

void forgetPlacement(const QString& caption)
{
    helperFactory().CreateRegistryTools()->WriteString(RegistryTools::HKEY_CURRENT_USER_ROOT,
                                                       QString::fromLatin1(modSharedWork::WindowPositionsKey), caption,
                                                       QString());
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

class TestCustomerPayments : public QObject {
    Q_OBJECT

private slots:
    void init() { forgetPlacement(QStringLiteral("Customer Payments")); }

    void listsTheCustomersPayments()
    {
        TestHost h;
        const Book b = makeBook(h.db());
        ModalDriver driver;
        QStringList rows;
        QString buttons;
        onScreen(driver, kScreen, [&](QWidget* w) {
            QCOMPARE(w->windowTitle(), QStringLiteral("Customer Payments"));
            QCOMPARE(w->font().family(), QStringLiteral("Verdana"));
            QCOMPARE(w->font().pointSizeF(), 9.75);
            // At the design size every control stands where it was designed.
            w->resize(591, 435);
            const QList<std::pair<const char*, QRect>> design{
                {"rptPayments", QRect(8, 8, 575, 389)}, {"cmdAllocations", QRect(8, 404, 199, 24)},
                {"cmdNew", QRect(213, 404, 80, 24)},    {"cmdEdit", QRect(299, 404, 80, 24)},
                {"cmdDelete", QRect(385, 404, 80, 24)}, {"cmdClose", QRect(504, 404, 80, 24)}};
            for (const auto& [name, rect] : design)
                QCOMPARE(w->findChild<QWidget*>(QString::fromLatin1(name))->geometry(), rect);
            QCOMPARE(w->findChild<QAbstractButton*>(QStringLiteral("cmdAllocations"))->text(),
                     QStringLiteral("Show Payment Allocations"));

            ReportControl* g = grid(w);
            // The design widths, except that a short date shows whole and the details take the
            // room the window has beyond the design; together the columns fill the grid.
            QStringList columns;
            int total = 0;
            for (int i = 0; i < g->Columns().Count(); ++i) {
                const ReportColumn* c = g->Columns().Column(i);
                const int design[] = {65, 175, 80, 80, 80};
                QVERIFY(c->Width() >= design[i]);
                total += c->Width();
                columns << QStringLiteral("%1:%2:%3:%4")
                               .arg(c->ItemIndex())
                               .arg(c->Caption())
                               .arg(i >= 2 ? c->Width() : design[i])
                               .arg(c->Resizable());
            }
            QCOMPARE(columns, (QStringList{"0:Date:65:1", "1:Details:175:1", "2:Amount:80:1", "3:Allocated:80:1",
                                           "4:Unallocated:80:1"}));
            QCOMPARE(total, g->viewport()->width());
            const ReportRow* first = g->Rows().Row(0);
            QVERIFY(g->CellRect(first, g->Columns().Column(0)).width() >=
                    QFontMetrics(g->PaintManager().TextFont()).horizontalAdvance(QStringLiteral("12/28/2024")));
            QCOMPARE(g->CustomDraw(), 4);
            QCOMPARE(g->PaintManager().TextFont().pointSizeF(), 10.0);
            rows = shownRecords(g);
            rows.sort();
            // Cells hold the four-decimal amounts; only the captions are rounded.
            const ReportRecord* part = recordByTag(g, b.part);
            QVERIFY(part);
            QCOMPARE(part->Item(2)->Value().value<Currency>(), money("1234.5678"));
            QCOMPARE(part->Item(4)->Value().value<Currency>(), money("234.5678"));
            QCOMPARE(part->Item(0)->Value().value<OleDate>(), at(2024, 3, 5));
            QCOMPARE(part->Item(0)->ToolTip(), QStringLiteral("3/5/2024"));
            QCOMPARE(part->Item(0)->GroupCaption(), QStringLiteral("3/5/2024"));
            // Twin cells carry the same date item.
            const ReportRecord* twin = recordByTag(g, b.twin);
            QVERIFY(twin);
            QCOMPARE(twin->Item(0)->Value().value<OleDate>(), at(2024, 3, 6));
            QCOMPARE(twin->Item(0)->GroupPriority(), int(at(2024, 3, 6).seconds() / 86400));
            QCOMPARE(twin->Item(0)->GroupCaption(), QStringLiteral("3/6/2024"));
            const ReportRecord* full = recordByTag(g, b.full);
            QVERIFY(full);
            QCOMPARE(full->Item(0)->ToolTip(), QStringLiteral("3/4/2024 3:30:00 PM"));
            buttons = buttonStates(w);
            // Larger, the list grows and the buttons keep to the bottom, Close to the right.
            w->resize(720, 500);
            QCOMPARE(g->geometry(), QRect(8, 8, 575 + 129, 389 + 65));
            QCOMPARE(w->findChild<QWidget*>(QStringLiteral("cmdNew"))->geometry(), QRect(213, 404 + 65, 80, 24));
            QCOMPARE(w->findChild<QWidget*>(QStringLiteral("cmdClose"))->geometry(),
                     QRect(504 + 129, 404 + 65, 80, 24));
            clickRow(g, 1);
            render(w, QStringLiteral("frmCustomerPayments.png"));
            tesrtest::clickButton(w, QStringLiteral("cmdClose"));
        });
        h.library().ShowCustomerPayments(b.customer);
        QVERIFY2(driver.waitDone(), qPrintable(driver.failure()));

        QStringList expected{
            QStringLiteral("%1|3/4/2024|Check - Deposit|$500.00|$500.00|$0.00").arg(b.full),
            QStringLiteral("%1|3/5/2024|Visa ending 4242 (J Smith)|$1,234.57|$1,000.00|$234.57").arg(b.part),
            QStringLiteral("%1|3/6/2024|Cash|$25.00|$0.00|$25.00").arg(b.credit),
            QStringLiteral("%1|3/6/2024|Cash|$25.00|$0.00|$25.00").arg(b.twin)};
        expected.sort();
        QCOMPARE(rows, expected);
        QCOMPARE(buttons, QStringLiteral("0100")); // nothing selected: only New
        QVERIFY(h.prompter().calls().isEmpty());
    }

    // The list cells are made once per distinct value; they must equal what the shared helpers
    // make for every cell, in any regional settings.
    void cellsMatchTheSharedHelpers_data()
    {
        QTest::addColumn<QString>("locale");
        QTest::newRow("en_US") << "en_US";
        QTest::newRow("de_DE") << "de_DE";
        QTest::newRow("ja_JP") << "ja_JP";
    }
    void cellsMatchTheSharedHelpers()
    {
        QFETCH(QString, locale);
        const QLocale previous;
        QLocale::setDefault(QLocale(locale));
        const QList<OleDate> dates{at(2024, 3, 5, 10),       at(2024, 3, 5, 23, 59),
                                   at(2024, 3, 5),           at(2024, 3, 5, 10),
                                   at(2024, 3, 6, 0, 1),     OleDate::absent(),
                                   at(1899, 12, 30),         at(1900, 1, 1, 0, 1),
                                   at(2024, 12, 31, 12, 30), at(2024, 3, 5, 10, 0).addSeconds(7)};
        reviewgrid::CellFormatter cells;
        for (const OleDate& date : dates) {
            ReportRecordItem ours;
            ReportRecordItem shared;
            cells.Date(ours, date);
            modSharedReportControl::SetDateGroupItem(shared, date, QStringLiteral("Short Date"), QString());
            const QString what = date.toIsoString();
            QVERIFY2(ours.Value() == shared.Value(), qPrintable(what));
            QCOMPARE(ours.Caption(), shared.Caption());
            QCOMPARE(ours.ToolTip(), shared.ToolTip());
            QCOMPARE(ours.GroupCaption(), shared.GroupCaption());
            QCOMPARE(ours.GroupPriority(), shared.GroupPriority());
        }
        for (const char* amount : {"1234.5678", "-5", "0", "1234.5678", "999999.995", "-0.0001"})
            QCOMPARE(cells.Money(money(amount)), Regional::formatCurrency(money(amount)));
        QLocale::setDefault(previous);

        const QList<QVariant> texts{QStringLiteral("2024-03-05 10:00:00"),
                                    QStringLiteral("2024-02-29 23:59:59"),
                                    QStringLiteral("2024-02-30 10:00:00"),
                                    QStringLiteral("2024-03-05T10:00:00"),
                                    QStringLiteral("2024-03-05 1a:00:00"),
                                    QStringLiteral("2024-03-05"),
                                    QString(),
                                    QVariant(),
                                    QVariant(QDateTime(QDate(2024, 3, 5), QTime(8, 0)))};
        for (const QVariant& v : texts)
            QCOMPARE(reviewgrid::ReadDate(v), OleDate::fromVariant(v).value_or(OleDate::absent()));
    }

    void selectionDrivesTheButtons_data()
    {
        QTest::addColumn<QString>("selection");
        QTest::addColumn<bool>("mayDelete");
        QTest::addColumn<QString>("states");
        QTest::newRow("one payment") << "one" << true << "1111";
        QTest::newRow("one payment, no right to delete") << "one" << false << "1110";
        QTest::newRow("two payments") << "two" << true << "0100";
        QTest::newRow("a date heading") << "heading" << true << "0100";
        QTest::newRow("one, then none") << "none" << true << "0100";
    }
    void selectionDrivesTheButtons()
    {
        QFETCH(QString, selection);
        QFETCH(bool, mayDelete);
        QFETCH(QString, states);
        TestHost h;
        const Book b = makeBook(h.db());
        if (!mayDelete)
            h.config().deny(803, 32);
        ModalDriver driver;
        QString seen;
        onScreen(driver, kScreen, [&](QWidget* w) {
            ReportControl* g = grid(w);
            if (selection == QLatin1String("heading")) {
                g->GroupBy(g->Columns().Column(0));
                QVERIFY(g->Rows().Row(0)->GroupRow());
                clickRow(g, 0);
            } else {
                clickRow(g, 0);
                if (selection == QLatin1String("two"))
                    clickRow(g, 2, Qt::ControlModifier);
                else if (selection == QLatin1String("none"))
                    clickRow(g, 0, Qt::ControlModifier);
            }
            seen = buttonStates(w);
            tesrtest::clickButton(w, QStringLiteral("cmdClose"));
        });
        h.library().ShowCustomerPayments(b.customer);
        QVERIFY2(driver.waitDone(), qPrintable(driver.failure()));
        QCOMPARE(seen, states);
    }

    // The right to delete is asked again on every selection change, not once.
    void deleteRightFollowsTheHost()
    {
        TestHost h;
        const Book b = makeBook(h.db());
        ModalDriver driver;
        QStringList seen;
        onScreen(driver, kScreen, [&](QWidget* w) {
            clickRow(grid(w), 0);
            seen << buttonStates(w);
            h.config().deny(803, 32);
            clickRow(grid(w), 1);
            seen << buttonStates(w);
            h.config().grant(803, 32);
            clickRow(grid(w), 2);
            seen << buttonStates(w);
            tesrtest::clickButton(w, QStringLiteral("cmdClose"));
        });
        h.library().ShowCustomerPayments(b.customer);
        QVERIFY2(driver.waitDone(), qPrintable(driver.failure()));
        QCOMPARE(seen, (QStringList{"1111", "1110", "1111"}));
    }

    void deleteRefusedWhileAllocated()
    {
        TestHost h;
        const Book b = makeBook(h.db());
        ModalDriver driver;
        QStringList before;
        QStringList after;
        onScreen(driver, kScreen, [&](QWidget* w) {
            ReportControl* g = grid(w);
            before = shownRecords(g);
            for (int r = 0; r < g->Rows().Count(); ++r)
                if (g->Rows().Row(r)->Record()->Tag() == QString::number(b.part))
                    clickRow(g, r);
            tesrtest::clickButton(w, QStringLiteral("cmdDelete"));
            after = shownRecords(g);
            tesrtest::clickButton(w, QStringLiteral("cmdClose"));
        });
        h.library().ShowCustomerPayments(b.customer);
        QVERIFY2(driver.waitDone(), qPrintable(driver.failure()));

        QCOMPARE(after, before);
        const auto calls = h.prompter().calls();
        QCOMPARE(int(calls.size()), 1);
        QCOMPARE(calls[0].kind, Kind::Notice);
        QCOMPARE(calls[0].headline, QStringLiteral("The selected payment cannot be deleted because it is attached to "
                                                   "one or more quotes/sales/orders."));
        QCOMPARE(calls[0].explanation,
                 QStringLiteral("In order to delete a payment you must first delete all allocations for it."));
        QCOMPARE(h.db().count(QStringLiteral("SELECT COUNT(*) FROM Payments WHERE ID = %1").arg(b.part)), 1);
        QCOMPARE(h.db().money(QStringLiteral("SELECT Allocated FROM Payments WHERE ID = %1").arg(b.part)),
                 money("1000"));
        QVERIFY(activity(h.db(), b.customer).isEmpty());
    }

    void deleteRemovesThePayment_data()
    {
        QTest::addColumn<int>("payments");
        QTest::addColumn<int>("position");
        QTest::newRow("a middle one: the next takes the focus") << 3 << 1;
        QTest::newRow("the last one: the new last takes the focus") << 3 << 2;
        QTest::newRow("the first one") << 3 << 0;
        QTest::newRow("the only one: nothing left") << 1 << 0;
    }
    void deleteRemovesThePayment()
    {
        QFETCH(int, payments);
        QFETCH(int, position);
        TestHost h;
        TestDatabase& db = h.db();
        const int cash = db.addPaymentMethod(QStringLiteral("Cash"));
        const int customer = db.addCustomer(QStringLiteral("Cabot"));
        QList<int> ids;
        for (int i = 0; i < payments; ++i)
            ids << db.addPayment(customer, Currency::fromUnits(10 * (i + 1)) + money("1234.005"), cash,
                                 at(2024, 11, 20 + i, 23, 59));
        ModalDriver driver;
        QStringList order;
        QString focused;
        QString deletedTag;
        QString buttons;
        onScreen(driver, kScreen, [&](QWidget* w) {
            ReportControl* g = grid(w);
            for (int i = 0; i < g->Records().Count(); ++i)
                order << g->Records().Record(i)->Tag();
            deletedTag = g->Rows().Row(position)->Record()->Tag();
            clickRow(g, position);
            tesrtest::clickButton(w, QStringLiteral("cmdDelete"));
            focused = focusedTag(g);
            buttons = buttonStates(w);
            QCOMPARE(g->Records().Count(), payments - 1);
            QVERIFY(!g->Records().Count() || g->hasFocus());
            tesrtest::clickButton(w, QStringLiteral("cmdClose"));
        });
        h.library().ShowCustomerPayments(customer);
        QVERIFY2(driver.waitDone(), qPrintable(driver.failure()));
        QVERIFY2(h.prompter().ok(), qPrintable(h.prompter().failures()));
        QVERIFY(h.prompter().calls().isEmpty()); // no question, no message

        // The neighbour in record order: the one that moved up, else the new last one.
        const int pos = int(order.indexOf(deletedTag));
        QString expectedFocus;
        if (pos + 1 < order.size())
            expectedFocus = order[pos + 1];
        else if (order.size() > 1)
            expectedFocus = order[order.size() - 2];
        QCOMPARE(focused, expectedFocus);
        QCOMPARE(buttons, expectedFocus.isEmpty() ? QStringLiteral("0100") : QStringLiteral("1111"));

        QCOMPARE(db.count(QStringLiteral("SELECT COUNT(*) FROM Payments WHERE ID = %1").arg(deletedTag)), 0);
        QCOMPARE(db.count(QStringLiteral("SELECT COUNT(*) FROM Payments")), payments - 1);
        // The amount and the date exactly as the row showed them.
        const int k = int(ids.indexOf(deletedTag.toInt()));
        const QString amount = Regional::formatCurrency(Currency::fromUnits(10 * (k + 1)) + money("1234.005"));
        QCOMPARE(activity(db, customer),
                 QStringList{QStringLiteral("A payment of %1, recorded on 11/%2/2024, was deleted from this customer.")
                                 .arg(amount)
                                 .arg(20 + k)});
        QVERIFY(amount.startsWith(u'$') && amount.contains(u','));
    }

    void deleteFailureKeepsTheRow()
    {
        TestHost h;
        const Book b = makeBook(h.db());
        h.db().refuseWrites(QStringLiteral("DELETE"), QStringLiteral("Payments"), QStringLiteral("payment locked"));
        ModalDriver driver;
        QStringList before;
        QStringList after;
        onScreen(driver, kScreen, [&](QWidget* w) {
            ReportControl* g = grid(w);
            before = shownRecords(g);
            for (int r = 0; r < g->Rows().Count(); ++r)
                if (g->Rows().Row(r)->Record()->Tag() == QString::number(b.credit))
                    clickRow(g, r);
            tesrtest::clickButton(w, QStringLiteral("cmdDelete"));
            after = shownRecords(g);
            tesrtest::clickButton(w, QStringLiteral("cmdClose"));
        });
        h.library().ShowCustomerPayments(b.customer);
        QVERIFY2(driver.waitDone(), qPrintable(driver.failure()));
        QCOMPARE(after, before);
        const auto errors = h.prompter().calls(Kind::Error);
        QCOMPARE(int(errors.size()), 1);
        QCOMPARE(errors[0].headline, QStringLiteral("The payment could not be deleted."));
        QCOMPARE(errors[0].explanation, QStringLiteral("Check the event log for details."));
        QCOMPARE(h.db().count(QStringLiteral("SELECT COUNT(*) FROM Payments WHERE ID = %1").arg(b.credit)), 1);
        QVERIFY(activity(h.db(), b.customer).isEmpty());
    }

    void withoutConnectionTheListStaysEmpty()
    {
        TestHost h;
        const Book b = makeBook(h.db());
        h.config().setDatabaseUrl(h.db().folder() + QStringLiteral("/missing.db"));
        ModalDriver driver;
        int records = -1;
        QString buttons;
        onScreen(driver, kScreen, [&](QWidget* w) {
            records = grid(w)->Records().Count();
            buttons = buttonStates(w);
            tesrtest::clickButton(w, QStringLiteral("cmdDelete")); // disabled: nothing happens
            tesrtest::clickButton(w, QStringLiteral("cmdClose"));
        });
        h.library().ShowCustomerPayments(b.customer);
        QVERIFY2(driver.waitDone(), qPrintable(driver.failure()));
        QCOMPARE(records, 0);
        QCOMPARE(buttons, QStringLiteral("0100"));
        QVERIFY(h.prompter().calls().isEmpty());
    }
};

TESR_TEST_MAIN(TestCustomerPayments)
#include "tst_frmCustomerPayments.moc"

// Edit Payment end to end: opened through the Library over a real SQLite file, its fields typed
// into and left with the keyboard, the calendar and the standard message boxes answered under
// the watchdog, and the payment row read back. The time zone is set by the test so that dates
// convert the same way everywhere.

#include "support/ModalDriver.h"
#include "support/TestHost.h"
#include "support/TestMain.h"

#include "forms/frmEditPayment/frmEditPayment.h"
#include "platform/HelperTools.h"
#include "platform/SqlConnection.h"
#include "platform/controls/ComboBox.h"
#include "platform/controls/FlatEdit.h"
#include "shared/modSharedDateTime.h"
#include "shared/modSharedWork.h"

#include <QCalendarWidget>
#include <QLabel>
#include <QListWidget>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QSqlError>
#include <QSqlQuery>
#include <QTableView>
#include <QTimer>

using namespace tesr;
using tesrtest::ModalDriver;
using tesrtest::ScriptedPrompter;
using tesrtest::TestDatabase;
using tesrtest::TestHost;
using Kind = ScriptedPrompter::Call::Kind;

namespace {

const QString kScreen = QStringLiteral("frmEditPayment");
const QString kSaveFailed = QStringLiteral("Unable to edit the payment.");
const QString kNeedCard = QStringLiteral("You must enter the last 4 digits of the credit card number.");
const QString kNeedName = QStringLiteral("You must enter the name printed on the card.");
const QString kNeedExpiry = QStringLiteral("You must enter a valid expire date of the card.");
const QString kNeedDate = QStringLiteral("You must enter a valid payment date.");
// Stored with a line break, quotes and letters beyond ASCII: all of it must come back intact.
const QString kMemo =
    QStringLiteral("Deposit for Mrs O'Brien's order\r\nPaid \"in full\" \u2014 caf\u00e9 Z\u00fcrich");

OleDate at(int y, int m, int d, int h = 0, int mi = 0, int s = 0)
{
    return *OleDate::fromYmdHms(y, m, d, h, mi, s);
}

// Five hours west of Greenwich, an hour less while daylight saving time is in effect.
void setZone(int bias, bool daylight)
{
    modSharedDateTime::setTimeZoneSource([bias, daylight] {
        modSharedDateTime::TimeZoneInfo info;
        info.bias = bias;
        info.daylightBias = -60;
        info.daylightInEffect = daylight;
        return info;
    });
}

struct Book {
    int cash = 0;
    int check = 0;
    int visa = 0;
    int customer = 0;
    int card = 0;  // a Visa payment with every card detail
    int plain = 0; // a cash payment
};

Book makeBook(TestDatabase& db)
{
    Book b;
    b.cash = db.addPaymentMethod(QStringLiteral("Cash"));
    b.check = db.addPaymentMethod(QStringLiteral("Check"));
    b.visa = db.addPaymentMethod(QStringLiteral("Visa"), 1);
    b.customer = db.addCustomer(QStringLiteral("Jos\u00e9 M\u00fcller"));
    b.card =
        db.addPayment(b.customer, *Currency::parsePlain(QStringLiteral("1234.5")), b.visa, at(2018, 1, 23, 16, 7, 36),
                      kMemo, QStringLiteral("4'42"), QStringLiteral("Zo\u00eb O'Neil"), 12, 2027);
    b.plain = db.addPayment(b.customer, *Currency::parsePlain(QStringLiteral("80")), b.cash, at(2018, 1, 24, 12),
                            QStringLiteral("Cash memo"), QStringLiteral("9999"), QStringLiteral("Kept Name"), 3, 2020);
    return b;
}

// The driver may first meet the dialog while its first activation still lets events through;
// a second match can only come once that activation has returned and the payment is loaded.
void onScreen(ModalDriver& driver, ModalDriver::Action action)
{
    driver.expect(kScreen, [](QWidget*) {}).expect(kScreen, std::move(action));
}

QLineEdit* field(QWidget* w, const char* name)
{
    return w->findChild<QLineEdit*>(QString::fromLatin1(name));
}

QString textOf(QWidget* w, const char* name)
{
    const QLineEdit* f = field(w, name);
    return f ? f->text() : QStringLiteral("(missing)");
}

// Replaces a field's text as a user does: into the field, select all, type, Tab away.
void retype(QWidget* w, const char* name, const QString& typed)
{
    QLineEdit* f = field(w, name);
    QVERIFY(f);
    QTest::mouseClick(f, Qt::LeftButton);
    QTest::keyClick(f, Qt::Key_A, Qt::ControlModifier);
    if (typed.isEmpty())
        QTest::keyClick(f, Qt::Key_Delete);
    else
        QTest::keyClicks(f, typed);
    QTest::keyClick(f, Qt::Key_Tab);
}

// The enabled state of the eight card fields, as one text.
QString cardFields(QWidget* w)
{
    QString s;
    for (const char* name : {"lblCardNumber", "txtCardNumber", "lblNameOnCard", "txtNameOnCard", "lblExpireDate",
                             "lblExpireDate2", "txtExpireMonth", "txtExpireYear"}) {
        const QWidget* c = w->findChild<QWidget*>(QString::fromLatin1(name));
        s += !c ? u'?' : c->isEnabled() ? u'1' : u'0';
    }
    return s;
}

void clickLater(QWidget* w, const char* name)
{
    QPointer<QWidget> target(w);
    const QString button = QString::fromLatin1(name);
    QTimer::singleShot(0, [target, button] {
        if (target)
            tesrtest::clickButton(target, button);
    });
}

void answerOk(ModalDriver& driver, QString& shown)
{
    driver.expect(QStringLiteral("moduleMessageBox"), [&shown](QWidget* box) {
        shown = tesrtest::messageBoxText(box);
        tesrtest::answerMessageBox(box, QMessageBox::Ok);
    });
}

void render(QWidget* w, const QString& file)
{
    const QString dir = qEnvironmentVariable("TESR_RENDER_DIR");
    if (!dir.isEmpty())
        w->grab().save(dir + u'/' + file);
}

// The payment row as the dialog may change it, one text per column.
QStringList paymentRow(TestDatabase& db, int id)
{
    auto rs = db.connection().OpenRecordset(
        QStringLiteral("SELECT PaymentMethodID, PaymentDate, Description, CardNumber, NameOnCard, ExpireMonth, "
                       "ExpireYear, Amount, Allocated, CustomerID FROM Payments WHERE ID = %1")
            .arg(id));
    if (!rs || rs->Eof())
        return {};
    QStringList row;
    for (int i = 0; i < rs->FieldCount(); ++i) {
        const QVariant v = rs->FieldValue(i);
        if (rs->FieldName(i) == QLatin1String("PaymentDate"))
            row << (v.isNull() ? QStringLiteral("NULL") : OleDate::fromVariant(v).value_or(OleDate()).toIsoString());
        else if (rs->FieldName(i) == QLatin1String("Amount") || rs->FieldName(i) == QLatin1String("Allocated"))
            row << Currency::fromVariant(v).value_or(Currency()).toPlainString();
        else
            row << v.toString();
    }
    return row;
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

} // namespace

class TestEditPayment : public QObject {
    Q_OBJECT

private slots:
    void init()
    {
        setZone(300, false);
        // Every test opens the dialog at its design size.
        helperFactory().CreateRegistryTools()->WriteString(RegistryTools::HKEY_CURRENT_USER_ROOT,
                                                           QString::fromLatin1(modSharedWork::WindowPositionsKey),
                                                           QStringLiteral("Edit Payment"), QString());
    }
    void cleanup() { modSharedDateTime::setTimeZoneSource({}); }

    void showsThePaymentAndSavesItBackUnchanged_data()
    {
        QTest::addColumn<bool>("card");
        QTest::addColumn<QStringList>("shown");
        QTest::addColumn<QString>("cardState");
        QTest::newRow("card method: card fields open")
            << true << QStringList{"Jos\u00e9 M\u00fcller", "Visa", "$1,234.50", "1/23/2018", kMemo, "4'42",
                                   "Zo\u00eb O'Neil",       "12",   "2027"}
            << "11111111";
        QTest::newRow("other method: card fields closed, texts kept") << false << QStringList{"Jos\u00e9 M\u00fcller",
                                                                                              "Cash",
                                                                                              "$80.00",
                                                                                              "1/24/2018",
                                                                                              "Cash memo",
                                                                                              "9999",
                                                                                              "Kept Name",
                                                                                              "3",
                                                                                              "2020"}
                                                                      << "00000000";
    }
    void showsThePaymentAndSavesItBackUnchanged()
    {
        QFETCH(bool, card);
        QFETCH(QStringList, shown);
        QFETCH(QString, cardState);
        TestHost h;
        const Book b = makeBook(h.db());
        const int id = card ? b.card : b.plain;
        QStringList before = paymentRow(h.db(), id);
        ModalDriver driver;
        QStringList seen;
        QString state;
        onScreen(driver, [&](QWidget* w) {
            QCOMPARE(w->windowTitle(), QStringLiteral("Edit Payment"));
            QCOMPARE(w->font().family(), QStringLiteral("Verdana"));
            for (const char* name : {"cboCustomer", "cboPaymentMethod", "cboAmount", "txtPaymentDate", "txtDescription",
                                     "txtCardNumber", "txtNameOnCard", "txtExpireMonth", "txtExpireYear"})
                seen << textOf(w, name);
            state = cardFields(w);
            QVERIFY(!field(w, "cboCustomer")->isEnabled());
            QVERIFY(!field(w, "cboAmount")->isEnabled());
            QCOMPARE(w->findChild<QLabel*>(QStringLiteral("Image1"))->toolTip(),
                     QStringLiteral("4 characters only; enter the last 4 of the CC."));
            auto* methods = w->findChild<ComboBox*>(QStringLiteral("cboPaymentMethod"));
            QCOMPARE(methods->ListCount(), 3);
            if (card)
                render(w, QStringLiteral("frmEditPayment.png"));
            tesrtest::clickButton(w, QStringLiteral("cmdOK"));
        });
        QVERIFY(h.library().ShowEditPayment(id));
        QVERIFY2(driver.waitDone(), qPrintable(driver.failure()));
        QCOMPARE(seen, shown);
        QCOMPARE(state, cardState);
        // Only the time of day goes: local midnight of the shown day, in universal time.
        before[1] = card ? QStringLiteral("2018-01-23T05:00:00") : QStringLiteral("2018-01-24T05:00:00");
        QCOMPARE(paymentRow(h.db(), id), before);
        QVERIFY(h.prompter().calls().isEmpty());
    }

    void editsEveryField()
    {
        TestHost h;
        const Book b = makeBook(h.db());
        ModalDriver driver;
        QString stateAfterSwitch;
        onScreen(driver, [&](QWidget* w) {
            retype(w, "txtPaymentDate", QStringLiteral("2/29/2024"));
            retype(w, "txtDescription", QStringLiteral("Second thoughts; it's \"final\" <id>"));
            retype(w, "txtCardNumber", QStringLiteral("12'4"));
            retype(w, "txtNameOnCard", QStringLiteral("O'Neil & <desc>"));
            retype(w, "txtExpireMonth", QStringLiteral("7"));
            retype(w, "txtExpireYear", QStringLiteral("2031"));
            // From a card method to another kind: the card fields close, their texts stay.
            auto* methods = w->findChild<ComboBox*>(QStringLiteral("cboPaymentMethod"));
            QTest::mouseClick(methods, Qt::LeftButton); // opens the list
            QListWidget* list = methods->DropDown();
            QTRY_VERIFY(list->isVisible());
            QListWidgetItem* cash = list->findItems(QStringLiteral("Cash"), Qt::MatchExactly).value(0);
            QVERIFY(cash);
            QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::NoModifier, list->visualItemRect(cash).center());
            QCOMPARE(methods->Text(), QStringLiteral("Cash"));
            stateAfterSwitch = cardFields(w);
            tesrtest::clickButton(w, QStringLiteral("cmdOK"));
        });
        QVERIFY(h.library().ShowEditPayment(b.card));
        QVERIFY2(driver.waitDone(), qPrintable(driver.failure()));
        QCOMPARE(stateAfterSwitch, QStringLiteral("00000000"));
        QCOMPARE(paymentRow(h.db(), b.card),
                 (QStringList{QString::number(b.cash), "2024-02-29T05:00:00", "Second thoughts; it's \"final\" <id>",
                              "12'4", "O'Neil & <desc>", "7", "2031", "1234.5", "0", QString::number(b.customer)}));
    }

    void fieldRulesOnLeave_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("left");
        const QString thisYear = QString::number(QDate::currentDate().year());
        QTest::newRow("month too large") << "txtExpireMonth"
                                         << "13"
                                         << "1";
        QTest::newRow("year too early") << "txtExpireYear"
                                        << "1899" << thisYear;
        QTest::newRow("date with a short year") << "txtPaymentDate"
                                                << "3/1/24"
                                                << "3/1/2024";
        QTest::newRow("no such date") << "txtPaymentDate"
                                      << "2/30/2024"
                                      << "";
    }
    void fieldRulesOnLeave()
    {
        QFETCH(QString, name);
        QFETCH(QString, typed);
        QFETCH(QString, left);
        TestHost h;
        const Book b = makeBook(h.db());
        const QStringList before = paymentRow(h.db(), b.card);
        ModalDriver driver;
        QString after;
        onScreen(driver, [&](QWidget* w) {
            retype(w, name.toLatin1().constData(), typed);
            after = textOf(w, name.toLatin1().constData());
            tesrtest::clickButton(w, QStringLiteral("cmdCancel"));
        });
        QVERIFY(!h.library().ShowEditPayment(b.card));
        QVERIFY2(driver.waitDone(), qPrintable(driver.failure()));
        QCOMPARE(after, left);
        QCOMPARE(paymentRow(h.db(), b.card), before);
    }

    // The date shown is the local day of the stored universal moment, with the offset in force
    // when the dialog reads it; the date saved is local midnight of the shown day, converted
    // with the offset in force when it is saved.
    void dateRoundTrip_data()
    {
        QTest::addColumn<QString>("stored"); // universal time, or NULL
        QTest::addColumn<int>("bias");
        QTest::addColumn<bool>("daylightAtLoad");
        QTest::addColumn<bool>("daylightAtSave");
        QTest::addColumn<QString>("shown");
        QTest::addColumn<QString>("saved");
        QTest::newRow("afternoon, standard time") << "20180123 16:07:36" << 300 << false << false << "1/23/2018"
                                                  << "2018-01-23T05:00:00";
        QTest::newRow("just after midnight, daylight time") << "20180311 04:30:00" << 300 << true << true << "3/11/2018"
                                                            << "2018-03-11T04:00:00";
        QTest::newRow("the same moment in standard time is the day before")
            << "20180311 04:30:00" << 300 << false << false << "3/10/2018"
            << "2018-03-10T05:00:00";
        QTest::newRow("daylight time ends while the dialog is open")
            << "20181104 04:30:00" << 300 << true << false << "11/4/2018"
            << "2018-11-04T05:00:00";
        QTest::newRow("east of Greenwich, across the end of February")
            << "20180228 23:30:00" << -60 << false << false << "3/1/2018"
            << "2018-02-28T23:00:00";
        QTest::newRow("no date: the absent date, shifted") << "NULL" << 300 << false << false << "12/31/1899"
                                                           << "1899-12-31T05:00:00";
    }
    void dateRoundTrip()
    {
        QFETCH(QString, stored);
        QFETCH(int, bias);
        QFETCH(bool, daylightAtLoad);
        QFETCH(bool, daylightAtSave);
        QFETCH(QString, shown);
        QFETCH(QString, saved);
        TestHost h;
        const Book b = makeBook(h.db());
        h.db().exec(QStringLiteral("UPDATE Payments SET PaymentDate = %1 WHERE ID = %2")
                        .arg(stored == QLatin1String("NULL") ? stored : TestDatabase::quoted(stored))
                        .arg(b.plain));
        setZone(bias, daylightAtLoad);
        ModalDriver driver;
        QString seen;
        onScreen(driver, [&](QWidget* w) {
            seen = textOf(w, "txtPaymentDate");
            setZone(bias, daylightAtSave);
            tesrtest::clickButton(w, QStringLiteral("cmdOK"));
        });
        QVERIFY(h.library().ShowEditPayment(b.plain));
        QVERIFY2(driver.waitDone(), qPrintable(driver.failure()));
        QCOMPARE(seen, shown);
        const QStringList row = paymentRow(h.db(), b.plain);
        QCOMPARE(row.value(1), saved);
        // Saved without touching the date, a payment without one still has no usable date.
        if (stored == QLatin1String("NULL"))
            QVERIFY(OleDate::fromVariant(row.value(1))->isAbsent());
    }

    void cardDetailsRequiredByTheUserOption_data()
    {
        QTest::addColumn<QVariant>("option");
        QTest::addColumn<bool>("cardMethod");
        QTest::addColumn<QString>("setColumns"); // applied to the payment before opening
        QTest::addColumn<QString>("message");
        const QString none;
        QTest::newRow("not required, no card number") << QVariant(0) << true << "CardNumber = ''" << none;
        QTest::newRow("required, no card number") << QVariant(1) << true << "CardNumber = ''" << kNeedCard;
        QTest::newRow("required as text, no name") << QVariant("1") << true << "NameOnCard = ''" << kNeedName;
        QTest::newRow("required, no expiry month") << QVariant(1) << true << "ExpireMonth = NULL" << kNeedExpiry;
        QTest::newRow("required, every detail there") << QVariant(1) << true << "CardNumber = '1111'" << none;
        QTest::newRow("required, but not a card method") << QVariant(1) << false << "CardNumber = ''" << none;
        QTest::newRow("an option that is no number") << QVariant("yes") << true << "CardNumber = ''" << none;
    }
    void cardDetailsRequiredByTheUserOption()
    {
        QFETCH(QVariant, option);
        QFETCH(bool, cardMethod);
        QFETCH(QString, setColumns);
        QFETCH(QString, message);
        TestHost h;
        const Book b = makeBook(h.db());
        const int id = cardMethod ? b.card : b.plain;
        h.db().exec(QStringLiteral("UPDATE Payments SET %1 WHERE ID = %2").arg(setColumns).arg(id));
        h.config().setOption(QStringLiteral("Payments"), QStringLiteral("RequireCCDetails"), option);
        const QStringList before = paymentRow(h.db(), id);
        ModalDriver driver;
        QString shown;
        bool stayedOpen = false;
        onScreen(driver, [&](QWidget* w) {
            if (message.isEmpty())
                tesrtest::clickButton(w, QStringLiteral("cmdOK"));
            else
                clickLater(w, "cmdOK");
        });
        if (!message.isEmpty()) {
            answerOk(driver, shown);
            driver.expect(kScreen, [&](QWidget* w) {
                stayedOpen = true;
                tesrtest::clickButton(w, QStringLiteral("cmdCancel"));
            });
        }
        QCOMPARE(h.library().ShowEditPayment(id), message.isEmpty());
        QVERIFY2(driver.waitDone(), qPrintable(driver.failure()));
        QCOMPARE(shown, message);
        QCOMPARE(stayedOpen, !message.isEmpty());
        if (!message.isEmpty())
            QCOMPARE(paymentRow(h.db(), id), before);
    }

    void aPaymentThatDoesNotExist()
    {
        TestHost h;
        makeBook(h.db());
        ModalDriver driver;
        QStringList seen;
        QString dateMessage;
        onScreen(driver, [&](QWidget* w) {
            for (const char* name :
                 {"cboCustomer", "cboPaymentMethod", "cboAmount", "txtPaymentDate", "txtDescription"})
                seen << textOf(w, name);
            seen << cardFields(w);
            clickLater(w, "cmdOK");
        });
        answerOk(driver, dateMessage);
        driver.expect(kScreen, [&](QWidget* w) {
            retype(w, "txtPaymentDate", QStringLiteral("3/1/2024"));
            tesrtest::clickButton(w, QStringLiteral("cmdOK")); // fails: reported through the host
            tesrtest::clickButton(w, QStringLiteral("cmdCancel"));
        });
        QVERIFY(!h.library().ShowEditPayment(987654));
        QVERIFY2(driver.waitDone(), qPrintable(driver.failure()));
        QCOMPARE(seen, (QStringList{"", "", "", "", "", "00000000"}));
        QCOMPARE(dateMessage, kNeedDate);
        const auto errors = h.prompter().calls(Kind::Error);
        QCOMPARE(errors.size(), 1);
        QCOMPARE(errors[0].headline, kSaveFailed);
        QCOMPARE(h.db().count(QStringLiteral("SELECT COUNT(*) FROM Payments WHERE ID = 987654")), 0);
    }

    void aRefusedUpdateKeepsTheDialogOpen()
    {
        TestHost h;
        const Book b = makeBook(h.db());
        QVERIFY(refuseUpdates(h.db(), QStringLiteral("Payments"), QStringLiteral("1 = 1"),
                              QStringLiteral("payment locked by the test")));
        const QStringList before = paymentRow(h.db(), b.card);
        ModalDriver driver;
        bool stayedOpen = false;
        QString memoAfter;
        onScreen(driver, [&](QWidget* w) {
            retype(w, "txtDescription", QStringLiteral("changed"));
            tesrtest::clickButton(w, QStringLiteral("cmdOK"));
            stayedOpen = w->isVisible();
            memoAfter = textOf(w, "txtDescription");
            tesrtest::clickButton(w, QStringLiteral("cmdCancel"));
        });
        QVERIFY(!h.library().ShowEditPayment(b.card));
        QVERIFY2(driver.waitDone(), qPrintable(driver.failure()));
        QVERIFY(stayedOpen);
        QCOMPARE(memoAfter, QStringLiteral("changed"));
        QCOMPARE(paymentRow(h.db(), b.card), before);
        const auto errors = h.prompter().calls(Kind::Error);
        QCOMPARE(errors.size(), 1);
        QCOMPARE(errors[0].headline, kSaveFailed);
        QCOMPARE(errors[0].explanation, tesr::host::ReferenceHost::StandardExplanation);
        QVERIFY2(errors[0].detail.contains(QStringLiteral("payment locked by the test")), qPrintable(errors[0].detail));
    }

    void calendarUnderTheDateField_data()
    {
        QTest::addColumn<QString>("fieldText");
        QTest::addColumn<QString>("keys"); // "down" picks a week later, "escape" closes
        QTest::addColumn<QDate>("startsAt");
        QTest::addColumn<QString>("after");
        QTest::newRow("a week after the shown day") << ""
                                                    << "down" << QDate(2018, 1, 23) << "1/30/2018";
        QTest::newRow("closed without a choice") << ""
                                                 << "escape" << QDate(2018, 1, 23) << "1/23/2018";
        QTest::newRow("an empty field starts at today")
            << "(empty)"
            << "enter" << QDate::currentDate() << QLocale().toString(QDate::currentDate(), QStringLiteral("M/d/yyyy"));
    }
    void calendarUnderTheDateField()
    {
        QFETCH(QString, fieldText);
        QFETCH(QString, keys);
        QFETCH(QDate, startsAt);
        QFETCH(QString, after);
        TestHost h;
        const Book b = makeBook(h.db());
        ModalDriver driver;
        QDate selected;
        bool noneOffered = true;
        QPoint shownAt, expectedAt;
        QString result;
        onScreen(driver, [&](QWidget* w) {
            QLineEdit* date = field(w, "txtPaymentDate");
            if (fieldText == QLatin1String("(empty)"))
                date->setText(QString());
            expectedAt = w->mapToGlobal(QPoint(date->x(), date->geometry().bottom() + 2));
            clickLater(w, "cmdPaymentDate");
        });
        driver.expect(QStringLiteral("DatePicker1"), [&](QWidget* picker) {
            noneOffered = picker->findChild<QPushButton*>(QStringLiteral("buttonNone"))->isVisible();
            shownAt = picker->pos();
            auto* calendar = picker->findChild<QCalendarWidget*>(QStringLiteral("calendar0"));
            selected = calendar->selectedDate();
            QWidget* view = calendar->findChild<QTableView*>();
            if (keys == QLatin1String("down"))
                QTest::keyClick(view, Qt::Key_Down);
            QTest::keyClick(view, keys == QLatin1String("escape") ? Qt::Key_Escape : Qt::Key_Return);
        });
        driver.expect(kScreen, [&](QWidget* w) {
            result = textOf(w, "txtPaymentDate");
            tesrtest::clickButton(w, QStringLiteral("cmdCancel"));
        });
        QVERIFY(!h.library().ShowEditPayment(b.card));
        QVERIFY2(driver.waitDone(), qPrintable(driver.failure()));
        QVERIFY(!noneOffered);
        QCOMPARE(selected, startsAt);
        QVERIFY2((shownAt - expectedAt).manhattanLength() <= 2, qPrintable(QStringLiteral("%1,%2 vs %3,%4")
                                                                               .arg(shownAt.x())
                                                                               .arg(shownAt.y())
                                                                               .arg(expectedAt.x())
                                                                               .arg(expectedAt.y())));
        QCOMPARE(result, after);
    }
};

TESR_TEST_MAIN(TestEditPayment)
#include "tst_frmEditPayment.moc"

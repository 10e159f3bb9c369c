// Edit Payment through the Library on a TestHost over a real database: fields typed into and
// left with the keyboard, the calendar and message boxes answered under the watchdog, and the
// payment row read back. The test sets the time zone, so dates convert the same everywhere.

#include "support/ScreenTest.h"
#include "support/TestMain.h"

#include "host/ReferenceHost.h"
#include "platform/controls/ComboBox.h"

#include <QApplication>
#include <QClipboard>
#include <QListWidget>

using namespace tesr;
using namespace tesrtest;
using namespace Qt::StringLiterals;

namespace {

const QString kScreen = u"frmEditPayment"_s;
// Stored with a line break, quotes and letters beyond ASCII: all of it must come back intact.
const QString kMemo = u"Deposit for Mrs O'Brien's order\r\nPaid \"in full\" \u2014 caf\u00e9 Z\u00fcrich"_s;
const QStringList kCardFields{"lblCardNumber", "txtCardNumber",  "lblNameOnCard",  "txtNameOnCard",
                              "lblExpireDate", "lblExpireDate2", "txtExpireMonth", "txtExpireYear"};

struct Book {
    int cash = 0, visa = 0, customer = 0;
    int card = 0;  // a Visa payment with every card detail
    int plain = 0; // a cash payment
};

Book makeBook(TestDatabase& db)
{
    Book b;
    b.cash = db.addPaymentMethod(u"Cash"_s);
    db.addPaymentMethod(u"Check"_s);
    b.visa = db.addPaymentMethod(u"Visa"_s, 1);
    b.customer = db.addCustomer(u"Jos\u00e9 M\u00fcller"_s);
    b.card = db.addPayment(b.customer, cur("1234.5"), b.visa, at(2018, 1, 23, 16, 7, 36), kMemo, u"4'42"_s,
                           u"Zo\u00eb O'Neil"_s, 12, 2027);
    b.plain = db.addPayment(b.customer, cur("80"), b.cash, at(2018, 1, 24, 12), u"Cash memo"_s, u"9999"_s,
                            u"Kept Name"_s, 3, 2020);
    return b;
}

// The payment row as the dialog may change it, one text per column.
QStringList paymentRow(TestDatabase& db, int id)
{
    auto rs = db.connection().OpenRecordset(u"SELECT PaymentMethodID, PaymentDate, Description, CardNumber, "
                                            "NameOnCard, ExpireMonth, ExpireYear, Amount, Allocated, CustomerID FROM "
                                            "Payments WHERE ID = %1"_s.arg(id));
    QStringList row;
    for (int i = 0; rs && !rs->Eof() && i < rs->FieldCount(); ++i) {
        const QVariant v = rs->FieldValue(i);
        if (v.isNull())
            row << u"NULL"_s;
        else if (i == 1)
            row << OleDate::fromVariant(v).value_or(OleDate()).toIsoString();
        else
            row << (i == 7 || i == 8 ? Currency::fromVariant(v).value_or(Currency()).toPlainString() : v.toString());
    }
    return row;
}

// Replaces a field's text as a user does: into the field, select all, type, Tab away.
void retype(QWidget* w, const char* name, const QString& typed)
{
    QTest::mouseClick(child(w, name), Qt::LeftButton);
    typeOver(child(w, name), typed, true);
}

} // namespace

class TestEditPayment : public QObject {
    Q_OBJECT

private slots:
    void init()
    {
        setZone(300);
        forgetPlacements({u"Edit Payment"_s});
    }
    void cleanup() { resetZone(); }

    // Shown as stored, and saved back unchanged but for the time of day: local midnight of the
    // shown day, in universal time.
    void showsThePaymentAndSavesItBackUnchanged_data()
    {
        QTest::addColumn<bool>("card");
        QTest::addColumn<QString>("shown");
        QTest::newRow("card method: card fields open")
            << true << u"Jos\u00e9 M\u00fcller|Visa|$1,234.50|1/23/2018|%1|4'42|Zo\u00eb O'Neil|12|2027|all"_s;
        QTest::newRow("other method: card fields closed, texts kept")
            << false << u"Jos\u00e9 M\u00fcller|Cash|$80.00|1/24/2018|Cash memo|9999|Kept Name|3|2020|none"_s;
    }
    void showsThePaymentAndSavesItBackUnchanged()
    {
        QFETCH(bool, card);
        QFETCH(QString, shown);
        SCREEN_FIXTURE(makeBook);
        const int id = card ? b.card : b.plain;
        QStringList before = paymentRow(h.db(), id);
        QStringList seen;
        onScreen(d, kScreen, [&](QWidget* w) {
            QCOMPARE(w->windowTitle(), u"Edit Payment"_s);
            for (const char* name : {"cboCustomer", "cboPaymentMethod", "cboAmount", "txtPaymentDate", "txtDescription",
                                     "txtCardNumber", "txtNameOnCard", "txtExpireMonth", "txtExpireYear"})
                seen << textOf(w, name);
            seen << enabledStates(w, kCardFields);
            QCOMPARE(enabledStates(w, {"cboCustomer", "cboAmount"}), u"none"_s);
            render(w, card ? u"frmEditPayment.png"_s : u"frmEditPayment-cash.png"_s);
            clickButton(w, u"cmdOK"_s);
        });
        QVERIFY(h.library().ShowEditPayment(id));
        SCREEN_DONE(d, h);
        QCOMPARE(seen.join(u'|'), shown.arg(kMemo));
        before[1] = card ? u"2018-01-23T05:00:00"_s : u"2018-01-24T05:00:00"_s;
        QCOMPARE(paymentRow(h.db(), id), before);
        QVERIFY(h.prompter().calls().isEmpty());
    }

    // Every field changed, with quotes and markers; from a card method to another kind the card
    // fields close and their texts stay.
    void editsEveryField()
    {
        SCREEN_FIXTURE(makeBook);
        QString stateAfterSwitch;
        onScreen(d, kScreen, [&](QWidget* w) {
            retype(w, "txtPaymentDate", u"2/29/2024"_s);
            retype(w, "txtDescription", u"Second thoughts; it's \"final\" <id>"_s);
            retype(w, "txtCardNumber", u"12'4"_s);
            retype(w, "txtNameOnCard", u"O'Neil & <desc>"_s);
            retype(w, "txtExpireMonth", u"7"_s);
            retype(w, "txtExpireYear", u"2031"_s);
            auto* methods = child<ComboBox>(w, "cboPaymentMethod");
            QTest::mouseClick(methods, Qt::LeftButton); // opens the list
            QListWidget* list = methods->DropDown();
            QTRY_VERIFY(list->isVisible());
            QListWidgetItem* cash = list->findItems(u"Cash"_s, Qt::MatchExactly).value(0);
            QVERIFY(cash);
            QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::NoModifier, list->visualItemRect(cash).center());
            stateAfterSwitch = methods->Text() + u' ' + enabledStates(w, kCardFields);
            clickButton(w, u"cmdOK"_s);
        });
        QVERIFY(h.library().ShowEditPayment(b.card));
        SCREEN_DONE(d, h);
        QCOMPARE(stateAfterSwitch, u"Cash none"_s);
        QCOMPARE(paymentRow(h.db(), b.card),
                 (QStringList{QString::number(b.cash), "2024-02-29T05:00:00", "Second thoughts; it's \"final\" <id>",
                              "12'4", "O'Neil & <desc>", "7", "2031", "1234.5", "0", QString::number(b.customer)}));
    }

    // Each field's rule on leaving it, in turn, with nothing saved. (A date nobody can read is
    // refused at its box by the rule both payment screens share: New Payment's refusedAtItsBox.)
    void fieldRulesOnLeave()
    {
        SCREEN_FIXTURE(makeBook);
        const QStringList before = paymentRow(h.db(), b.card);
        QStringList left;
        onScreen(d, kScreen, [&](QWidget* w) {
            const std::pair<const char*, QString> typed[] = {
                {"txtExpireMonth", u"13"_s}, {"txtExpireYear", u"1899"_s}, {"txtPaymentDate", u"3/1/24"_s}};
            for (const auto& [name, text] : typed) {
                retype(w, name, text);
                left << textOf(w, name);
            }
            clickButton(w, u"cmdCancel"_s);
        });
        QVERIFY(!h.library().ShowEditPayment(b.card));
        SCREEN_DONE(d, h);
        QCOMPARE(left, (QStringList{u"1"_s, QString::number(QDate::currentDate().year()), u"3/1/2024"_s}));
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
        // clang-format off
        QTest::newRow("after midnight, daylight time") << "20180311 04:30:00" << 300 << true << true << "3/11/2018" << "2018-03-11T04:00:00";
        QTest::newRow("daylight time ends while open") << "20181104 04:30:00" << 300 << true << false << "11/4/2018" << "2018-11-04T05:00:00";
        QTest::newRow("east, across the end of February") << "20180228 23:30:00" << -60 << false << false << "3/1/2018" << "2018-02-28T23:00:00";
        QTest::newRow("no date: the absent date, shifted") << "NULL" << 300 << false << false << "12/31/1899" << "1899-12-31T05:00:00";
        // clang-format on
    }
    void dateRoundTrip()
    {
        QFETCH(QString, stored);
        QFETCH(int, bias);
        QFETCH(bool, daylightAtLoad);
        QFETCH(bool, daylightAtSave);
        QFETCH(QString, shown);
        QFETCH(QString, saved);
        SCREEN_FIXTURE(makeBook);
        h.db().exec(u"UPDATE Payments SET PaymentDate = %1 WHERE ID = %2"_s
                        .arg(stored == u"NULL" ? stored : TestDatabase::quoted(stored))
                        .arg(b.plain));
        setZone(bias, daylightAtLoad);
        QString seen;
        onScreen(d, kScreen, [&](QWidget* w) {
            seen = textOf(w, "txtPaymentDate");
            setZone(bias, daylightAtSave);
            clickButton(w, u"cmdOK"_s);
        });
        QVERIFY(h.library().ShowEditPayment(b.plain));
        SCREEN_DONE(d, h);
        QCOMPARE(seen, shown);
        const QString row = paymentRow(h.db(), b.plain).value(1);
        QCOMPARE(row, saved);
        // Saved without touching the date, a payment without one still has no usable date.
        QVERIFY(stored != u"NULL" || OleDate::fromVariant(row)->isAbsent());
    }

    void cardDetailsRequiredByTheUserOption_data()
    {
        QTest::addColumn<QVariant>("option");
        QTest::addColumn<bool>("cardMethod");
        QTest::addColumn<QString>("setColumns"); // applied to the payment before opening
        QTest::addColumn<QString>("message");
        const QString none;
        const QString card = u"You must enter the last 4 digits of the credit card number."_s;
        // clang-format off
        QTest::newRow("not required, no card number") << QVariant(0) << true << "CardNumber = ''" << none;
        QTest::newRow("required, no card number") << QVariant(1) << true << "CardNumber = ''" << card;
        QTest::newRow("required as text, no name") << QVariant("1") << true << "NameOnCard = ''" << "You must enter the name printed on the card.";
        QTest::newRow("required, no expiry month") << QVariant(1) << true << "ExpireMonth = NULL" << "You must enter a valid expire date of the card.";
        QTest::newRow("required, but not a card method") << QVariant(1) << false << "CardNumber = ''" << none;
        QTest::newRow("an option that is no number") << QVariant("yes") << true << "CardNumber = ''" << none;
        // clang-format on
    }
    void cardDetailsRequiredByTheUserOption()
    {
        QFETCH(QVariant, option);
        QFETCH(bool, cardMethod);
        QFETCH(QString, setColumns);
        QFETCH(QString, message);
        SCREEN_FIXTURE(makeBook);
        const int id = cardMethod ? b.card : b.plain;
        h.db().exec(u"UPDATE Payments SET %1 WHERE ID = %2"_s.arg(setColumns).arg(id));
        h.config().setOption(u"Payments"_s, u"RequireCCDetails"_s, option);
        const QStringList before = paymentRow(h.db(), id);
        QString shownText;
        onScreen(d, kScreen, [&](QWidget* w) {
            if (message.isEmpty())
                return clickButton(w, u"cmdOK"_s);
            clickLater(w, u"cmdOK"_s);
            answerBox(d, shownText);
            d.expect(kScreen, [&](QWidget* w2) { clickButton(w2, u"cmdCancel"_s); }); // still open
        });
        QCOMPARE(h.library().ShowEditPayment(id), message.isEmpty());
        SCREEN_DONE(d, h);
        QCOMPARE(shownText, message);
        QVERIFY(message.isEmpty() || paymentRow(h.db(), id) == before);
    }

    // A statement tail typed into an expiry box, the box left for Cancel (which checks nothing),
    // then OK: refused in words with the focus back in the box, and the row unchanged.
    void numberBoxesTakeNoStatement_data()
    {
        QTest::addColumn<QString>("box");
        QTest::newRow("month") << "txtExpireMonth";
        QTest::newRow("year") << "txtExpireYear";
    }
    void numberBoxesTakeNoStatement()
    {
        QFETCH(QString, box);
        const QString tail = u"1 WHERE ID = 1; UPDATE Payments SET Allocated = 0; --"_s;
        SCREEN_FIXTURE(makeBook);
        const QStringList before = paymentRow(h.db(), b.card);
        QString told, focused;
        onScreen(d, kScreen, [&](QWidget* w) {
            typeOver(child(w, qPrintable(box)), tail);
            leaveForCancel(w);
            clickLater(w, u"cmdOK"_s);
            answerBox(d, told);
            d.expect(kScreen, [&](QWidget* w2) {
                focused = QApplication::focusWidget() ? QApplication::focusWidget()->objectName() : QString();
                QCOMPARE(textOf(w2, qPrintable(box)), tail);
                clickButton(w2, u"cmdCancel"_s);
            });
        });
        QVERIFY(!h.library().ShowEditPayment(b.card));
        SCREEN_DONE(d, h);
        QCOMPARE(told, u"You must enter a valid expire date of the card."_s);
        QCOMPARE(focused, box);
        QCOMPARE(paymentRow(h.db(), b.card), before);
    }

    // Opened for a payment that is not there (none such, or deleted on another workstation), OK
    // ends in the dialog's own failure naming the ID, not a complaint about the empty fields,
    // and the dialog stays open.
    void aMissingPaymentFailsAsAFailedSave()
    {
        SCREEN_FIXTURE(makeBook);
        const QStringList before = paymentRow(h.db(), b.card);
        bool open = false;
        onScreen(d, kScreen, [&](QWidget* w) {
            clickButton(w, u"cmdOK"_s);
            open = w->isVisible();
            clickButton(w, u"cmdCancel"_s);
        });
        QVERIFY(!h.library().ShowEditPayment(9999));
        SCREEN_DONE(d, h);
        QVERIFY(open);
        const QStringList said = errors(h.prompter());
        QCOMPARE(said.value(0), u"Unable to edit the payment."_s);
        QCOMPARE(said.value(2), u"There is no payment with the ID 9999."_s);
        QCOMPARE(paymentRow(h.db(), b.card), before);
    }

    // What a payment holds in its expiry columns: NULL stays NULL and an older 0 stays 0 when
    // the memo is edited; text (which SQLite keeps in an integer column) is refused in words,
    // never written into the statement.
    void storedExpiryNeverReachesAStatement_data()
    {
        QTest::addColumn<QString>("stored"); // SQL for ExpireYear
        QTest::addColumn<QString>("saved");  // then, or "refused"
        QTest::newRow("NULL") << "NULL"
                              << "NULL";
        QTest::newRow("0 from an older version") << "0"
                                                 << "0";
        if (!onPostgres())
            QTest::newRow("text") << "'2027; DELETE FROM Payments'"
                                  << "refused";
    }
    void storedExpiryNeverReachesAStatement()
    {
        QFETCH(QString, stored);
        QFETCH(QString, saved);
        SCREEN_FIXTURE(makeBook);
        h.db().exec(u"UPDATE Payments SET ExpireMonth = %1, ExpireYear = %1 WHERE ID = %2"_s.arg(stored).arg(b.plain));
        const QStringList before = paymentRow(h.db(), b.plain);
        QString told;
        onScreen(d, kScreen, [&](QWidget* w) {
            retype(w, "txtDescription", u"edited"_s);
            if (saved != u"refused")
                return clickButton(w, u"cmdOK"_s);
            clickLater(w, u"cmdOK"_s);
            answerBox(d, told);
            d.expect(kScreen, [](QWidget* w2) { clickButton(w2, u"cmdCancel"_s); });
        });
        QCOMPARE(h.library().ShowEditPayment(b.plain), saved != u"refused");
        SCREEN_DONE(d, h);
        const QStringList row = paymentRow(h.db(), b.plain);
        if (saved == u"refused") {
            QCOMPARE(told, u"You must enter a valid expire date of the card."_s);
            QCOMPARE(row, before);
            QCOMPARE(h.db().count(u"SELECT COUNT(*) FROM Payments"_s), 2);
        } else {
            QCOMPARE(row[2] + u'|' + row[5] + u'|' + row[6], u"edited|%1|%1"_s.arg(saved));
        }
    }

    // The card number box holds the last four digits: a whole number stored before shows, and
    // is saved back as, its last four; one typed or pasted keeps its last four.
    void cardNumberKeepsItsLastFourDigits()
    {
        SCREEN_FIXTURE(makeBook);
        h.db().exec(u"UPDATE Payments SET CardNumber = '4111 1111 1111 1234' WHERE ID = %1"_s.arg(b.card));
        QStringList shown;
        onScreen(d, kScreen, [&](QWidget* w) {
            shown << textOf(w, "txtCardNumber");
            retype(w, "txtCardNumber", u"5555444433332222"_s);
            shown << textOf(w, "txtCardNumber");
            QApplication::clipboard()->setText(u"4000-1234-5678-9010"_s);
            typeOver(child(w, "txtCardNumber"), QString());
            QTest::keyClick(child(w, "txtCardNumber"), Qt::Key_V, Qt::ControlModifier);
            shown << textOf(w, "txtCardNumber");
            clickButton(w, u"cmdOK"_s);
        });
        QVERIFY(h.library().ShowEditPayment(b.card));
        SCREEN_DONE(d, h);
        QCOMPARE(shown, (QStringList{u"1234"_s, u"2222"_s, u"9010"_s}));
        QCOMPARE(paymentRow(h.db(), b.card).value(3), u"9010"_s);
    }
};

TESR_TEST_MAIN(TestEditPayment)
#include "tst_frmEditPayment.moc"

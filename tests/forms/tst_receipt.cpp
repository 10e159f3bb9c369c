// Receipts over a real database: the PDF read back with pdftotext, the print preview reached from
// Customer Payments and from the host's payment list (answered under the watchdog), the offer
// after New Payment, and `tesrhost --receipt` run with no display at all.

#include "support/ScreenTest.h"
#include "support/TestMain.h"

#include "ui/MainWindow.h"

#include <QAction>
#include <QFileDialog>
#include <QLineEdit>
#include <QPrintPreviewDialog>
#include <QProcess>
#include <QRegularExpression>
#include <QTreeWidget>

using namespace tesr;
using namespace tesrtest;
using namespace Qt::StringLiterals;

namespace {

// Abbott paid 1,000 by card (the row holds the whole card number, as older data may) and spread
// 900 of it over two orders and one kept on another system; a later payment took 100 more off
// the first order.
struct Book {
    int abbott = 0, cash = 0, visa = 0, so1 = 0, paid = 0, later = 0;
};

Book makeBook(TestDatabase& db)
{
    Book b;
    b.cash = db.addPaymentMethod(u"Cash"_s);
    b.visa = db.addPaymentMethod(u"Visa"_s, 1);
    b.abbott = db.addCustomer(u"Abbott Interiors"_s);
    b.so1 = db.addOrder(b.abbott, u"U-1"_s, cur("1500"), 3, 0, u"SO-1"_s, u"Kitchen, \"north\" wall"_s);
    db.addOrder(b.abbott, u"U-2"_s, cur("900"), 3, 0, u"SO-2"_s, u"Porch"_s);
    b.paid = db.addPayment(b.abbott, cur("1000"), b.visa, at(2024, 5, 1, 2, 30), u"First half"_s,
                           u"4111 1111 1111 4242"_s, u"J Smith"_s, 12, 2027);
    db.allocate(b.paid, u"U-1"_s, cur("600"));
    db.allocate(b.paid, u"U-2"_s, cur("250"));
    db.allocate(b.paid, u"GONE-9"_s, cur("50"));
    b.later = db.addPayment(b.abbott, cur("100"), b.cash, at(2024, 5, 9, 12));
    db.allocate(b.later, u"U-1"_s, cur("100"));
    return b;
}

// The text of a PDF as pdftotext lays it out: one string per page.
QStringList pdfPages(const QString& path)
{
    QProcess p;
    p.start(u"pdftotext"_s, {u"-layout"_s, path, u"-"_s});
    if (!p.waitForFinished(20000) || p.exitCode() != 0)
        return {u"(pdftotext failed on %1: %2)"_s.arg(path, QString::fromUtf8(p.readAllStandardError()))};
    QStringList pages = QString::fromUtf8(p.readAllStandardOutput()).split(u'\f');
    if (!pages.isEmpty() && pages.last().trimmed().isEmpty())
        pages.removeLast();
    return pages;
}

// The fields of a line, split where the layout put two or more blanks.
QStringList fieldsOf(const QString& line)
{
    return line.trimmed().split(QRegularExpression(u"\\s{2,}"_s));
}
// The text beside a label ("Received from  Abbott Interiors" -> "Abbott Interiors").
QString beside(const QString& text, const QString& label)
{
    for (const QString& line : text.split(u'\n')) {
        const QStringList f = fieldsOf(line);
        if (f.size() >= 2 && f[0] == label)
            return f.mid(1).join(u' ');
    }
    return u"(no line labelled %1)"_s.arg(label);
}
// The table row of an order: applied on, order, sidemark, applied, balance after.
QStringList orderRow(const QString& text, const QString& order)
{
    for (const QString& line : text.split(u'\n')) {
        const QStringList f = fieldsOf(line);
        if (f.size() >= 4 && f[1] == order)
            return f;
    }
    return {u"(no row for %1)"_s.arg(order)};
}

// Closes the print preview, after `act` has run on it (queued, for it may open a dialog).
void onPreview(ModalDriver& d, std::function<void(QPrintPreviewDialog*)> act = {})
{
    d.expect(u"receiptPreview"_s, [act](QWidget* w) {
        auto* preview = static_cast<QPrintPreviewDialog*>(w);
        render(preview, u"receipt-preview.png"_s);
        if (act)
            QTimer::singleShot(0, preview, [act, preview] { act(preview); });
        else
            preview->reject();
    });
}

} // namespace

class TestReceipt : public QObject {
    Q_OBJECT

    QString m_pdf;
    std::unique_ptr<QTemporaryDir> m_dir;

    static void shop(TestHost& h)
    {
        h.config().setOption(u"Receipts"_s, u"ShopName"_s, u"Varnholt Blinds"_s);
        h.config().setOption(u"Receipts"_s, u"ShopAddress"_s, u"14 Harbour Road|Portsmouth PO1 3AB"_s);
    }

private slots:
    void init()
    {
        setZone(300); // local time is universal time minus five hours
        m_dir = makeTempDir();
        m_pdf = m_dir->filePath(u"receipt.pdf"_s);
    }
    void cleanup()
    {
        resetZone();
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    }

    // Everything a receipt says, in the user's regional formats, on one page; "balance after"
    // as it was once this payment was in, though a later payment has lowered it since.
    void pdfSaysWhatWasPaid_data()
    {
        QTest::addColumn<QString>("locale");
        QTest::addColumn<QStringList>("money"); // received, SO-1 applied/after, SO-2 applied/after, total, credit
        QTest::addColumn<QString>("date");
        QTest::newRow("en_US") << u"en_US"_s << QStringList{"$1,000.00", "$600.00", "$900.00", "$250.00",
                                                            "$650.00",   "$900.00", "$100.00"}
                               << u"4/30/2024"_s;
        QTest::newRow("de_DE") << u"de_DE"_s << QStringList{"1.000,00 €", "600,00 €", "900,00 €", "250,00 €",
                                                            "650,00 €",   "900,00 €", "100,00 €"}
                               << u"30.04.2024"_s;
    }
    void pdfSaysWhatWasPaid()
    {
        QFETCH(QString, locale);
        QFETCH(QStringList, money);
        QFETCH(QString, date);
        SCREEN_FIXTURE(makeBook);
        shop(h);
        QLocale::setDefault(QLocale(locale));
        QString error;
        QVERIFY2(h.library().SaveReceiptPdf(b.paid, m_pdf, &error), qPrintable(error));
        const QStringList pages = pdfPages(m_pdf);
        QCOMPARE(pages.size(), 1);
        const QString& text = pages[0];
        const QStringList lines = text.split(u'\n');
        QCOMPARE(fieldsOf(lines.value(0)), (QStringList{u"Varnholt Blinds"_s, u"RECEIPT"_s}));
        QCOMPARE(fieldsOf(lines.value(1)), (QStringList{u"14 Harbour Road"_s, u"Payment No. %1"_s.arg(b.paid)}));
        QCOMPARE(fieldsOf(lines.value(2)), QStringList{u"Portsmouth PO1 3AB"_s});
        QCOMPARE(beside(text, u"Received from"_s), u"Abbott Interiors"_s);
        QCOMPARE(beside(text, u"Date"_s), date);
        QCOMPARE(beside(text, u"Method"_s), u"Visa ending in 4242"_s);
        QVERIFY2(!text.contains(u"4111"_s) && !text.contains(u"1111"_s), "more than four card digits shown");
        QCOMPARE(beside(text, u"Memo"_s), u"First half"_s);
        QCOMPARE(beside(text, u"Amount received"_s), money[0]);
        const QStringList so1 = orderRow(text, u"SO-1"_s);
        QCOMPARE(so1.value(2), u"Kitchen, \"north\" wall"_s);
        QCOMPARE(so1.value(3), money[1]);
        QCOMPARE(so1.value(4), money[2]);
        const QStringList so2 = orderRow(text, u"SO-2"_s);
        QCOMPARE(so2.value(3), money[3]);
        QCOMPARE(so2.value(4), money[4]);
        const QStringList gone = orderRow(text, u"GONE-9"_s);
        QCOMPARE(gone.value(2), u"(kept on another system)"_s);
        QCOMPARE(gone.size(), 4); // no balance is known for it here
        QCOMPARE(beside(text, u"Total applied"_s), money[5]);
        QCOMPARE(beside(text, u"Left as credit"_s), money[6]);
    }

    // Orders beyond the first page carry on on the next, under the table's heading again, and
    // the totals come once, after the last order.
    void manyOrdersContinueOnTheNextPage()
    {
        SCREEN_FIXTURE(makeBook);
        const int paid = h.db().addPayment(b.abbott, cur("80"), b.cash, at(2024, 6, 1, 12));
        for (int i = 1; i <= 60; ++i) {
            h.db().addOrder(b.abbott, u"M-%1"_s.arg(i), cur("10"), 3, 0, u"ON-%1"_s.arg(i), u"Blind"_s);
            h.db().allocate(paid, u"M-%1"_s.arg(i), cur("1"));
        }
        QVERIFY(h.library().SaveReceiptPdf(paid, m_pdf));
        const QStringList pages = pdfPages(m_pdf);
        QCOMPARE(pages.size(), 3);
        int rows = 0;
        for (int i = 1; i <= 60; ++i)
            rows += orderRow(pages.join(u'\n'), u"ON-%1"_s.arg(i)).value(3) == u"$1.00"_s;
        QCOMPARE(rows, 60);
        for (int p = 0; p < 3; ++p) {
            QCOMPARE(pages[p].contains(u"Applied to (continued)"_s), p > 0);
            QCOMPARE(pages[p].contains(u"Left as credit"_s), p == 2);
            QCOMPARE(pages[p].count(u"Thank you for your payment."_s), 1);
        }
        QCOMPARE(beside(pages[2], u"Left as credit"_s), u"$20.00"_s);
        QCOMPARE(beside(pages[2], u"Total applied"_s), u"$60.00"_s);
    }

    // Customer Payments: the receipt is in the list's context menu and on Ctrl+P, for one selected
    // payment; the preview saves it as PDF.
    void fromCustomerPayments()
    {
        SCREEN_FIXTURE(makeBook);
        QStringList menu;
        bool enabledBefore = true;
        onScreen(d, u"frmCustomerPayments"_s, [&](QWidget* w) {
            ReportControl* g = child<ReportControl>(w, "rptPayments");
            QAction* receipt = w->findChild<QAction*>(u"actionPrintReceipt"_s);
            for (QAction* a : g->actions())
                menu << (a->isSeparator() ? u"-"_s : a->text() + u' ' + a->shortcut().toString());
            enabledBefore = receipt->isEnabled();
            clickTag(g, b.paid);
            QTimer::singleShot(0, w, [w] { QTest::keyClick(w, Qt::Key_P, Qt::ControlModifier); });
        });
        onPreview(d, [](QPrintPreviewDialog* p) { p->findChild<QAction*>(u"actionSaveReceiptPdf"_s)->trigger(); });
        d.expect(u"receiptFileDialog"_s, [&](QWidget* w) {
            w->findChild<QLineEdit*>(u"fileNameEdit"_s)->setText(m_pdf);
            static_cast<QDialog*>(w)->accept();
        });
        d.expect(u"receiptPreview"_s, [](QWidget* w) { static_cast<QDialog*>(w)->reject(); });
        d.expect(u"frmCustomerPayments"_s, [](QWidget* w) { clickButton(w, u"cmdClose"_s); });
        h.library().ShowCustomerPayments(b.abbott);
        SCREEN_DONE(d, h);
        QCOMPARE(menu, (QStringList{u"Print Receipt... Ctrl+P"_s, u"-"_s, u"Copy Ctrl+C"_s,
                                    u"Export to CSV... Ctrl+E"_s, u"-"_s, u"Sort By "_s, u"Group By "_s}));
        QVERIFY(!enabledBefore); // nothing selected yet
        const QString text = pdfPages(m_pdf).value(0);
        QCOMPARE(beside(text, u"Received from"_s), u"Abbott Interiors"_s);
        QCOMPARE(beside(text, u"Amount received"_s), u"$1,000.00"_s);
    }

    // The host's payment list: Print Receipt in its context menu and Ctrl+P, for the selected
    // payment.
    void fromTheHostsPaymentList()
    {
        SCREEN_FIXTURE(makeBook);
        host::MainWindow window(h.host(), h.library());
        window.setDatabaseReady(true);
        QVERIFY(window.selectCustomer(b.abbott));
        QVERIFY(window.selectPayment(b.later));
        QVERIFY(showActive(&window));
        QString title;
        onPreview(d, [&title](QPrintPreviewDialog* p) {
            title = p->windowTitle();
            p->reject();
        });
        auto* list = window.findChild<QTreeWidget*>(u"paymentList"_s);
        QCOMPARE(list->actions().value(0)->text(), u"Print Receipt..."_s);
        list->setFocus();
        QTest::keyClick(list, Qt::Key_P, Qt::ControlModifier);
        SCREEN_DONE(d, h);
        QCOMPARE(title, u"Receipt for payment %1"_s.arg(b.later));
    }

    // After New Payment saves, the receipt is offered once the caller has its ID back: declined,
    // accepted (the preview), or not at all when the host turns the offer off.
    void offeredAfterNewPayment_data()
    {
        QTest::addColumn<int>("offer");
        QTest::addColumn<int>("answer");
        QTest::newRow("turned off") << 0 << 0;
        QTest::newRow("declined") << 1 << int(ScriptedPrompter::No);
        QTest::newRow("accepted") << 1 << int(ScriptedPrompter::Yes);
    }
    void offeredAfterNewPayment()
    {
        QFETCH(int, offer);
        QFETCH(int, answer);
        SCREEN_FIXTURE(makeBook);
        h.config().setOption(u"Receipts"_s, u"OfferAfterNewPayment"_s, offer);
        const QString offerQ = u"The payment was recorded. Do you want to print a receipt for the customer?"_s;
        h.prompter().expectQuestion(ScriptedPrompter::Yes, u"You are recording a payment but not applying it to any "
                                                           "sales/orders. Are you sure you want to continue?"_s);
        if (offer)
            h.prompter().expectQuestion(answer, offerQ);
        onScreen(
            d, u"frmNewPayment"_s,
            [](QWidget* w) {
                pickFirstMethod(w);
                typeOver(childWidget(w, u"cboAmount"_s), u"75"_s, true);
                clickButton(w, u"cmdOK"_s);
            },
            [](QWidget* w) { return !textOf(w, "cboAmount").isEmpty(); });
        if (answer == ScriptedPrompter::Yes)
            onPreview(d);
        const int id = h.library().ShowNewPayment(b.abbott);
        const bool offeredBeforeReturn = h.prompter().headlines().contains(offerQ);
        QTest::qWait(100);
        SCREEN_DONE(d, h);
        QCOMPARE(id, h.db().count(u"SELECT MAX(ID) FROM Payments"_s));
        QVERIFY(!offeredBeforeReturn);
        QCOMPARE(h.prompter().headlines().count(offerQ), offer);
    }

    // The host writes a receipt for scripts, with no display: exit 0 and the PDF; 1 with the
    // reason for a payment it cannot read; 2 for a command line it cannot use.
    void hostWritesReceiptsForScripts()
    {
        SCREEN_FIXTURE(makeBook);
        auto home = makeTempDir();
        auto run = [&](const QStringList& args) {
            return runProgram(QStringLiteral(TESRHOST_EXE),
                              QStringList{u"--database"_s, h.db().url(), u"--locale"_s, u"en_US"_s} + args,
                              home->path(), 60000);
        };
        const ProgramRun ok = run({u"--receipt"_s, QString::number(b.paid), u"--output"_s, m_pdf, u"--option"_s,
                                   u"Receipts/ShopName=Varnholt Blinds"_s});
        QVERIFY2(ok.exitCode == 0, qPrintable(ok.err));
        const QString text = pdfPages(m_pdf).value(0);
        QVERIFY2(text.startsWith(u"Varnholt Blinds"_s), qPrintable(text));
        QCOMPARE(beside(text, u"Received from"_s), u"Abbott Interiors"_s);

        const ProgramRun missing = run({u"--receipt"_s, u"99999"_s, u"--output"_s, m_dir->filePath(u"x.pdf"_s)});
        QCOMPARE(missing.exitCode, 1);
        QVERIFY2(missing.err.contains(u"There is no payment 99999."_s), qPrintable(missing.err));
        QVERIFY(!QFile::exists(m_dir->filePath(u"x.pdf"_s)));
        const ProgramRun unwritable =
            run({u"--receipt"_s, QString::number(b.paid), u"--output"_s, m_pdf + u"/inside-a-file.pdf"_s});
        QCOMPARE(unwritable.exitCode, 1);
        QVERIFY2(unwritable.err.contains(u"could not be written"_s), qPrintable(unwritable.err));
        QCOMPARE(run({u"--receipt"_s, u"abc"_s, u"--output"_s, m_pdf}).exitCode, 2);
        QCOMPARE(run({u"--receipt"_s, QString::number(b.paid)}).exitCode, 2);
    }
};

TESR_TEST_MAIN(TestReceipt)
#include "tst_receipt.moc"

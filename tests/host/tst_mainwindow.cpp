// The host's window over real company databases (the demo one and small fixtures), and the
// checks the host makes before it hands a database to the module.
#include "support/Shorthand.h"
#include "support/TestHost.h"
#include "support/TestMain.h"

#include "host/DatabaseCheck.h"
#include "platform/SqlConnection.h"
#include "platform/controls/GridExport.h"
#include "ui/MainWindow.h"

#include <QClipboard>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeWidget>

using tesr::host::MainWindow;
using tesrtest::cur;
using tesrtest::ScriptedPrompter;
using tesrtest::TestHost;
using namespace Qt::StringLiterals;

namespace {

// The module as the window sees it: notes which screen was opened for what, and lets a test
// change the database the way a screen would while it is open.
class RecordingLibrary final : public tesr::ILibrary {
public:
    QStringList calls;
    std::function<int()> onScreen;

    tesr::SharedCodeLibrary* GetSharedCodeLibrary() const override { return nullptr; }
    void Initialize(std::shared_ptr<tesr::SharedCodeLibrary>) override {}
    void PreTerminate() override {}
    int ShowNewPayment(int customerId, bool force) override { return note(u"New %1 %2"_s.arg(customerId).arg(force)); }
    bool ShowEditPayment(int id) override { return note(u"Edit %1"_s.arg(id)); }
    bool ShowAllocateCredit(int customerId) override { return note(u"Credit %1"_s.arg(customerId)); }
    void ShowCustomerPayments(int customerId) override { note(u"Customer %1"_s.arg(customerId)); }
    void ShowOrderPayments(int orderId) override { note(u"Order %1"_s.arg(orderId)); }
    void ShowPaymentAllocations(int paymentId) override { note(u"Allocations %1"_s.arg(paymentId)); }

private:
    int note(const QString& call)
    {
        calls << call;
        return onScreen ? onScreen() : 1;
    }
};

// A window over the test's database, with its lists and buttons by name.
struct Window {
    explicit Window(TestHost& t) : w(t.host(), library) { w.setDatabaseReady(true); }
    QStringList column(const char* list, int col)
    {
        QStringList texts;
        auto* tree = w.findChild<QTreeWidget*>(QString::fromLatin1(list));
        for (int i = 0; i < tree->topLevelItemCount(); ++i)
            texts << tree->topLevelItem(i)->text(col);
        return texts;
    }
    QPushButton* button(const char* name) { return w.findChild<QPushButton*>(QString::fromLatin1(name)); }
    RecordingLibrary library;
    MainWindow w;
};

} // namespace

class MainWindowTest : public QObject {
    Q_OBJECT

private slots:
    // Figures as the user reads them; each button opens its screen for the selected row, and the
    // lists are read again after it.
    void listsAndButtons()
    {
        TestHost t;
        const int cash = t.db().addPaymentMethod(u"Cash"_s);
        const int ann = t.db().addCustomer(u"Ann Archer"_s);
        const int bob = t.db().addCustomer(u"Bob Baker"_s);
        const int order = t.db().addOrder(ann, u"U-2"_s, cur("250"), 3, 100, u"1002"_s, u"Kitchen"_s);
        t.db().addOrder(ann, u"U-1"_s, cur("1000"), 2, 0, u"1001"_s, u"Bath"_s);
        t.db().addOrder(bob, u"U-3"_s, cur("5"), 3);
        const int pay = t.db().addPayment(ann, cur("300"), cash, tesrtest::at(2024, 3, 5, 12));
        t.db().allocate(pay, u"U-1"_s, cur("120.5"));
        Window win(t);
        QCOMPARE(win.column("customerList", 1), (QStringList{"$179.50", "$0.00"}));
        QCOMPARE(win.w.selectedCustomerId(), ann);
        const QStringList cells[] = {{"1001", "1002"},      {"Bath", "Kitchen"},      {"Sale", "Order"},
                                     {"0", "100"},          {"$1,000.00", "$250.00"}, {"$120.50", "$0.00"},
                                     {"$879.50", "$250.00"}};
        for (int c = 0; c < 7; ++c)
            QCOMPARE(win.column("orderList", c), cells[c]);
        QCOMPARE(win.column("paymentList", 2) + win.column("paymentList", 3), (QStringList{"$300.00", "$120.50"}));
        QVERIFY(win.column("paymentList", 0).value(0).endsWith(u"2024"_s));
        QVERIFY(!win.button("cmdOrderPayments")->isEnabled());
        // A screen that changes figures: the lists are read again after it, the row kept.
        QVERIFY(win.w.selectOrder(order));
        win.library.onScreen = [&] {
            t.db().allocate(pay, u"U-2"_s, cur("10"));
            return 1;
        };
        QTest::mouseClick(win.button("cmdOrderPayments"), Qt::LeftButton);
        QCOMPARE(win.library.calls, QStringList{u"Order %1"_s.arg(order)});
        QCOMPARE(win.w.selectedOrderId(), order);
        QVERIFY(win.column("orderList", 6).contains(u"$240.00"_s));
        QCOMPARE(win.column("customerList", 1).value(0), u"$169.50"_s);
        QVERIFY(win.w.selectCustomer(bob));
        QCOMPARE(win.column("orderList", 0), QStringList{"U-3"});
        QVERIFY(win.column("paymentList", 0).isEmpty());
    }

    // Copy gives the cells as shown; the CSV file money and dates a spreadsheet reads as such.
    void listsCopyAndExport()
    {
        TestHost t;
        const int cash = t.db().addPaymentMethod(u"Cash"_s);
        const int ann = t.db().addCustomer(u"Ann Archer"_s);
        const int order = t.db().addOrder(ann, u"U-1"_s, cur("1234.5"), 3, 0, u"1001"_s, u"O'Neil, \"porch\""_s);
        t.db().addPayment(ann, cur("300.25"), cash, tesrtest::at(2024, 3, 5, 12));
        Window win(t);
        QVERIFY(tesrtest::showActive(&win.w));
        QVERIFY(win.w.selectOrder(order));
        auto* orders = win.w.findChild<QTreeWidget*>(u"orderList"_s);
        orders->setFocus();
        QTest::keyClick(orders, Qt::Key_C, Qt::ControlModifier);
        const auto copied = tesrtest::byHeading(tesrtest::parseTabs(QApplication::clipboard()->text()));
        QCOMPARE(copied.size(), 1);
        QCOMPARE(copied[0][u"Number"_s], u"1001"_s);
        QCOMPARE(copied[0][u"Sidemark"_s], u"O'Neil, \"porch\""_s);
        QCOMPARE(copied[0][u"Total"_s], u"$1,234.50"_s);

        const QString path = t.db().folder() + u"/payments.csv"_s;
        auto* payments = win.w.findChild<QTreeWidget*>(u"paymentList"_s);
        QVERIFY(payments->findChild<tesr::gridexport::GridActions*>()->ExportTo(path));
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const auto rows = tesrtest::byHeading(tesrtest::parseCsv(QString::fromUtf8(file.readAll().mid(3))));
        QCOMPARE(rows.size(), 1);
        const QString shownDate = win.column("paymentList", 0).value(0);
        QCOMPARE(rows[0][u"Date"_s], QDate::fromString(shownDate, u"M/d/yyyy"_s).toString(Qt::ISODate));
        QCOMPARE(rows[0][u"Amount"_s], u"300.25"_s);
        QCOMPARE(rows[0][u"Allocated"_s], u"0"_s);
        QCOMPARE(rows[0][u"Details"_s], win.column("paymentList", 1).value(0));
    }

    // The filter finds names containing the text, wildcard characters taken literally.
    void filterFindsCustomers()
    {
        TestHost t;
        for (const char* name :
             {"Ann Archer", "Zed Archway", "100% Cotton", "1000 Cottons", "a_b Ltd", "axb Ltd", "O'Neil"})
            t.db().addCustomer(QString::fromLatin1(name));
        Window win(t);
        auto* filter = win.w.findChild<QLineEdit*>(u"customerFilter"_s);
        const std::pair<const char*, QStringList> cases[] = {
            {"arch", {"Ann Archer", "Zed Archway"}}, {"100%", {"100% Cotton"}}, {"a_b", {"a_b Ltd"}}, {"zzz", {}}};
        for (const auto& [typed, listed] : cases) {
            filter->clear();
            QTest::keyClicks(filter, QString::fromLatin1(typed));
            QTRY_COMPARE(win.column("customerList", 0), listed);
        }
        QVERIFY(t.prompter().calls().isEmpty());
    }

    // Database text (a customer's name) is shown as it is stored, markup and all.
    void databaseTextIsShownAsText()
    {
        TestHost t;
        const QString name = u"<b>Ann</b> <img src=\"/tmp/x.png\">"_s;
        t.db().addCustomer(name);
        Window win(t);
        QCOMPARE(win.column("customerList", 0), QStringList{name});
        QCOMPARE(tesrtest::richTextLabels(&win.w), QStringList());
    }

    // A database URL nobody can read is still shown without its password.
    void noPasswordInTheTitle()
    {
        TestHost t;
        t.config().setDatabaseUrl(u"postgres://clerk:p@ss/w@rd@db/x y"_s);
        Window win(t);
        QCOMPARE(win.w.windowTitle(), u"postgres://clerk@db/x y — TESR 5 - Payments"_s);
        QVERIFY(!win.w.findChild<QLabel*>(u"databaseLabel"_s)->text().contains(u"p@ss"_s));
    }

    // Without permission 303 right 4 a user sees only the customers they are the sales rep of,
    // as in the module's customer box.
    void customersOfTheUserAlone()
    {
        TestHost t;
        t.db().addCustomer(u"Ann Own"_s, true, 7);
        t.db().addCustomer(u"Bob Other"_s, true, 8);
        t.config().setUserId(7);
        t.config().deny(303, 4);
        Window mine(t);
        QCOMPARE(mine.column("customerList", 0), QStringList{"Ann Own"});
        QTest::keyClicks(mine.w.findChild<QLineEdit*>(u"customerFilter"_s), u"o"_s);
        QTRY_COMPARE(mine.column("customerList", 0), QStringList{"Ann Own"});
        t.config().grant(303, 4);
        Window all(t);
        QCOMPARE(all.column("customerList", 0), (QStringList{"Ann Own", "Bob Other"}));
    }

    // Without a database nothing opens; opening another file checks it first, and a foreign
    // file keeps the current database; recreating the demo database asks first.
    void openingDatabases()
    {
        TestHost t;
        t.db().addCustomer(u"Ann"_s);
        Window win(t);
        const QString foreign = t.db().folder() + u"/notes.txt"_s;
        QFile f(foreign);
        QVERIFY(f.open(QIODevice::WriteOnly) && f.write("just some notes, not a database\n") > 0);
        f.close();
        QVERIFY(!win.w.openDatabase(foreign));
        QCOMPARE(t.prompter().calls(ScriptedPrompter::Call::Kind::Error).size(), 1);
        QCOMPARE(t.config().databaseUrl(), t.db().url());
        QCOMPARE(win.column("customerList", 0), QStringList{"Ann"});
        tesrtest::TestDatabase other;
        other.addCustomer(u"Xavier"_s);
        QVERIFY(win.w.openDatabase(other.url()));
        QCOMPARE(t.config().databaseUrl(), other.url());
        QCOMPARE(win.column("customerList", 0), QStringList{"Xavier"});
        const QString demo = tesr::host::HostConfig::defaultDatabasePath();
        QFile::remove(demo);
        t.prompter().expectQuestion(ScriptedPrompter::No, u"Recreate the demo database?"_s);
        QVERIFY(!win.w.recreateDemoDatabase());
        QVERIFY(!QFile::exists(demo));
        t.prompter().expectQuestion(ScriptedPrompter::Yes, u"Recreate the demo database?"_s);
        QVERIFY(win.w.recreateDemoDatabase());
        QVERIFY2(t.prompter().ok(), qPrintable(t.prompter().failures()));
        QCOMPARE(t.config().databaseUrl(), demo);
        for (const QString& suffix : {QString(), u"-wal"_s, u"-shm"_s})
            QFile::remove(demo + suffix);
    }

    // What the host does with each kind of database it is given at start-up.
    // The file, whether it is the default one, the answer to the question about creating the
    // tables (none asked when empty), whether the database is ready, and the error shown.
    void startupChecks_data()
    {
        tesrtest::rows({"ready|ready|0||1|", "missing default: demo created|missing|1||1|",
                        "missing other file|missing|0||0|The company database was not found.",
                        "foreign default file|foreign|1||0|The file is not a company database.",
                        "no schema, create|bare|0|2|1|", "no schema, declined|bare|0|4|0|",
                        "bad url|badurl|0||0|The company database could not be opened."});
    }
    void startupChecks()
    {
        const QStringList f = tesrtest::fields();
        const QString kind = f[0];
        const bool isDefault = f[1] == "1";
        const int answer = f[2].toInt();
        const bool ready = f[3] == "1";
        const QString message = f[4];
        auto dir = tesrtest::makeTempDir();
        QString url = dir->filePath(u"company.db"_s);
        std::unique_ptr<tesrtest::ScratchDatabase> server;
        if (kind == "ready" || kind == "bare") {
            using Contents = tesrtest::ScratchDatabase::Contents;
            server = std::make_unique<tesrtest::ScratchDatabase>(kind == "ready" ? Contents::Schema : Contents::Empty);
            url = server->url();
            if (kind == "bare")
                QVERIFY(tesr::SqlConnection::open(server->databaseUrl(), tesr::SqlConnection::OpenMode::CreateIfMissing)
                            ->Execute(u"CREATE TABLE Other (x integer)"_s));
        } else if (kind == "foreign") {
            QFile f(url);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(QByteArray(4096, 'Z'));
        } else if (kind == "badurl") {
            url = u"postgresql://"_s;
        }
        ScriptedPrompter prompter;
        if (answer)
            prompter.expectQuestion(answer, u"The database has no payment tables. Create them now?"_s);
        tesr::host::Logger logger(dir->filePath(u"logs"_s));
        QCOMPARE(tesr::host::prepareCompanyDatabase(url, isDefault, prompter, &logger), ready);
        QVERIFY2(prompter.ok(), qPrintable(prompter.failures()));
        const auto errors = prompter.calls(ScriptedPrompter::Call::Kind::Error);
        QCOMPARE(errors.size(), message.isEmpty() ? 0 : 1);
        if (!message.isEmpty()) {
            QCOMPARE(errors[0].headline, message);
            QVERIFY(QFile::exists(logger.currentFile())); // and logged
        }
        QCOMPARE(tesr::host::inspectDatabase(url).state == tesr::host::DatabaseState::Ready, ready);
        if (kind == "missing" && !isDefault)
            QVERIFY(!QFile::exists(url)); // nothing created behind the user's back
        if (kind == "bare")               // the table that was there is untouched either way
            QCOMPARE(tesr::openCompanyConnection(url)->OpenRecordset(u"SELECT COUNT(*) FROM Other"_s)->State(),
                     tesr::Recordset::adStateOpen);
    }
};

TESR_TEST_MAIN(MainWindowTest)
#include "tst_mainwindow.moc"

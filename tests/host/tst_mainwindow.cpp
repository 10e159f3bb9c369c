// The host's window over real company databases (the demo one and small fixtures), and the
// checks the host makes before it hands a database to the module.
#include "support/TestMain.h"

#include "host/DatabaseCheck.h"
#include "host/DemoData.h"
#include "ledger/Schema.h"
#include "platform/SqlConnection.h"
#include "support/TestHost.h"
#include "ui/MainWindow.h"

#include <QDir>
#include <QFile>
#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTreeWidget>
#include <QUuid>

using tesr::Currency;
using tesr::host::DatabaseState;
using tesr::host::MainWindow;
using tesrtest::ScriptedPrompter;
using tesrtest::TestHost;

namespace {

Currency cur(const char* text)
{
    return *Currency::parsePlain(QString::fromLatin1(text));
}

// The module as the window sees it: records which screen was opened for what, and lets a
// test change the database the way a screen would while it is open.
class RecordingLibrary final : public tesr::ILibrary {
public:
    QStringList calls;
    std::function<int()> onNewPayment;
    std::function<void()> onScreen;

    tesr::SharedCodeLibrary* GetSharedCodeLibrary() const override { return nullptr; }
    void Initialize(std::shared_ptr<tesr::SharedCodeLibrary>) override {}
    void PreTerminate() override {}
    int ShowNewPayment(int customerId, bool force) override
    {
        calls << QStringLiteral("NewPayment %1 %2").arg(customerId).arg(force);
        return onNewPayment ? onNewPayment() : 0;
    }
    bool ShowEditPayment(int id) override { return note(QStringLiteral("EditPayment %1").arg(id)); }
    bool ShowAllocateCredit(int customerId) override
    {
        return note(QStringLiteral("AllocateCredit %1").arg(customerId));
    }
    void ShowCustomerPayments(int customerId) override { note(QStringLiteral("CustomerPayments %1").arg(customerId)); }
    void ShowOrderPayments(int orderId) override { note(QStringLiteral("OrderPayments %1").arg(orderId)); }
    void ShowPaymentAllocations(int paymentId) override
    {
        note(QStringLiteral("PaymentAllocations %1").arg(paymentId));
    }

private:
    bool note(const QString& call)
    {
        calls << call;
        if (onScreen)
            onScreen();
        return true;
    }
};

QTreeWidget* list(MainWindow& w, const char* name)
{
    return w.findChild<QTreeWidget*>(QString::fromLatin1(name));
}

QPushButton* button(MainWindow& w, const char* name)
{
    return w.findChild<QPushButton*>(QString::fromLatin1(name));
}

QStringList column(QTreeWidget* tree, int col)
{
    QStringList texts;
    for (int i = 0; i < tree->topLevelItemCount(); ++i)
        texts << tree->topLevelItem(i)->text(col);
    return texts;
}

// A SQLite file without the payment tables.
void createBareDatabase(const QString& path)
{
    const QString name = QUuid::createUuid().toString();
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(path);
        QVERIFY(db.open());
        QVERIFY(db.exec(QStringLiteral("CREATE TABLE Other (x INTEGER)")).lastError().type() == QSqlError::NoError);
        db.close();
    }
    QSqlDatabase::removeDatabase(name);
}

} // namespace

class MainWindowTest : public QObject {
    Q_OBJECT

private slots:
    // The demo database: customers listed, and for the selected one exactly their orders
    // and payments.
    void showsTheDemoDatabase()
    {
        TestHost t;
        const QString demo = t.db().folder() + QStringLiteral("/demo.db");
        QString error;
        QVERIFY2(tesr::host::createDemoDatabase(demo, &error), qPrintable(error));
        t.config().setDatabaseUrl(demo);
        RecordingLibrary library;
        MainWindow w(t.host(), library);
        w.setDatabaseReady(true);
        w.show();

        auto conn = t.host().CurrentCompanyConn();
        QVERIFY(conn);
        auto scalar = [&](const QString& sql) {
            auto rs = conn->OpenRecordset(sql);
            const int n = rs && !rs->Eof() ? rs->FieldValue(0).toInt() : -1;
            if (rs)
                rs->Close();
            return n;
        };
        const int customers = scalar(QStringLiteral("SELECT COUNT(*) FROM Customers"));
        QVERIFY(customers > 0);
        QTreeWidget* customerList = list(w, "customerList");
        QCOMPARE(customerList->topLevelItemCount(), std::min(customers, MainWindow::CustomerLimit));
        QVERIFY(w.selectedCustomerId() > 0); // the first customer is taken

        // Pick a customer with several orders and payments.
        const int busy = scalar(QStringLiteral("SELECT TOP 1 CustomerID FROM Orders GROUP BY CustomerID "
                                               "ORDER BY COUNT(*) DESC, CustomerID"));
        QVERIFY(w.selectCustomer(busy));
        QCOMPARE(w.selectedCustomerId(), busy);
        const int orders = scalar(QStringLiteral("SELECT COUNT(*) FROM Orders WHERE CustomerID = %1").arg(busy));
        const int payments = scalar(QStringLiteral("SELECT COUNT(*) FROM Payments WHERE CustomerID = %1").arg(busy));
        QVERIFY(orders > 1);
        QCOMPARE(list(w, "orderList")->topLevelItemCount(), orders);
        QCOMPARE(list(w, "paymentList")->topLevelItemCount(), payments);
        conn->Close();
        QVERIFY(t.prompter().calls().isEmpty());
    }

    // Figures as the user reads them, from a fixture whose every value is known.
    void listsShowTheSelectedCustomer()
    {
        TestHost t;
        const int cash = t.db().addPaymentMethod(QStringLiteral("Cash"));
        const int ann = t.db().addCustomer(QStringLiteral("Ann Archer"));
        const int bob = t.db().addCustomer(QStringLiteral("Bob Baker"));
        t.db().addOrder(ann, QStringLiteral("U-2"), cur("250"), 3, 100, QStringLiteral("1002"),
                        QStringLiteral("Kitchen"));
        t.db().addOrder(ann, QStringLiteral("U-1"), cur("1000"), 2, 0, QStringLiteral("1001"), QStringLiteral("Bath"));
        t.db().addOrder(bob, QStringLiteral("U-3"), cur("5"), 3);
        const int pay = t.db().addPayment(ann, cur("300"), cash, *tesr::OleDate::fromYmdHms(2024, 3, 5, 12),
                                          QStringLiteral("first"));
        t.db().allocate(pay, QStringLiteral("U-1"), cur("120.5"));

        RecordingLibrary library;
        MainWindow w(t.host(), library);
        w.setDatabaseReady(true);
        QCOMPARE(column(list(w, "customerList"), 0), (QStringList{"Ann Archer", "Bob Baker"}));
        QCOMPARE(column(list(w, "customerList"), 1), (QStringList{"$179.50", "$0.00"}));
        QCOMPARE(w.selectedCustomerId(), ann);
        QTreeWidget* orders = list(w, "orderList");
        QCOMPARE(column(orders, 0), (QStringList{"1001", "1002"}));
        QCOMPARE(column(orders, 1), (QStringList{"Bath", "Kitchen"}));
        QCOMPARE(column(orders, 2), (QStringList{"Sale", "Order"}));
        QCOMPARE(column(orders, 3), (QStringList{"0", "100"}));
        QCOMPARE(column(orders, 4), (QStringList{"$1,000.00", "$250.00"}));
        QCOMPARE(column(orders, 5), (QStringList{"$120.50", "$0.00"}));
        QCOMPARE(column(orders, 6), (QStringList{"$879.50", "$250.00"}));
        QTreeWidget* payments = list(w, "paymentList");
        QCOMPARE(payments->topLevelItemCount(), 1);
        QCOMPARE(payments->topLevelItem(0)->text(2), QStringLiteral("$300.00"));
        QCOMPARE(payments->topLevelItem(0)->text(3), QStringLiteral("$120.50"));
        QVERIFY(payments->topLevelItem(0)->text(0).endsWith(QStringLiteral("2024")));

        // A header click sorts by the amount, not its text; a refresh keeps that order.
        t.db().addOrder(ann, QStringLiteral("U-4"), cur("99.99"), 3, 0, QStringLiteral("1003"));
        w.reload();
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        QHeaderView* header = orders->header();
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
                          QPoint(header->sectionViewportPosition(4) + 5, header->height() / 2));
        QCOMPARE(header->sortIndicatorSection(), 4);
        const Qt::SortOrder first = header->sortIndicatorOrder();
        const QStringList ascending{"$99.99", "$250.00", "$1,000.00"};
        QStringList descending = ascending;
        std::reverse(descending.begin(), descending.end());
        QCOMPARE(column(orders, 4), first == Qt::AscendingOrder ? ascending : descending);
        w.reload();
        QCOMPARE(column(orders, 4), first == Qt::AscendingOrder ? ascending : descending);

        QVERIFY(w.selectCustomer(bob));
        QCOMPARE(column(orders, 0), (QStringList{"U-3"}));
        QCOMPARE(payments->topLevelItemCount(), 0);
    }

    // The filter finds names containing the text, wildcard characters taken literally.
    void filterFindsCustomers_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QStringList>("listed");
        QTest::newRow("part of a name") << "arch" << QStringList{"Ann Archer", "Zed Archway"};
        QTest::newRow("percent is literal") << "100%" << QStringList{"100% Cotton"};
        QTest::newRow("underscore is literal") << "a_b" << QStringList{"a_b Ltd"};
        QTest::newRow("bracket is literal") << "[x]" << QStringList{"[x] Corp"};
        QTest::newRow("quote") << "O'N" << QStringList{"O'Neil"};
        QTest::newRow("nothing") << "zzz" << QStringList{};
    }

    void filterFindsCustomers()
    {
        QFETCH(QString, typed);
        QFETCH(QStringList, listed);
        TestHost t;
        for (const char* name : {"Ann Archer", "Zed Archway", "100% Cotton", "1000 Cottons", "a_b Ltd", "axb Ltd",
                                 "[x] Corp", "x Corp", "O'Neil"})
            t.db().addCustomer(QString::fromLatin1(name));
        RecordingLibrary library;
        MainWindow w(t.host(), library);
        w.setDatabaseReady(true);
        auto* filter = w.findChild<QLineEdit*>(QStringLiteral("customerFilter"));
        QVERIFY(filter);
        QTest::keyClicks(filter, typed);
        QTRY_COMPARE(column(list(w, "customerList"), 0), listed);
        QVERIFY(t.prompter().calls().isEmpty());
    }

    // Each button opens its screen for the selected row; the lists are read again after it.
    void buttonsOpenScreensAndRefresh()
    {
        TestHost t;
        const int cash = t.db().addPaymentMethod(QStringLiteral("Cash"));
        const int ann = t.db().addCustomer(QStringLiteral("Ann"));
        const int order = t.db().addOrder(ann, QStringLiteral("U-1"), cur("100"));
        const int pay = t.db().addPayment(ann, cur("10"), cash, *tesr::OleDate::fromYmdHms(2024, 1, 1));

        RecordingLibrary library;
        MainWindow w(t.host(), library);
        w.setDatabaseReady(true);
        w.show();
        QVERIFY(button(w, "cmdCustomerPayments")->isEnabled());
        QVERIFY(!button(w, "cmdOrderPayments")->isEnabled());
        QVERIFY(!button(w, "cmdEditPayment")->isEnabled());

        QTest::mouseClick(button(w, "cmdCustomerPayments"), Qt::LeftButton);
        QTest::mouseClick(button(w, "cmdAllocateCredit"), Qt::LeftButton);
        QVERIFY(w.selectOrder(order));
        QVERIFY(button(w, "cmdOrderPayments")->isEnabled());
        QTest::mouseClick(button(w, "cmdOrderPayments"), Qt::LeftButton);
        QVERIFY(w.selectPayment(pay));
        QTest::mouseClick(button(w, "cmdEditPayment"), Qt::LeftButton);
        QTest::mouseClick(button(w, "cmdPaymentAllocations"), Qt::LeftButton);

        // A screen that records a payment: the new one is listed and selected afterwards.
        int added = 0;
        library.onNewPayment = [&] {
            added = t.db().addPayment(ann, cur("55"), cash, *tesr::OleDate::fromYmdHms(2024, 2, 1));
            return added;
        };
        QTest::mouseClick(button(w, "cmdNewPayment"), Qt::LeftButton);
        QCOMPARE(library.calls,
                 (QStringList{
                     QStringLiteral("CustomerPayments %1").arg(ann), QStringLiteral("AllocateCredit %1").arg(ann),
                     QStringLiteral("OrderPayments %1").arg(order), QStringLiteral("EditPayment %1").arg(pay),
                     QStringLiteral("PaymentAllocations %1").arg(pay), QStringLiteral("NewPayment %1 0").arg(ann)}));
        QCOMPARE(list(w, "paymentList")->topLevelItemCount(), 2);
        QCOMPARE(w.selectedPaymentId(), added);
        QCOMPARE(w.selectedOrderId(), order); // kept across the refresh

        // A screen that changes figures: the lists show the new ones.
        library.onScreen = [&] { t.db().allocate(pay, QStringLiteral("U-1"), cur("10")); };
        QTest::mouseClick(button(w, "cmdOrderPayments"), Qt::LeftButton);
        QCOMPARE(list(w, "orderList")->topLevelItem(0)->text(6), QStringLiteral("$90.00"));
        QCOMPARE(list(w, "customerList")->topLevelItem(0)->text(1), QStringLiteral("$55.00"));
    }

    void withoutADatabaseNothingOpens()
    {
        TestHost t;
        t.db().addCustomer(QStringLiteral("Ann"));
        RecordingLibrary library;
        MainWindow w(t.host(), library);
        w.setDatabaseReady(false);
        w.show();
        QCOMPARE(list(w, "customerList")->topLevelItemCount(), 0);
        for (const char* name : {"cmdCustomerPayments", "cmdNewPayment", "cmdAllocateCredit", "cmdOrderPayments",
                                 "cmdEditPayment", "cmdPaymentAllocations"})
            QVERIFY2(!button(w, name)->isEnabled(), name);
        QVERIFY(library.calls.isEmpty());
    }

    // Opening another file checks it first; a foreign file keeps the current database.
    void openDatabaseChecksTheFile()
    {
        TestHost t;
        t.db().addCustomer(QStringLiteral("Ann"));
        RecordingLibrary library;
        MainWindow w(t.host(), library);
        w.setDatabaseReady(true);
        const QString foreign = t.db().folder() + QStringLiteral("/notes.txt");
        {
            QFile f(foreign);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write("just some notes, not a database\n");
        }
        QVERIFY(!w.openDatabase(foreign));
        QCOMPARE(t.prompter().calls(ScriptedPrompter::Call::Kind::Error).size(), 1);
        QCOMPARE(t.config().databaseUrl(), t.db().path());
        QVERIFY(w.hasDatabase());
        QCOMPARE(list(w, "customerList")->topLevelItemCount(), 1);

        tesrtest::TestDatabase other;
        other.addCustomer(QStringLiteral("Xavier"));
        other.addCustomer(QStringLiteral("Yvonne"));
        QVERIFY(w.openDatabase(other.path()));
        QCOMPARE(t.config().databaseUrl(), other.path());
        QCOMPARE(column(list(w, "customerList"), 0), (QStringList{"Xavier", "Yvonne"}));
    }

    // What the host does with each kind of database it is given at start-up.
    void startupChecks_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<bool>("isDefault");
        QTest::addColumn<int>("answer"); // to the question about creating the tables, 0: none asked
        QTest::addColumn<bool>("ready");
        QTest::addColumn<QString>("message");
        QTest::newRow("ready") << "ready" << false << 0 << true << "";
        QTest::newRow("missing default: demo created") << "missing" << true << 0 << true << "";
        QTest::newRow("missing other file")
            << "missing" << false << 0 << false << "The company database was not found.";
        QTest::newRow("foreign file") << "foreign" << false << 0 << false << "The file is not a company database.";
        QTest::newRow("foreign default file")
            << "foreign" << true << 0 << false << "The file is not a company database.";
        QTest::newRow("empty file") << "empty" << false << 0 << false << "The file is not a company database.";
        QTest::newRow("a folder") << "folder" << false << 0 << false << "The company database cannot be read.";
        QTest::newRow("no schema, create") << "bare" << false << ScriptedPrompter::Yes << true << "";
        QTest::newRow("no schema, declined") << "bare" << false << ScriptedPrompter::No << false << "";
        QTest::newRow("bad url") << "badurl" << false << 0 << false << "The company database could not be opened.";
    }

    void startupChecks()
    {
        QFETCH(QString, kind);
        QFETCH(bool, isDefault);
        QFETCH(int, answer);
        QFETCH(bool, ready);
        QFETCH(QString, message);

        auto dir = tesrtest::makeTempDir();
        QString url = dir->filePath(QStringLiteral("company.db"));
        std::unique_ptr<tesrtest::ScratchDatabase> server; // the PostgreSQL run's own databases
        if (kind == u"ready") {
            if (tesrtest::onPostgres()) {
                server = std::make_unique<tesrtest::ScratchDatabase>();
                url = server->url();
            } else {
                tesrtest::TestDatabase db;
                QVERIFY(QFile::copy(db.path(), url));
            }
        } else if (kind == u"bare" && tesrtest::onPostgres()) {
            server = std::make_unique<tesrtest::ScratchDatabase>(tesrtest::ScratchDatabase::Contents::Empty);
            url = server->url();
            auto conn = tesr::openCompanyConnection(url);
            QVERIFY(conn && conn->Execute(QStringLiteral("CREATE TABLE Other (x integer)")));
        } else if (kind == u"foreign") {
            QFile f(url);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(QByteArray(4096, 'Z'));
        } else if (kind == u"empty") {
            QFile f(url);
            QVERIFY(f.open(QIODevice::WriteOnly));
        } else if (kind == u"folder") {
            QVERIFY(QDir().mkpath(url));
        } else if (kind == u"bare") {
            createBareDatabase(url);
        } else if (kind == u"badurl") {
            url = QStringLiteral("postgresql://");
        }

        ScriptedPrompter prompter;
        if (answer)
            prompter.expectQuestion(answer, QStringLiteral("The database has no payment tables. Create them now?"));
        tesr::host::Logger logger(dir->filePath(QStringLiteral("logs")));
        QCOMPARE(tesr::host::prepareCompanyDatabase(url, isDefault, prompter, &logger), ready);
        QVERIFY2(prompter.ok(), qPrintable(prompter.failures()));

        const auto errors = prompter.calls(ScriptedPrompter::Call::Kind::Error);
        QCOMPARE(errors.size(), message.isEmpty() ? 0 : 1);
        if (!message.isEmpty()) {
            QCOMPARE(errors[0].headline, message);
            QVERIFY(QFile::exists(logger.currentFile())); // and logged
        }
        QCOMPARE(tesr::host::inspectDatabase(url).state == DatabaseState::Ready, ready);
        if (kind == u"missing" && !isDefault)
            QVERIFY(!QFile::exists(url)); // nothing created behind the user's back
        if (kind == u"bare") {
            // The table that was there is untouched either way.
            auto conn = tesr::openCompanyConnection(url);
            QVERIFY(conn);
            auto rs = conn->OpenRecordset(QStringLiteral("SELECT COUNT(*) FROM Other"));
            QVERIFY(rs && rs->State() == tesr::Recordset::adStateOpen);
            rs->Close();
            conn->Close();
        }
    }

    void recreatingTheDemoAsksFirst()
    {
        TestHost t;
        const QString demo = tesr::host::HostConfig::defaultDatabasePath();
        QFile::remove(demo);
        RecordingLibrary library;
        MainWindow w(t.host(), library);
        w.setDatabaseReady(true);

        t.prompter().expectQuestion(ScriptedPrompter::No, QStringLiteral("Recreate the demo database?"));
        QVERIFY(!w.recreateDemoDatabase());
        QVERIFY(!QFile::exists(demo));
        QCOMPARE(t.config().databaseUrl(), t.db().path());

        t.prompter().expectQuestion(ScriptedPrompter::Yes, QStringLiteral("Recreate the demo database?"));
        QVERIFY(w.recreateDemoDatabase());
        QVERIFY2(t.prompter().ok(), qPrintable(t.prompter().failures()));
        QCOMPARE(t.config().databaseUrl(), demo);
        QVERIFY(list(w, "customerList")->topLevelItemCount() > 0);
        for (const QString& suffix : {QString(), QStringLiteral("-wal"), QStringLiteral("-shm")})
            QFile::remove(demo + suffix);
    }
};

TESR_TEST_MAIN(MainWindowTest)
#include "tst_mainwindow.moc"

// The reference host's services against a real company database file: values survive the
// row texts and record documents whatever they hold, statements run all-or-nothing, activity
// lines follow the caller's transaction, and failures reach the log.
#include "support/TestMain.h"

#include "platform/controls/ComboBox.h"
#include "shared/modSharedXML.h"
#include "support/TestHost.h"

#include <QFile>

using tesr::Currency;
using tesr::OleDate;
using tesrtest::ScriptedPrompter;
using tesrtest::TestHost;

namespace {

Currency cur(const char* text)
{
    return *Currency::parsePlain(QString::fromLatin1(text));
}

OleDate when(int y, int mo, int d, int h = 0, int mi = 0, int s = 0)
{
    return *OleDate::fromYmdHms(y, mo, d, h, mi, s);
}

QString logText(TestHost& t)
{
    QFile file(t.logger().currentFile());
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

} // namespace

class HostServicesTest : public QObject {
    Q_OBJECT

private slots:
    void fixForSqlInsertDoublesQuotesOnly_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("fixed");
        QTest::newRow("plain") << "Smith"
                               << "Smith";
        QTest::newRow("quotes") << "O'Brien's ''x''"
                                << "O''Brien''s ''''x''''";
        QTest::newRow("kept") << "100% [a]_b; \"c\"\r\n\\"
                              << "100% [a]_b; \"c\"\r\n\\";
        QTest::newRow("empty") << ""
                               << "";
    }

    void fixForSqlInsertDoublesQuotesOnly()
    {
        QFETCH(QString, text);
        QFETCH(QString, fixed);
        TestHost t;
        QCOMPARE(t.host().FixForSQLInsert(text), fixed);
    }

    void textsRoundTrip_data()
    {
        QTest::addColumn<QString>("text");
        QTest::newRow("plain") << "Deposit for kitchen";
        QTest::newRow("quotes") << "O'Brien's ''double''";
        QTest::newRow("percent and underscore") << "100% paid_in full";
        QTest::newRow("brackets") << "[Customers] [dbo].[x]";
        QTest::newRow("statement separators") << "a; DROP TABLE Payments; --";
        QTest::newRow("line breaks") << "line 1\r\nline 2\nline 3\r";
        QTest::newRow("json and xml characters") << "{\"a\": [1]} <b>&amp;</b> \\n";
        QTest::newRow("almost a date") << "2018-01-23 16:07";
        QTest::newRow("unicode") << QStringLiteral("Müller – 5 €");
        QTest::newRow("empty") << "";
    }

    // A text written through FixForSQLInsert comes back unchanged through ExecuteSelect and
    // GetFieldValue; a NULL column gives the default; an empty one the empty text.
    void textsRoundTrip()
    {
        QFETCH(QString, text);
        TestHost t;
        const int customer = t.db().addCustomer(QStringLiteral("C"));
        const int id = t.db().addPayment(customer, cur("10"), 0, when(2020, 1, 1));
        t.db().exec(QStringLiteral("UPDATE Payments SET NameOnCard = NULL WHERE ID = %1").arg(id));
        QVERIFY(t.host().Common().ExecuteUpdate(QStringLiteral("UPDATE Payments SET Description = '") +
                                                t.host().FixForSQLInsert(text) + QStringLiteral("' WHERE ID = ") +
                                                QString::number(id)));

        const QString statement =
            QStringLiteral("SELECT ID, Description, NameOnCard FROM Payments WHERE ID = %1").arg(id);
        auto& common = t.host().Common();
        const QString row = common.ExecuteSelect(statement);
        QVERIFY(!row.isEmpty());
        QCOMPARE(common.GetFieldValue(row, QStringLiteral("Description"), QStringLiteral("dflt")), text);
        QCOMPARE(common.GetFieldValue(row, QStringLiteral("DESCRIPTION"), QStringLiteral("dflt")), text);
        QCOMPARE(common.GetFieldValue(row, QStringLiteral("NameOnCard"), QStringLiteral("dflt")),
                 QStringLiteral("dflt"));
        QCOMPARE(common.GetFieldValue(row, QStringLiteral("NoSuchColumn"), QStringLiteral("dflt")),
                 QStringLiteral("dflt"));
        QCOMPARE(common.GetFieldValue(row, QStringLiteral("ID"), QStringLiteral("0")).toInt(), id);

        // The record document carries the same text; a NULL column has no element.
        const QDomDocument doc = t.host().Database().ExecuteRead(statement);
        QVERIFY(!doc.isNull());
        const QDomElement record = tesr::modSharedXML::SelectSingleNode(doc, QStringLiteral("Records/Record"));
        QVERIFY(!record.isNull());
        QCOMPARE(tesr::modSharedXML::GetNodeText(QStringLiteral("Description"), record), text);
        QVERIFY(record.firstChildElement(QStringLiteral("NameOnCard")).isNull());
        QCOMPARE(record.firstChildElement(QStringLiteral("Description")).isNull(), false);
        QCOMPARE(tesr::modSharedXML::GetNodeLong(QStringLiteral("ID"), record), id);
    }

    // Money as plain decimal text to the fourth place, dates in the two documented forms.
    void numbersAndDatesAsPlainText()
    {
        TestHost t;
        const int customer = t.db().addCustomer(QStringLiteral("C"));
        const int order = t.db().addOrder(customer, QStringLiteral("U-1"), cur("500"));
        Q_UNUSED(order);
        const int id = t.db().addPayment(customer, cur("1234.5678"), 0, when(2018, 1, 23, 16, 7, 36));
        t.db().allocate(id, QStringLiteral("U-1"), cur("0.1"));
        t.db().allocate(id, QStringLiteral("U-1"), cur("0.2"));

        const QString statement = QStringLiteral("SELECT Amount, Allocated, Amount - Allocated AS Rest, PaymentDate, "
                                                 "ExpireMonth FROM Payments WHERE ID = %1")
                                      .arg(id);
        auto& common = t.host().Common();
        const QString row = common.ExecuteSelect(statement);
        QCOMPARE(common.GetFieldValue(row, QStringLiteral("Amount"), {}), QStringLiteral("1234.5678"));
        QCOMPARE(common.GetFieldValue(row, QStringLiteral("Allocated"), {}), QStringLiteral("0.3"));
        QCOMPARE(common.GetFieldValue(row, QStringLiteral("Rest"), {}), QStringLiteral("1234.2678"));
        QCOMPARE(common.GetFieldValue(row, QStringLiteral("PaymentDate"), {}), QStringLiteral("2018-01-23 16:07:36"));
        QCOMPARE(common.GetFieldValue(row, QStringLiteral("ExpireMonth"), {}), QStringLiteral("0"));

        const QDomDocument doc = t.host().Database().ExecuteRead(statement);
        const QDomElement record = tesr::modSharedXML::SelectSingleNode(doc, QStringLiteral("Records/Record"));
        QCOMPARE(record.firstChildElement(QStringLiteral("PaymentDate")).text(), QStringLiteral("2018-01-23T16:07:36"));
        QCOMPARE(record.firstChildElement(QStringLiteral("Allocated")).text(), QStringLiteral("0.3"));
        QCOMPARE(tesr::modSharedXML::GetNodeCurrency(QStringLiteral("Amount"), record), cur("1234.5678"));
        QCOMPARE(tesr::modSharedXML::GetNodeDate(QStringLiteral("PaymentDate"), record), when(2018, 1, 23, 16, 7, 36));
    }

    void recordDocumentHasOneRecordPerRow()
    {
        TestHost t;
        t.db().addCustomer(QStringLiteral("Ann"));
        t.db().addCustomer(QStringLiteral("Bob"));
        t.db().addCustomer(QStringLiteral("Cy"));
        const QDomDocument doc =
            t.host().Database().ExecuteRead(QStringLiteral("SELECT CustomerName FROM Customers ORDER BY CustomerName"));
        QCOMPARE(doc.documentElement().tagName(), QStringLiteral("Records"));
        const QDomNodeList records = doc.documentElement().elementsByTagName(QStringLiteral("Record"));
        QCOMPARE(records.size(), 3);
        QCOMPARE(records.at(2).toElement().firstChildElement(QStringLiteral("CustomerName")).text(),
                 QStringLiteral("Cy"));

        const QDomDocument none =
            t.host().Database().ExecuteRead(QStringLiteral("SELECT CustomerName FROM Customers WHERE ID = -1"));
        QVERIFY(!none.isNull());
        QVERIFY(tesr::modSharedXML::SelectSingleNode(none, QStringLiteral("Records/Record")).isNull());
    }

    void failedReadsAreEmptyAndLogged()
    {
        TestHost t;
        const QString bad = QStringLiteral("SELECT Nothing FROM NoSuchTable");
        QVERIFY(t.host().Common().ExecuteSelect(bad).isEmpty());
        QVERIFY(t.host().Database().ExecuteRead(bad).isNull());
        QVERIFY(!t.host().Database().LastSQLErrorDescription().isEmpty());
        QVERIFY(logText(t).contains(QStringLiteral("NoSuchTable")));
        QCOMPARE(t.host().Common().GetFieldValue(QString(), QStringLiteral("X"), QStringLiteral("d")),
                 QStringLiteral("d"));
        QCOMPARE(t.host().Common().GetFieldValue(QStringLiteral("not a row"), QStringLiteral("X"), QStringLiteral("d")),
                 QStringLiteral("d"));
        QVERIFY(t.prompter().calls().isEmpty()); // statement failures are the caller's to report
    }

    void executeScaler_data()
    {
        QTest::addColumn<QString>("statement");
        QTest::addColumn<QString>("expected");
        QTest::addColumn<bool>("fails");
        QTest::newRow("count") << "SELECT COUNT(*) AS theCount FROM Payments"
                               << "2" << false;
        QTest::newRow("text") << "SELECT CustomerName FROM Customers"
                              << "Ann" << false;
        QTest::newRow("no row") << "SELECT ID FROM Payments WHERE ID = -1"
                                << "0" << false;
        QTest::newRow("null") << "SELECT SUM(Amount) FROM Payments WHERE ID = -1"
                              << "0" << false;
        QTest::newRow("failure") << "SELECT x FROM NoSuchTable"
                                 << "0" << true;
    }

    void executeScaler()
    {
        QFETCH(QString, statement);
        QFETCH(QString, expected);
        QFETCH(bool, fails);
        TestHost t;
        const int c = t.db().addCustomer(QStringLiteral("Ann"));
        t.db().addPayment(c, cur("5"), 0, when(2020, 1, 1));
        t.db().addPayment(c, cur("6"), 0, when(2020, 1, 2));
        auto& db = t.host().Database();
        QCOMPARE(db.ExecuteScaler(statement, QString(), QStringLiteral("0")).toString(), expected);
        QCOMPARE(db.LastSQLErrorDescription().isEmpty(), !fails);
    }

    void executeNonQueryCountsRows()
    {
        TestHost t;
        const int c = t.db().addCustomer(QStringLiteral("Ann"));
        const int p1 = t.db().addPayment(c, cur("5"), 0, when(2020, 1, 1));
        t.db().addPayment(c, cur("6"), 0, when(2020, 1, 2));
        auto& db = t.host().Database();
        QCOMPARE(
            db.ExecuteNonQuery(QStringLiteral("UPDATE Payments SET Description = 'x' WHERE CustomerID = %1").arg(c)),
            2);
        QCOMPARE(db.ExecuteNonQuery(QStringLiteral("DELETE FROM Payments WHERE ID = -5")), 0);
        QCOMPARE(db.ExecuteNonQuery(QStringLiteral("UPDATE NoSuchTable SET a = 1")), -1);
        QVERIFY(db.LastSQLErrorDescription().contains(QStringLiteral("NoSuchTable")));
        QCOMPARE(db.ExecuteNonQuery(QStringLiteral("DELETE FROM Payments WHERE ID = %1").arg(p1)), 1);
        QVERIFY(db.LastSQLErrorDescription().isEmpty());
    }

    // A compound command either runs whole or changes nothing.
    void executeUpdateIsAllOrNothing()
    {
        TestHost t;
        const int c = t.db().addCustomer(QStringLiteral("Ann"));
        const int p = t.db().addPayment(c, cur("5"), 0, when(2020, 1, 1));
        auto& common = t.host().Common();
        QVERIFY(!common.ExecuteUpdate(QStringLiteral("UPDATE Payments SET Amount = 7 WHERE ID = %1; "
                                                     "UPDATE NoSuchTable SET a = 1")
                                          .arg(p)));
        QCOMPARE(t.db().money(QStringLiteral("SELECT Amount FROM Payments WHERE ID = %1").arg(p)), cur("5"));
        QVERIFY(common.ExecuteUpdate(QStringLiteral("UPDATE Payments SET Amount = 7 WHERE ID = %1; "
                                                    "UPDATE Payments SET Allocated = 2 WHERE ID = %1")
                                         .arg(p)));
        QCOMPARE(t.db().money(QStringLiteral("SELECT Amount - Allocated FROM Payments WHERE ID = %1").arg(p)),
                 cur("5"));
    }

    // The Ex services work on the caller's connection: inside its transaction.
    void countAndDeleteOnCallersConnection()
    {
        TestHost t;
        const int c = t.db().addCustomer(QStringLiteral("Ann"));
        t.db().addOrder(c, QStringLiteral("U-1"), cur("100"));
        const int p = t.db().addPayment(c, cur("50"), 0, when(2020, 1, 1));
        t.db().allocate(p, QStringLiteral("U-1"), cur("20"));
        t.db().allocate(p, QStringLiteral("U-1"), cur("30"));
        auto& common = t.host().Common();
        auto conn = t.host().CurrentCompanyConn();
        QVERIFY(conn);
        const QString count = QStringLiteral("SELECT COUNT(*) AS MyCount FROM PaymentAllocations WHERE PaymentID = %1");
        QCOMPARE(common.CountRecordsEx(count.arg(p), conn.get()), 2);
        QCOMPARE(common.CountRecordsEx(count.arg(-1), conn.get()), 0);
        QCOMPARE(common.CountRecordsEx(QStringLiteral("SELECT COUNT(*) FROM NoSuchTable"), conn.get()), -1);
        QCOMPARE(common.CountRecordsEx(count.arg(p), nullptr), -1);

        const QString del = QStringLiteral("DELETE FROM PaymentAllocations WHERE PaymentID = %1").arg(p);
        QVERIFY(conn->BeginTrans());
        QVERIFY(common.ExecuteDeleteEx(del, conn.get()));
        QCOMPARE(common.CountRecordsEx(count.arg(p), conn.get()), 0);
        QVERIFY(conn->RollbackTrans());
        QCOMPARE(t.db().count(count.arg(p)), 2);
        QVERIFY(common.ExecuteDeleteEx(del, conn.get()));
        QCOMPARE(t.db().count(count.arg(p)), 0);
        QVERIFY(!common.ExecuteDeleteEx(QStringLiteral("DELETE FROM NoSuchTable"), conn.get()));
        QVERIFY(!common.ExecuteDeleteEx(del, nullptr));
        conn->Close();
    }

    void paymentMethods()
    {
        TestHost t;
        const int visa = t.db().addPaymentMethod(QStringLiteral("Visa"), 1);
        const int cash = t.db().addPaymentMethod(QStringLiteral("Cash"), 0);
        const int check = t.db().addPaymentMethod(QStringLiteral("Check"), 0);
        const int amex = t.db().addPaymentMethod(QStringLiteral("American Express"), 1);
        tesr::ComboBox box(nullptr, tesr::ComboBox::DropDownList);
        box.AddItem(QStringLiteral("left over"));
        t.host().Common().LoadPaymentMethods(box);
        QCOMPARE(box.ListCount(), 4);
        const QStringList names{box.List(0), box.List(1), box.List(2), box.List(3)};
        QCOMPARE(names, (QStringList{"American Express", "Cash", "Check", "Visa"}));
        const QList<int> ids{box.ItemData(0), box.ItemData(1), box.ItemData(2), box.ItemData(3)};
        QCOMPARE(ids, (QList<int>{amex, cash, check, visa}));

        auto& common = t.host().Common();
        QVERIFY(common.GetPaymentMethodType2(visa) != 0);
        QCOMPARE(common.GetPaymentMethodType2(cash), 0);
        QCOMPARE(common.GetPaymentMethodType2(9999), 0);
    }

    void customerNameAndCredit()
    {
        TestHost t;
        const int ann = t.db().addCustomer(QStringLiteral("  Ann O'Neil   "));
        const int bob = t.db().addCustomer(QStringLiteral("Bob"));
        t.db().addOrder(ann, QStringLiteral("U-1"), cur("1000"));
        const int p1 = t.db().addPayment(ann, cur("100"), 0, when(2020, 1, 1));
        const int p2 = t.db().addPayment(ann, cur("50"), 0, when(2020, 1, 2));
        t.db().addPayment(ann, cur("20.5"), 0, when(2020, 1, 3));
        const int over = t.db().addPayment(ann, cur("10"), 0, when(2020, 1, 4));
        t.db().addPayment(bob, cur("999"), 0, when(2020, 1, 5));
        t.db().allocate(p1, QStringLiteral("U-1"), cur("30"));
        t.db().allocate(p2, QStringLiteral("U-1"), cur("50"));
        t.db().allocate(over, QStringLiteral("U-1"), cur("12.25")); // allocated beyond its amount

        auto& common = t.host().Common();
        QCOMPARE(common.GetCustomerName(ann), QStringLiteral("Ann O'Neil"));
        QCOMPARE(common.GetCustomerName(12345), QString());
        // 70 + 0 + 20.5 - 2.25
        QCOMPARE(common.GetCustomerCredit(ann), cur("88.25"));
        QCOMPARE(common.GetCustomerCredit(bob), cur("999"));
        QCOMPARE(common.GetCustomerCredit(12345), Currency());
    }

    void buildString_data()
    {
        QTest::addColumn<QString>("templateText");
        QTest::addColumn<QVariantList>("values");
        QTest::addColumn<QString>("expected");
        QTest::newRow("three") << "{0} of {1} on {2}" << QVariantList{12, QStringLiteral("it's"), QStringLiteral("x")}
                               << "12 of it's on x";
        QTest::newRow("twice") << "SELECT {0} + {0}" << QVariantList{7} << "SELECT 7 + 7";
        QTest::newRow("missing value") << "{0}-{1}" << QVariantList{1} << "1-{1}";
        QTest::newRow("only three") << "{2}{3}" << QVariantList{0, 1, 2, 3} << "2{3}";
    }

    void buildString()
    {
        QFETCH(QString, templateText);
        QFETCH(QVariantList, values);
        QFETCH(QString, expected);
        TestHost t;
        QCOMPARE(t.host().Common().BuildString(templateText, values), expected);
    }

    void fixDateWritesSqlDateText()
    {
        TestHost t;
        QCOMPARE(t.host().FixDateForSQLInsert(when(2018, 3, 1, 21, 5, 7)), QStringLiteral("20180301 21:05:07"));
        const int c = t.db().addCustomer(QStringLiteral("Ann"));
        const int p = t.db().addPayment(c, cur("1"), 0, when(2000, 1, 1));
        QVERIFY(t.host().Common().ExecuteUpdate(QStringLiteral("UPDATE Payments SET PaymentDate = '") +
                                                t.host().FixDateForSQLInsert(when(2018, 3, 1, 21, 5, 7)) +
                                                QStringLiteral("' WHERE ID = ") + QString::number(p)));
        QCOMPARE(t.db().scalar(QStringLiteral("SELECT PaymentDate FROM Payments WHERE ID = %1").arg(p)).toString(),
                 QStringLiteral("2018-03-01 21:05:07"));
    }

    // Activity lines written with the Ex forms commit or roll back with the caller.
    void activityFollowsTheCallersTransaction_data()
    {
        QTest::addColumn<bool>("commit");
        QTest::newRow("rolled back") << false;
        QTest::newRow("committed") << true;
    }

    void activityFollowsTheCallersTransaction()
    {
        QFETCH(bool, commit);
        TestHost t;
        t.config().setUserId(17);
        const int c = t.db().addCustomer(QStringLiteral("Ann"));
        const int o = t.db().addOrder(c, QStringLiteral("U-1"), cur("10"));
        const QString text = QStringLiteral("A payment of $1,234.50 was applied; it's 100%\r\nsure");
        auto conn = t.host().CurrentCompanyConn();
        QVERIFY(conn);
        QVERIFY(conn->BeginTrans());
        t.host().Activity().RecordCustomerActivityEx(c, text, conn.get());
        t.host().Activity().RecordOrderActivityEx(o, text, conn.get());
        QVERIFY(commit ? conn->CommitTrans() : conn->RollbackTrans());
        conn->Close();

        const QString lines = QStringLiteral("SELECT COUNT(*) FROM ActivityHistory");
        QCOMPARE(t.db().count(lines), commit ? 2 : 0);
        if (!commit)
            return;
        QCOMPARE(t.db().count(QStringLiteral("SELECT COUNT(*) FROM ActivityHistory WHERE CustomerID = %1 AND "
                                             "OrderID IS NULL AND UserID = 17")
                                  .arg(c)),
                 1);
        QCOMPARE(t.db().count(QStringLiteral("SELECT COUNT(*) FROM ActivityHistory WHERE CustomerID = %1 AND "
                                             "OrderID = %2 AND UserID = 17")
                                  .arg(c)
                                  .arg(o)),
                 1);
        QCOMPARE(t.db()
                     .scalar(QStringLiteral("SELECT Description FROM ActivityHistory WHERE OrderID = %1").arg(o))
                     .toString(),
                 text);
    }

    void activityOnItsOwnConnection()
    {
        TestHost t;
        const int c = t.db().addCustomer(QStringLiteral("Ann"));
        t.host().Activity().RecordCustomerActivity(c, QStringLiteral("Deleted O'Neil's payment"));
        QCOMPARE(t.db()
                     .scalar(QStringLiteral("SELECT Description FROM ActivityHistory WHERE CustomerID = %1").arg(c))
                     .toString(),
                 QStringLiteral("Deleted O'Neil's payment"));
        // Without a connection nothing is written, and the log says why.
        t.host().Activity().RecordCustomerActivityEx(c, QStringLiteral("lost"), nullptr);
        QCOMPARE(t.db().count(QStringLiteral("SELECT COUNT(*) FROM ActivityHistory")), 1);
        QVERIFY(logText(t).contains(QStringLiteral("no open connection")));
    }

    void optionsAndSecurityFollowTheConfiguration()
    {
        TestHost t;
        auto& options = t.host().Options();
        QCOMPARE(options.GetUserOption(QStringLiteral("Payments"), QStringLiteral("RequireCCDetails"), 0).toInt(), 0);
        t.config().setOption(QStringLiteral("Payments"), QStringLiteral("RequireCCDetails"), QStringLiteral("1"));
        QCOMPARE(options.GetUserOption(QStringLiteral("payments"), QStringLiteral("requireccdetails"), 0).toInt(), 1);

        auto& security = t.host().Security();
        QVERIFY(security.CanDo(803, 8));
        QVERIFY(security.CanDo(803, 32));
        t.config().deny(803, 32);
        QVERIFY(security.CanDo(803, 8));
        QVERIFY(!security.CanDo(803, 32));
        QVERIFY(security.CanDo(303, 4));
        t.config().setRights(303, 0);
        QVERIFY(!security.CanDo(303, 4));
        QCOMPARE(security.UserId(), 1);
        t.config().setUserId(42);
        QCOMPARE(security.UserId(), 42);
    }

    void everyConnectionIsNew()
    {
        TestHost t;
        QCOMPARE(t.library().GetSharedCodeLibrary(), &t.host());
        auto a = t.host().CurrentCompanyConn();
        auto b = t.host().CurrentCompanyConn();
        QVERIFY(a && b);
        QVERIFY(a.get() != b.get());
        a->Close();
        QVERIFY(!a->IsOpen());
        QVERIFY(b->IsOpen());
        auto rs = b->OpenRecordset(QStringLiteral("SELECT COUNT(*) FROM Customers"));
        QVERIFY(rs && rs->State() == tesr::Recordset::adStateOpen);
        rs->Close();
        b->Close();
    }

    void noConnectionWhenTheDatabaseIsGone()
    {
        TestHost t;
        t.config().setDatabaseUrl(t.db().folder() + QStringLiteral("/missing.db"));
        QVERIFY(!t.host().CurrentCompanyConn());
        QVERIFY(!QFile::exists(t.db().folder() + QStringLiteral("/missing.db")));
        QVERIFY(logText(t).contains(QStringLiteral("missing.db")));
        // The services built on it fail softly.
        QCOMPARE(t.host().Common().GetCustomerName(1), QString());
        QCOMPARE(t.host().Common().ExecuteSelect(QStringLiteral("SELECT 1")), QString());
        QVERIFY(!t.host().Common().ExecuteUpdate(QStringLiteral("UPDATE Payments SET Amount = 1")));
        QCOMPARE(t.host().Database().ExecuteNonQuery(QStringLiteral("UPDATE Payments SET Amount = 1")), -1);
        QVERIFY(!t.host().Database().LastSQLErrorDescription().isEmpty());
        QCOMPARE(t.host().Database().ExecuteScaler(QStringLiteral("SELECT 1"), {}, QStringLiteral("9")).toString(),
                 QStringLiteral("9"));
        tesr::ComboBox box;
        box.AddItem(QStringLiteral("left over"));
        t.host().Common().LoadPaymentMethods(box);
        QCOMPARE(box.ListCount(), 0);
    }

    void messagesGoThroughThePrompter()
    {
        TestHost t;
        t.prompter().expectQuestion(ScriptedPrompter::Yes, QStringLiteral("Remove it?"));
        QCOMPARE(t.host().ShowMessageStyle1(QStringLiteral("Remove it?"), QStringLiteral("Really."), 6), 2);
        QCOMPARE(t.host().ShowMessageStyle1(QStringLiteral("This customer has a credit."), QStringLiteral("...")), 1);
        QCOMPARE(t.host().ShowMessageStyle1(QStringLiteral("Unasked?"), QString(), 6), 4); // nobody expected it
        QVERIFY(!t.prompter().ok());
        QVERIFY(t.prompter().failures().contains(QStringLiteral("Unasked?")));
        const auto calls = t.prompter().calls();
        QCOMPARE(calls.size(), 3);
        QCOMPARE(calls[1].kind, ScriptedPrompter::Call::Kind::Notice);
        QCOMPARE(calls[1].explanation, QStringLiteral("..."));
    }

    void errorsAreShownAndLogged()
    {
        TestHost t;
        t.host().ShowAndLogErrorMessage(QStringLiteral("Unable to edit the payment."),
                                        QStringLiteral("{standard explanation}"),
                                        QStringLiteral("UNIQUE constraint failed"));
        t.host().ShowErrorMessage(QStringLiteral("The payment could not be deleted."),
                                  QStringLiteral("Check the event log for details."));
        const auto errors = t.prompter().calls(ScriptedPrompter::Call::Kind::Error);
        QCOMPARE(errors.size(), 2);
        QCOMPARE(errors[0].explanation, tesr::host::ReferenceHost::StandardExplanation);
        QCOMPARE(errors[0].detail, QStringLiteral("UNIQUE constraint failed"));
        QCOMPARE(errors[1].explanation, QStringLiteral("Check the event log for details."));
        const QString log = logText(t);
        QVERIFY(log.contains(QStringLiteral("ERROR Unable to edit the payment.")));
        QVERIFY(log.contains(QStringLiteral("    UNIQUE constraint failed")));
        QVERIFY(log.contains(tesr::host::ReferenceHost::StandardExplanation.left(40)));
        QVERIFY(!log.contains(QStringLiteral("{standard explanation}")));
        QVERIFY(log.contains(QStringLiteral("The payment could not be deleted.")));
    }
};

TESR_TEST_MAIN(HostServicesTest)
#include "tst_hostservices.moc"

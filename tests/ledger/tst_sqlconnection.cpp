// The connection the host hands to the module, on a real database of the test's engine (a
// SQLite file, or a PostgreSQL database): opening (and refusing what is not a company
// database), recordsets (names as the statement spells them, exact money, wall-clock dates),
// compound commands all-or-nothing inside and outside a transaction, a failed statement that
// leaves the caller's transaction usable, values that never break a statement, a second
// writer that waits for the first one's lock, then gives up, and LIKE as SQL Server reads it.

#include "ledger/LedgerFixture.h"
#include "support/TestMain.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSqlError>
#include <QSqlQuery>
#include <QUrl>

#include <thread>

using namespace ledgertest;
using namespace Qt::StringLiterals;
using tesr::Currency;
using tesr::SqlConnection;

namespace {

struct Figures {
    QString allocated, payments, balance;
    int allocations = 0;
    bool operator==(const Figures&) const = default;
};
char* toString(const Figures& f)
{
    return QTest::toString(QStringLiteral("Allocated %1, Payments %2, Balance %3, %4 allocation(s)")
                               .arg(f.allocated, f.payments, f.balance)
                               .arg(f.allocations));
}

} // namespace

class TestSqlConnection : public QObject {
    Q_OBJECT

    std::unique_ptr<tesrtest::TestDatabase> db;

    // Payment 1's Allocated, order U-1's Payments and Balance, and the allocations there are.
    Figures figures()
    {
        return {db->money("SELECT Allocated FROM Payments WHERE ID = 1").toPlainString(),
                db->money("SELECT Payments FROM Orders WHERE UniqueID = 'U-1'").toPlainString(),
                db->money("SELECT Balance FROM Orders WHERE UniqueID = 'U-1'").toPlainString(),
                db->count("SELECT COUNT(*) FROM PaymentAllocations")};
    }

private slots:
    void init()
    {
        // A session must never be removed while a query still uses it.
        QTest::failOnWarning(QRegularExpression(QStringLiteral("still in use|QSqlDatabasePrivate")));
        db = std::make_unique<tesrtest::TestDatabase>();
    }
    void cleanup() { db.reset(); }

    void openRefusesWhatIsNoCompanyDatabase_data()
    {
        QTest::addColumn<QByteArray>("content"); // <...>: no file of that content
        QTest::addColumn<QString>("message");
        auto row = [](const char* tag, const QByteArray& content, const char* message) {
            QTest::newRow(tag) << content << QString::fromLatin1(message);
        };
        if (onPostgres()) { // what stands for a file there: the server, the database, the login
            row("no such database", "<database>", "tesr_no_such_database");
            row("nothing listening", "<port>", "could not be opened");
            row("unknown user", "<user>", "nobody_here");
            return;
        }
        row("missing", "<missing>", "does not exist");
        row("folder", "<folder>", "is a folder");
        row("empty file", "", "is empty");
        row("text file", "Name,Amount\nSmith,12.50\n", "is not a SQLite database");
        row("damaged database", QByteArray("SQLite format 3\0", 16) + QByteArray(4080, 'Z'), "not a SQLite database");
    }
    void openRefusesWhatIsNoCompanyDatabase()
    {
        QFETCH(QByteArray, content);
        QFETCH(QString, message);
        auto url = tesr::DatabaseUrl::parse(db->url()).value();
        const QString path = db->folder() + "/other.db";
        if (content == "<database>")
            url.database = QStringLiteral("tesr_no_such_database");
        else if (content == "<port>")
            url.port = 1;
        else if (content == "<user>")
            url.user = QStringLiteral("nobody_here");
        else if (content == "<folder>")
            QVERIFY(QDir().mkpath(path));
        else if (content != "<missing>") {
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(content);
        }
        if (!onPostgres())
            url.path = path;
        QString error;
        QVERIFY(!SqlConnection::open(url, &error));
        QVERIFY2(error.contains(message) && error.contains(onPostgres() ? "could not be opened" : path),
                 qPrintable(error));
        if (onPostgres())
            return;
        // Nothing was created or changed on the way.
        QCOMPARE(QFileInfo(path).exists(), content != "<missing>");
        if (!content.startsWith('<'))
            QCOMPARE(QFileInfo(path).size(), qint64(content.size()));
    }

    // A PostgreSQL password kept out of the URL and the configuration: libpq's password file
    // (PGPASSFILE, 0600) gives it, and a failed login names no password.
    void passwordFromThePasswordFile()
    {
        if (!onPostgres())
            QSKIP("PostgreSQL's password file");
        const QString password = u"p:a;ss'w\\d"_s;
        QSqlQuery(session(*db).database())
            .exec(u"DO $$ BEGIN CREATE ROLE tesr_password LOGIN; EXCEPTION WHEN duplicate_object THEN NULL; END $$"_s);
        QSqlQuery alter(session(*db).database());
        QVERIFY2(
            alter.exec(u"ALTER ROLE tesr_password PASSWORD '%1'"_s.arg(QString(password).replace(u"'"_s, u"''"_s))),
            qPrintable(alter.lastError().text()));
        auto url = tesr::DatabaseUrl::parse(db->url()).value();
        url.user = u"tesr_password"_s;
        url.password.clear();
        const QString passfile = db->folder() + u"/pgpass"_s;
        QFile file(passfile);
        QVERIFY(file.open(QIODevice::WriteOnly, QFileDevice::ReadOwner | QFileDevice::WriteOwner));
        // host:port:database:user:password, with ':' and '\' escaped.
        file.write(
            u"*:*:*:tesr_password:%1\n"_s.arg(QString(password).replace(u"\\"_s, u"\\\\"_s).replace(u":"_s, u"\\:"_s))
                .toUtf8());
        file.close();
        QString error;
        qputenv("PGPASSFILE", QFile::encodeName(db->folder() + u"/none"_s));
        if (SqlConnection::open(url, &error))
            QSKIP("this server lets the test's role in without a password");
        QVERIFY2(!error.contains(password), qPrintable(error));
        qputenv("PGPASSFILE", QFile::encodeName(passfile));
        auto conn = SqlConnection::open(url, &error);
        qunsetenv("PGPASSFILE");
        QVERIFY2(conn, qPrintable(error));
        QCOMPARE(conn->OpenRecordset(u"SELECT CURRENT_USER AS Who"_s)->Field(u"Who"_s).toString(), u"tesr_password"_s);
    }

    void recordsets()
    {
        db->exec("INSERT INTO PaymentMethods (PaymentMethod, MethodType) VALUES ('Visa', 1); INSERT INTO Payments "
                 "(PaymentMethodID, CustomerID, Description, Amount) VALUES (1, 7, 'first', 10); INSERT INTO Payments "
                 "(PaymentMethodID, CustomerID, Description, Amount) VALUES (1, 7, NULL, 20.25)");
        auto& c = db->connection();
        auto rs = c.OpenRecordset(
            "SELECT Payments.ID AS PaymentID, Payments.Description, Payments.Amount, "
            "PaymentMethods.ID, COUNT(*) OVER () as theCount, Payments.ID AS [Payment No] FROM Payments "
            "INNER JOIN PaymentMethods ON Payments.PaymentMethodID = PaymentMethods.ID ORDER BY 1");
        QVERIFY2(rs && rs->State() == tesr::Recordset::adStateOpen && !rs->Bof(), qPrintable(c.LastError()));
        // Read after its connection closed.
        c.Close();
        QVERIFY(!c.Execute("DELETE FROM Payments") && c.LastError().contains(QStringLiteral("closed")));
        QStringList names; // as the statement spells them
        for (int i = 0; i < rs->FieldCount(); ++i)
            names << rs->FieldName(i);
        QCOMPARE(names, QStringList({"PaymentID", "Description", "Amount", "ID", "theCount", "Payment No"}));
        // Found by any spelling; NULL is a value, an unknown column none.
        QCOMPARE(rs->Field("paymentid").toInt(), 1);
        // Numbers come as numbers (grids sort them so), texts as texts.
        QCOMPARE(rs->Field("PaymentID").metaType().id(), onPostgres() ? QMetaType::Int : QMetaType::LongLong);
        QCOMPARE(rs->Field("Description").metaType().id(), QMetaType::QString);
        QCOMPARE(Currency::fromVariant(rs->Field("AMOUNT")), Currency::fromUnits(10));
        QVERIFY(!rs->Field("NoSuchColumn").isValid());
        rs->MoveNext();
        QVERIFY(rs->Field("Description").isValid() && rs->Field("Description").isNull());
        QCOMPARE(Currency::fromVariant(rs->Field("Amount")), Currency::fromRaw(202500));
        // Past the end nothing is read and nothing moves.
        rs->MoveNext();
        rs->MoveNext();
        QVERIFY(rs->Eof() && !rs->Field("ID").isValid());
        rs->Close();
        QCOMPARE(rs->State(), tesr::Recordset::adStateClosed);
        rs.reset(); // the session ends here, with no warning (see init)

        auto other = openAnother(*db);
        auto empty = other->OpenRecordset("SELECT ID, Amount FROM Payments WHERE CustomerID = 1");
        QVERIFY(empty && empty->Bof() && empty->Eof() && empty->FieldCount() == 2);
        const std::pair<const char*, QString> failures[] = {
            {"SELECT * FROM NoSuchTable",
             says("no such table: NoSuchTable", "relation \"nosuchtable\" does not exist")},
            {"SELECT 1; SELECT 2", "one statement"}};
        for (const auto& [statement, message] : failures) {
            QVERIFY(!other->OpenRecordset(QString::fromLatin1(statement)));
            QVERIFY2(other->LastError().contains(message) && other->LastError().contains("Statement: "),
                     qPrintable(other->LastError()));
        }
        QVERIFY(other->OpenRecordset("SELECT 1") && other->LastError().isEmpty()); // a success clears it
    }

    void moneyAndDatesReadExactly()
    {
        // Beyond what a double holds to the fourth decimal: exact where the engine has decimals.
        const QString amount = onPostgres() ? "987654321098.7654" : "33.3333";
        auto& c = db->connection();
        // The SQL Server date form is stored as a date on insert and on update alike; a memo that
        // looks like a date stays text.
        QVERIFY(c.Execute(QStringLiteral("INSERT INTO Payments (CustomerID, PaymentDate, Description, Amount, "
                                         "Allocated) VALUES (1, '%1', '%1', %2, %2); INSERT INTO Payments "
                                         "(CustomerID, Amount) VALUES (1, 0); UPDATE Payments SET PaymentDate = '%1' "
                                         "WHERE ID = 2")
                              .arg("20240310 02:30:00", amount)));
        auto rs = c.OpenRecordset(
            "SELECT PaymentDate, Description, Amount, Amount - Allocated AS Credit FROM Payments ORDER BY ID");
        QVERIFY2(rs && !rs->Eof(), qPrintable(c.LastError()));
        QCOMPARE(rs->Field("PaymentDate").toString(), QStringLiteral("2024-03-10 02:30:00"));
        QCOMPARE(tesr::OleDate::fromVariant(rs->Field("PaymentDate"))->toIsoString(), "2024-03-10T02:30:00");
        QCOMPARE(rs->Field("Description").toString(), QStringLiteral("20240310 02:30:00"));
        QCOMPARE(Currency::fromVariant(rs->Field("Amount")), Currency::parsePlain(amount));
        QCOMPARE(Currency::fromVariant(rs->Field("Credit")), Currency());
        rs->MoveNext();
        QCOMPARE(rs->Field("PaymentDate").toString(), QStringLiteral("2024-03-10 02:30:00"));
    }

    // A compound command fails whole, inside the caller's transaction or on its own: when a
    // later statement fails, when another session removed the allocation first (its DELETE finds
    // nothing, so its updates go back), and when an apply command's payment or order was removed
    // by another session just before (no allocation is left pointing at a figure nobody moved).
    void compoundCommandIsAllOrNothing_data()
    {
        QTest::addColumn<bool>("inTransaction");
        QTest::addColumn<QString>("fault");
        for (bool inTransaction : {false, true})
            for (const char* fault : {"a later statement fails", "removed elsewhere first", "apply: payment gone",
                                      "apply: payment gone, order by ID", "apply: order gone, by ID"})
                QTest::addRow("%s: %s", inTransaction ? "in a transaction" : "on its own", fault)
                    << inTransaction << QString::fromLatin1(fault);
    }
    void compoundCommandIsAllOrNothing()
    {
        QFETCH(bool, inTransaction);
        QFETCH(QString, fault);
        db->exec("INSERT INTO Orders (UniqueID, CustomerID, State, Total, Payments, Balance) VALUES ('U-1', 1, 3, 50, "
                 "7, 43); INSERT INTO Payments (PaymentMethodID, CustomerID, Amount, Allocated) VALUES (1, 1, 100, 7); "
                 "INSERT INTO PaymentAllocations (PaymentID, OrderUniqueID, Amount) VALUES (1, 'U-1', 7)");
        QString command = removeCommand(1, 1, "U-1", "7"), fixed = command;
        Figures before{"7", "7", "43", 1}, after{"0", "0", "50", 0}; // after: the fixed command ran
        QStringList why{"no longer there"};
        if (fault.startsWith(u"a later")) {
            command += QStringLiteral("; UPDATE NoSuchTable SET x = 1");
            why = QStringList{says("no such table: NoSuchTable", "\"nosuchtable\" does not exist"),
                              "Statement: UPDATE NoSuchTable"};
        } else if (fault.startsWith(u"removed")) {
            QVERIFY(openAnother(*db)->Execute(command));
            before = after;
            fixed.clear();
            why << "Statement: DELETE FROM PaymentAllocations";
        } else {
            const int order = !fault.contains(u"by ID") ? 0 : fault.contains(u"order gone") ? 9 : 1;
            command = applyCommand(fault.contains(u"order gone") ? 1 : 2, "U-1", "7", order);
            fixed = applyCommand(1, "U-1", "7", order ? 1 : 0);
            after = {"14", "14", "36", 2};
        }
        auto& c = db->connection();
        if (inTransaction) {
            QVERIFY(c.BeginTrans());
            db->exec("INSERT INTO Customers (CustomerName) VALUES ('kept until rollback')");
        }
        QVERIFY(!c.Execute(command));
        for (const QString& part : why)
            QVERIFY2(c.LastError().contains(part), qPrintable(c.LastError()));
        // None of the command's changes are there; the caller's own change still is, and the
        // transaction goes on until the caller ends it.
        QCOMPARE(figures(), before);
        QCOMPARE(c.InTransaction(), inTransaction);
        QCOMPARE(db->count("SELECT COUNT(*) FROM Customers"), inTransaction ? 1 : 0);
        if (inTransaction) {
            db->exec("INSERT INTO Customers (CustomerName) VALUES ('second')");
            QVERIFY(c.RollbackTrans());
            QCOMPARE(db->count("SELECT COUNT(*) FROM Customers"), 0);
            QCOMPARE(figures(), before);
        }
        // Without the fault the command runs whole.
        if (!fixed.isEmpty()) {
            QVERIFY2(c.Execute(fixed), qPrintable(c.LastError()));
            QCOMPARE(figures(), after);
            QCOMPARE(db->count(OutOfStep), 0);
        }
    }

    // A save that rolls back on any failure lets its writes wait (PostgreSQL sends them with the
    // next call that is answered): a write that then fails makes that call fail instead, with
    // its words, and nothing of the save is kept. Held writes beyond one round trip's bound go
    // in several, all kept.
    void heldBackWrites_data()
    {
        QTest::addColumn<QString>("fault");
        QTest::addColumn<QString>("answered"); // the call the held writes go with
        QTest::addColumn<QString>("why");
        for (const char* answered : {"commit", "read"}) {
            QTest::addRow("engine refuses, %s", answered)
                << "UPDATE NoSuchTable SET x = 1" << answered
                << says("no such table: NoSuchTable", "\"nosuchtable\" does not exist");
            QTest::addRow("payment gone, %s", answered) << applyCommand(9, "U-1", "7") << answered << "no longer there";
        }
        QTest::newRow("many writes, no fault") << QString() << "commit" << QString();
    }
    void heldBackWrites()
    {
        QFETCH(QString, fault);
        QFETCH(QString, answered);
        QFETCH(QString, why);
        db->exec(
            "INSERT INTO Orders (UniqueID, CustomerID, State, Total, Payments, Balance) VALUES ('U-1', 1, 3, 5000, "
            "0, 5000); INSERT INTO Payments (PaymentMethodID, CustomerID, Amount, Allocated) VALUES (1, 1, 5000, 0)");
        const Figures before = figures();
        auto& c = db->connection();
        QVERIFY(c.BeginTrans());
        c.DeferWrites();
        QStringList writes(fault.isEmpty() ? 200 : 2, applyCommand(1, "U-1", "7"));
        if (!fault.isEmpty())
            writes.insert(1, fault);
        // As the screens' saves do: stop at the first failure, then roll back what is still open.
        QString failedAt;
        for (const QString& write : writes)
            if (failedAt.isEmpty() && !c.Execute(write))
                failedAt = u"execute"_s;
        if (failedAt.isEmpty() && answered == u"read" && !c.OpenRecordset("SELECT Amount FROM Payments"))
            failedAt = answered;
        if (failedAt.isEmpty() && !c.CommitTrans())
            failedAt = u"commit"_s;
        const QString error = c.LastError();
        if (c.InTransaction())
            QVERIFY(c.RollbackTrans());
        if (fault.isEmpty()) {
            QVERIFY2(failedAt.isEmpty(), qPrintable(error));
            QCOMPARE(figures(), (Figures{"1400", "1400", "3600", 200}));
            return;
        }
        QCOMPARE(failedAt, onPostgres() ? answered : u"execute"_s);
        QVERIFY2(error.contains(why), qPrintable(error));
        QCOMPARE(figures(), before);
        QVERIFY(!c.InTransaction());
    }

    // A failure names the statement by its shape: the card details, names and memos it carried
    // stay out of every message and log that shows the error.
    void failureTextsCarryNoValues()
    {
        auto& c = db->connection();
        QVERIFY(!c.Execute("INSERT INTO Payments (CustomerID, CardNumber, NameOnCard, Description, ExpireYear, "
                           "Amount) VALUES (7, '4242', 'Zoë O''Brien', 'gate code 1234', 2031, NULL)"));
        const QString error = c.LastError();
        QVERIFY2(error.contains("Statement: INSERT INTO Payments (CustomerID, CardNumber"), qPrintable(error));
        for (const char* secret : {"4242", "Brien", "gate code", "2031", "1234"})
            QVERIFY2(!error.contains(QString::fromUtf8(secret)), qPrintable(error));
        QVERIFY(c.BeginTrans() && c.LastError().isEmpty()); // a success clears it
        QVERIFY(c.RollbackTrans());
    }

    // Statements differing only in their values share one compiled statement on a session; each
    // still runs with its own values, however many other shapes the session compiled meanwhile
    // (the oldest are let go, and compiled again when they come back).
    void statementsOfOneShapeKeepTheirOwnValues()
    {
        auto& c = db->connection();
        auto insert = [&](int shape, const QString& name, const QString& rep) {
            return c.Execute(QStringLiteral("INSERT INTO Customers (CustomerName, SalesRepID) VALUES (%1, %2) -- #%3")
                                 .arg(tesrtest::TestDatabase::quoted(name), rep)
                                 .arg(shape));
        };
        for (int shape = 0; shape < 150; ++shape)
            QVERIFY2(insert(shape, QStringLiteral("c%1").arg(shape), QString::number(shape)),
                     qPrintable(c.LastError()));
        QVERIFY2(insert(0, "O'Brien ?", "-3"), qPrintable(c.LastError()));
        QCOMPARE(db->count("SELECT COUNT(*) FROM Customers WHERE CustomerName = 'c149' AND SalesRepID = 149"), 1);
        QCOMPARE(db->count("SELECT COUNT(*) FROM Customers WHERE CustomerName = 'O''Brien ?' AND SalesRepID = -3"), 1);
        QCOMPARE(db->count("SELECT COUNT(*) FROM Customers"), 151);
    }

    // A connection closed while its thread ends, after the thread's idle sessions have gone,
    // lets its session go instead of handing it to the pool that is no more (the ASan build and
    // valgrind report the pool's freed memory read and written otherwise).
    void connectionClosedAsItsThreadEnds()
    {
        struct Holder {
            std::unique_ptr<tesr::Connection> connection;
            ~Holder()
            {
                if (connection)
                    connection->Close();
            }
        };
        bool worked = false;
        std::thread worker([&] {
            // Made before the thread's pool, so it is destroyed after it.
            thread_local Holder holder;
            Holder& h = holder;
            h.connection = db->openConnection();
            worked = h.connection && h.connection->Execute(QStringLiteral("SELECT 1"));
            // A second one, closed now, leaves its session in the pool.
            auto other = db->openConnection();
            worked = worked && other && other->Execute(QStringLiteral("SELECT 1"));
            other->Close();
        });
        worker.join();
        QVERIFY(worked);
    }

    void failedStatementKeepsTheTransaction()
    {
        // As in T-SQL, a statement that fails inside a transaction takes back only itself.
        auto& c = db->connection();
        QVERIFY(c.BeginTrans());
        db->exec("INSERT INTO Customers (CustomerName) VALUES ('first')");
        QVERIFY(!c.Execute("INSERT INTO Customers (NoSuchColumn) VALUES (1)"));
        QVERIFY(!c.OpenRecordset("SELECT NoSuchColumn FROM Customers"));
        QVERIFY(c.ExecuteInsert("INSERT INTO Payments (CustomerID, Amount) VALUES (1, NULL)") < 1);
        QVERIFY2(c.LastError().contains(says("NOT NULL constraint failed", "violates not-null constraint")),
                 qPrintable(c.LastError()));
        QVERIFY(c.InTransaction());
        db->exec("INSERT INTO Customers (CustomerName) VALUES ('second')");
        QVERIFY2(c.CommitTrans(), qPrintable(c.LastError()));
        QCOMPARE(openAnother(*db)->OpenRecordset("SELECT COUNT(*) FROM Customers")->FieldValue(0).toInt(), 2);
        if (!onPostgres())
            return;
        // A statement failed on the session behind the connection's back: the server has ended
        // the transaction, and the commit says so rather than reporting the changes kept.
        QVERIFY(c.BeginTrans());
        db->exec("INSERT INTO Customers (CustomerName) VALUES ('third')");
        QVERIFY(!QSqlQuery(session(*db).database()).exec("SELECT NoSuchColumn FROM Customers"));
        QVERIFY(!c.CommitTrans());
        QVERIFY2(c.LastError().contains("none of its changes were kept"), qPrintable(c.LastError()));
        QVERIFY(!c.InTransaction());
        QCOMPARE(db->count("SELECT COUNT(*) FROM Customers"), 2);
    }

    void valuesNeverBreakAStatement_data()
    {
        QTest::addColumn<QString>("value");
        QTest::newRow("quotes, injection") << "O'Brien's \"best\" ''quote''); DROP TABLE Payments; --";
        QTest::newRow("percent, brackets, separators") << "100% sure_really [dbo].[Customers](1); -- /* not */";
        QTest::newRow("line breaks, unicode") << QString::fromUtf8("line one\r\nline two\rZoë 5 € ✓");
        QTest::newRow("empty") << "";
        QTest::newRow("backslashes") << "C:\\temp\\' OR 1=1; --\\";
    }
    void valuesNeverBreakAStatement()
    {
        QFETCH(QString, value);
        const QString q = tesrtest::TestDatabase::quoted(value);
        db->exec("INSERT INTO Payments (CustomerID, Amount) VALUES (1, 1)"); // so the new ID is not 1 by luck
        std::unique_ptr<tesr::SqlConnection> fresh;
        if (onPostgres()) {
            // A server whose default reads a backslash as an escape: a session still reads
            // doubled quotes as the only one.
            db->exec("ALTER DATABASE " + QUrl(db->url()).path().mid(1) + " SET standard_conforming_strings TO off");
            fresh = openAnother(*db, 4321);
        }
        tesr::Connection& c = fresh ? *fresh : db->connection();
        const qint64 id = c.ExecuteInsert(
            QStringLiteral("INSERT INTO Payments (CustomerID, Description, NameOnCard, Amount) VALUES (1, %1, %1, 5)")
                .arg(q));
        QCOMPARE(id, qint64(2));
        // Compound: a value in two statements of one command.
        QVERIFY2(c.Execute(QStringLiteral("UPDATE Payments SET CardNumber = %1 WHERE ID = 2; INSERT INTO Customers "
                                          "(CustomerName) VALUES (%1)")
                               .arg(q)),
                 qPrintable(c.LastError()));
        auto read = c.OpenRecordset(u"SELECT Description FROM Payments WHERE ID = 2"_s); // the module's reader
        QCOMPARE(read->Field(u"Description"_s).toString(), value);
        QCOMPARE(db->scalar("SELECT CardNumber FROM Payments WHERE ID = 2").toString(), value);
        // Found again by the same quoted text, and by a LIKE on it (its wildcards made plain).
        QCOMPARE(db->count("SELECT COUNT(*) FROM Customers WHERE CustomerName = " + q), 1);
        QString plain = q.mid(1, q.size() - 2);
        plain.replace(u'[', u"[[]"_s).replace(u'%', u"[%]"_s).replace(u'_', u"[_]"_s);
        QCOMPARE(db->count("SELECT COUNT(*) FROM Payments WHERE NameOnCard Like '%" + plain + "%'"), 1);
        QCOMPARE(db->count("SELECT COUNT(*) FROM Payments"), 2);
    }

    // A search pattern means what the shop's SQL Server makes of it, on every engine: % and _,
    // [...] classes with ranges and negation, a backslash that is just a backslash, an ESCAPE
    // character, letters of every script without regard to case, trailing blanks of the text
    // ignored, and an unclosed class that matches nothing.
    void likeMeansWhatSqlServerMeans_data()
    {
        QTest::addColumn<QString>("pattern");
        QTest::addColumn<QString>("escape");
        QTest::addColumn<QStringList>("found"); // in the order the names were added
        auto row = [](const char* pattern, const char* escape, std::initializer_list<const char*> found) {
            QStringList names;
            for (const char* name : found)
                names << QString::fromUtf8(name);
            QTest::newRow(pattern) << QString::fromUtf8(pattern) << QString::fromLatin1(escape) << names;
        };
        row("%café%", "", {"Café Noir"});
        row("ça va", "", {"ÇA VA"});
        row("ω%", "", {"Ωmega"});
        row("_ob", "", {"Bob"});
        row("[a-b]%", "", {"Abbott", "abbey road", "Bob", "a_b"});
        row("[^a-z0-9]%", "", {"ÇA VA", "Ωmega", "[Bracket] Co", "-dash"});
        row("[-a]%", "", {"Abbott", "abbey road", "-dash", "a_b"});
        row("[[]%", "", {"[Bracket] Co"});
        row("[Bracket%", "", {});
        row("50%", "", {"50% Off", "500 Club"});
        row("50[%]%", "", {"50% Off"});
        row("50!%%", "!", {"50% Off"});
        row("a[_]b", "", {"a_b"});
        row("%\\%", "", {"C:\\Shop"});
        row("c:\\shop", "", {"C:\\Shop"});
        row("o'b%", "", {"O'Brien"});
        row("trailing", "", {"Trailing   "});
    }
    void likeMeansWhatSqlServerMeans()
    {
        QFETCH(QString, pattern);
        QFETCH(QString, escape);
        QFETCH(QStringList, found);
        const char* names[] = {"Abbott",   "abbey road", "Bob",     "Café Noir",    "ÇA VA", "Ωmega",       "50% Off",
                               "500 Club", "C:\\Shop",   "O'Brien", "[Bracket] Co", "-dash", "Trailing   ", "a_b"};
        for (const char* name : names)
            db->exec("INSERT INTO Customers (CustomerName) VALUES (" +
                     tesrtest::TestDatabase::quoted(QString::fromUtf8(name)) + ")");
        QString statement =
            "SELECT CustomerName FROM Customers WHERE CustomerName LIKE " + tesrtest::TestDatabase::quoted(pattern);
        if (!escape.isEmpty())
            statement += " ESCAPE " + tesrtest::TestDatabase::quoted(escape);
        auto rs = db->connection().OpenRecordset(statement + " ORDER BY ID");
        QVERIFY2(rs && rs->State() == tesr::Recordset::adStateOpen, qPrintable(db->connection().LastError()));
        QStringList matched;
        for (; !rs->Eof(); rs->MoveNext())
            matched << rs->FieldValue(0).toString();
        QCOMPARE(matched, found);
    }
};

TESR_TEST_MAIN(TestSqlConnection)
#include "tst_sqlconnection.moc"

// The SQL Server path, without a server: a stand-in QODBC driver records every text the
// connection hands to ODBC. Every statement the module's sources write (found by reading them)
// goes out exactly as written; the connection adds only its own transaction control, the
// SCOPE_IDENTITY() question after an insert, and the session's lock timeout; a compound command
// whose DELETE finds nothing is rolled back from the batch's row counts. The T-SQL schema script
// is one coherent schema: batches separated by GO, each CREATE VIEW / FUNCTION alone in its
// batch, nothing of another engine's dialect, and every table and column the module's
// statements name created by it. The committed script is the one the code generates.

#include "ledger/Dialect.h"
#include "ledger/Schema.h"
#include "ledger/Statements.h"
#include "platform/SqlConnection.h"

#include "support/TestMain.h"

#include <QDirIterator>
#include <QFile>
#include <QRegularExpression>
#include <QSet>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlField>
#include <QSqlRecord>
#include <QSqlResult>

#include <deque>

using tesr::ledger::Engine;

namespace {

// ---- a recording ODBC stand-in ----------------------------------------------------------------

struct Wire {
    QStringList sent;             // every text executed, in order
    std::deque<int> deleteCounts; // row counts the next DELETEs of a batch report (default 1)
    QString failOn;               // a batch holding this text fails
};
Wire wire;

// Each text is one batch; a batch answers one row count per statement that changes rows, and
// one row for the SCOPE_IDENTITY() question.
class RecordingResult final : public QSqlResult {
public:
    explicit RecordingResult(const QSqlDriver* driver) : QSqlResult(driver) {}

protected:
    QVariant data(int) override { return m_identity; }
    bool isNull(int) override { return false; }
    bool reset(const QString& query) override
    {
        wire.sent << query;
        if (!wire.failOn.isEmpty() && query.contains(wire.failOn)) {
            setLastError(QSqlError(QStringLiteral("the server refused it"), QString(), QSqlError::StatementError));
            return false;
        }
        m_counts.clear();
        m_identity = QVariant();
        m_selects = 0;
        for (const QString& statement : tesr::ledger::splitStatements(query)) {
            const QString verb = statement.section(u' ', 0, 0).toUpper();
            if (verb == u"DELETE") {
                m_counts << (wire.deleteCounts.empty() ? 1 : wire.deleteCounts.front());
                if (!wire.deleteCounts.empty())
                    wire.deleteCounts.pop_front();
            } else if (verb == u"INSERT" || verb == u"UPDATE") {
                m_counts << 1;
            } else if (statement.contains(QLatin1StringView("SCOPE_IDENTITY"))) {
                m_identity = 41;
                m_selects = 1;
            } else if (verb == u"SELECT" || verb == u"WITH") {
                m_selects = 1;
            }
        }
        m_next = 0;
        return advance();
    }
    bool nextResult() override { return advance(); }
    bool fetch(int i) override { return isSelect() && i == 0 && m_identity.isValid() && (setAt(0), true); }
    bool fetchFirst() override { return fetch(0); }
    bool fetchLast() override { return fetch(0); }
    int size() override { return m_identity.isValid() ? 1 : 0; }
    int numRowsAffected() override { return m_current; }
    QSqlRecord record() const override
    {
        QSqlRecord r;
        if (isSelect())
            r.append(QSqlField(QStringLiteral("value"), QMetaType(QMetaType::Int)));
        return r;
    }

private:
    // Row counts first, then the one result set, if any.
    bool advance()
    {
        setAt(QSql::BeforeFirstRow);
        if (m_next < m_counts.size()) {
            setSelect(false);
            setActive(true);
            m_current = m_counts[m_next++];
            return true;
        }
        if (m_next == m_counts.size() && m_selects > 0) {
            ++m_next;
            setSelect(true);
            setActive(true);
            m_current = -1;
            return true;
        }
        if (m_next == 0) { // a statement that reports nothing (SET, BEGIN TRANSACTION...)
            ++m_next;
            setSelect(false);
            setActive(true);
            m_current = -1;
            return true;
        }
        return false;
    }

    QList<int> m_counts;
    qsizetype m_next = 0;
    int m_selects = 0;
    int m_current = -1;
    QVariant m_identity;
};

class RecordingDriver final : public QSqlDriver {
public:
    bool hasFeature(DriverFeature feature) const override { return feature == MultipleResultSets; }
    bool open(const QString&, const QString&, const QString&, const QString&, int, const QString&) override
    {
        setOpen(true);
        setOpenError(false);
        return true;
    }
    void close() override { setOpen(false); }
    QSqlResult* createResult() const override { return new RecordingResult(this); }
};

std::unique_ptr<tesr::SqlConnection> openRecorded()
{
    tesr::DatabaseUrl url;
    url.engine = Engine::SqlServer;
    url.odbc = QStringLiteral("DRIVER={FreeTDS};SERVER=sql1;PORT=1433;DATABASE=Company;UID=tesr;PWD=x;TDS_Version=7.4");
    QString error;
    auto conn = tesr::SqlConnection::open(url, &error);
    if (!conn)
        qWarning("%s", qPrintable(error));
    return conn;
}

// ---- the module's statements, read from its sources --------------------------------------------

// The string literals of a C++ source, adjacent ones joined ("a" "b" is "ab").
QStringList stringLiterals(const QString& text)
{
    QStringList literals;
    QString current;
    bool open = false; // the last token was a literal that may continue
    qsizetype i = 0;
    const qsizetype n = text.size();
    while (i < n) {
        const QChar c = text[i];
        if (c == u'/' && i + 1 < n && text[i + 1] == u'/') {
            while (i < n && text[i] != u'\n')
                ++i;
            continue;
        }
        if (c == u'/' && i + 1 < n && text[i + 1] == u'*') {
            const qsizetype end = text.indexOf(QLatin1StringView("*/"), i + 2);
            i = end < 0 ? n : end + 2;
            continue;
        }
        if (c.isSpace()) {
            ++i;
            continue;
        }
        if (c == u'\'') { // a character literal
            i += (i + 2 < n && text[i + 1] == u'\\') ? 4 : 3;
            continue;
        }
        if (c == u'"') {
            ++i;
            while (i < n && text[i] != u'"') {
                if (text[i] == u'\\' && i + 1 < n) {
                    const QChar e = text[i + 1];
                    current += e == u'n' ? QChar(u'\n') : e == u't' ? QChar(u'\t') : e;
                    i += 2;
                    continue;
                }
                current += text[i++];
            }
            ++i;
            open = true;
            continue;
        }
        // An encoding prefix belongs to the literal after it.
        if ((c == u'u' || c == u'U' || c == u'L') && i + 1 < n && text[i + 1] == u'"' &&
            (i == 0 || !(text[i - 1].isLetterOrNumber() || text[i - 1] == u'_'))) {
            ++i;
            continue;
        }
        if (open) {
            literals << current;
            current.clear();
            open = false;
        }
        ++i;
    }
    if (open)
        literals << current;
    return literals;
}

// Every statement text in the module's screens, shared helpers and shared statements.
QStringList moduleStatements(QStringList* files)
{
    const QString src = QStringLiteral(QT_TESTCASE_SOURCEDIR "/../src");
    QStringList found;
    static const QRegularExpression statement(QStringLiteral("^\\s*(SELECT|INSERT|UPDATE|DELETE|WITH)\\s"));
    QStringList roots{src + QStringLiteral("/forms"), src + QStringLiteral("/shared"), src + QStringLiteral("/entry")};
    QStringList paths{src + QStringLiteral("/ledger/Statements.h")};
    for (const QString& root : roots) {
        QDirIterator it(root, {QStringLiteral("*.cpp"), QStringLiteral("*.h")}, QDir::Files,
                        QDirIterator::Subdirectories);
        while (it.hasNext())
            paths << it.next();
    }
    for (const QString& path : paths) {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            continue;
        const QStringList literals = stringLiterals(QString::fromUtf8(file.readAll()));
        bool any = false;
        for (const QString& literal : literals) {
            if (statement.match(literal).hasMatch()) {
                found << literal;
                any = true;
            }
        }
        if (any && files)
            *files << path.mid(src.size() + 1);
    }
    found.removeDuplicates();
    return found;
}

// ---- the schema script, read back -------------------------------------------------------------

struct ScriptSchema {
    QMap<QString, QSet<QString>> columns; // table or view (lower case) -> its columns (lower case)
    QStringList functions;
    QStringList problems;
};

QString bare(QString name)
{
    name = name.trimmed();
    if (name.startsWith(QLatin1StringView("dbo."), Qt::CaseInsensitive))
        name = name.mid(4);
    name.remove(u'[').remove(u']');
    return name.toLower();
}

// The names of a SELECT list: the alias, or the last part of a column reference.
QSet<QString> selectListNames(const QString& list)
{
    QSet<QString> names;
    int depth = 0;
    QString item;
    auto finish = [&] {
        const QString t = item.trimmed();
        static const QRegularExpression alias(QStringLiteral("\\bAS\\s+\\[?([A-Za-z_][A-Za-z0-9_]*)\\]?$"),
                                              QRegularExpression::CaseInsensitiveOption);
        const auto m = alias.match(t);
        names << (m.hasMatch() ? m.captured(1).toLower() : bare(t.section(u'.', -1)));
        item.clear();
    };
    for (const QChar c : list) {
        if (c == u'(')
            ++depth;
        else if (c == u')')
            --depth;
        if (c == u',' && depth == 0)
            finish();
        else
            item += c;
    }
    finish();
    return names;
}

ScriptSchema readScript(const QString& script)
{
    ScriptSchema schema;
    const QStringList batches = script.split(QRegularExpression(QStringLiteral("\\n\\s*GO\\s*\\n")));
    static const QRegularExpression table(QStringLiteral("^CREATE TABLE ([\\w.\\[\\]]+) \\((.*)\\)$"),
                                          QRegularExpression::DotMatchesEverythingOption);
    static const QRegularExpression view(QStringLiteral("^CREATE VIEW ([\\w.\\[\\]]+) AS SELECT (.*?) FROM (.*)$"),
                                         QRegularExpression::DotMatchesEverythingOption);
    static const QRegularExpression function(QStringLiteral("^CREATE FUNCTION ([\\w.]+)\\("));
    static const QRegularExpression index(QStringLiteral("^CREATE (UNIQUE )?INDEX \\w+ ON ([\\w.]+) \\((\\w+)\\)$"));
    static const QRegularExpression foreign(QStringLiteral("\\bLIMIT\\b|\\|\\||citext|AUTOINCREMENT|\\bGLOB\\b|"
                                                           "LOCALTIMESTAMP|::|\\$|RETURNING|\\bSERIAL\\b"),
                                            QRegularExpression::CaseInsensitiveOption);
    for (QString batch : batches) {
        // Comment lines before a batch are no statement of it.
        QStringList lines = batch.split(u'\n');
        while (!lines.isEmpty() &&
               (lines.front().trimmed().isEmpty() || lines.front().startsWith(QLatin1StringView("--"))))
            lines.removeFirst();
        batch = lines.join(u'\n').trimmed();
        if (batch.isEmpty())
            continue;
        if (const auto m = foreign.match(batch); m.hasMatch())
            schema.problems << QStringLiteral("\"%1\" is not T-SQL: %2").arg(m.captured(0), batch.left(60));
        if (tesr::ledger::splitStatements(batch).size() != 1 && !batch.startsWith(QLatin1StringView("CREATE FUNCTION")))
            schema.problems << QStringLiteral("a batch of several statements: ") + batch.left(60);
        if (const auto m = table.match(batch); m.hasMatch()) {
            QSet<QString>& cols = schema.columns[bare(m.captured(1))];
            for (const QString& def : m.captured(2).split(u','))
                cols << bare(def.trimmed().section(u' ', 0, 0));
        } else if (const auto v = view.match(batch); v.hasMatch()) {
            const QString from = v.captured(3);
            static const QRegularExpression source(QStringLiteral("(?:FROM|JOIN)\\s+([\\w.]+)"));
            for (auto it = source.globalMatch(QStringLiteral("FROM ") + from); it.hasNext();) {
                const QString t = bare(it.next().captured(1));
                if (!schema.columns.contains(t))
                    schema.problems
                        << QStringLiteral("view %1 reads %2, which no earlier batch creates").arg(v.captured(1), t);
            }
            schema.columns[bare(v.captured(1))] = selectListNames(v.captured(2));
        } else if (const auto f = function.match(batch); f.hasMatch()) {
            schema.functions << f.captured(1);
        } else if (const auto x = index.match(batch); x.hasMatch()) {
            if (!schema.columns.value(bare(x.captured(2))).contains(bare(x.captured(3))))
                schema.problems << QStringLiteral("an index on a column that does not exist: ") + batch;
        } else {
            schema.problems << QStringLiteral("a batch the schema has no business with: ") + batch.left(60);
        }
    }
    return schema;
}

} // namespace

class TestSqlServer : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();

    void sessionAsksOnlyForItsLockTimeout();
    void everyModuleStatementGoesOutVerbatim();
    void transactionsAndSavepoints();
    void compoundDeleteOfNothingIsRolledBack_data();
    void compoundDeleteOfNothingIsRolledBack();
    void schemaCreatedStatementByStatement();
    void scriptIsOneCoherentSchema();
    void moduleNamesOnlyWhatTheScriptCreates();
    void committedScriptIsTheGeneratedOne();
};

void TestSqlServer::initTestCase()
{
    // Stands in for the ODBC driver under its own name: the connection cannot tell.
    QSqlDatabase::registerSqlDriver(QStringLiteral("QODBC"), new QSqlDriverCreator<RecordingDriver>);
}

void TestSqlServer::init()
{
    wire = Wire();
}

void TestSqlServer::sessionAsksOnlyForItsLockTimeout()
{
    auto conn = openRecorded();
    QVERIFY(conn);
    QCOMPARE(wire.sent, QStringList{"SET LOCK_TIMEOUT 5000"});
    QCOMPARE(conn->dialect().engine(), Engine::SqlServer);
}

void TestSqlServer::everyModuleStatementGoesOutVerbatim()
{
    QStringList files;
    const QStringList statements = moduleStatements(&files);
    // The screens and helpers are all there to be read: this cannot pass on an empty list.
    QVERIFY2(statements.size() >= 15, qPrintable(statements.join(u'\n')));
    for (const char* screen : {"frmNewPayment", "frmCustomerPayments", "frmOrderPayments", "frmPaymentAllocations",
                               "frmAllocateCredit", "frmEditPayment"})
        QVERIFY2(files.join(u' ').contains(QLatin1StringView(screen)), screen);
    QVERIFY(statements.contains(tesr::ledger::RemoveAllocation.toString()));

    auto conn = openRecorded();
    QVERIFY(conn);
    for (const QString& statement : statements) {
        wire.sent.clear();
        const QString verb = statement.trimmed().section(u' ', 0, 0);
        const bool compound = tesr::ledger::splitStatements(statement).size() > 1;
        if (verb == u"SELECT" || verb == u"WITH") {
            QVERIFY2(conn->OpenRecordset(statement), qPrintable(conn->LastError()));
            QCOMPARE(wire.sent, QStringList{statement});
        } else if (verb == u"INSERT" && !compound) {
            QCOMPARE(conn->ExecuteInsert(statement), qint64(41));
            QCOMPARE(wire.sent, QStringList{statement + "; SELECT CAST(SCOPE_IDENTITY() AS int)"});
        } else if (compound) {
            QVERIFY2(conn->Execute(statement), qPrintable(conn->LastError()));
            QCOMPARE(wire.sent, QStringList({"BEGIN TRANSACTION", statement, "COMMIT TRANSACTION"}));
        } else {
            QVERIFY2(conn->Execute(statement), qPrintable(conn->LastError()));
            QCOMPARE(wire.sent, QStringList{statement});
        }
    }
}

void TestSqlServer::transactionsAndSavepoints()
{
    auto conn = openRecorded();
    QVERIFY(conn);
    wire.sent.clear();
    const QString apply = tesr::ledger::FillMarkers(
        tesr::ledger::ApplyAllocationByID, {{u"<pid>", "12"}, {u"<oid>", "4"}, {u"<ouid>", "A''B"}, {u"<a>", "25.5"}});
    QVERIFY(conn->BeginTrans());
    QVERIFY(conn->Execute(apply));
    QVERIFY(conn->Execute("UPDATE Orders SET State = 3 WHERE ID = 4"));
    QVERIFY(conn->CommitTrans());
    QCOMPARE(wire.sent, QStringList({"BEGIN TRANSACTION", "SAVE TRANSACTION tesr_command", apply,
                                     "UPDATE Orders SET State = 3 WHERE ID = 4", "COMMIT TRANSACTION"}));

    // A failed compound command inside the transaction goes back to its savepoint only; the
    // transaction goes on and ends as the caller says.
    wire.sent.clear();
    QVERIFY(conn->BeginTrans());
    wire.failOn = QStringLiteral("ID = 2");
    const QString twoDeletes = QStringLiteral("DELETE FROM Payments WHERE ID = 1; DELETE FROM Payments WHERE ID = 2");
    QVERIFY(!conn->Execute(twoDeletes));
    QVERIFY2(conn->LastError().contains(QStringLiteral("the server refused it")), qPrintable(conn->LastError()));
    QVERIFY(conn->InTransaction());
    QVERIFY(conn->RollbackTrans());
    QCOMPARE(wire.sent, QStringList({"BEGIN TRANSACTION", "SAVE TRANSACTION tesr_command", twoDeletes,
                                     "ROLLBACK TRANSACTION tesr_command", "ROLLBACK TRANSACTION"}));
}

void TestSqlServer::compoundDeleteOfNothingIsRolledBack_data()
{
    QTest::addColumn<bool>("inTransaction");
    QTest::newRow("on its own") << false;
    QTest::newRow("inside a transaction") << true;
}

void TestSqlServer::compoundDeleteOfNothingIsRolledBack()
{
    QFETCH(bool, inTransaction);
    auto conn = openRecorded();
    QVERIFY(conn);
    const QString remove = tesr::ledger::FillMarkers(
        tesr::ledger::RemoveAllocation, {{u"<aid>", "9"}, {u"<pid>", "3"}, {u"<ouid>", "U-1"}, {u"<a>", "7"}});
    if (inTransaction)
        QVERIFY(conn->BeginTrans());
    wire.sent.clear();
    wire.deleteCounts = {0}; // another workstation removed allocation 9 first
    QVERIFY(!conn->Execute(remove));
    QVERIFY2(conn->LastError().contains(QStringLiteral("no longer there")), qPrintable(conn->LastError()));
    if (inTransaction)
        QCOMPARE(wire.sent,
                 QStringList({"SAVE TRANSACTION tesr_command", remove, "ROLLBACK TRANSACTION tesr_command"}));
    else
        QCOMPARE(wire.sent, QStringList({"BEGIN TRANSACTION", remove, "ROLLBACK TRANSACTION"}));
    QCOMPARE(conn->InTransaction(), inTransaction);
    // When the row is there, the same command commits.
    wire.sent.clear();
    QVERIFY(conn->Execute(remove));
    QCOMPARE(wire.sent.last(), inTransaction ? remove : QStringLiteral("COMMIT TRANSACTION"));
}

void TestSqlServer::schemaCreatedStatementByStatement()
{
    auto conn = openRecorded();
    QVERIFY(conn);
    wire.sent.clear();
    QSqlDatabase db = conn->database();
    QString error;
    QVERIFY2(tesr::ledger::createSchema(db, Engine::SqlServer, &error), qPrintable(error));
    const QStringList statements = tesr::ledger::schemaStatements(Engine::SqlServer);
    QCOMPARE(wire.sent, QStringList() << "BEGIN TRANSACTION" << statements << "COMMIT TRANSACTION");
    // Nothing half-made: a refused statement rolls everything back.
    wire.sent.clear();
    wire.failOn = QStringLiteral("CREATE VIEW dbo.vwScreen_EditPayment");
    QVERIFY(!tesr::ledger::createSchema(db, Engine::SqlServer, &error));
    QVERIFY2(error.contains(QStringLiteral("the server refused it")), qPrintable(error));
    QCOMPARE(wire.sent.last(), QStringLiteral("ROLLBACK TRANSACTION"));
    db = QSqlDatabase();
}

void TestSqlServer::scriptIsOneCoherentSchema()
{
    const QString script = tesr::ledger::schemaScript(Engine::SqlServer);
    const ScriptSchema schema = readScript(script);
    QVERIFY2(schema.problems.isEmpty(), qPrintable(schema.problems.join(u'\n')));
    QVERIFY(schema.functions.contains(QStringLiteral("dbo.PaymentDetails")));
    for (const char* t : {"customers", "paymentmethods", "orders", "payments", "paymentallocations", "activityhistory",
                          "vwscreen_newpayment", "vwscreen_editpayment"})
        QVERIFY2(schema.columns.contains(QLatin1StringView(t)), t);
    // What the screens read from the views.
    QCOMPARE(schema.columns.value("vwscreen_newpayment"),
             QSet<QString>({"id", "ordernumber", "sidemark", "balance", "depositamount", "uniqueid", "customerid",
                            "state", "statuscode"}));
    QVERIFY(schema.columns.value("vwscreen_editpayment")
                .contains(QSet<QString>({"id", "customername", "paymentmethodid", "description", "cardnumber",
                                         "nameoncard", "expiremonth", "expireyear", "paymentdate", "amount"})));
    // The parse itself notices a broken script.
    QString broken = script;
    broken.replace("CREATE TABLE dbo.Customers", "CREATE TABLE dbo.Clients");
    broken.replace(QRegularExpression("\\nGO\\n\\n(CREATE VIEW dbo.vwScreen_EditPayment)"), "\n\\1");
    QVERIFY(readScript(broken).problems.size() >= 2);
}

void TestSqlServer::moduleNamesOnlyWhatTheScriptCreates()
{
    const ScriptSchema schema = readScript(tesr::ledger::schemaScript(Engine::SqlServer));
    const QStringList statements = moduleStatements(nullptr);
    static const QRegularExpression tableRef(QStringLiteral("\\b(?:FROM|JOIN|INTO|UPDATE)\\s+([\\[\\]\\w.]+)"),
                                             QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression qualified(QStringLiteral("\\b([A-Za-z_]\\w*)\\.([A-Za-z_]\\w*)\\b(?!\\s*\\()"));
    static const QRegularExpression insertColumns(QStringLiteral("INSERT INTO ([\\w.]+) \\(([^)]*)\\)"));
    static const QRegularExpression setColumns(QStringLiteral("(?:SET|,)\\s+(\\w+)\\s*="));
    QStringList missing;
    int checked = 0;
    for (const QString& statement : statements) {
        for (const QString& part : tesr::ledger::splitStatements(statement)) {
            QStringList tables;
            for (auto it = tableRef.globalMatch(part); it.hasNext();) {
                const QString t = bare(it.next().captured(1));
                if (t == u"x" || t.startsWith(u'('))
                    continue; // a CTE's name, a subquery
                tables << t;
                if (!schema.columns.contains(t))
                    missing << QStringLiteral("table %1 in: %2").arg(t, part);
            }
            auto need = [&](const QString& table, const QString& column) {
                ++checked;
                if (!schema.columns.value(table).contains(column.toLower()))
                    missing << QStringLiteral("%1.%2 in: %3").arg(table, column, part);
            };
            for (auto it = qualified.globalMatch(part); it.hasNext();) {
                const auto m = it.next();
                const QString table = bare(m.captured(1));
                if (table != u"dbo" && tables.contains(table))
                    need(table, m.captured(2));
            }
            if (const auto m = insertColumns.match(part); m.hasMatch())
                for (const QString& c : m.captured(2).split(u','))
                    need(bare(m.captured(1)), c.trimmed());
            if (part.startsWith(QLatin1StringView("UPDATE")) && tables.size() == 1)
                for (auto it = setColumns.globalMatch(part.section(QLatin1StringView(" WHERE "), 0, 0)); it.hasNext();)
                    need(tables.front(), it.next().captured(1));
        }
    }
    QVERIFY2(missing.isEmpty(), qPrintable(missing.join(u'\n')));
    QVERIFY2(checked >= 40, qPrintable(QString::number(checked)));
}

void TestSqlServer::committedScriptIsTheGeneratedOne()
{
    // Regenerate with: tesrhost --schema-script sqlserver > scripts/sqlserver-schema.sql
    QFile file(QStringLiteral(QT_TESTCASE_SOURCEDIR "/../scripts/sqlserver-schema.sql"));
    QVERIFY2(file.open(QIODevice::ReadOnly), qPrintable(file.fileName()));
    QCOMPARE(QString::fromUtf8(file.readAll()), tesr::ledger::schemaScript(Engine::SqlServer));
}

TESR_TEST_MAIN(TestSqlServer)
#include "tst_sqlserver.moc"

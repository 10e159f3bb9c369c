// The SQL Server path, without a server: a stand-in QODBC driver records every text the
// connection hands to ODBC. Every statement the module's sources write (found by reading them)
// goes out exactly as written and whole; the connection adds only its own transaction control
// around a compound command and the SCOPE_IDENTITY() question after an insert. The T-SQL schema script
// reads as one coherent schema, and the committed script is the one the code generates.

#include "ledger/Dialect.h"
#include "ledger/Schema.h"
#include "ledger/Statements.h"
#include "platform/SqlConnection.h"

#include "support/TestMain.h"

#include <QDirIterator>
#include <QFile>
#include <QRegularExpression>
#include <QSqlDriver>
#include <QSqlField>
#include <QSqlRecord>
#include <QSqlResult>

using tesr::ledger::Engine;

namespace {

QStringList sent; // every text executed, in order

// Each text is one batch: one row changed per statement that changes rows, then one row (41)
// for the SCOPE_IDENTITY() question or one (empty) result for any other query.
class RecordingResult final : public QSqlResult {
public:
    explicit RecordingResult(const QSqlDriver* driver) : QSqlResult(driver) {}

protected:
    QVariant data(int) override { return 41; }
    bool isNull(int) override { return false; }
    bool reset(const QString& query) override
    {
        sent << query;
        m_results.clear();
        for (const QString& statement : tesr::ledger::splitStatements(query)) {
            const QString verb = statement.section(u' ', 0, 0).toUpper();
            if (verb == u"DELETE" || verb == u"INSERT" || verb == u"UPDATE")
                m_results << 1;
            else if (verb == u"SELECT" || verb == u"WITH")
                m_results << (statement.contains(QLatin1StringView("SCOPE_IDENTITY")) ? Identity : Query);
        }
        if (m_results.isEmpty())
            m_results << -1; // a statement that reports nothing (SET, BEGIN TRANSACTION...)
        return nextResult();
    }
    bool nextResult() override
    {
        setAt(QSql::BeforeFirstRow);
        if (m_results.isEmpty())
            return false;
        m_current = m_results.takeFirst();
        setSelect(m_current <= Query);
        setActive(true);
        return true;
    }
    bool fetch(int i) override { return m_current == Identity && i == 0 && (setAt(0), true); }
    bool fetchFirst() override { return fetch(0); }
    bool fetchLast() override { return fetch(0); }
    int size() override { return m_current == Identity ? 1 : 0; }
    int numRowsAffected() override { return isSelect() ? -1 : m_current; }
    QSqlRecord record() const override
    {
        QSqlRecord r;
        if (isSelect())
            r.append(QSqlField(QStringLiteral("value"), QMetaType(QMetaType::Int)));
        return r;
    }

private:
    static constexpr int Identity = -3, Query = -2;
    QList<int> m_results;
    int m_current = -1;
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
    return tesr::SqlConnection::open(*tesr::DatabaseUrl::parse("odbc:DRIVER={FreeTDS};SERVER=sql1;UID=tesr;PWD=x"));
}

// Every statement text in the module's screens, shared helpers and shared statements: the
// string literals of their sources (comments aside, adjacent literals joined) that start one.
QStringList moduleStatements(QStringList* files)
{
    const QString src = QStringLiteral(QT_TESTCASE_SOURCEDIR "/../src");
    QStringList paths{src + "/ledger/Statements.h"};
    for (const char* root : {"/forms", "/shared", "/entry"})
        for (QDirIterator it(src + root, {"*.cpp", "*.h"}, QDir::Files, QDirIterator::Subdirectories); it.hasNext();)
            paths << it.next();
    static const QRegularExpression comment(QStringLiteral("//[^\\n]*|/\\*.*?\\*/"),
                                            QRegularExpression::DotMatchesEverythingOption);
    const QString literal = QStringLiteral("[uUL]?\"((?:[^\"\\\\\\n]|\\\\.)*)\"");
    static const QRegularExpression literals(literal + "(?:\\s*" + literal + ")*"), piece(literal);
    static const QRegularExpression statement(QStringLiteral("^\\s*(SELECT|INSERT|UPDATE|DELETE|WITH)\\s"));
    QStringList found;
    for (const QString& path : paths) {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            continue;
        const QString code = QString::fromUtf8(file.readAll()).remove(comment);
        for (auto it = literals.globalMatch(code); it.hasNext();) {
            QString text;
            for (auto p = piece.globalMatch(it.next().captured(0)); p.hasNext();)
                text += p.next()
                            .captured(1)
                            .replace(QStringLiteral("\\n"), QStringLiteral("\n"))
                            .replace(QStringLiteral("\\\""), QStringLiteral("\""));
            if (statement.match(text).hasMatch() && !found.contains(text)) {
                found << text;
                *files << path;
            }
        }
    }
    return found;
}

// The T-SQL script read as one schema: batches split at GO, each a single statement (a
// function's body aside), nothing of another engine's dialect, views reading only tables made
// before them. Answers the problems; fills `created` with each table, view and function.
QStringList scriptProblems(const QString& script, QStringList& created)
{
    static const QRegularExpression foreign(QStringLiteral("\\bLIMIT\\b|\\|\\||citext|AUTOINCREMENT|\\bGLOB\\b|"
                                                           "LOCALTIMESTAMP|::|\\$|RETURNING|\\bSERIAL\\b"),
                                            QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression create(QStringLiteral("^CREATE (TABLE|VIEW|FUNCTION) dbo\\.(\\w+)"));
    static const QRegularExpression index(QStringLiteral("^CREATE (?:UNIQUE )?INDEX \\w+ ON [\\w.]+ \\(\\w+\\)$"));
    static const QRegularExpression source(QStringLiteral("(?:FROM|JOIN)\\s+(?:dbo\\.)?(\\w+)"));
    QStringList problems;
    created.clear();
    for (QString batch : script.split(QRegularExpression(QStringLiteral("\\n\\s*GO\\s*\\n")))) {
        batch = batch.remove(QRegularExpression(QStringLiteral("^--[^\\n]*$"), QRegularExpression::MultilineOption))
                    .trimmed();
        const QString head = batch.left(60);
        if (batch.isEmpty())
            continue;
        if (const auto m = foreign.match(batch); m.hasMatch())
            problems << QStringLiteral("\"%1\" is not T-SQL: %2").arg(m.captured(0), head);
        if (tesr::ledger::splitStatements(batch).size() != 1 && !batch.startsWith(QLatin1StringView("CREATE FUNCTION")))
            problems << "a batch of several statements: " + head;
        const auto m = create.match(batch);
        if (index.match(batch).hasMatch())
            continue;
        if (!m.hasMatch()) {
            problems << "a batch the schema has no business with: " + head;
            continue;
        }
        for (auto it = source.globalMatch(batch); m.captured(1) == u"VIEW" && it.hasNext();)
            if (const QString t = it.next().captured(1); !created.contains(t))
                problems << QStringLiteral("%1 reads %2, which no earlier batch creates").arg(m.captured(2), t);
        created << m.captured(2);
    }
    return problems;
}

} // namespace

class TestSqlServer : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        // Stands in for the ODBC driver under its own name: the connection cannot tell.
        QSqlDatabase::registerSqlDriver(QStringLiteral("QODBC"), new QSqlDriverCreator<RecordingDriver>);
    }

    void everyModuleStatementGoesOutVerbatim()
    {
        QStringList files;
        const QStringList statements = moduleStatements(&files);
        // The screens and helpers are all there to be read: this cannot pass on an empty list.
        QVERIFY2(statements.size() >= 15, qPrintable(statements.join(u'\n')));
        QVERIFY(files.join(u' ').contains(QLatin1StringView("frmAllocateCredit")));
        QVERIFY(statements.contains(tesr::ledger::RemoveAllocation.toString()));

        auto conn = openRecorded();
        QVERIFY(conn);
        QCOMPARE(conn->dialect().engine(), Engine::SqlServer);
        for (const QString& statement : statements) {
            sent.clear();
            const QString verb = statement.trimmed().section(u' ', 0, 0);
            const bool compound = tesr::ledger::splitStatements(statement).size() > 1;
            if (verb == u"SELECT" || verb == u"WITH") {
                QVERIFY2(conn->OpenRecordset(statement), qPrintable(conn->LastError()));
                QCOMPARE(sent, QStringList{statement});
            } else if (verb == u"INSERT" && !compound) {
                QCOMPARE(conn->ExecuteInsert(statement), qint64(41));
                QCOMPARE(sent, QStringList{statement + "; SELECT CAST(SCOPE_IDENTITY() AS int)"});
            } else {
                QVERIFY2(conn->Execute(statement), qPrintable(conn->LastError()));
                QCOMPARE(sent, compound ? QStringList({"BEGIN TRANSACTION", statement, "COMMIT TRANSACTION"})
                                        : QStringList{statement});
            }
        }
    }

    void scriptIsOneCoherentSchema()
    {
        const QString script = tesr::ledger::schemaScript(Engine::SqlServer);
        QStringList created;
        const QStringList problems = scriptProblems(script, created);
        QVERIFY2(problems.isEmpty(), qPrintable(problems.join(u'\n')));
        created.sort();
        QCOMPARE(created, QStringList({"ActivityHistory", "Customers", "Orders", "PaymentAllocations", "PaymentDetails",
                                       "PaymentMethods", "Payments", "vwScreen_EditPayment", "vwScreen_NewPayment"}));
        // The reading itself notices a broken script: a missing table, two statements in a batch.
        QString broken = QString(script).replace("TABLE dbo.Customers", "TABLE dbo.Clients");
        const QStringList found = scriptProblems(broken.replace("(LastUsed)", "(LastUsed); SELECT 1"), created);
        QVERIFY2(found.size() == 3 && found.join(u' ').contains("reads Customers"), qPrintable(found.join(u'\n')));
        // Regenerate with: tesrhost --schema-script sqlserver > scripts/sqlserver-schema.sql
        QFile file(QStringLiteral(QT_TESTCASE_SOURCEDIR "/../scripts/sqlserver-schema.sql"));
        QVERIFY2(file.open(QIODevice::ReadOnly), qPrintable(file.fileName()));
        QCOMPARE(QString::fromUtf8(file.readAll()), script);
    }
};

TESR_TEST_MAIN(TestSqlServer)
#include "tst_sqlserver.moc"

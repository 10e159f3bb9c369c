#include "support/TestDatabase.h"

#include "ledger/Schema.h"
#include "ledger/Statements.h"
#include "platform/SqlConnection.h"
#include "shared/modSharedSQL.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QRandomGenerator>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QUrl>
#include <QUuid>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <mutex>

namespace tesrtest {

namespace {

const char* const EngineVariable = "TESR_TEST_ENGINE";
const char* const ServerVariable = "TESR_TEST_PG_URL";

tesr::ledger::Engine engineFromEnvironment()
{
    const QString wanted = qEnvironmentVariable(EngineVariable).trimmed().toLower();
    if (wanted == u"postgresql" || wanted == u"postgres" || wanted == u"pg")
        return tesr::ledger::Engine::PostgreSQL;
    if (!wanted.isEmpty() && wanted != u"sqlite") {
        std::fprintf(stderr, "%s=%s names no engine the tests run on (sqlite or postgresql).\n", EngineVariable,
                     qPrintable(wanted));
        std::exit(1);
    }
    return tesr::ledger::Engine::SQLite;
}

// A PostgreSQL run without a server fails at once, before any test could pass on its own.
const bool engineChecked = [] {
    if (engineFromEnvironment() == tesr::ledger::Engine::PostgreSQL && qEnvironmentVariableIsEmpty(ServerVariable)) {
        std::fprintf(stderr,
                     "This is the PostgreSQL run of the test, but %s is not set. Start a server with "
                     "scripts/pg-cluster.sh (make test does) and export its URL.\n",
                     ServerVariable);
        std::exit(1);
    }
    return true;
}();

[[noreturn]] void fatal(const QString& what)
{
    qFatal("TestDatabase (%s): %s", qPrintable(testEngineName()), qPrintable(what));
}

tesr::DatabaseUrl serverUrl()
{
    QString error;
    const auto url = tesr::DatabaseUrl::parse(qEnvironmentVariable(ServerVariable), &error);
    if (!url || url->engine != tesr::ledger::Engine::PostgreSQL)
        fatal(QStringLiteral("%1 is not a PostgreSQL URL: %2").arg(QString::fromLatin1(ServerVariable), error));
    return *url;
}

// A session of the fixture's administrator on one database of the server, named `connection`.
QSqlDatabase serverSession(const QString& connection, const QString& database)
{
    const tesr::DatabaseUrl url = serverUrl();
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), connection);
    db.setHostName(url.host);
    db.setPort(url.port);
    db.setUserName(url.user);
    db.setPassword(url.password);
    db.setDatabaseName(database);
    return db;
}

// Runs statements on the server as the fixture's administrator, on a session of its own; the
// first value the last one read goes to *value.
bool serverExec(const QStringList& statements, QString* error, QVariant* value = nullptr)
{
    static std::atomic<int> counter{0};
    const tesr::DatabaseUrl url = serverUrl();
    const QString name = QStringLiteral("tesr-test-admin-%1").arg(++counter);
    bool ok = true;
    {
        QSqlDatabase db = serverSession(name, url.database);
        if (!db.open()) {
            ok = false;
            if (error)
                *error =
                    QStringLiteral("the server at %1 cannot be reached: %2").arg(url.toString(), db.lastError().text());
        }
        for (const QString& statement : statements) {
            if (!ok)
                break;
            QSqlQuery query(db);
            if (!query.exec(statement)) {
                ok = false;
                if (error)
                    *error = query.lastError().text() + QStringLiteral("\n  statement: ") + statement;
            } else if (value) {
                *value = query.next() ? query.value(0) : QVariant();
            }
        }
        db.close();
    }
    QSqlDatabase::removeDatabase(name);
    return ok;
}

QString quotedName(const QString& name)
{
    return u'"' + QString(name).replace(u'"', QStringLiteral("\"\"")) + u'"';
}

// Every schema database is a copy of one template per version of the schema, made once per
// server by whichever test gets there first (built under another name, then renamed, so no
// test ever copies a half-built one).
QString schemaTemplate()
{
    static std::once_flag once;
    static QString name;
    std::call_once(once, [] {
        const QByteArray script = tesr::ledger::schemaScript(tesr::ledger::Engine::PostgreSQL).toUtf8();
        name = QStringLiteral("tesr_tpl_") +
               QString::fromLatin1(QCryptographicHash::hash(script, QCryptographicHash::Sha1).toHex().left(16));
        QString error;
        QVariant found;
        if (!serverExec({QStringLiteral("SELECT 1 FROM pg_database WHERE datname = '%1'").arg(name)}, &error, &found))
            fatal(error);
        if (found.isValid())
            return;
        const QString building = QStringLiteral("tesr_build_%1_%2")
                                     .arg(QCoreApplication::applicationPid())
                                     .arg(QRandomGenerator::global()->generate());
        if (!serverExec({QStringLiteral("CREATE DATABASE %1").arg(quotedName(building))}, &error))
            fatal(QStringLiteral("the schema template could not be made: ") + error);
        {
            // A session of its own, closed before the rename (a pooled one would stay connected).
            const QString session = QStringLiteral("tesr-test-template");
            {
                QSqlDatabase db = serverSession(session, building);
                if (!db.open())
                    fatal(QStringLiteral("the schema template could not be opened: ") + db.lastError().text());
                if (!tesr::ledger::createSchema(db, tesr::ledger::Engine::PostgreSQL, &error))
                    fatal(QStringLiteral("schema: ") + error);
                db.close();
            }
            QSqlDatabase::removeDatabase(session);
        }
        if (!serverExec({QStringLiteral("ALTER DATABASE %1 RENAME TO %2").arg(quotedName(building), quotedName(name))},
                        &error)) {
            // Another test program finished the same template first: ours goes.
            serverExec({QStringLiteral("DROP DATABASE IF EXISTS %1 WITH (FORCE)").arg(quotedName(building))}, nullptr);
            QVariant there;
            serverExec({QStringLiteral("SELECT 1 FROM pg_database WHERE datname = '%1'").arg(name)}, nullptr, &there);
            if (!there.isValid())
                fatal(QStringLiteral("the schema template could not be put in place: ") + error);
        }
    });
    return name;
}

} // namespace

std::unique_ptr<QTemporaryDir> makeTempDir()
{
    const QString base = qEnvironmentVariable("TESR_TEST_TMP");
    if (base.isEmpty())
        return std::make_unique<QTemporaryDir>();
    QDir().mkpath(base);
    return std::make_unique<QTemporaryDir>(base + QStringLiteral("/tmp-XXXXXX"));
}

tesr::ledger::Engine testEngine()
{
    static const tesr::ledger::Engine engine = (void(engineChecked), engineFromEnvironment());
    return engine;
}

QString testEngineName()
{
    return testEngine() == tesr::ledger::Engine::PostgreSQL ? QStringLiteral("PostgreSQL") : QStringLiteral("SQLite");
}

// ---- scratch databases ------------------------------------------------------------------------

ScratchDatabase::ScratchDatabase(Contents contents) : m_engine(testEngine()), m_dir(makeTempDir())
{
    if (!m_dir->isValid())
        fatal(QStringLiteral("no temporary folder: ") + m_dir->errorString());
    if (m_engine == tesr::ledger::Engine::SQLite) {
        m_url = m_dir->filePath(QStringLiteral("company.db"));
        if (contents == Contents::Empty)
            return;
        // The schema goes in through a session of its own, closed before the fixture is used.
        const QString name = QStringLiteral("testdb-") + QUuid::createUuid().toString(QUuid::WithoutBraces);
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
            db.setDatabaseName(m_url);
            if (!db.open())
                fatal(QStringLiteral("cannot create ") + m_url);
            QString error;
            if (!tesr::ledger::createSchema(db, tesr::ledger::Engine::SQLite, &error))
                fatal(QStringLiteral("schema: ") + error);
            db.close();
        }
        QSqlDatabase::removeDatabase(name);
        return;
    }

    static std::atomic<int> counter{0};
    m_serverName = QStringLiteral("tesr_t%1_%2_%3")
                       .arg(QCoreApplication::applicationPid())
                       .arg(++counter)
                       .arg(QRandomGenerator::global()->bounded(1 << 20), 5, 16, QLatin1Char('0'));
    QString error;
    const QString create = contents == Contents::Schema
                               ? QStringLiteral("CREATE DATABASE %1 TEMPLATE %2")
                                     .arg(quotedName(m_serverName), quotedName(schemaTemplate()))
                               : QStringLiteral("CREATE DATABASE %1").arg(quotedName(m_serverName));
    if (!serverExec({create}, &error))
        fatal(QStringLiteral("the database could not be created: ") + error);
    tesr::DatabaseUrl url = serverUrl();
    url.database = m_serverName;
    url.connectOptions.clear();
    QString text = QStringLiteral("postgresql://");
    if (!url.user.isEmpty()) {
        text += QString::fromUtf8(QUrl::toPercentEncoding(url.user));
        if (!url.password.isEmpty())
            text += u':' + QString::fromUtf8(QUrl::toPercentEncoding(url.password));
        text += u'@';
    }
    m_url = text + url.host + u':' + QString::number(url.port) + u'/' + m_serverName;
}

ScratchDatabase::~ScratchDatabase()
{
    if (m_engine == tesr::ledger::Engine::PostgreSQL && !m_serverName.isEmpty())
        serverExec({QStringLiteral("DROP DATABASE IF EXISTS %1 WITH (FORCE)").arg(quotedName(m_serverName))}, nullptr);
}

tesr::DatabaseUrl ScratchDatabase::databaseUrl(int busyTimeoutMs) const
{
    QString error;
    auto url = tesr::DatabaseUrl::parse(m_url, &error);
    if (!url)
        fatal(QStringLiteral("the database's URL cannot be read: ") + error);
    url->busyTimeoutMs = busyTimeoutMs;
    return *url;
}

// ---- the company database ---------------------------------------------------------------------

TestDatabase::TestDatabase() : m_scratch(std::make_unique<ScratchDatabase>(ScratchDatabase::Contents::Schema))
{
    QString error;
    m_conn = tesr::openCompanyConnection(m_scratch->url(), &error);
    if (!m_conn)
        fatal(QStringLiteral("cannot open %1: %2").arg(m_scratch->url(), error));
}

TestDatabase::~TestDatabase()
{
    if (m_conn)
        m_conn->Close();
    m_conn.reset();
}

std::unique_ptr<tesr::Connection> TestDatabase::openConnection() const
{
    QString error;
    auto conn = tesr::openCompanyConnection(m_scratch->url(), &error);
    if (!conn)
        fail(QStringLiteral("open: ") + error, m_scratch->url());
    return conn;
}

void TestDatabase::fail(const QString& what, const QString& statement) const
{
    qFatal("TestDatabase (%s): %s\n  statement: %s", qPrintable(testEngineName()), qPrintable(what),
           qPrintable(statement));
}

QString TestDatabase::quoted(const QString& text)
{
    return u'\'' + tesr::modSharedSQL::FixSQLQuotes(text) + u'\'';
}

int TestDatabase::insert(const QString& statement)
{
    const qint64 id = m_conn->ExecuteInsert(statement);
    if (id < 1)
        fail(m_conn->LastError(), statement);
    return int(id);
}

int TestDatabase::addPaymentMethod(const QString& name, int methodType)
{
    return insert(QStringLiteral("INSERT INTO PaymentMethods (PaymentMethod, MethodType) VALUES(%1, %2)")
                      .arg(quoted(name))
                      .arg(methodType));
}

int TestDatabase::addCustomer(const QString& name, bool active, int salesRepId)
{
    return insert(QStringLiteral("INSERT INTO Customers (CustomerName, Active, SalesRepID) VALUES(%1, %2, %3)")
                      .arg(quoted(name))
                      .arg(active ? 1 : 0)
                      .arg(salesRepId));
}

int TestDatabase::addOrder(int customerId, const QString& uniqueId, tesr::Currency total, int state, int statusCode,
                           const QString& orderNumber, const QString& sidemark, tesr::Currency deposit)
{
    const QString number = orderNumber.isEmpty() ? uniqueId : orderNumber;
    return insert(QStringLiteral("INSERT INTO Orders (UniqueID, CustomerID, OrderNumber, Sidemark, State, StatusCode, "
                                 "Total, DepositAmount, Payments, Balance) VALUES(") +
                  quoted(uniqueId) + u',' + QString::number(customerId) + u',' + quoted(number) + u',' +
                  quoted(sidemark) + u',' + QString::number(state) + u',' + QString::number(statusCode) + u',' +
                  total.toPlainString() + u',' + deposit.toPlainString() + QStringLiteral(", 0, ") +
                  total.toPlainString() + u')');
}

int TestDatabase::addPayment(int customerId, tesr::Currency amount, int methodId, const tesr::OleDate& dateUtc,
                             const QString& description, const QString& cardNumber, const QString& nameOnCard,
                             int expireMonth, int expireYear)
{
    return insert(QStringLiteral("INSERT INTO Payments (PaymentMethodID, CustomerID, PaymentDate, Description, "
                                 "CardNumber, NameOnCard, ExpireMonth, ExpireYear, Amount, Allocated) VALUES(") +
                  QString::number(methodId) + u',' + QString::number(customerId) + u',' +
                  quoted(tesr::modSharedSQL::FormatSQLDate(dateUtc, false)) + u',' + quoted(description) + u',' +
                  quoted(cardNumber) + u',' + quoted(nameOnCard) + u',' + QString::number(expireMonth) + u',' +
                  QString::number(expireYear) + u',' + amount.toPlainString() + QStringLiteral(", 0)"));
}

void TestDatabase::allocate(int paymentId, const QString& orderUniqueId, tesr::Currency amount)
{
    using tesr::ledger::FillMarkers;
    const QString command = FillMarkers(tesr::ledger::ApplyAllocationByUniqueID,
                                        {{u"<pid>", QString::number(paymentId)},
                                         {u"<ouid>", tesr::modSharedSQL::FixSQLQuotes(orderUniqueId)},
                                         {u"<a>", amount.toPlainString()}});
    exec(command);
}

void TestDatabase::exec(const QString& command)
{
    if (!m_conn->Execute(command))
        fail(m_conn->LastError(), command);
}

void TestDatabase::refuseWrites(const QString& event, const QString& table, const QString& message,
                                const QString& condition)
{
    auto* sql = dynamic_cast<tesr::SqlConnection*>(m_conn.get());
    if (!sql)
        fail(QStringLiteral("no engine session"), table);
    const QString name = QStringLiteral("trgTestRefuses%1").arg(m_refusals.size() + 1);
    const QString text = QString(message).replace(u'\'', QStringLiteral("''"));
    QStringList ddl;
    if (engine() == tesr::ledger::Engine::PostgreSQL) {
        ddl << QStringLiteral("CREATE OR REPLACE FUNCTION dbo.%1() RETURNS trigger LANGUAGE plpgsql AS $refuse$ BEGIN "
                              "RAISE EXCEPTION '%2'; END $refuse$")
                   .arg(name, text)
            << QStringLiteral("CREATE TRIGGER %1 BEFORE %2 ON dbo.%3 FOR EACH ROW %4 EXECUTE FUNCTION dbo.%1()")
                   .arg(name, event, table,
                        condition.isEmpty() ? QString() : QStringLiteral("WHEN (%1)").arg(condition));
    } else {
        ddl << QStringLiteral("CREATE TRIGGER %1 BEFORE %2 ON %3 %4 BEGIN SELECT RAISE(ABORT, '%5'); END")
                   .arg(name, event, table, condition.isEmpty() ? QString() : QStringLiteral("WHEN %1").arg(condition),
                        text);
    }
    for (const QString& statement : ddl) {
        QSqlQuery query(sql->database());
        if (!query.exec(statement))
            fail(query.lastError().text(), statement);
    }
    m_refusals << (engine() == tesr::ledger::Engine::PostgreSQL
                       ? QStringLiteral("DROP TRIGGER %1 ON dbo.%2").arg(name, table)
                       : QStringLiteral("DROP TRIGGER %1").arg(name));
}

void TestDatabase::allowWrites()
{
    auto* sql = dynamic_cast<tesr::SqlConnection*>(m_conn.get());
    for (const QString& statement : std::as_const(m_refusals)) {
        QSqlQuery query(sql->database());
        if (!query.exec(statement))
            fail(query.lastError().text(), statement);
    }
    m_refusals.clear();
}

QVariant TestDatabase::scalar(const QString& statement)
{
    auto rs = m_conn->OpenRecordset(statement);
    if (!rs || rs->State() != tesr::Recordset::adStateOpen)
        fail(m_conn->LastError(), statement);
    QVariant value;
    if (!rs->Eof() && rs->FieldCount() > 0) {
        value = rs->FieldValue(0);
        if (!value.isValid())
            value = QVariant(QMetaType::fromType<QString>()); // a NULL stays a (null) value, not "no row"
    }
    rs->Close();
    return value;
}

tesr::Currency TestDatabase::money(const QString& statement)
{
    const QVariant value = scalar(statement);
    const auto amount = tesr::Currency::fromVariant(value);
    if (value.isValid() && !value.isNull() && !amount)
        fail(QStringLiteral("not an amount: ") + value.toString(), statement);
    return amount.value_or(tesr::Currency());
}

int TestDatabase::count(const QString& statement)
{
    return scalar(statement).toInt();
}

} // namespace tesrtest

#include "ledger/Schema.h"

#include <QHash>
#include <QSet>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>

#include <functional>
#include <initializer_list>
#include <vector>

// The tables are described once, as data, and written out per engine. SQLite has no decimal,
// date or case-insensitive text type of its own, so its schema adds what the module relies on
// at the data level: money rounded to four places after every write, dates in one sortable
// text form, names compared without regard to case (as SQL Server's default collation does).
// PostgreSQL has the types (numeric(19,4), timestamp(0), citext for text compared without
// regard to case) and keeps everything in a dbo schema, as SQL Server does.

namespace tesr::ledger {

namespace {

enum class Type { Key, Int, Text, Money, Date };

enum Flag : unsigned {
    NotNull = 1,
    Unique = 2,
    NoCase = 4,     // compared and sorted without regard to case
    DefaultNow = 8, // filled with the local time when the row is added
    DefaultOne = 16,
    DefaultZero = 32,
    Long = 64 // free text rather than a name or code
};

struct Column {
    const char* name;
    Type type;
    unsigned flags = 0;
};

struct Table {
    const char* name;
    std::vector<Column> columns;
};

const std::vector<Table>& tables()
{
    static const std::vector<Table> all = {
        {"Customers",
         {{"ID", Type::Key},
          {"CustomerName", Type::Text, NoCase},
          {"Active", Type::Int, NotNull | DefaultOne},
          {"SalesRepID", Type::Int},
          {"LastUsed", Type::Date}}},
        {"PaymentMethods",
         {{"ID", Type::Key},
          {"PaymentMethod", Type::Text, NoCase},
          // Not 0: a card method.
          {"MethodType", Type::Int, NotNull | DefaultZero}}},
        {"Orders",
         {{"ID", Type::Key},
          {"UniqueID", Type::Text, NotNull | Unique | NoCase},
          {"CustomerID", Type::Int},
          {"OrderNumber", Type::Text},
          {"Sidemark", Type::Text},
          {"State", Type::Int},
          {"StatusCode", Type::Int},
          {"Total", Type::Money, DefaultZero},
          {"DepositAmount", Type::Money, DefaultZero},
          {"Payments", Type::Money, DefaultZero},
          {"Balance", Type::Money, DefaultZero}}},
        {"Payments",
         {{"ID", Type::Key},
          {"PaymentMethodID", Type::Int},
          {"CustomerID", Type::Int},
          {"PaymentDate", Type::Date},
          {"Description", Type::Text, Long},
          {"CardNumber", Type::Text},
          {"NameOnCard", Type::Text},
          {"ExpireMonth", Type::Int},
          {"ExpireYear", Type::Int},
          {"Amount", Type::Money, NotNull | DefaultZero},
          {"Allocated", Type::Money, NotNull | DefaultZero},
          {"AddedOn", Type::Date, DefaultNow}}},
        {"PaymentAllocations",
         {{"ID", Type::Key},
          {"PaymentID", Type::Int},
          {"OrderUniqueID", Type::Text, NoCase},
          {"Amount", Type::Money},
          {"AddedOn", Type::Date, DefaultNow}}},
        {"ActivityHistory",
         {{"ID", Type::Key},
          {"CustomerID", Type::Int},
          {"OrderID", Type::Int},
          {"Description", Type::Text, Long},
          {"UserID", Type::Int},
          {"AddedOn", Type::Date, DefaultNow}}},
    };
    return all;
}

// Every lookup the screens make, by table and column.
constexpr std::pair<const char*, const char*> indexedColumns[] = {
    {"Orders", "CustomerID"},
    {"Payments", "CustomerID"},
    {"PaymentAllocations", "PaymentID"},
    {"PaymentAllocations", "OrderUniqueID"},
    {"Customers", "CustomerName"},
    {"Customers", "LastUsed"},
    {"ActivityHistory", "CustomerID"},
    {"ActivityHistory", "OrderID"},
};

const char* const screenViews[] = {"vwScreen_NewPayment", "vwScreen_EditPayment"};

QString name(const char* text)
{
    return QString::fromLatin1(text);
}

QStringList columnNames(const Table& table, Type type)
{
    QStringList names;
    for (const Column& c : table.columns)
        if (c.type == type)
            names << name(c.name);
    return names;
}

QString joined(const QStringList& parts, const QString& separator)
{
    return parts.join(separator);
}

// ---- views shared by both engines (plain SQL) ----------------------------------------------

QString newPaymentView()
{
    return QStringLiteral("CREATE VIEW vwScreen_NewPayment AS SELECT ID, OrderNumber, Sidemark, Balance, "
                          "DepositAmount, UniqueID, CustomerID, State, StatusCode FROM Orders");
}

QString editPaymentView()
{
    return QStringLiteral(
        "CREATE VIEW vwScreen_EditPayment AS SELECT Payments.ID AS ID, Customers.CustomerName AS CustomerName, "
        "Payments.PaymentMethodID AS PaymentMethodID, Payments.Description AS Description, "
        "Payments.CardNumber AS CardNumber, Payments.NameOnCard AS NameOnCard, Payments.ExpireMonth AS ExpireMonth, "
        "Payments.ExpireYear AS ExpireYear, Payments.PaymentDate AS PaymentDate, Payments.Amount AS Amount "
        "FROM Payments LEFT JOIN Customers ON Customers.ID = Payments.CustomerID");
}

// How one engine spells the column types and the defaults of the table list.
struct ColumnWords {
    QString key, integer, text, longText, money, date, now;
    bool noCase = false; // text compared without regard to case needs saying so
};

// One row per engine. SQLite: AUTOINCREMENT, so that an ID is never handed out twice, even after
// the newest row is deleted; "money" has numeric affinity. PostgreSQL: T-SQL compares and sorts
// text without regard to case, and so does citext.
const ColumnWords sqliteWords{"INTEGER PRIMARY KEY AUTOINCREMENT", "INTEGER", "TEXT", "TEXT", "money", "datetime",
                              "(datetime('now', 'localtime'))",    true};
const ColumnWords sqlServerWords{"int IDENTITY(1,1) NOT NULL PRIMARY KEY",
                                 "int",
                                 "nvarchar(255)",
                                 "nvarchar(max)",
                                 "money",
                                 "datetime",
                                 "(GETDATE())"};
const ColumnWords postgresWords{"integer GENERATED BY DEFAULT AS IDENTITY PRIMARY KEY",
                                "integer",
                                "citext",
                                "citext",
                                "numeric(19,4)",
                                "timestamp(0)",
                                "LOCALTIMESTAMP(0)"};

QString columnDefinition(const Column& c, const ColumnWords& w)
{
    QString def = name(c.name) + u' ';
    switch (c.type) {
    case Type::Key:
        return def + w.key;
    case Type::Int:
        def += w.integer;
        break;
    case Type::Text:
        def += (c.flags & Long) ? w.longText : w.text;
        break;
    case Type::Money:
        def += w.money;
        break;
    case Type::Date:
        def += w.date;
        break;
    }
    if (c.flags & NotNull)
        def += QStringLiteral(" NOT NULL");
    if (c.flags & Unique)
        def += QStringLiteral(" UNIQUE");
    if (w.noCase && (c.flags & NoCase))
        def += QStringLiteral(" COLLATE NOCASE");
    if (c.flags & DefaultOne)
        def += QStringLiteral(" DEFAULT 1");
    if (c.flags & DefaultZero)
        def += QStringLiteral(" DEFAULT 0");
    if (c.flags & DefaultNow)
        def += QStringLiteral(" DEFAULT ") + w.now;
    return def;
}

// ---- SQLite ---------------------------------------------------------------------------------

// After every write each money value is put back to four decimals, so sums of amounts
// compare equal exactly when their decimal values do (0.1 + 0.2 = 0.3). Text that is not a
// number is refused rather than read as 0.
QStringList sqliteMoneyTriggers(const Table& table)
{
    const QStringList money = columnNames(table, Type::Money);
    if (money.isEmpty())
        return {};
    const QString t = name(table.name);
    QStringList offRound, notNumber, assign;
    for (const QString& c : money) {
        offRound << QStringLiteral("NEW.%1 <> round(NEW.%1, 4)").arg(c);
        notNumber << QStringLiteral("typeof(NEW.%1) IN ('text', 'blob')").arg(c);
        assign << QStringLiteral("%1 = round(%1, 4)").arg(c);
    }
    const QString body =
        QStringLiteral(" WHEN %1 BEGIN SELECT RAISE(ABORT, 'A money value of %2 is not a number.') WHERE %3; "
                       "UPDATE %2 SET %4 WHERE ID = NEW.ID; END")
            .arg(joined(offRound, QStringLiteral(" OR ")), t, joined(notNumber, QStringLiteral(" OR ")),
                 joined(assign, QStringLiteral(", ")));
    return {QStringLiteral("CREATE TRIGGER trg%1_MoneyInsert AFTER INSERT ON %1").arg(t) + body,
            QStringLiteral("CREATE TRIGGER trg%1_MoneyUpdate AFTER UPDATE OF %2 ON %1")
                    .arg(t, joined(money, QStringLiteral(", "))) +
                body};
}

// Statements write dates the way SQL Server reads them unambiguously ('20180301 21:05:07');
// stored, every date is 'YYYY-MM-DD HH:MM:SS' so that SQL compares and sorts it as text. The
// values are normalised here, in the data, never by rewriting statement text (where a memo
// could look like a date).
QString normalisedDate(const QString& x)
{
    const QString d8 = QStringLiteral("[0-9][0-9][0-9][0-9][0-9][0-9][0-9][0-9]");
    const QString hms = QStringLiteral("[0-9][0-9]:[0-9][0-9]:[0-9][0-9]");
    const QString iso = QStringLiteral("[0-9][0-9][0-9][0-9]-[0-9][0-9]-[0-9][0-9]");
    const QString ymd = QStringLiteral("substr(%1, 1, 4) || '-' || substr(%1, 5, 2) || '-' || substr(%1, 7, 2)").arg(x);
    return QStringLiteral("CASE WHEN %1 GLOB '%2' THEN %3 || ' 00:00:00' "
                          "WHEN %1 GLOB '%2 %4*' THEN %3 || ' ' || substr(%1, 10, 8) "
                          "WHEN %1 GLOB '%5[T ]%4*' THEN substr(%1, 1, 10) || ' ' || substr(%1, 12, 8) "
                          "WHEN %1 GLOB '%5' THEN %1 || ' 00:00:00' ELSE %1 END")
        .arg(x, d8, ymd, hms, iso);
}

QStringList sqliteDateTriggers(const Table& table)
{
    QStringList statements;
    const QString t = name(table.name);
    for (const QString& c : columnNames(table, Type::Date)) {
        const QString body = QStringLiteral(" WHEN NEW.%1 IS NOT %2 BEGIN UPDATE %3 SET %1 = %4 WHERE ID = NEW.ID; END")
                                 .arg(c, normalisedDate(QStringLiteral("NEW.") + c), t, normalisedDate(c));
        statements << QStringLiteral("CREATE TRIGGER trg%1_%2Insert AFTER INSERT ON %1").arg(t, c) + body;
        statements << QStringLiteral("CREATE TRIGGER trg%1_%2Update AFTER UPDATE OF %2 ON %1").arg(t, c) + body;
    }
    return statements;
}

// The text the lists show under "Details": "Visa ending 1234 (John Smith) - memo",
// "Cash - memo"; parts that are empty are left out.
QString sqlitePaymentDetailsView()
{
    return QStringLiteral(
        "CREATE VIEW vwPaymentDetails AS SELECT PaymentID, CASE WHEN Head = '' THEN Memo WHEN Memo = '' THEN Head "
        "ELSE Head || ' - ' || Memo END AS Details FROM (SELECT Payments.ID AS PaymentID, "
        "trim(COALESCE(PaymentMethods.PaymentMethod, '') "
        "|| CASE WHEN COALESCE(Payments.CardNumber, '') <> '' THEN ' ending ' || Payments.CardNumber ELSE '' END "
        "|| CASE WHEN COALESCE(Payments.NameOnCard, '') <> '' THEN ' (' || Payments.NameOnCard || ')' ELSE '' END) "
        "AS Head, COALESCE(Payments.Description, '') AS Memo FROM Payments "
        "LEFT JOIN PaymentMethods ON PaymentMethods.ID = Payments.PaymentMethodID)");
}

// What every engine's schema is made of: the tables, each followed by what the engine adds for
// it (`perTable`, may be empty), then the indexes and the screens' two views. `schema` goes
// before every name ("dbo." or nothing), `words` spell the columns on the engine, `indexOrder`
// follows an index's column.
QStringList tablesIndexesAndViews(const QString& schema, const ColumnWords& words,
                                  const std::function<QStringList(const Table&)>& perTable,
                                  const QString& indexOrder = QString())
{
    QStringList statements;
    for (const Table& table : tables()) {
        QStringList columns;
        for (const Column& c : table.columns)
            columns << columnDefinition(c, words);
        statements << QStringLiteral("CREATE TABLE %1%2 (%3)")
                          .arg(schema, name(table.name), columns.join(QStringLiteral(", ")));
        if (perTable)
            statements << perTable(table);
    }
    for (const auto& [table, indexed] : indexedColumns)
        statements << QStringLiteral("CREATE INDEX ix%1_%2 ON %3%1 (%2%4)")
                          .arg(name(table), name(indexed), schema, indexOrder);
    for (QString view : {newPaymentView(), editPaymentView()})
        statements << view.replace(QStringLiteral("CREATE VIEW "), QStringLiteral("CREATE VIEW ") + schema);
    return statements;
}

QStringList sqliteSchema()
{
    return tablesIndexesAndViews(QString(), sqliteWords,
                                 [](const Table& table) {
                                     QStringList triggers = sqliteMoneyTriggers(table);
                                     return triggers << sqliteDateTriggers(table);
                                 })
           << sqlitePaymentDetailsView();
}

// ---- SQL Server -----------------------------------------------------------------------------

QStringList sqlServerSchema()
{
    QStringList statements = tablesIndexesAndViews(QStringLiteral("dbo."), sqlServerWords, nullptr);
    statements << QStringLiteral(
        "CREATE FUNCTION dbo.PaymentDetails(@PaymentID int) RETURNS nvarchar(max) AS BEGIN "
        "DECLARE @head nvarchar(max), @memo nvarchar(max); "
        "SELECT @head = LTRIM(RTRIM(ISNULL(m.PaymentMethod, N'') "
        "+ CASE WHEN ISNULL(p.CardNumber, N'') <> N'' THEN N' ending ' + p.CardNumber ELSE N'' END "
        "+ CASE WHEN ISNULL(p.NameOnCard, N'') <> N'' THEN N' (' + p.NameOnCard + N')' ELSE N'' END)), "
        "@memo = ISNULL(p.Description, N'') "
        "FROM dbo.Payments p LEFT JOIN dbo.PaymentMethods m ON m.ID = p.PaymentMethodID WHERE p.ID = @PaymentID; "
        "RETURN CASE WHEN @head = N'' THEN @memo WHEN @memo = N'' THEN @head ELSE @head + N' - ' + @memo END; END");
    return statements;
}

// ---- PostgreSQL ------------------------------------------------------------------------------

// A row written with an ID of its own (imports, fixtures) moves the key's counter past it, so
// the next row the database numbers never collides with it (as SQLite's AUTOINCREMENT does).
// Rows the counter numbered never move it: concurrent inserts stay independent.
const QString postgresKeyFunction =
    QStringLiteral("CREATE FUNCTION dbo.KeepKeyAhead() RETURNS trigger LANGUAGE plpgsql AS $body$ "
                   "DECLARE counter text := pg_get_serial_sequence(quote_ident(TG_TABLE_SCHEMA) || '.' || "
                   "quote_ident(TG_TABLE_NAME), 'id'); "
                   "BEGIN IF NEW.id > COALESCE(pg_sequence_last_value(counter::regclass), 0) THEN "
                   "PERFORM setval(counter, NEW.id); END IF; RETURN NEW; END $body$");

// The same text as on SQL Server: "Visa ending 1234 (John Smith) - memo".
const QString postgresPaymentDetails = QStringLiteral(
    "CREATE FUNCTION dbo.PaymentDetails(integer) RETURNS text LANGUAGE sql STABLE AS $body$ "
    "SELECT CASE WHEN Head = '' THEN Memo WHEN Memo = '' THEN Head ELSE Head || ' - ' || Memo END FROM ("
    "SELECT trim(COALESCE(m.PaymentMethod::text, '') "
    "|| CASE WHEN COALESCE(p.CardNumber::text, '') <> '' THEN ' ending ' || p.CardNumber::text ELSE '' END "
    "|| CASE WHEN COALESCE(p.NameOnCard::text, '') <> '' THEN ' (' || p.NameOnCard::text || ')' ELSE '' END) "
    "AS Head, COALESCE(p.Description::text, '') AS Memo FROM dbo.Payments p "
    "LEFT JOIN dbo.PaymentMethods m ON m.ID = p.PaymentMethodID WHERE p.ID = $1) d $body$");

QStringList postgresSchema()
{
    QStringList statements;
    // Schema-qualified throughout; the views' own references are found through the path set
    // for this transaction only.
    statements << QStringLiteral("CREATE EXTENSION IF NOT EXISTS citext WITH SCHEMA public")
               << QStringLiteral("CREATE SCHEMA IF NOT EXISTS dbo")
               << QStringLiteral("SET LOCAL search_path TO dbo, public") << postgresKeyFunction;
    auto keyTrigger = [](const Table& table) {
        return QStringList{QStringLiteral("CREATE TRIGGER trg%1_Key BEFORE INSERT ON dbo.%1 FOR EACH ROW "
                                          "EXECUTE FUNCTION dbo.KeepKeyAhead()")
                               .arg(name(table.name))};
    };
    // NULLS FIRST: the index reads in T-SQL's order either way (NULL lowest).
    statements << tablesIndexesAndViews(QStringLiteral("dbo."), postgresWords, keyTrigger,
                                        QStringLiteral(" NULLS FIRST"))
               << postgresPaymentDetails;
    return statements;
}

bool runAll(QSqlDatabase& db, const QStringList& statements, const QString& begin, const QString& commit,
            const QString& rollback, QString* error)
{
    QSqlQuery query(db);
    if (!query.exec(begin)) {
        if (error)
            *error = QStringLiteral("The schema could not be created: %1").arg(query.lastError().text());
        return false;
    }
    for (const QString& statement : statements) {
        if (!query.exec(statement)) {
            const QString why = query.lastError().text();
            query.finish();
            QSqlQuery(db).exec(rollback);
            if (error)
                *error = QStringLiteral("The schema could not be created: %1\nStatement: %2").arg(why, statement);
            return false;
        }
    }
    if (!query.exec(commit)) {
        const QString why = query.lastError().text();
        QSqlQuery(db).exec(rollback);
        if (error)
            *error = QStringLiteral("The schema could not be created: %1").arg(why);
        return false;
    }
    return true;
}

} // namespace

QStringList schemaStatements(Engine engine)
{
    switch (engine) {
    case Engine::SQLite:
        return sqliteSchema();
    case Engine::SqlServer:
        return sqlServerSchema();
    case Engine::PostgreSQL:
        return postgresSchema();
    }
    return {};
}

QString schemaScript(Engine engine)
{
    const QStringList statements = schemaStatements(engine);
    QString script;
    if (engine == Engine::SqlServer) {
        script =
            QStringLiteral("-- The company database tables, views and dbo.PaymentDetails the payments module uses.\n"
                           "-- Run it in an empty database (sqlcmd -i, or SSMS); each batch ends with GO.\n\n");
        for (const QString& statement : statements)
            script += statement + QStringLiteral("\nGO\n\n");
        return script;
    }
    // One transaction: the search path set for it holds for every statement (psql sends each
    // one on its own), and a failure part-way leaves nothing behind.
    script = QStringLiteral("-- The company database tables, views and payment details the payments module uses.\n"
                            "-- Run it in an empty database (psql -v ON_ERROR_STOP=1, sqlite3 -bail).\n"
                            "BEGIN;\n");
    for (const QString& statement : statements)
        script += statement + QStringLiteral(";\n");
    return script + QStringLiteral("COMMIT;\n");
}

QString canonicalColumnName(const QString& wanted)
{
    static const QHash<QString, QString> names = [] {
        QHash<QString, QString> all;
        for (const Table& table : tables())
            for (const Column& c : table.columns)
                all.insert(name(c.name).toCaseFolded(), name(c.name));
        // Columns of the views that no table spells the same way.
        for (const char* extra : {"Details", "PaymentID"})
            all.insert(name(extra).toCaseFolded(), name(extra));
        return all;
    }();
    return names.value(wanted.toCaseFolded());
}

bool isDateColumn(const QString& wanted)
{
    static const QSet<QString> dates = [] {
        QSet<QString> all;
        for (const Table& table : tables())
            for (const Column& c : table.columns)
                if (c.type == Type::Date)
                    all.insert(name(c.name).toCaseFolded());
        return all;
    }();
    return dates.contains(wanted.toCaseFolded());
}

bool createSchema(QSqlDatabase& db, Engine engine, QString* error)
{
    if (!db.isOpen()) {
        if (error)
            *error = QStringLiteral("The schema could not be created: the database is not open.");
        return false;
    }
    const QStringList statements = schemaStatements(engine);
    if (statements.isEmpty()) {
        if (error)
            *error = QStringLiteral("Creating the company schema is not available for this database engine.");
        return false;
    }
    // DDL is transactional on every engine, so a failure part-way leaves nothing behind.
    if (engine == Engine::SQLite)
        return runAll(db, statements, QStringLiteral("BEGIN IMMEDIATE"), QStringLiteral("COMMIT"),
                      QStringLiteral("ROLLBACK"), error);
    if (engine == Engine::PostgreSQL)
        return runAll(db, statements, QStringLiteral("BEGIN"), QStringLiteral("COMMIT"), QStringLiteral("ROLLBACK"),
                      error);
    return runAll(db, statements, QStringLiteral("BEGIN TRANSACTION"), QStringLiteral("COMMIT TRANSACTION"),
                  QStringLiteral("ROLLBACK TRANSACTION"), error);
}

namespace {

// PostgreSQL lists tables of other schemas as "dbo.customers": its catalogue is asked instead,
// for the schemas the sessions search (dbo, then public).
bool postgresHasSchema(const QSqlDatabase& db)
{
    QSqlQuery query(db);
    if (!query.exec(QStringLiteral(
            "SELECT lower(c.relname) || '.' || lower(a.attname) FROM pg_catalog.pg_attribute a "
            "JOIN pg_catalog.pg_class c ON c.oid = a.attrelid JOIN pg_catalog.pg_namespace s ON s.oid = c.relnamespace "
            "WHERE s.nspname IN ('dbo', 'public') AND c.relkind IN ('r', 'v', 'p') AND a.attnum > 0 "
            "AND NOT a.attisdropped")))
        return false;
    QSet<QString> present;
    while (query.next())
        present.insert(query.value(0).toString());
    for (const Table& table : tables())
        for (const Column& c : table.columns)
            if (!present.contains(name(table.name).toLower() + u'.' + name(c.name).toLower()))
                return false;
    for (const char* view : screenViews)
        if (!present.contains(name(view).toLower() + QStringLiteral(".id")))
            return false;
    return query.exec(QStringLiteral("SELECT to_regprocedure('dbo.paymentdetails(integer)') IS NOT NULL")) &&
           query.next() && query.value(0).toBool();
}

} // namespace

bool hasSchema(const QSqlDatabase& db, Engine engine)
{
    if (!db.isOpen())
        return false;
    if (engine == Engine::PostgreSQL)
        return postgresHasSchema(db);
    auto contains = [](const QStringList& names, const QString& wanted) {
        return names.contains(wanted, Qt::CaseInsensitive);
    };
    const QStringList presentTables = db.tables(QSql::Tables);
    for (const Table& table : tables()) {
        const QString t = name(table.name);
        if (!contains(presentTables, t))
            return false;
        const QSqlRecord record = db.record(t);
        for (const Column& c : table.columns) {
            bool found = false;
            for (int i = 0; i < record.count() && !found; ++i)
                found = record.fieldName(i).compare(name(c.name), Qt::CaseInsensitive) == 0;
            if (!found)
                return false;
        }
    }
    QStringList views;
    for (const char* v : screenViews)
        views << name(v);
    if (engine == Engine::SQLite)
        views << QStringLiteral("vwPaymentDetails");
    const QStringList presentViews = db.tables(QSql::Views);
    for (const QString& v : views)
        if (!contains(presentViews, v))
            return false;
    if (engine == Engine::SqlServer) {
        QSqlQuery query(db);
        if (!query.exec(QStringLiteral("SELECT OBJECT_ID(N'dbo.PaymentDetails')")) || !query.next() ||
            query.value(0).isNull())
            return false;
    }
    return true;
}

} // namespace tesr::ledger

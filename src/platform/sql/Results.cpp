#include "platform/sql/Results.h"

#include "ledger/Dialect.h"
#include "ledger/Schema.h"
#include "platform/sql/Execution.h"
#include "platform/sql/Postgres.h"
#include "values/Currency.h"

#include <QDate>
#include <QHash>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTime>

#include <cstring>
#include <limits>
#include <mutex>
#include <vector>

#include <sqlite3.h>

namespace tesr::sql {

void registerMoneyConversions()
{
    static std::once_flag once;
    std::call_once(once, [] {
        QMetaType::registerConverter<Currency, double>(&Currency::toDouble);
        QMetaType::registerConverter<Currency, QString>(&Currency::toPlainString);
    });
}

namespace {

// Exact equality of two column names, cheaper than the general comparison for the short
// names a recordset is read by.
inline bool sameText(const QString& a, const QString& b)
{
    return a.size() == b.size() && std::memcmp(a.constData(), b.constData(), size_t(a.size()) * sizeof(QChar)) == 0;
}

// A result's column names, found by name without regard to case; the first column of a name
// wins, as in ADO. Readers ask for the columns in the order they were selected, with the same
// spelling: the column after the last one found is tried first, then an exact scan, and only
// then a comparison without regard to case.
class Columns {
public:
    void add(const QString& name)
    {
        bool first = true; // only names of the same length can be the same name
        for (size_t k = 0; k < m_names.size() && first; ++k)
            first = m_names[k].size() != name.size() || m_names[k].compare(name, Qt::CaseInsensitive) != 0;
        m_names.push_back(name);
        m_firstOfName.push_back(first ? 1 : 0);
    }
    int count() const { return int(m_names.size()); }
    QString name(int index) const { return index >= 0 && index < count() ? m_names[size_t(index)] : QString(); }

    int indexOf(const QString& name) const
    {
        const int n = count();
        if (n == 0)
            return -1;
        const int guess = m_next < n ? m_next : 0;
        if (m_firstOfName[size_t(guess)] && sameText(m_names[size_t(guess)], name)) {
            m_next = guess + 1;
            return guess;
        }
        for (int i = 0; i < n; ++i) {
            if (sameText(m_names[size_t(i)], name)) {
                if (!m_firstOfName[size_t(i)])
                    break;
                m_next = i + 1;
                return i;
            }
        }
        if (m_folded.isEmpty()) {
            for (int i = n - 1; i >= 0; --i)
                m_folded.insert(m_names[size_t(i)].toCaseFolded(), i);
        }
        const auto it = m_folded.constFind(name.toCaseFolded());
        if (it == m_folded.constEnd())
            return -1;
        m_next = it.value() + 1;
        return it.value();
    }

private:
    std::vector<QString> m_names;
    std::vector<char> m_firstOfName;
    mutable QHash<QString, int> m_folded; // built on the first lookup without regard to case
    mutable int m_next = 0;
};

// What both engines' recordsets share: the named columns, the open/closed state and where the
// reader is. Each says how it reads the value at a column of the current row.
class ColumnRecordset : public Recordset {
public:
    int State() const override { return m_state; }
    bool Bof() const override { return m_bof; }
    bool Eof() const override { return m_eof; }
    QVariant Field(const QString& name) const override
    {
        const int index = m_columns.indexOf(name);
        return index < 0 ? QVariant() : FieldValue(index);
    }
    int FieldCount() const override { return m_columns.count(); }
    QString FieldName(int index) const override { return m_columns.name(index); }
    QVariant FieldValue(int index) const override
    {
        if (m_eof || index < 0 || index >= m_columns.count())
            return QVariant();
        return valueAt(index);
    }

protected:
    virtual QVariant valueAt(int index) const = 0;

    Columns m_columns;
    int m_state = adStateClosed;
    bool m_bof = true;
    bool m_eof = true;
};

// ---- SQLite: rows read as the reader moves ----------------------------------------------------

// Stepped through the engine's own interface on the session's connection: a value is read
// only when a reader asks for it (a screen reads some of a view's columns, and most of them
// once), texts come as the UTF-8 the file holds. The values and names are what the QtSql
// driver hands out: integers as qlonglong, reals as double, blobs as QByteArray, texts as
// QString and a NULL as a null QString; names without their double quotes.
class SqliteRecordset final : public ColumnRecordset {
public:
    explicit SqliteRecordset(std::shared_ptr<Session> session) : m_session(std::move(session)) {}
    ~SqliteRecordset() override { release(); }

    bool open(const QString& statement, QString* why)
    {
        if (!hookAllows(statement, why))
            return false;
        sqlite3* db = m_session->sqlite().handle();
        const void* tail = nullptr;
        const int rc =
            sqlite3_prepare16_v2(db, statement.utf16(), int(statement.size() * sizeof(QChar)), &m_statement, &tail);
        if (rc != SQLITE_OK)
            return failed(QStringLiteral("Unable to execute statement"), why);
        if (tail && !QStringView(static_cast<const QChar*>(tail)).trimmed().isEmpty()) {
            release();
            *why = QStringLiteral("Unable to execute multiple statements at a time");
            return false;
        }
        const int columns = sqlite3_column_count(m_statement);
        for (int i = 0; i < columns; ++i) {
            const auto* name = static_cast<const QChar*>(sqlite3_column_name16(m_statement, i));
            m_columns.add(QString(name).remove(u'"'));
        }
        if (!step())
            return failed(QStringLiteral("Unable to fetch row"), why);
        m_state = adStateOpen;
        m_bof = m_eof;
        return true;
    }

    void MoveNext() override
    {
        if (m_state == adStateOpen && !m_eof)
            step(); // a row the engine cannot read ends the rows, as with the QtSql driver
    }
    void Close() override
    {
        release();
        m_state = adStateClosed;
        m_eof = true; // nothing is read from a closed recordset
        // Let go of the session, so that closing the connection can keep it for the next job.
        m_session.reset();
    }

private:
    QVariant valueAt(int index) const override
    {
        switch (sqlite3_column_type(m_statement, index)) {
        case SQLITE_INTEGER:
            return qlonglong(sqlite3_column_int64(m_statement, index));
        case SQLITE_FLOAT:
            return sqlite3_column_double(m_statement, index);
        case SQLITE_BLOB: {
            const auto* bytes = static_cast<const char*>(sqlite3_column_blob(m_statement, index));
            return QByteArray(bytes, sqlite3_column_bytes(m_statement, index));
        }
        case SQLITE_NULL:
            return QVariant(QMetaType::fromType<QString>());
        default: {
            const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(m_statement, index));
            return QString::fromUtf8(text, sqlite3_column_bytes(m_statement, index));
        }
        }
    }

    // Moves to the next row; false when the engine failed. The statement (and its read lock)
    // goes as soon as the rows end.
    bool step()
    {
        const int rc = sqlite3_step(m_statement);
        m_eof = rc != SQLITE_ROW;
        if (rc == SQLITE_ROW)
            return true;
        // After a failed step, resetting the statement is what gives the engine's own words.
        const int failure = rc == SQLITE_DONE ? SQLITE_OK : sqlite3_reset(m_statement);
        if (failure != SQLITE_OK)
            m_words = QString::fromUtf8(sqlite3_errmsg(m_session->sqlite().handle()));
        release();
        return failure == SQLITE_OK;
    }

    bool failed(const QString& driverWords, QString* why)
    {
        const QString words =
            m_words.isEmpty() ? QString::fromUtf8(sqlite3_errmsg(m_session->sqlite().handle())) : m_words;
        *why = engineText(QSqlError(driverWords, words, QSqlError::StatementError));
        release();
        return false;
    }

    void release()
    {
        if (m_statement)
            sqlite3_finalize(m_statement);
        m_statement = nullptr;
    }

    std::shared_ptr<Session> m_session; // outlives the statement
    sqlite3_stmt* m_statement = nullptr;
    QString m_words; // the engine's words for a step that failed
};

// ---- other QtSql drivers (SQL Server through ODBC): rows read through QtSql ---------------------

class QtSqlRecordset final : public ColumnRecordset {
public:
    explicit QtSqlRecordset(std::shared_ptr<Session> session) : m_session(std::move(session)), m_query(m_session->db)
    {
        m_query.setForwardOnly(true);
    }

    bool open(const QString& statement, QString* why)
    {
        if (!send(m_query, statement, why))
            return false;
        const QSqlRecord record = m_query.record();
        for (int i = 0; i < record.count(); ++i)
            m_columns.add(record.fieldName(i));
        m_state = adStateOpen;
        advance();
        m_bof = m_eof;
        return true;
    }

    void MoveNext() override
    {
        if (m_state == adStateOpen && !m_eof)
            advance();
    }
    void Close() override
    {
        m_query.finish();
        m_state = adStateClosed;
        m_eof = true; // nothing is read from a closed recordset
        // Let go of the session, so that closing the connection can keep it for the next job.
        m_query = QSqlQuery();
        m_session.reset();
    }

private:
    QVariant valueAt(int index) const override { return m_query.value(index); }
    void advance()
    {
        m_eof = !m_query.next();
        if (m_eof)
            m_query.finish(); // releases the engine's statement (and its read lock) at once
    }

    std::shared_ptr<Session> m_session; // declared first: outlives the query
    mutable QSqlQuery m_query;
};

// ---- PostgreSQL: the whole result, read through libpq -----------------------------------------

// The built-in types whose values are read as something other than text.
enum PgType : Oid {
    BoolOid = 16,
    ByteaOid = 17,
    Int8Oid = 20,
    Int2Oid = 21,
    Int4Oid = 23,
    RegprocOid = 24,
    OidOid = 26,
    XidOid = 28,
    CidOid = 29,
    Float4Oid = 700,
    Float8Oid = 701,
    DateOid = 1082,
    TimeOid = 1083,
    TimestampOid = 1114,
    TimestampTzOid = 1184,
    TimeTzOid = 1266,
    NumericOid = 1700,
};

// How a column's values are read, by the type the server names.
enum class Kind { Bool, Long, Int, Approximate, Exact, Date, Time, Timestamp, Bytes, Text };

Kind kindOf(Oid type)
{
    static const QHash<Oid, Kind> kinds{{BoolOid, Kind::Bool},
                                        {Int8Oid, Kind::Long},
                                        {Int2Oid, Kind::Int},
                                        {Int4Oid, Kind::Int},
                                        {RegprocOid, Kind::Int},
                                        {OidOid, Kind::Int},
                                        {XidOid, Kind::Int},
                                        {CidOid, Kind::Int},
                                        {Float4Oid, Kind::Approximate},
                                        {Float8Oid, Kind::Approximate},
                                        {NumericOid, Kind::Exact},
                                        {DateOid, Kind::Date},
                                        {TimeOid, Kind::Time},
                                        {TimeTzOid, Kind::Time},
                                        {TimestampOid, Kind::Timestamp},
                                        {TimestampTzOid, Kind::Timestamp},
                                        {ByteaOid, Kind::Bytes}};
    return kinds.value(type, Kind::Text);
}

// The type a column's values are handed out as (a NULL is a null value of it), by Kind.
const QMetaType nullTypes[] = {QMetaType::fromType<bool>(),       QMetaType::fromType<qlonglong>(),
                               QMetaType::fromType<int>(),        QMetaType::fromType<double>(),
                               QMetaType::fromType<double>(),     QMetaType::fromType<QDate>(),
                               QMetaType::fromType<QTime>(),      QMetaType::fromType<QDateTime>(),
                               QMetaType::fromType<QByteArray>(), QMetaType::fromType<QString>()};

// numeric arrives as its exact text: Currency when it fits four decimals, else a double.
QVariant exactNumber(const QString& text)
{
    const qsizetype point = text.indexOf(u'.');
    qsizetype decimals = point < 0 ? 0 : text.size() - point - 1;
    while (decimals > 0 && text[point + decimals] == u'0')
        --decimals;
    if (decimals <= 4) {
        if (const auto money = Currency::parsePlain(text))
            return QVariant::fromValue(*money);
    }
    return text.toDouble();
}

double approximateNumber(const char* text)
{
    if (qstrcmp(text, "NaN") == 0)
        return std::numeric_limits<double>::quiet_NaN();
    if (qstrcmp(text, "Infinity") == 0)
        return std::numeric_limits<double>::infinity();
    if (qstrcmp(text, "-Infinity") == 0)
        return -std::numeric_limits<double>::infinity();
    return QByteArray(text).toDouble();
}

QVariant valueOf(Kind kind, const char* text, int length)
{
    switch (kind) {
    case Kind::Bool:
        return text[0] == 't';
    case Kind::Long:
        return QByteArray(text, length).toLongLong();
    case Kind::Int:
        return QByteArray(text, length).toInt();
    case Kind::Approximate:
        return approximateNumber(text);
    case Kind::Exact:
        return exactNumber(QString::fromLatin1(text, length));
    case Kind::Date:
        return QDate::fromString(QString::fromLatin1(text, length), Qt::ISODate);
    case Kind::Time:
        return QTime::fromString(QString::fromLatin1(text, length), Qt::ISODate);
    case Kind::Timestamp: {
        // The wall-clock text the server holds ("2018-03-01 21:05:07"), as SQLite stores one: a
        // local-time QDateTime does not exist for wall-clock times inside a daylight-saving gap.
        QString value = QString::fromLatin1(text, length);
        if (value.indexOf(u'.', 19) == 19)
            value.truncate(19);
        return value;
    }
    case Kind::Bytes: {
        size_t size = 0;
        unsigned char* bytes = PQunescapeBytea(reinterpret_cast<const unsigned char*>(text), &size);
        QByteArray value(reinterpret_cast<const char*>(bytes), qsizetype(size));
        PQfreemem(bytes);
        return value;
    }
    case Kind::Text:
        break;
    }
    return QString::fromUtf8(text, length);
}

class PostgresRecordset final : public ColumnRecordset {
public:
    PostgresRecordset(const PGresult* result, const QString& written) { read(result, written); }

    void MoveNext() override
    {
        if (m_state == adStateOpen && !m_eof)
            m_eof = ++m_row >= m_rows;
    }
    void Close() override
    {
        m_values.clear();
        m_state = adStateClosed;
        m_eof = true;
    }

private:
    QVariant valueAt(int index) const override { return m_values[size_t(m_row * m_columns.count() + index)]; }
    void read(const PGresult* result, const QString& written)
    {
        const int columns = PQnfields(result);
        QHash<QString, QString> spelled;
        for (const QString& w : ledger::namesWritten(written)) {
            const QString key = w.toCaseFolded();
            if (!spelled.contains(key))
                spelled.insert(key, w);
        }
        std::vector<Kind> kinds(size_t(std::max(columns, 0)));
        for (int i = 0; i < columns; ++i) {
            const QString raw = QString::fromUtf8(PQfname(result, i));
            QString name = spelled.value(raw.toCaseFolded());
            if (name.isEmpty())
                name = ledger::canonicalColumnName(raw);
            m_columns.add(name.isEmpty() ? raw : name);
            kinds[size_t(i)] = kindOf(PQftype(result, i));
        }
        m_rows = PQntuples(result);
        m_values.reserve(size_t(m_rows) * size_t(std::max(columns, 0)));
        for (int row = 0; row < m_rows; ++row) {
            for (int i = 0; i < columns; ++i) {
                if (PQgetisnull(result, row, i))
                    m_values.emplace_back(nullTypes[int(kinds[size_t(i)])]);
                else
                    m_values.push_back(
                        valueOf(kinds[size_t(i)], PQgetvalue(result, row, i), PQgetlength(result, row, i)));
            }
        }
        m_state = adStateOpen;
        m_bof = m_eof = m_rows == 0;
    }

    std::vector<QVariant> m_values;
    qsizetype m_rows = 0;
    qsizetype m_row = 0;
};

} // namespace

std::unique_ptr<Recordset> openStreamingRecordset(std::shared_ptr<Session> session, const QString& statement,
                                                  QString* why)
{
    auto open = [&](auto recordset) -> std::unique_ptr<Recordset> {
        if (!recordset->open(statement, why))
            return nullptr;
        return recordset;
    };
    if (session->db.driverName() == QLatin1String("QSQLITE"))
        return open(std::make_unique<SqliteRecordset>(std::move(session)));
    return open(std::make_unique<QtSqlRecordset>(std::move(session)));
}

std::unique_ptr<Recordset> postgresRecordset(const PGresult* result, const QString& written)
{
    return std::make_unique<PostgresRecordset>(result, written);
}

} // namespace tesr::sql

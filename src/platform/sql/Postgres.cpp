#include "platform/sql/Postgres.h"

#include "platform/sql/Execution.h"

#include <QSqlDriver>
#include <QVariant>

#include <limits>

namespace tesr::sql {

PGconn* postgresHandle(const QSqlDatabase& db)
{
    const QVariant handle = db.driver() ? db.driver()->handle() : QVariant();
    return handle.isValid() ? *static_cast<PGconn* const*>(handle.constData()) : nullptr;
}

QString postgresError(const PGresult* result, const PGconn* connection)
{
    const char* text = result ? PQresultErrorMessage(result) : nullptr;
    if (!text || !*text)
        text = PQerrorMessage(connection);
    const QString message = withoutQuotedValues(QString::fromUtf8(text));
    return message.isEmpty() ? QStringLiteral("Unknown database error") : message;
}

namespace {

// The types PostgreSQL gives literals: an integer that fits 32 bits is an integer, a longer one
// a bigint; a number with a point or an exponent is numeric; a quoted text takes the type its
// place asks for (unknown).
constexpr Oid Int4 = 23;
constexpr Oid Int8 = 20;
constexpr Oid Numeric = 1700;
constexpr Oid Unknown = 0;

Oid typeOf(const ledger::LiteralSpan& value, QStringView command)
{
    switch (value.type) {
    case ledger::Literal::Type::Integer: {
        const qint64 number = value.in(command).toLongLong(); // the lifter takes none beyond 64 bits
        return number <= std::numeric_limits<qint32>::max() ? Int4 : Int8;
    }
    case ledger::Literal::Type::Decimal:
        return Numeric;
    case ledger::Literal::Type::Text:
        return Unknown;
    }
    return Unknown;
}

} // namespace

PostgresStatements::~PostgresStatements() = default; // prepared statements end with the session

PostgresStatements::Shape& PostgresStatements::shape(const QString& key, const std::function<QStringList()>& translate)
{
    if (const auto found = m_shapeByKey.constFind(key); found != m_shapeByKey.constEnd()) {
        m_shapes.splice(m_shapes.begin(), m_shapes, found.value());
        return m_shapes.front().second;
    }
    Shape shape;
    shape.statements = translate();
    for (const QString& statement : std::as_const(shape.statements)) {
        shape.markers.push_back(ledger::countMarkers(statement));
        shape.prepared.push_back({ledger::numberMarkers(statement).toUtf8(), {}});
    }
    m_shapes.emplace_front(key, std::move(shape));
    m_shapeByKey.insert(key, m_shapes.begin());
    while (int(m_shapes.size()) > MaxShapes) {
        for (const Prepared& prepared : m_shapes.back().second.prepared)
            for (const QByteArray& name : prepared.names)
                m_unneeded << name;
        m_shapeByKey.remove(m_shapes.back().first);
        m_shapes.pop_back();
    }
    return m_shapes.front().second;
}

bool PostgresStatements::inTransaction() const
{
    return PQtransactionStatus(m_connection) != PQTRANS_IDLE;
}

bool PostgresStatements::transactionFailed() const
{
    return PQtransactionStatus(m_connection) == PQTRANS_INERROR;
}

bool PostgresStatements::roundTrip(const std::vector<Request>& requests, std::vector<Reply>* replies, QString* why)
{
    replies->assign(requests.size(), Reply{});
    if (PQenterPipelineMode(m_connection) != 1) {
        *why = postgresError(nullptr, m_connection);
        return false;
    }
    // What was sent, in order: each answer is read back against it.
    struct Sent {
        int request;        // -1: housekeeping (a deallocation)
        bool preparing;     // the Parse of a statement prepared in this round trip ...
        Prepared* prepared; // ... forgotten again there when it fails
        QByteArray types;
    };
    std::vector<Sent> sent;
    bool ok = true;
    for (const QByteArray& name : std::as_const(m_unneeded)) {
        ok = ok && PQsendQueryParams(m_connection, "DEALLOCATE " + name, 0, nullptr, nullptr, nullptr, nullptr, 0);
        sent.push_back({-1, false, nullptr, {}});
    }
    m_unneeded.clear();
    for (size_t r = 0; ok && r < requests.size(); ++r) {
        const Request& request = requests[r];
        std::vector<QByteArray> values;
        std::vector<const char*> pointers;
        std::vector<Oid> types;
        QByteArray signature;
        values.reserve(size_t(request.count));
        for (int i = 0; i < request.count; ++i) {
            const ledger::LiteralSpan& value = request.values[i];
            values.push_back(value.doubledQuotes ? value.literal(request.command).text.toUtf8()
                                                 : value.in(request.command).toUtf8());
            types.push_back(typeOf(value, request.command));
            signature += char('0' + types.back() % 64);
        }
        for (const QByteArray& v : values)
            pointers.push_back(v.constData());
        if (!request.prepared) {
            const QByteArray text = (request.count > 0 ? ledger::numberMarkers(request.text) : request.text).toUtf8();
            ok = PQsendQueryParams(m_connection, text.constData(), request.count, types.data(), pointers.data(),
                                   nullptr, nullptr, 0);
            sent.push_back({int(r), false, nullptr, {}});
            continue;
        }
        QByteArray name = request.prepared->names.value(signature);
        if (name.isEmpty()) {
            // Prepared in this round trip; forgotten again should it fail to prepare.
            name = "tesr_" + QByteArray::number(++m_serial);
            request.prepared->names.insert(signature, name);
            ok = PQsendPrepare(m_connection, name.constData(), request.prepared->text.constData(), request.count,
                               types.data());
            sent.push_back({int(r), true, request.prepared, signature});
        }
        ok = ok &&
             PQsendQueryPrepared(m_connection, name.constData(), request.count, pointers.data(), nullptr, nullptr, 0);
        sent.push_back({int(r), false, nullptr, {}});
    }
    ok = ok && PQpipelineSync(m_connection);
    if (!ok) {
        for (const Sent& item : sent)
            if (item.preparing)
                item.prepared->names.remove(item.types);
        *why = postgresError(nullptr, m_connection);
        // What was queued is dropped with the pipeline: the connection is no longer usable.
        PQexitPipelineMode(m_connection);
        return false;
    }
    // Every answer, then the end of the round trip.
    QString housekeeping;
    for (const Sent& item : sent) {
        PGresult* result = PQgetResult(m_connection);
        if (!result) {
            *why = postgresError(nullptr, m_connection);
            return false;
        }
        const ExecStatusType status = PQresultStatus(result);
        const bool succeeded = status == PGRES_COMMAND_OK || status == PGRES_TUPLES_OK;
        if (item.preparing && !succeeded)
            item.prepared->names.remove(item.types);
        if (item.request >= 0 && !item.preparing) {
            Reply& reply = (*replies)[size_t(item.request)];
            reply.ok = succeeded;
            if (status == PGRES_TUPLES_OK)
                reply.affected = -1;
            else if (succeeded)
                reply.affected = QByteArray(PQcmdTuples(result)).toInt();
            else if (status == PGRES_PIPELINE_ABORTED && reply.why.isEmpty())
                reply.why = QStringLiteral("The statement was not run: one before it failed.");
            else if (reply.why.isEmpty()) // unless its preparation already said why
                reply.why = postgresError(result, m_connection);
            if (succeeded && requests[size_t(item.request)].keepResult) {
                reply.result = result;
                result = nullptr;
            }
        } else if (item.request >= 0 && !succeeded && status != PGRES_PIPELINE_ABORTED) {
            // A statement that does not prepare fails where it would have run.
            (*replies)[size_t(item.request)].why = postgresError(result, m_connection);
        } else if (item.request < 0 && !succeeded && status != PGRES_PIPELINE_ABORTED) {
            // Housekeeping that failed took the round trip's statements down with it.
            housekeeping = postgresError(result, m_connection);
        }
        PQclear(result);
        while (PGresult* rest = PQgetResult(m_connection)) // the end of this statement's answers
            PQclear(rest);
    }
    PGresult* sync = PQgetResult(m_connection);
    const bool synced = sync && PQresultStatus(sync) == PGRES_PIPELINE_SYNC;
    PQclear(sync);
    if (!synced || PQexitPipelineMode(m_connection) != 1) {
        *why = postgresError(nullptr, m_connection);
        return false;
    }
    if (!housekeeping.isEmpty()) {
        *why = housekeeping;
        return false;
    }
    return true;
}

} // namespace tesr::sql

#include "platform/sql/Sqlite.h"

#include <QVarLengthArray>

#include <sqlite3.h>

namespace tesr::sql {

namespace {

void finalize(SqliteStatements::Shape& shape)
{
    for (sqlite3_stmt* statement : shape.compiled)
        sqlite3_finalize(statement);
    shape.compiled.clear();
}

} // namespace

SqliteStatements::~SqliteStatements()
{
    for (auto& [key, shape] : m_shapes)
        finalize(shape);
}

QString SqliteStatements::engineWords() const
{
    return QString::fromUtf8(sqlite3_errmsg(m_db)) + QStringLiteral(" (Unable to execute statement)");
}

qint64 SqliteStatements::lastInsertId() const
{
    return sqlite3_last_insert_rowid(m_db);
}

bool SqliteStatements::inTransaction() const
{
    return sqlite3_get_autocommit(m_db) == 0;
}

SqliteStatements::Shape* SqliteStatements::shape(const QString& key, const std::function<QStringList()>& translate,
                                                 QString* why, int* failed)
{
    if (const auto found = m_byKey.constFind(key); found != m_byKey.constEnd()) {
        m_shapes.splice(m_shapes.begin(), m_shapes, found.value());
        return &m_shapes.front().second;
    }
    Shape shape;
    shape.statements = translate();
    for (const QString& text : std::as_const(shape.statements)) {
        sqlite3_stmt* compiled = nullptr;
        const void* tail = nullptr;
        const int rc = sqlite3_prepare16_v3(m_db, text.utf16(), int(text.size() * sizeof(QChar)),
                                            SQLITE_PREPARE_PERSISTENT, &compiled, &tail);
        const qsizetype used = tail ? static_cast<const QChar*>(tail) - text.constData() : text.size();
        QString problem;
        if (rc != SQLITE_OK)
            problem = engineWords();
        else if (!compiled)
            problem = QStringLiteral("The statement is empty.");
        else if (!QStringView(text).mid(used).trimmed().isEmpty())
            problem = QStringLiteral("Unable to execute multiple statements at a time");
        if (!problem.isEmpty()) {
            *why = problem;
            *failed = int(shape.compiled.size());
            sqlite3_finalize(compiled);
            finalize(shape);
            return nullptr;
        }
        shape.markers.push_back(sqlite3_bind_parameter_count(compiled));
        shape.compiled.push_back(compiled);
    }
    m_shapes.emplace_front(key, std::move(shape));
    m_byKey.insert(key, m_shapes.begin());
    while (int(m_shapes.size()) > MaxShapes) {
        finalize(m_shapes.back().second);
        m_byKey.remove(m_shapes.back().first);
        m_shapes.pop_back();
    }
    return &m_shapes.front().second;
}

bool SqliteStatements::run(sqlite3_stmt* statement, QStringView command, const ledger::LiteralSpan* values, int count,
                           int* changes, QString* why)
{
    bool ok = sqlite3_bind_parameter_count(statement) == count;
    if (!ok)
        *why = QStringLiteral("Parameter count mismatch (Unable to execute statement)");
    QVarLengthArray<QString, 4> unquoted; // texts whose doubled quotes had to be undone
    unquoted.reserve(count);              // never moved while bound
    for (int i = 0; i < count && ok; ++i) {
        const ledger::LiteralSpan& value = values[i];
        const QStringView text = value.in(command);
        int rc = SQLITE_OK;
        switch (value.type) {
        case ledger::Literal::Type::Integer:
            rc = sqlite3_bind_int64(statement, i + 1, text.toLongLong());
            break;
        case ledger::Literal::Type::Decimal:
            rc = sqlite3_bind_double(statement, i + 1, text.toDouble());
            break;
        case ledger::Literal::Type::Text: {
            // The command outlives the statement's run: its text is bound without a copy.
            QStringView bound = text;
            if (value.doubledQuotes) {
                unquoted.append(value.literal(command).text);
                bound = unquoted.back();
            }
            rc = sqlite3_bind_text16(statement, i + 1, bound.utf16(), int(bound.size() * sizeof(QChar)), SQLITE_STATIC);
            break;
        }
        }
        if (rc != SQLITE_OK) {
            *why = engineWords();
            ok = false;
        }
    }
    if (ok) {
        int rc = sqlite3_step(statement);
        while (rc == SQLITE_ROW)
            rc = sqlite3_step(statement);
        ok = rc == SQLITE_DONE;
        if (ok)
            *changes = sqlite3_column_count(statement) > 0 ? -1 : sqlite3_changes(m_db);
        else
            *why = engineWords();
    }
    sqlite3_reset(statement);
    if (count > 0)
        sqlite3_clear_bindings(statement);
    return ok;
}

bool SqliteStatements::control(const QString& statement, QString* why)
{
    int failed = 0;
    Shape* compiled = shape(
        statement, [&] { return QStringList{statement}; }, why, &failed);
    int changes = 0;
    return compiled && run(compiled->compiled.front(), statement, nullptr, 0, &changes, why);
}

} // namespace tesr::sql

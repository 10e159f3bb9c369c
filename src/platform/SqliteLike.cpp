#include "platform/SqliteLike.h"

#include "ledger/LikePattern.h"

#include <QSqlDriver>
#include <QVariant>

#include <sqlite3.h>

#include <memory>
#include <optional>

namespace tesr {

namespace {

QString textOf(sqlite3_value* value)
{
    const auto* text = reinterpret_cast<const char*>(sqlite3_value_text(value));
    return text ? QString::fromUtf8(text, sqlite3_value_bytes(value)) : QString();
}

// The text as SQLite keeps it, UTF-8, read where it lies.
bool matches(const ledger::LikePattern& pattern, sqlite3_value* value)
{
    const auto* text = reinterpret_cast<const char*>(sqlite3_value_text(value));
    return pattern.matchesUtf8(text ? text : "", sqlite3_value_bytes(value));
}

// The compiled pattern of a statement, kept with its pattern argument while that stays the same
// (SQLite drops it when the argument changes), so a search compiles its pattern once, not once
// per row.
struct Compiled {
    std::optional<char32_t> escape;
    ledger::LikePattern pattern;
};

// like(pattern, text) and like(pattern, text, escape): "text LIKE pattern [ESCAPE escape]".
void tsqlLike(sqlite3_context* context, int argc, sqlite3_value** argv)
{
    for (int k = 0; k < argc; ++k) {
        if (sqlite3_value_type(argv[k]) == SQLITE_NULL)
            return sqlite3_result_null(context);
    }
    std::optional<char32_t> escape;
    if (argc == 3) {
        const QList<uint> ucs = textOf(argv[2]).toUcs4();
        if (ucs.size() != 1)
            return sqlite3_result_error(context, "ESCAPE expression must be a single character", -1);
        escape = char32_t(ucs.front());
    }
    const auto* compiled = static_cast<const Compiled*>(sqlite3_get_auxdata(context, 0));
    if (compiled && compiled->escape == escape)
        return sqlite3_result_int(context, matches(compiled->pattern, argv[1]) ? 1 : 0);
    auto fresh = std::make_unique<Compiled>(Compiled{escape, ledger::LikePattern(textOf(argv[0]), escape)});
    const bool hit = matches(fresh->pattern, argv[1]);
    // SQLite keeps it for the next row while the pattern argument stays the same.
    sqlite3_set_auxdata(context, 0, fresh.release(), [](void* p) { delete static_cast<Compiled*>(p); });
    sqlite3_result_int(context, hit ? 1 : 0);
}

} // namespace

bool installTsqlLike(const QSqlDatabase& db, QString* error)
{
    auto fail = [error](const QString& why) {
        if (error)
            *error = why;
        return false;
    };
    const QVariant handle = db.driver() ? db.driver()->handle() : QVariant();
    if (!handle.isValid() || qstrcmp(handle.typeName(), "sqlite3*") != 0)
        return fail(QStringLiteral("not a SQLite session"));
    sqlite3* connection = *static_cast<sqlite3* const*>(handle.constData());
    if (!connection)
        return fail(QStringLiteral("the SQLite session is closed"));
    for (int args : {2, 3}) {
        const int rc = sqlite3_create_function_v2(connection, "like", args, SQLITE_UTF8 | SQLITE_DETERMINISTIC, nullptr,
                                                  &tsqlLike, nullptr, nullptr, nullptr);
        if (rc != SQLITE_OK)
            return fail(QString::fromUtf8(sqlite3_errstr(rc)));
    }
    return true;
}

} // namespace tesr

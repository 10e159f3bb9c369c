// The T-SQL adaptation of every engine, on any text. Beyond not crashing:
//   - SQL Server receives the command verbatim;
//   - SQLite and PostgreSQL receive trimmed, non-empty statements, no more than the command
//     splits into, and every closed literal of the command unchanged and in order (SQLite: every
//     single quote, comments included). PostgreSQL's LIKE becomes a regular expression, so
//     there the literals after LIKE, ILIKE, ESCAPE and ~* are left out of the comparison;
//   - adapting the adapted statements again changes nothing (each rule applies once), for
//     every command whose SQLite statements SQLite itself accepts on the company schema;
//   - every name namesWritten reports is spelled in the command.

#include "FuzzSupport.h"

#include "ledger/Dialect.h"
#include "ledger/Schema.h"
#include "ledger/SqlTokens.h"

#include <sqlite3.h>

using tesr::ledger::Engine;

namespace {

qsizetype quotes(const QStringList& statements)
{
    qsizetype n = 0;
    for (const QString& s : statements)
        n += s.count(u'\'');
    return n;
}

// The literals of the statements, in order, but those a LIKE turns into something else.
QStringList literals(const QStringList& statements)
{
    namespace t = tesr::ledger::detail::tokens;
    QStringList found;
    for (const QString& statement : statements) {
        // A blank after the end tells a literal left open (it takes the blank in) from one
        // closed at the very end; what follows an open literal belongs to it, so it is left out.
        const QString text = statement + u' ';
        const auto* s = reinterpret_cast<const char16_t*>(text.utf16());
        const qsizetype n = text.size();
        t::Token last{t::Kind::End, 0, 0}, beforeLast{t::Kind::End, 0, 0};
        for (qsizetype i = 0; i < n;) {
            const t::Token token = t::scan(s, n, i);
            i = token.end;
            if (token.kind == t::Kind::Space || token.kind == t::Kind::LineComment ||
                token.kind == t::Kind::BlockComment)
                continue;
            const bool patternOrEscape =
                last.kind == t::Kind::Word &&
                (t::is(s, last, "like") || t::is(s, last, "ilike") || t::is(s, last, "escape"));
            const bool regex = last.kind == t::Kind::Punct && s[last.begin] == u'*' &&
                               beforeLast.kind == t::Kind::Punct && s[beforeLast.begin] == u'~';
            if (token.kind == t::Kind::String && !patternOrEscape && !regex && token.end < n)
                found << statement.mid(token.begin, token.end - token.begin);
            beforeLast = last;
            last = token;
        }
    }
    return found;
}

// SQLite itself, with the company schema, says which adapted statements are well formed.
sqlite3* engine()
{
    static sqlite3* db = [] {
        sqlite3* opened = nullptr;
        sqlite3_open(":memory:", &opened);
        for (const QString& statement : tesr::ledger::schemaStatements(Engine::SQLite))
            if (sqlite3_exec(opened, statement.toUtf8().constData(), nullptr, nullptr, nullptr) != SQLITE_OK)
                fuzz::fail(QStringLiteral("schema: ") + QString::fromUtf8(sqlite3_errmsg(opened)));
        return opened;
    }();
    return db;
}

bool sqliteAccepts(const QStringList& statements)
{
    for (const QString& statement : statements) {
        sqlite3_stmt* prepared = nullptr;
        const QByteArray text = statement.toUtf8();
        const char* tail = nullptr;
        const int rc = sqlite3_prepare_v2(engine(), text.constData(), int(text.size()), &prepared, &tail);
        sqlite3_finalize(prepared);
        // One statement, all of it read (SQLite stops at a NUL character).
        if (rc != SQLITE_OK || !prepared || !tail || text.mid(tail - text.constData()).trimmed().size() > 0)
            return false;
    }
    return !statements.isEmpty();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QString command = fuzz::text(data, size);
    static const auto sqlite = tesr::ledger::makeDialect(Engine::SQLite);
    static const auto postgres = tesr::ledger::makeDialect(Engine::PostgreSQL);
    static const auto sqlServer = tesr::ledger::makeDialect(Engine::SqlServer);

    const QStringList verbatim = sqlServer->translate(command);
    FUZZ_CHECK(verbatim == (command.trimmed().isEmpty() ? QStringList() : QStringList{command}), fuzz::shown(verbatim));

    const QStringList pieces = tesr::ledger::splitStatements(command);
    const bool wellFormed = sqliteAccepts(sqlite->translate(command));
    FUZZ_CHECK(quotes(pieces) == command.count(u'\''), fuzz::shown(pieces));
    for (const auto* dialect : {sqlite.get(), postgres.get()}) {
        const QStringList statements = dialect->translate(command);
        const QString engine = dialect->displayName() + QStringLiteral(": ");
        // A piece that is nothing but a table hint is dropped with it.
        FUZZ_CHECK(statements.size() <= pieces.size(), engine + fuzz::shown(statements) + " / " + fuzz::shown(pieces));
        for (const QString& s : statements)
            FUZZ_CHECK(!s.isEmpty() && s == s.trimmed(), engine + fuzz::shown(s));
        if (dialect == sqlite.get())
            FUZZ_CHECK(quotes(statements) == command.count(u'\''), engine + fuzz::shown(statements));
        FUZZ_CHECK(literals(statements) == literals(pieces),
                   engine + fuzz::shown(literals(statements)) + " / " + fuzz::shown(literals(pieces)));
        if (!wellFormed)
            continue;
        // A line break before each ';': a line comment at a statement's end stays closed.
        const QStringList again = dialect->translate(statements.join(QStringLiteral("\n;\n")));
        FUZZ_CHECK(again == statements, engine + fuzz::shown(statements) + " became " + fuzz::shown(again));
    }

    for (const QString& name : tesr::ledger::namesWritten(command)) {
        const bool spelled = command.contains(name) ||
                             command.contains(QString(name).replace(QStringLiteral("]"), QStringLiteral("]]"))) ||
                             command.contains(QString(name).replace(QStringLiteral("\""), QStringLiteral("\"\"")));
        FUZZ_CHECK(spelled, fuzz::shown(name));
    }
    return 0;
}

#include "ledger/Dialect.h"
#include "ledger/DialectImpl.h"
#include "ledger/LikePattern.h"
#include "ledger/SqlTokens.h"

#include <QVarLengthArray>

#include <algorithm>
#include <cstring>
#include <optional>

using namespace Qt::StringLiterals;

namespace tesr::ledger {

using namespace detail::tokens;

namespace {

// SQLite's reserved words: a bracketed name spelled like one keeps quotes.
bool isReservedWord(QStringView name)
{
    static const QString words = QStringLiteral(
        " ABORT ACTION ADD AFTER ALL ALTER ALWAYS ANALYZE AND AS ASC ATTACH AUTOINCREMENT BEFORE BEGIN BETWEEN BY "
        "CASCADE CASE CAST CHECK COLLATE COLUMN COMMIT CONFLICT CONSTRAINT CREATE CROSS CURRENT CURRENT_DATE "
        "CURRENT_TIME CURRENT_TIMESTAMP DATABASE DEFAULT DEFERRABLE DEFERRED DELETE DESC DETACH DISTINCT DO DROP EACH "
        "ELSE END ESCAPE EXCEPT EXCLUDE EXCLUSIVE EXISTS EXPLAIN FAIL FILTER FIRST FOLLOWING FOR FOREIGN FROM FULL "
        "GENERATED GLOB GROUP GROUPS HAVING IF IGNORE IMMEDIATE IN INDEX INDEXED INITIALLY INNER INSERT INSTEAD "
        "INTERSECT INTO IS ISNULL JOIN KEY LAST LEFT LIKE LIMIT MATCH MATERIALIZED NATURAL NO NOT NOTHING NOTNULL NULL "
        "NULLS OF OFFSET ON OR ORDER OTHERS OUTER OVER PARTITION PLAN PRAGMA PRECEDING PRIMARY QUERY RAISE RANGE "
        "RECURSIVE REFERENCES REGEXP REINDEX RELEASE RENAME REPLACE RESTRICT RETURNING RIGHT ROLLBACK ROW ROWS "
        "SAVEPOINT SELECT SET TABLE TEMP TEMPORARY THEN TIES TO TRANSACTION TRIGGER UNBOUNDED UNION UNIQUE UPDATE "
        "USER USING VACUUM VALUES VIEW VIRTUAL WHEN WHERE WINDOW WITH WITHOUT ");
    return words.contains(u' ' + name.toString().toUpper() + u' ');
}

bool isPlainName(QStringView name)
{
    if (name.isEmpty() || !(isAsciiLetter(name[0].unicode()) || name[0] == u'_'))
        return false;
    for (QChar c : name)
        if (!(isAsciiLetter(c.unicode()) || isDigit(c.unicode()) || c == u'_'))
            return false;
    return !isReservedWord(name);
}

// [Na]]me] -> Na]me, then either bare (plain names) or in double quotes.
void appendUnbracketed(QString& out, QStringView bracketed, char16_t next)
{
    if (bracketed.size() < 2 || bracketed.back() != u']') {
        out += bracketed; // unterminated: the engine reports it
        return;
    }
    QString name = bracketed.mid(1, bracketed.size() - 2).toString();
    name.replace(u"]]"_s, u"]"_s);
    if (isPlainName(name)) {
        // "a[b]" or "[b]c" must not become one word "ab" or "bc".
        if (!out.isEmpty() && isWordChar(out.back().unicode()))
            out += u' ';
        out += name;
        if (next && isWordChar(next))
            out += u' ';
        return;
    }
    name.replace(u'"', u"\"\""_s);
    out += u'"';
    out += name;
    out += u'"';
}

} // namespace

namespace detail {

QStringList rewrite(const QString& command, const RewriteRules& rules)
{
    const char16_t* s = reinterpret_cast<const char16_t*>(command.utf16());
    const qsizetype n = command.size();
    const bool rewritesDetails = !rules.paymentDetailsOpen.isEmpty();

    // One entry per open parenthesis: a SELECT's TOP, its ORDER BY and its lock belong to the
    // level they stand on.
    struct Level {
        bool expectTop = false;    // just after SELECT [DISTINCT|ALL]
        bool closesCall = false;   // the '(' of a rewritten dbo.PaymentDetails call
        qsizetype limitBegin = -1; // the TOP count, moved to a LIMIT at the level's end
        qsizetype limitEnd = -1;
        bool forUpdate = false;  // a table hint asked for an update lock
        bool afterOrder = false; // ORDER seen, BY expected
        bool inOrderBy = false;  // inside the ORDER BY list
        bool itemSeen = false;   // the current ORDER BY item has begun
        bool itemDesc = false;   // ... and its last word so far is DESC
        bool itemHasNulls = false;
        qsizetype itemEnd = 0; // where the item's last token ends in the source
        // A compound query (UNION, EXCEPT, INTERSECT): T-SQL's TOP limits its own branch, while
        // LIMIT would limit the whole result. A branch with a TOP becomes a derived table with
        // the LIMIT inside it; a trailing ORDER BY stays with the whole result.
        qsizetype branchBegin = -1; // where the current branch's SELECT stands in `current`
        bool compound = false;      // a UNION, EXCEPT or INTERSECT has been seen
        qsizetype orderBegin = -1;  // where the ORDER of the current branch stands in `current`
        bool orderAfterLineComment = false;
    };
    QVarLengthArray<Level, 8> levels(1);

    QStringList statements;
    QString current;
    qsizetype copied = 0; // source text before this is already in `current` (or dropped)
    bool afterLineComment = false;
    qsizetype orderCandidate = -1; // where the last ORDER stands in `current`, until BY confirms it
    bool orderAfterLineComment = false;

    auto flush = [&](qsizetype upTo) {
        if (upTo > copied)
            current.append(QStringView(s + copied, upTo - copied));
        copied = std::max(copied, upTo);
    };
    // NULLS FIRST/LAST goes right after the item's last token, before any blank or comment
    // that followed it (all of which were copied as they stand).
    auto closeOrderItem = [&](Level& level) {
        if (rules.nullsLowest && level.inOrderBy && level.itemSeen && !level.itemHasNulls) {
            const qsizetype at = current.size() - std::max<qsizetype>(0, copied - level.itemEnd);
            current.insert(std::max<qsizetype>(0, at), level.itemDesc ? u" NULLS LAST" : u" NULLS FIRST");
        }
        level.itemSeen = level.itemDesc = level.itemHasNulls = false;
    };
    // SELECT * FROM (branch LIMIT n) AS branch, for the branch that ends at `end` in `current`;
    // `more`: a word follows (the next UNION), so a blank must too.
    auto wrapBranch = [&](Level& level, qsizetype end, bool lineCommentBefore, bool more) {
        const QString tail = current.mid(end);
        current.truncate(end);
        while (!current.isEmpty() && isSpace(current.back().unicode()))
            current.chop(1);
        current += lineCommentBefore ? u"\n" : u" ";
        current += u"LIMIT ";
        current.append(QStringView(s + level.limitBegin, level.limitEnd - level.limitBegin));
        current += u") AS branch";
        if (more || !tail.isEmpty())
            current += u' ';
        current += tail;
        current.insert(level.branchBegin, u"SELECT * FROM ("_s);
        level.limitBegin = level.limitEnd = -1;
    };
    auto closeLevel = [&](Level& level) {
        closeOrderItem(level);
        level.inOrderBy = false;
        if (level.compound && level.limitBegin >= 0 && level.branchBegin >= 0) {
            const bool ordered = level.orderBegin >= 0;
            wrapBranch(level, ordered ? level.orderBegin : current.size(),
                       ordered ? level.orderAfterLineComment : afterLineComment, false);
        }
        while (!current.isEmpty() && isSpace(current.back().unicode()) && (level.limitBegin >= 0 || level.forUpdate))
            current.chop(1);
        // A line comment swallows the rest of its line.
        const QStringView gap = afterLineComment ? u"\n" : u" ";
        if (level.limitBegin >= 0) {
            current += gap;
            current += u"LIMIT ";
            current.append(QStringView(s + level.limitBegin, level.limitEnd - level.limitBegin));
        }
        if (level.forUpdate) {
            current += level.limitBegin >= 0 ? u" " : gap;
            current += u"FOR UPDATE";
        }
    };
    auto finishStatement = [&](qsizetype end) {
        flush(end);
        // Parentheses left open (a malformed command, which the engine reports) close here,
        // innermost first, as they would have at a ')'.
        while (levels.size() > 1) {
            closeLevel(levels.back());
            levels.removeLast();
            if (levels.back().inOrderBy)
                levels.back().itemEnd = copied;
        }
        closeLevel(levels.front());
        QString text = current.trimmed();
        if (!text.isEmpty())
            statements.append(std::move(text));
        current = QString();
        levels.clear();
        levels.append(Level{});
        afterLineComment = false;
    };
    // Words that end an ORDER BY list at its level.
    auto endsOrderBy = [&](const Token& t) {
        return is(s, t, "limit") || is(s, t, "offset") || is(s, t, "for") || is(s, t, "union") || is(s, t, "except") ||
               is(s, t, "intersect") || is(s, t, "fetch") || is(s, t, "option");
    };
    // WITH ( hint [, hint...] ) after a table name: the span it covers, or -1.
    auto lockHintEnd = [&](const Token& with, bool* updateLock) -> qsizetype {
        const Token open = scanSignificant(s, n, with.end);
        if (!isPunct(s, open, u'('))
            return -1;
        Token t = scanSignificant(s, n, open.end);
        bool any = false;
        while (t.kind == Kind::Word) {
            const bool hint = is(s, t, "nolock") || is(s, t, "updlock") || is(s, t, "rowlock") ||
                              is(s, t, "holdlock") || is(s, t, "xlock") || is(s, t, "readpast") ||
                              is(s, t, "paglock") || is(s, t, "tablock") || is(s, t, "tablockx") ||
                              is(s, t, "serializable") || is(s, t, "readcommitted") || is(s, t, "nowait") ||
                              is(s, t, "readuncommitted") || is(s, t, "repeatableread");
            if (!hint)
                return -1;
            any = true;
            if (is(s, t, "updlock") || is(s, t, "xlock"))
                *updateLock = true;
            t = scanSignificant(s, n, t.end);
            if (isPunct(s, t, u','))
                t = scanSignificant(s, n, t.end);
            else
                break;
        }
        return any && isPunct(s, t, u')') ? t.end : -1;
    };

    // The text of a '...' literal, or nothing when it is unterminated.
    auto literalText = [&](const Token& t) -> std::optional<QString> {
        if (t.kind != Kind::String || t.end - t.begin < 2 || s[t.end - 1] != u'\'')
            return std::nullopt;
        return QStringView(s + t.begin + 1, t.end - t.begin - 2).toString().replace(u"''"_s, u"'"_s);
    };
    // x [NOT] LIKE 'pattern' [ESCAPE 'c'] as a regular expression match; false (nothing done)
    // when the pattern or the escape is no literal. notBegin: where a NOT before LIKE begins.
    auto likeAsRegex = [&](const Token& like, qsizetype notBegin) {
        const Token pattern = scanSignificant(s, n, like.end);
        const std::optional<QString> text = literalText(pattern);
        if (!text)
            return false;
        qsizetype end = pattern.end;
        std::optional<char32_t> escape;
        const Token escapeWord = scanSignificant(s, n, pattern.end);
        if (escapeWord.kind == Kind::Word && is(s, escapeWord, "escape")) {
            const Token escapeChar = scanSignificant(s, n, escapeWord.end);
            const std::optional<QString> c = literalText(escapeChar);
            const QList<uint> ucs = c ? c->toUcs4() : QList<uint>();
            if (ucs.size() != 1)
                return false;
            escape = char32_t(ucs.front());
            end = escapeChar.end;
        }
        QString regex = LikePattern(*text, escape).toPostgresRegex();
        regex.replace(u"'"_s, u"''"_s);
        flush(notBegin >= 0 ? notBegin : like.begin);
        current += notBegin >= 0 ? u"!~* '" : u"~* '";
        current += regex;
        current += u'\'';
        copied = end;
        return true;
    };

    qsizetype i = 0;
    qsizetype lastNot = -1; // where the last significant token began, when it was NOT
    while (i < n) {
        const Token t = scan(s, n, i);
        const qsizetype notBefore = lastNot;
        if (t.kind != Kind::Space && t.kind != Kind::LineComment && t.kind != Kind::BlockComment)
            lastNot = t.kind == Kind::Word && is(s, t, "not") ? t.begin : -1;
        Level& level = levels.back();
        if (level.inOrderBy && t.kind != Kind::Space && t.kind != Kind::LineComment && t.kind != Kind::BlockComment) {
            const bool listEnds =
                isPunct(s, t, u')') || isPunct(s, t, u';') || (t.kind == Kind::Word && endsOrderBy(t));
            if (listEnds) {
                flush(t.begin);
                closeOrderItem(level);
                level.inOrderBy = false;
            } else if (isPunct(s, t, u',')) {
                flush(t.begin);
                closeOrderItem(level);
                i = t.end;
                continue;
            } else {
                level.itemSeen = true;
                level.itemEnd = t.end;
                level.itemDesc = t.kind == Kind::Word && is(s, t, "desc");
                if (t.kind == Kind::Word && is(s, t, "nulls"))
                    level.itemHasNulls = true;
            }
        }
        switch (t.kind) {
        case Kind::Space:
        case Kind::BlockComment:
            i = t.end;
            continue;
        case Kind::LineComment:
            afterLineComment = true;
            i = t.end;
            continue;
        case Kind::Punct: {
            const char16_t c = s[t.begin];
            level.afterOrder = false;
            if (c == u';' && levels.size() == 1 && rules.split) {
                finishStatement(t.begin);
                copied = t.end;
                i = t.end;
                continue;
            }
            if (c == u'(') {
                level.expectTop = false;
                levels.append(Level{});
            } else if (c == u')' && levels.size() > 1) {
                Level closed = levels.back();
                levels.removeLast();
                flush(t.begin);
                closeLevel(closed);
                if (closed.closesCall) {
                    flush(t.end);
                    current += rules.paymentDetailsClose;
                }
                if (levels.back().inOrderBy)
                    levels.back().itemEnd = t.end;
            } else {
                level.expectTop = false;
            }
            break;
        }
        case Kind::Word:
            if (level.expectTop && rules.topToLimit && is(s, t, "top")) {
                // TOP n or TOP (n); TOP ... PERCENT and WITH TIES have no LIMIT form: left alone.
                Token count = scanSignificant(s, n, t.end);
                qsizetype after = count.end;
                const bool parenthesised = isPunct(s, count, u'(');
                if (parenthesised) {
                    count = scanSignificant(s, n, count.end);
                    const Token close = scanSignificant(s, n, count.end);
                    after = isPunct(s, close, u')') ? close.end : -1;
                }
                bool whole = count.kind == Kind::Number && after > 0;
                for (qsizetype k = count.begin; whole && k < count.end; ++k)
                    whole = isDigit(s[k]);
                const Token next = scanSignificant(s, n, std::max<qsizetype>(after, 0));
                if (whole && !is(s, next, "percent") && !is(s, next, "with")) {
                    flush(t.begin);
                    level.limitBegin = count.begin;
                    level.limitEnd = count.end;
                    level.expectTop = false;
                    const Token blank = scan(s, n, after);
                    copied = blank.kind == Kind::Space ? blank.end : after;
                    i = copied;
                    afterLineComment = false;
                    continue;
                }
            }
            if (rules.dropLockHints && is(s, t, "with")) {
                bool updateLock = false;
                const qsizetype end = lockHintEnd(t, &updateLock);
                if (end > 0) {
                    flush(t.begin);
                    // The blank before the hint stays; the one after it goes.
                    const Token blank = scan(s, n, end);
                    copied = blank.kind == Kind::Space ? blank.end : end;
                    if (blank.kind == Kind::Space && copied < n && !current.isEmpty() &&
                        !isSpace(current.back().unicode()))
                        current += u' ';
                    if (updateLock && rules.lockHintsForUpdate)
                        level.forUpdate = true;
                    if (level.inOrderBy) // the dropped hint is no place for NULLS FIRST/LAST
                        level.itemEnd = copied;
                    i = copied;
                    afterLineComment = false;
                    continue;
                }
            }
            if (is(s, t, "order")) {
                level.afterOrder = true;
                flush(t.begin);
                orderCandidate = current.size();
                orderAfterLineComment = afterLineComment;
            } else if (level.afterOrder && is(s, t, "by")) {
                level.afterOrder = false;
                level.inOrderBy = true;
                level.itemSeen = level.itemDesc = level.itemHasNulls = false;
                level.orderBegin = orderCandidate;
                level.orderAfterLineComment = orderAfterLineComment;
            } else {
                level.afterOrder = false;
            }
            if (rules.topToLimit && (is(s, t, "union") || is(s, t, "except") || is(s, t, "intersect"))) {
                if (level.limitBegin >= 0 && level.branchBegin >= 0) {
                    flush(t.begin);
                    wrapBranch(level, current.size(), afterLineComment, true);
                }
                level.compound = true;
                level.branchBegin = level.orderBegin = -1;
            }
            if (rules.likeToRegex && is(s, t, "like")) {
                if (likeAsRegex(t, notBefore)) {
                    // The pattern, rewritten, ends the ORDER BY item so far: NULLS FIRST/LAST
                    // goes after it, never into it.
                    if (level.inOrderBy)
                        level.itemEnd = copied;
                    level.expectTop = false;
                    level.afterOrder = false;
                    afterLineComment = false;
                    i = copied;
                    lastNot = -1;
                    continue;
                }
                flush(t.begin);
                current += u"ILIKE";
                copied = t.end;
            }
            if (is(s, t, "select")) {
                level.expectTop = true;
                flush(t.begin);
                level.branchBegin = current.size();
                level.orderBegin = -1;
            } else if (!(level.expectTop && (is(s, t, "distinct") || is(s, t, "all"))))
                level.expectTop = false;
            [[fallthrough]];
        case Kind::BracketName: {
            if (t.kind == Kind::BracketName) {
                level.expectTop = false;
                level.afterOrder = false;
            }
            if (rewritesDetails && (is(s, t, "dbo") || (t.kind == Kind::BracketName && is(s, t, "[dbo]")))) {
                const Token dot = scanSignificant(s, n, t.end);
                const Token name = isPunct(s, dot, u'.') ? scanSignificant(s, n, dot.end) : Token{Kind::End, n, n};
                const bool named = is(s, name, "paymentdetails") ||
                                   (name.kind == Kind::BracketName && is(s, name, "[paymentdetails]"));
                const Token open = named ? scanSignificant(s, n, name.end) : Token{Kind::End, n, n};
                if (isPunct(s, open, u'(')) {
                    flush(t.begin);
                    current += rules.paymentDetailsOpen;
                    copied = open.end;
                    i = open.end;
                    Level call;
                    call.closesCall = true;
                    levels.append(call);
                    afterLineComment = false;
                    continue;
                }
            }
            if (t.kind == Kind::BracketName && rules.unbracketNames) {
                flush(t.begin);
                appendUnbracketed(current, QStringView(s + t.begin, t.end - t.begin), t.end < n ? s[t.end] : u'\0');
                copied = t.end;
            }
            break;
        }
        case Kind::Number:
        case Kind::String:
        case Kind::QuotedName:
        case Kind::End:
            level.expectTop = false;
            level.afterOrder = false;
            break;
        }
        afterLineComment = false;
        i = t.end;
    }
    finishStatement(n);
    return statements;
}

QStringList DialectBase::translate(const QString& command) const
{
    if (m_rules)
        return rewrite(command, *m_rules);
    if (command.trimmed().isEmpty())
        return {};
    return {command};
}

} // namespace detail

Dialect::Command Dialect::prepareCommand(const QString& command) const
{
    Command prepared;
    prepared.statements = translate(command);
    prepared.compound = prepared.statements.size() > 1;
    return prepared;
}

QStringList splitStatements(const QString& command)
{
    return detail::rewrite(command, detail::RewriteRules{});
}

QStringList namesWritten(const QString& command)
{
    const char16_t* s = reinterpret_cast<const char16_t*>(command.utf16());
    const qsizetype n = command.size();
    QStringList names;
    for (Token t = scan(s, n, 0); t.kind != Kind::End; t = scan(s, n, t.end)) {
        const QStringView span(s + t.begin, t.end - t.begin);
        if (t.kind == Kind::Word) {
            names << span.toString();
        } else if ((t.kind == Kind::BracketName || t.kind == Kind::QuotedName) && span.size() >= 2) {
            const QString close = t.kind == Kind::BracketName ? QStringLiteral("]") : QStringLiteral("\"");
            QString name = span.mid(1, span.size() - 2).toString();
            names << name.replace(close + close, close);
        }
    }
    return names;
}

std::unique_ptr<Dialect> makeDialect(Engine engine)
{
    switch (engine) {
    case Engine::SQLite:
        return detail::makeSqliteDialect();
    case Engine::SqlServer:
        return detail::makeSqlServerDialect();
    case Engine::PostgreSQL:
        return detail::makePostgresDialect();
    }
    return nullptr;
}

} // namespace tesr::ledger

#include "ledger/Literals.h"
#include "ledger/SqlTokens.h"

#include <QVarLengthArray>

#include <limits>

namespace tesr::ledger {

using namespace detail::tokens;

namespace {

// Where in a statement a literal stands, by the clause of its parenthesis level.
enum class Clause : quint8 { Other, SelectList, OrderBy, GroupBy };

struct Level {
    bool keep = false; // literals at this level and inside it stay where they are
    Clause clause = Clause::Other;
    bool byExpected = false; // ORDER or GROUP seen, BY to follow
    Clause pending = Clause::Other;
};

bool isAny(const char16_t* s, const Token& t, std::initializer_list<const char*> words)
{
    for (const char* w : words)
        if (is(s, t, w))
            return true;
    return false;
}

// Statements whose literals are values.
bool startsLiftable(const char16_t* s, const Token& first)
{
    if (first.kind == Kind::Punct)
        return s[first.begin] == u'(';
    return first.kind == Kind::Word &&
           isAny(s, first, {"select", "insert", "update", "delete", "with", "values", "merge"});
}

// Words after which a literal is a value (an operand), not part of the statement's form.
bool valueFollows(const char16_t* s, const Token& t)
{
    return isAny(s, t, {"and", "or", "not", "is", "then", "else", "when", "case", "between", "where", "having", "on"});
}

// A '(' after one of these holds a count or a type size, not values.
bool holdsCount(const char16_t* s, const Token& t)
{
    return isAny(s, t, {"top",   "limit",     "offset",         "fetch",     "char",      "character", "varchar",
                        "nchar", "nvarchar",  "binary",         "varbinary", "decimal",   "dec",       "numeric",
                        "float", "datetime2", "datetimeoffset", "time",      "timestamp", "varying",   "bit"});
}

// Words that end a select list, or an ORDER BY / GROUP BY list, at their level.
bool endsList(const char16_t* s, const Token& t)
{
    return isAny(s, t,
                 {"from", "where", "group", "having", "order", "union", "except", "intersect", "into", "limit",
                  "offset", "fetch", "for", "window", "option"});
}

// A '...' span whose closing quote is there (every quote inside it doubled).
bool terminated(QStringView span)
{
    return span.size() >= 2 && span.count(u'\'') % 2 == 0;
}

bool parseable(const Literal& literal)
{
    bool ok = false;
    if (literal.type == Literal::Type::Integer) {
        literal.text.toLongLong(&ok);
        return ok;
    }
    const double value = literal.text.toDouble(&ok);
    return ok && value - value == 0; // finite
}

} // namespace

LiftedCommand liftLiterals(QStringView command)
{
    const char16_t* s = reinterpret_cast<const char16_t*>(command.utf16());
    const qsizetype n = command.size();
    LiftedCommand lifted;

    // A command that already holds a parameter marker is left as it is: its markers and ours
    // would be numbered together.
    for (Token t = scan(s, n, 0); t.kind != Kind::End; t = scan(s, n, t.end)) {
        if (isPunct(s, t, u'?') || isPunct(s, t, u'$')) {
            lifted.shape = command.toString();
            return lifted;
        }
    }

    QVarLengthArray<Level, 8> levels(1);
    bool statementStart = true;
    bool liftable = false;
    Token previous{Kind::End, 0, 0}; // the last token that is not blank or a comment
    qsizetype copied = 0;

    for (Token t = scan(s, n, 0); t.kind != Kind::End; t = scan(s, n, t.end)) {
        if (t.kind == Kind::Space || t.kind == Kind::LineComment || t.kind == Kind::BlockComment)
            continue;
        if (statementStart) {
            liftable = startsLiftable(s, t);
            statementStart = false;
        }
        Level& level = levels.back();
        switch (t.kind) {
        case Kind::Punct:
            if (s[t.begin] == u';' && levels.size() == 1) {
                statementStart = true;
                levels[0] = Level{};
            } else if (s[t.begin] == u'(') {
                Level inner;
                inner.keep = level.keep || level.clause != Clause::Other ||
                             (previous.kind == Kind::Word && holdsCount(s, previous));
                levels.append(inner);
            } else if (s[t.begin] == u')' && levels.size() > 1) {
                levels.removeLast();
            }
            break;
        case Kind::Word:
            if (level.byExpected && is(s, t, "by")) {
                level.clause = level.pending;
                level.byExpected = false;
                break;
            }
            level.byExpected = false;
            if (is(s, t, "select")) {
                level.clause = Clause::SelectList;
            } else if (level.clause != Clause::Other && endsList(s, t)) {
                level.clause = Clause::Other;
            }
            if (level.clause == Clause::Other && (is(s, t, "order") || is(s, t, "group"))) {
                level.byExpected = true;
                level.pending = is(s, t, "order") ? Clause::OrderBy : Clause::GroupBy;
            }
            break;
        case Kind::Number:
        case Kind::String: {
            const QStringView span = command.mid(t.begin, t.end - t.begin);
            // Glued to a word on either side (N'...', 0x1F, 'a'AND): part of something else.
            const bool glued = (t.begin > 0 && previous.end == t.begin &&
                                (previous.kind == Kind::Word || isPunct(s, previous, u'&'))) ||
                               (t.end < n && isWordChar(s[t.end]));
            bool place = liftable && !level.keep && level.clause == Clause::Other && !glued;
            if (place) {
                if (previous.kind == Kind::Punct)
                    place = !isPunct(s, previous, u'.') && !isPunct(s, previous, u':') && !isPunct(s, previous, u')');
                else
                    place = previous.kind == Kind::Word && valueFollows(s, previous);
            }
            Literal literal;
            if (t.kind == Kind::String) {
                place = place && terminated(span) && !span.contains(QChar(0));
                literal.type = Literal::Type::Text;
                if (place)
                    literal.text =
                        span.mid(1, span.size() - 2).toString().replace(QStringLiteral("''"), QStringLiteral("'"));
            } else {
                bool digits = true;
                for (QChar c : span)
                    digits = digits && c.isDigit();
                literal.type = digits ? Literal::Type::Integer : Literal::Type::Decimal;
                literal.text = span.toString();
                place = place && parseable(literal);
            }
            if (place) {
                lifted.shape.append(command.mid(copied, t.begin - copied));
                lifted.shape.append(u'?');
                copied = t.end;
                lifted.literals.append(std::move(literal));
            }
            break;
        }
        default:
            break;
        }
        previous = t;
    }
    lifted.shape.append(command.mid(copied));
    return lifted;
}

int countMarkers(QStringView shape)
{
    const char16_t* s = reinterpret_cast<const char16_t*>(shape.utf16());
    const qsizetype n = shape.size();
    int count = 0;
    for (Token t = scan(s, n, 0); t.kind != Kind::End; t = scan(s, n, t.end))
        count += isPunct(s, t, u'?') ? 1 : 0;
    return count;
}

QString restoreLiterals(const LiftedCommand& lifted)
{
    const QString& shape = lifted.shape;
    const char16_t* s = reinterpret_cast<const char16_t*>(shape.utf16());
    const qsizetype n = shape.size();
    QString out;
    qsizetype copied = 0;
    qsizetype next = 0;
    for (Token t = scan(s, n, 0); t.kind != Kind::End && next < lifted.literals.size(); t = scan(s, n, t.end)) {
        if (!isPunct(s, t, u'?'))
            continue;
        out.append(QStringView(shape).mid(copied, t.begin - copied));
        const Literal& literal = lifted.literals[next++];
        if (literal.type == Literal::Type::Text)
            out += u'\'' + QString(literal.text).replace(QStringLiteral("'"), QStringLiteral("''")) + u'\'';
        else
            out += literal.text;
        copied = t.end;
    }
    out.append(QStringView(shape).mid(copied));
    return out;
}

} // namespace tesr::ledger

#include "ledger/Literals.h"
#include "ledger/SqlTokens.h"

#include <QVarLengthArray>

#include <array>
#include <cstring>
#include <vector>

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

// What the lifter needs to know of a keyword.
enum WordFlag : unsigned {
    StartsValues = 1, // SELECT, INSERT, ...: a statement whose literals are values
    ValueFollows = 2, // AND, THEN, ...: a literal after it is an operand
    HoldsCount = 4,   // TOP, VARCHAR, ...: a '(' after it holds a count or a type size
    EndsList = 8,     // FROM, ORDER, ...: ends a select list or an ORDER BY / GROUP BY list
    IsSelect = 16,
    IsOrder = 32,
    IsGroup = 64,
    IsBy = 128,
};

// The flags of a word (0 for a word that is none of these keywords), without regard to case.
unsigned wordFlags(const char16_t* s, const Token& t)
{
    struct Keyword {
        const char* word;
        unsigned flags;
    };
    static constexpr Keyword keywords[] = {
        {"select", StartsValues | IsSelect},
        {"insert", StartsValues},
        {"update", StartsValues},
        {"delete", StartsValues},
        {"with", StartsValues},
        {"values", StartsValues},
        {"merge", StartsValues},
        {"and", ValueFollows},
        {"or", ValueFollows},
        {"not", ValueFollows},
        {"is", ValueFollows},
        {"then", ValueFollows},
        {"else", ValueFollows},
        {"when", ValueFollows},
        {"case", ValueFollows},
        {"between", ValueFollows},
        {"where", ValueFollows | EndsList},
        {"having", ValueFollows | EndsList},
        {"on", ValueFollows},
        {"top", HoldsCount},
        {"limit", HoldsCount | EndsList},
        {"offset", HoldsCount | EndsList},
        {"fetch", HoldsCount | EndsList},
        {"char", HoldsCount},
        {"character", HoldsCount},
        {"varchar", HoldsCount},
        {"nchar", HoldsCount},
        {"nvarchar", HoldsCount},
        {"binary", HoldsCount},
        {"varbinary", HoldsCount},
        {"decimal", HoldsCount},
        {"dec", HoldsCount},
        {"numeric", HoldsCount},
        {"float", HoldsCount},
        {"datetime2", HoldsCount},
        {"datetimeoffset", HoldsCount},
        {"time", HoldsCount},
        {"timestamp", HoldsCount},
        {"varying", HoldsCount},
        {"bit", HoldsCount},
        {"from", EndsList},
        {"group", EndsList | IsGroup},
        {"order", EndsList | IsOrder},
        {"union", EndsList},
        {"except", EndsList},
        {"intersect", EndsList},
        {"into", EndsList},
        {"for", EndsList},
        {"window", EndsList},
        {"option", EndsList},
        {"by", IsBy},
    };
    constexpr qsizetype Longest = 14;
    const qsizetype length = t.end - t.begin;
    if (length < 2 || length > Longest)
        return 0;
    char lower[Longest + 1] = {};
    for (qsizetype k = 0; k < length; ++k) {
        char16_t c = s[t.begin + k];
        if (c >= u'A' && c <= u'Z')
            c = char16_t(c + 32);
        if (c > 0x7f)
            return 0;
        lower[k] = char(c);
    }
    // Looked up among the keywords of the same first letter.
    static const auto byLetter = [] {
        std::array<std::vector<const Keyword*>, 26> table;
        for (const Keyword& keyword : keywords)
            table[size_t(keyword.word[0] - 'a')].push_back(&keyword);
        return table;
    }();
    if (lower[0] < 'a' || lower[0] > 'z')
        return 0;
    for (const Keyword* keyword : byLetter[size_t(lower[0] - 'a')])
        if (std::strcmp(keyword->word, lower) == 0)
            return keyword->flags;
    return 0;
}

// A '...' span whose closing quote is there (every quote inside it doubled).
bool terminated(QStringView span)
{
    return span.size() >= 2 && span.count(u'\'') % 2 == 0;
}

bool parseable(Literal::Type type, QStringView text)
{
    bool ok = false;
    if (type == Literal::Type::Integer) {
        if (text.size() <= 18) // digits only: fits 64 bits
            return true;
        (void)text.toLongLong(&ok);
        return ok;
    }
    const double value = text.toDouble(&ok);
    return ok && value - value == 0; // finite
}

} // namespace

Literal LiteralSpan::literal(QStringView command) const
{
    Literal value{type, in(command).toString()};
    if (doubledQuotes)
        value.text.replace(QStringLiteral("''"), QStringLiteral("'"));
    return value;
}

LiftedCommand liftLiterals(QStringView command)
{
    LiftedCommand lifted;
    std::vector<LiteralSpan> spans;
    liftLiteralSpans(command, &lifted.shape, &spans);
    lifted.literals.reserve(qsizetype(spans.size()));
    for (const LiteralSpan& span : spans)
        lifted.literals.append(span.literal(command));
    return lifted;
}

void liftLiteralSpans(QStringView command, QString* shape, std::vector<LiteralSpan>* spans)
{
    const char16_t* s = reinterpret_cast<const char16_t*>(command.utf16());
    const qsizetype n = command.size();
    shape->resize(0);
    shape->reserve(n);
    spans->clear();

    QVarLengthArray<Level, 8> levels(1);
    bool statementStart = true;
    bool liftable = false;
    Token previous{Kind::End, 0, 0}; // the last token that is not blank or a comment
    unsigned previousFlags = 0;      // ... its keyword flags when it is a word
    qsizetype copied = 0;

    for (Token t = scan(s, n, 0); t.kind != Kind::End; t = scan(s, n, t.end)) {
        if (t.kind == Kind::Space || t.kind == Kind::LineComment || t.kind == Kind::BlockComment)
            continue;
        const unsigned flags = t.kind == Kind::Word ? wordFlags(s, t) : 0;
        if (statementStart) {
            liftable = (flags & StartsValues) || isPunct(s, t, u'(');
            statementStart = false;
        }
        Level& level = levels.back();
        switch (t.kind) {
        case Kind::Punct:
            if (s[t.begin] == u'?' || s[t.begin] == u'$') {
                // A command that already holds a parameter marker is left as it is: its markers
                // and ours would be numbered together.
                *shape = command.toString();
                spans->clear();
                return;
            }
            if (s[t.begin] == u';' && levels.size() == 1) {
                statementStart = true;
                levels[0] = Level{};
            } else if (s[t.begin] == u'(') {
                Level inner;
                inner.keep = level.keep || level.clause != Clause::Other || (previousFlags & HoldsCount);
                levels.append(inner);
            } else if (s[t.begin] == u')' && levels.size() > 1) {
                levels.removeLast();
            }
            break;
        case Kind::Word:
            if (level.byExpected && (flags & IsBy)) {
                level.clause = level.pending;
                level.byExpected = false;
                break;
            }
            level.byExpected = false;
            if (flags & IsSelect)
                level.clause = Clause::SelectList;
            else if (level.clause != Clause::Other && (flags & EndsList))
                level.clause = Clause::Other;
            if (level.clause == Clause::Other && (flags & (IsOrder | IsGroup))) {
                level.byExpected = true;
                level.pending = (flags & IsOrder) ? Clause::OrderBy : Clause::GroupBy;
            }
            break;
        case Kind::Number:
        case Kind::String: {
            // Glued to a word on either side (N'...', 0x1F, 'a'AND): part of something else.
            const bool glued = (t.begin > 0 && previous.end == t.begin &&
                                (previous.kind == Kind::Word || isPunct(s, previous, u'&'))) ||
                               (t.end < n && isWordChar(s[t.end]));
            bool place = liftable && !level.keep && level.clause == Clause::Other && !glued;
            if (place && previous.kind == Kind::Punct)
                place = !isPunct(s, previous, u'.') && !isPunct(s, previous, u':') && !isPunct(s, previous, u')');
            else if (place)
                place = previous.kind == Kind::Word && (previousFlags & ValueFollows);
            if (!place)
                break;
            const QStringView span = command.mid(t.begin, t.end - t.begin);
            LiteralSpan literal;
            if (t.kind == Kind::String) {
                if (!terminated(span) || span.contains(QChar(0)))
                    break;
                literal = {Literal::Type::Text, t.begin + 1, span.size() - 2,
                           span.size() > 2 && span.mid(1, span.size() - 2).contains(u'\'')};
            } else {
                bool digits = true;
                for (QChar c : span)
                    digits = digits && c.isDigit();
                literal = {digits ? Literal::Type::Integer : Literal::Type::Decimal, t.begin, span.size(), false};
                if (!parseable(literal.type, span))
                    break;
            }
            shape->append(command.mid(copied, t.begin - copied));
            shape->append(u'?');
            copied = t.end;
            spans->push_back(literal);
            break;
        }
        default:
            break;
        }
        previous = t;
        previousFlags = flags;
    }
    shape->append(command.mid(copied));
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

QString numberMarkers(QStringView shape)
{
    const char16_t* s = reinterpret_cast<const char16_t*>(shape.utf16());
    const qsizetype n = shape.size();
    QString out;
    out.reserve(n + 8);
    qsizetype copied = 0;
    int next = 0;
    for (Token t = scan(s, n, 0); t.kind != Kind::End; t = scan(s, n, t.end)) {
        if (!isPunct(s, t, u'?'))
            continue;
        out.append(shape.mid(copied, t.begin - copied));
        out += u'$';
        out += QString::number(++next);
        copied = t.end;
    }
    out.append(shape.mid(copied));
    return out;
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

#include "ledger/LikePattern.h"

#include <QList>

namespace tesr::ledger {

namespace {

char32_t fold(char32_t c)
{
    return c < 0x80 ? ((c >= u'A' && c <= u'Z') ? c + 32 : c) : QChar::toCaseFolded(c);
}

// The code point at i and how many UTF-16 units it takes.
char32_t codePointAt(QStringView s, qsizetype i, qsizetype* width)
{
    const char16_t c = s[i].unicode();
    if (QChar::isHighSurrogate(c) && i + 1 < s.size() && QChar::isLowSurrogate(s[i + 1].unicode())) {
        *width = 2;
        return QChar::surrogateToUcs4(c, s[i + 1].unicode());
    }
    *width = 1;
    return c;
}

// The same in UTF-8; a byte that starts no valid sequence stands for itself as U+FFFD.
char32_t codePointAt(const unsigned char* s, qsizetype n, qsizetype i, qsizetype* width)
{
    const unsigned char lead = s[i];
    *width = 1;
    if (lead < 0x80)
        return lead;
    const int extra = lead >= 0xF0 ? 3 : lead >= 0xE0 ? 2 : lead >= 0xC0 ? 1 : -1;
    if (extra < 0 || i + extra >= n)
        return 0xFFFD;
    char32_t c = lead & (0x3F >> extra);
    for (int k = 1; k <= extra; ++k) {
        if ((s[i + k] & 0xC0) != 0x80)
            return 0xFFFD;
        c = (c << 6) | (s[i + k] & 0x3F);
    }
    *width = 1 + extra;
    return c;
}

// What has a meaning of its own in a regular expression, outside and inside [...].
bool regexSpecial(char32_t c, bool inClass)
{
    const char16_t* set = inClass ? u"\\]^-[" : u"\\^$.|?*+()[]{}";
    for (; *set; ++set)
        if (c == *set)
            return true;
    return false;
}

void appendCodePoint(QString& out, char32_t c)
{
    out += QStringView(QChar::fromUcs4(c));
}

// The other cases of a letter beyond ASCII: a server's case-insensitive match knows ASCII's
// cases for certain, the rest only in some locales, so the regular expression spells them out.
QList<char32_t> otherCases(char32_t c)
{
    QList<char32_t> cases;
    if (c < 0x80)
        return cases;
    for (const char32_t other : {QChar::toUpper(c), QChar::toLower(c), QChar::toTitleCase(c), QChar::toCaseFolded(c)})
        if (other != c && !cases.contains(other))
            cases << other;
    return cases;
}

} // namespace

LikePattern::LikePattern(QStringView pattern, std::optional<char32_t> escape)
{
    const QList<uint> p = pattern.toUcs4();
    const qsizetype n = p.size();
    for (qsizetype i = 0; i < n; ++i) {
        const char32_t c = p[i];
        Part part;
        if (escape && c == *escape) {
            if (++i >= n) {
                m_never = true; // nothing left for the escape to make plain
                return;
            }
            part.ch = fold(p[i]);
        } else if (c == u'%') {
            // Runs side by side are one run.
            if (!m_parts.empty() && m_parts.back().kind == Kind::Run)
                continue;
            part.kind = Kind::Run;
        } else if (c == u'_') {
            part.kind = Kind::One;
        } else if (c == u'[') {
            part.kind = Kind::Class;
            qsizetype j = i + 1;
            if (j < n && p[j] == u'^') {
                part.negated = true;
                ++j;
            }
            bool closed = false;
            while (j < n) {
                char32_t low = p[j];
                if (low == u']') {
                    closed = true;
                    break;
                }
                if (escape && low == *escape && j + 1 < n)
                    low = p[++j];
                char32_t high = low;
                // "a-f" is a range; a '-' first or last is itself.
                if (j + 2 < n && p[j + 1] == u'-' && p[j + 2] != u']') {
                    j += 2;
                    high = p[j];
                    if (escape && high == *escape && j + 1 < n)
                        high = p[++j];
                }
                if (high < low) {
                    m_never = true;
                    return;
                }
                part.ranges.push_back({low, high});
                ++j;
            }
            if (!closed || part.ranges.empty()) {
                m_never = true;
                return;
            }
            i = j;
        } else {
            part.ch = fold(c);
        }
        m_parts.push_back(std::move(part));
    }
    // The shape a customer search has: literal text with a run on either side or both.
    size_t first = 0, last = m_parts.size();
    m_leadingRun = first < last && m_parts[first].kind == Kind::Run;
    first += m_leadingRun ? 1 : 0;
    m_trailingRun = last > first && m_parts[last - 1].kind == Kind::Run;
    last -= m_trailingRun ? 1 : 0;
    m_simple = first < last;
    for (size_t k = first; k < last && m_simple; ++k) {
        m_simple = m_parts[k].kind == Kind::Char && m_parts[k].ch < 0x80;
        m_literal += char(m_parts[k].ch);
    }
    // Blanks ending the pattern count where those ending the text do not: the general way.
    m_simple = m_simple && !m_literal.endsWith(' ');
}

bool LikePattern::asciiSearch(const char* text, qsizetype size, bool* decided) const
{
    const auto* t = reinterpret_cast<const unsigned char*>(text);
    const qsizetype n = m_literal.size();
    const auto* lit = reinterpret_cast<const unsigned char*>(m_literal.constData());
    auto lower = [](unsigned char c) { return (c >= 'A' && c <= 'Z') ? c | 0x20 : c; };
    auto at = [&](qsizetype i) {
        for (qsizetype k = 0; k < n; ++k)
            if (lower(t[i + k]) != lit[k])
                return false;
        return true;
    };
    unsigned char high = 0;
    if (m_leadingRun && m_trailingRun) {
        // The type-ahead's search, in one pass: the literal anywhere (it ends in no blank, so
        // the text's trailing blanks need no care), and whether the text is all ASCII.
        const unsigned char first = lit[0];
        const unsigned char fold = first >= 'a' && first <= 'z' ? 0x20 : 0;
        qsizetype i = 0;
        for (; i + n <= size; ++i) {
            high |= t[i];
            if ((t[i] | fold) == first && at(i)) {
                *decided = true;
                return true;
            }
        }
        for (; i < size; ++i)
            high |= t[i];
        *decided = high < 0x80;
        return false;
    }
    // The other shapes: is the text all ASCII, and where do its trailing blanks begin (they do
    // not count)?
    qsizetype end = 0;
    for (qsizetype i = 0; i < size; ++i) {
        high |= t[i];
        if (t[i] != ' ')
            end = i + 1;
    }
    bool found = false;
    if (end >= n) {
        if (!m_leadingRun && !m_trailingRun)
            found = end == n && at(0);
        else if (!m_leadingRun)
            found = at(0);
        else
            found = at(end - n);
    }
    // A letter beyond ASCII may fold to one of the pattern's (the Kelvin sign to k): only an
    // all-ASCII text is decided by a miss.
    *decided = found || high < 0x80;
    return found;
}

bool LikePattern::classHas(const Part& part, char32_t c) const
{
    // Case does not count: the character matches when it or another case of it lies in a range.
    const char32_t forms[] = {c, fold(c), QChar::toUpper(c), QChar::toLower(c)};
    bool in = false;
    for (const Range& r : part.ranges)
        for (char32_t f : forms)
            in = in || (f >= r.low && f <= r.high);
    return in != part.negated;
}

bool LikePattern::matches(QStringView text) const
{
    return matchUnits(text.size(), [text](qsizetype i, qsizetype* width) { return codePointAt(text, i, width); });
}

bool LikePattern::matchesUtf8(const char* text, qsizetype size) const
{
    if (m_simple && !m_never) {
        bool decided = false;
        const bool found = asciiSearch(text, size, &decided);
        if (decided)
            return found;
    }
    const auto* bytes = reinterpret_cast<const unsigned char*>(text);
    return matchUnits(size,
                      [bytes, size](qsizetype i, qsizetype* width) { return codePointAt(bytes, size, i, width); });
}

template <class Decode> bool LikePattern::matchUnits(qsizetype n, Decode decode) const
{
    if (m_never)
        return false;
    const size_t parts = m_parts.size();
    size_t p = 0;
    qsizetype t = 0;
    // Where the last run began in the pattern and in the text: on a mismatch the run takes one
    // character more and matching resumes after it.
    size_t runPart = parts;
    qsizetype runText = 0;
    while (true) {
        if (p < parts && m_parts[p].kind == Kind::Run) {
            runPart = p++;
            runText = t;
            continue;
        }
        if (p < parts && t < n) {
            qsizetype width = 1;
            const char32_t c = decode(t, &width);
            const Part& part = m_parts[p];
            const bool one = part.kind == Kind::One || (part.kind == Kind::Char && fold(c) == part.ch) ||
                             (part.kind == Kind::Class && classHas(part, c));
            if (one) {
                t += width;
                ++p;
                continue;
            }
        }
        if (p == parts) {
            // Blanks after the end of the text's match do not count.
            qsizetype k = t;
            qsizetype width = 1;
            while (k < n && decode(k, &width) == u' ')
                ++k;
            if (k == n)
                return true;
        }
        if (runPart == parts || runText >= n)
            return false;
        qsizetype width = 1;
        decode(runText, &width);
        runText += width;
        t = runText;
        p = runPart + 1;
    }
}

QString LikePattern::toPostgresRegex() const
{
    if (m_never)
        return QStringLiteral("$.");
    QString re = QStringLiteral("^");
    auto plain = [&re](char32_t c, bool inClass) {
        if (regexSpecial(c, inClass))
            re += u'\\';
        appendCodePoint(re, c);
    };
    for (const Part& part : m_parts) {
        switch (part.kind) {
        case Kind::Char:
            if (const QList<char32_t> cases = otherCases(part.ch); !cases.isEmpty()) {
                re += u'[';
                plain(part.ch, true);
                for (const char32_t other : cases)
                    plain(other, true);
                re += u']';
            } else {
                plain(part.ch, false);
            }
            break;
        case Kind::One:
            re += u'.';
            break;
        case Kind::Run:
            re += QStringLiteral(".*");
            break;
        case Kind::Class:
            re += part.negated ? QStringLiteral("[^") : QStringLiteral("[");
            for (const Range& r : part.ranges) {
                plain(r.low, true);
                if (r.high != r.low) {
                    re += u'-';
                    plain(r.high, true);
                }
                // The range's other cases too ([α-ω] holds Σ as it holds σ).
                for (const bool upper : {true, false}) {
                    const auto caseOf = [upper](char32_t c) { return upper ? QChar::toUpper(c) : QChar::toLower(c); };
                    const char32_t low = caseOf(r.low), high = caseOf(r.high);
                    if (r.low < 0x80 || (low == r.low && high == r.high) || high < low)
                        continue;
                    plain(low, true);
                    if (high != low) {
                        re += u'-';
                        plain(high, true);
                    }
                }
            }
            re += u']';
            break;
        }
    }
    re += QStringLiteral(" *$");
    return re;
}

} // namespace tesr::ledger

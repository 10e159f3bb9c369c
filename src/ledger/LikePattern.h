#pragma once

// A LIKE pattern as the shop's SQL Server reads it under its case-insensitive collation, for
// the engines whose own LIKE means something else (SQLite: no [...] classes, case folded for
// ASCII only; PostgreSQL: a backslash escapes). One meaning everywhere:
//   %          any run of characters, also none
//   _          any one character
//   [abc]      one of the characters; [a-f] a range; [^...] none of them; '-' first or last,
//              and any character after the ESCAPE character, is itself
//   ESCAPE c   c makes the next character plain ("\%" is a percent sign)
// Every other character, backslash included, is itself. Letters compare without regard to
// case, for every script (simple Unicode case folding; a range compares folded code points).
// Blanks at the end of the text are ignored, as SQL Server does. A pattern that cannot match
// (a '[' never closed, a range running backwards, an ESCAPE character at the very end)
// matches nothing.

#include <QByteArray>
#include <QString>
#include <QStringView>

#include <optional>
#include <vector>

namespace tesr::ledger {

class LikePattern {
public:
    explicit LikePattern(QStringView pattern, std::optional<char32_t> escape = std::nullopt);

    bool matches(QStringView text) const;
    // The same on UTF-8 text (as SQLite keeps it: no conversion per row).
    bool matchesUtf8(const char* text, qsizetype size) const;

    // The same test as a PostgreSQL regular expression, for the case-insensitive match
    // operator (~*): anchored at both ends, every plain character quoted.
    QString toPostgresRegex() const;

private:
    enum class Kind { Char, One, Run, Class };
    struct Range {
        char32_t low;
        char32_t high;
    };
    struct Part {
        Kind kind = Kind::Char;
        char32_t ch = 0; // Char: folded
        bool negated = false;
        std::vector<Range> ranges; // Class: folded
    };
    bool classHas(const Part& part, char32_t c) const;
    // decode(i, &width): the code point at unit i of n.
    template <class Decode> bool matchUnits(qsizetype n, Decode decode) const;

    // The common shapes "text", "text%", "%text" and "%text%" of ASCII characters only, searched
    // for directly in ASCII text (a text with other characters takes the general way).
    bool asciiSearch(const char* text, qsizetype size, bool* decided) const;

    std::vector<Part> m_parts;
    bool m_never = false;
    bool m_simple = false;     // one of the shapes above
    bool m_leadingRun = false; // ... and where its runs are
    bool m_trailingRun = false;
    QByteArray m_literal; // folded (lower case)
};

} // namespace tesr::ledger

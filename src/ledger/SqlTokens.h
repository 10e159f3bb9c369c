#pragma once

// The tokens of a T-SQL text, as the engine adaptation and the literal lifter read it: blanks,
// words, numbers, '...' literals, "..." and [...] names, comments and single punctuation marks.

#include <QtGlobal>

#include <algorithm>
#include <cstring>

namespace tesr::ledger::detail::tokens {

// A token is a span of the source; the rewriter copies untouched spans in one piece.

enum class Kind : quint8 {
    Space,
    Word,
    Number,
    String,
    QuotedName,
    BracketName,
    LineComment,
    BlockComment,
    Punct,
    End
};

struct Token {
    Kind kind;
    qsizetype begin;
    qsizetype end;
};

constexpr bool isSpace(char16_t c)
{
    return c == u' ' || c == u'\t' || c == u'\n' || c == u'\r' || c == u'\f' || c == u'\v';
}
constexpr bool isDigit(char16_t c)
{
    return c >= u'0' && c <= u'9';
}
constexpr bool isAsciiLetter(char16_t c)
{
    return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z');
}
constexpr bool isWordStart(char16_t c)
{
    return isAsciiLetter(c) || c == u'_' || c == u'@' || c == u'#' || c >= 0x80;
}
constexpr bool isWordChar(char16_t c)
{
    return isWordStart(c) || isDigit(c) || c == u'$';
}

// A quoted span opened at i by `open`, closed by `close`, where a doubled closer is an escaped
// one. An unterminated span runs to the end.
inline qsizetype quotedEnd(const char16_t* s, qsizetype n, qsizetype i, char16_t close)
{
    qsizetype j = i + 1;
    while (j < n) {
        if (s[j] == close) {
            if (j + 1 < n && s[j + 1] == close) {
                j += 2;
                continue;
            }
            return j + 1;
        }
        ++j;
    }
    return n;
}

inline Token scan(const char16_t* s, qsizetype n, qsizetype i)
{
    if (i >= n)
        return {Kind::End, n, n};
    const char16_t c = s[i];
    qsizetype j = i + 1;
    if (isSpace(c)) {
        while (j < n && isSpace(s[j]))
            ++j;
        return {Kind::Space, i, j};
    }
    switch (c) {
    case u'\'':
        return {Kind::String, i, quotedEnd(s, n, i, u'\'')};
    case u'"':
        return {Kind::QuotedName, i, quotedEnd(s, n, i, u'"')};
    case u'[':
        return {Kind::BracketName, i, quotedEnd(s, n, i, u']')};
    case u'-':
        if (j < n && s[j] == u'-') {
            while (j < n && s[j] != u'\n')
                ++j;
            return {Kind::LineComment, i, j};
        }
        break;
    case u'/':
        if (j < n && s[j] == u'*') {
            j = i + 2;
            while (j + 1 < n && !(s[j] == u'*' && s[j + 1] == u'/'))
                ++j;
            return {Kind::BlockComment, i, std::min(n, j + 2)};
        }
        break;
    default:
        break;
    }
    if (isDigit(c) || (c == u'.' && j < n && isDigit(s[j]))) {
        while (j < n && (isDigit(s[j]) || s[j] == u'.'))
            ++j;
        if (j < n && (s[j] == u'e' || s[j] == u'E')) {
            qsizetype k = j + 1;
            if (k < n && (s[k] == u'+' || s[k] == u'-'))
                ++k;
            if (k < n && isDigit(s[k])) {
                while (k < n && isDigit(s[k]))
                    ++k;
                j = k;
            }
        }
        return {Kind::Number, i, j};
    }
    if (isWordStart(c)) {
        while (j < n && isWordChar(s[j]))
            ++j;
        return {Kind::Word, i, j};
    }
    return {Kind::Punct, i, j};
}

// Case-insensitive comparison of a span with a lower-case ASCII keyword.
inline bool is(const char16_t* s, const Token& t, const char* keyword)
{
    const qsizetype len = t.end - t.begin;
    if (qsizetype(std::strlen(keyword)) != len)
        return false;
    for (qsizetype k = 0; k < len; ++k) {
        char16_t c = s[t.begin + k];
        if (c >= u'A' && c <= u'Z')
            c = char16_t(c + 32);
        if (c != char16_t(keyword[k]))
            return false;
    }
    return true;
}

inline bool isPunct(const char16_t* s, const Token& t, char16_t c)
{
    return t.kind == Kind::Punct && s[t.begin] == c;
}

// The next token that is not blank space.
inline Token scanSignificant(const char16_t* s, qsizetype n, qsizetype i)
{
    Token t = scan(s, n, i);
    while (t.kind == Kind::Space)
        t = scan(s, n, t.end);
    return t;
}

} // namespace tesr::ledger::detail::tokens

#pragma once

// What every fuzz program shares: the input as text, and a check that stops the program with
// a message (libFuzzer keeps the input that broke it as a crash-* file).

#include <QString>
#include <QStringList>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace fuzz {

// The input as UTF-8 text (invalid sequences become U+FFFD).
inline QString text(const std::uint8_t* data, std::size_t size)
{
    return QString::fromUtf8(reinterpret_cast<const char*>(data), qsizetype(size));
}

[[noreturn]] inline void fail(const QString& what)
{
    std::fprintf(stderr, "\nPROPERTY BROKEN: %s\n", qPrintable(what));
    std::abort();
}

// For a readable message: a text with its control characters escaped.
inline QString shown(const QString& text)
{
    QString out;
    for (const QChar c : text) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7f)
            out += QStringLiteral("\\x%1").arg(c.unicode(), 2, 16, QLatin1Char('0'));
        else
            out += c;
    }
    return u'"' + out + u'"';
}

inline QString shown(const QStringList& list)
{
    QStringList parts;
    for (const QString& s : list)
        parts << shown(s);
    return u'[' + parts.join(QStringLiteral(", ")) + u']';
}

} // namespace fuzz

#define FUZZ_CHECK(condition, message)                                                                                 \
    do {                                                                                                               \
        if (!(condition))                                                                                              \
            ::fuzz::fail(QStringLiteral(#condition ": ") + (message));                                                 \
    } while (false)

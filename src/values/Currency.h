#pragma once

// Money as the ledger keeps it: a signed count of ten-thousandths of a currency unit.
// Arithmetic never goes through floating point; rounding is half to even unless a
// method says otherwise. Header-only so that a host can use it without linking the module.
//
// Arithmetic is checked: there are no + and - operators that could wrap around. plus, minus,
// negated and mulDiv answer nothing when the exact result cannot be held, and a CurrencyTotal adds up
// any number of amounts and remembers when it went out of range. A caller decides what an
// amount too large means (a refused save, a figure shown as not available); it never becomes
// a different amount.

#include <QMetaType>
#include <QString>
#include <QVariant>

#include <cmath>
#include <compare>
#include <concepts>
#include <cstdint>
#include <limits>
#include <optional>

namespace tesr {

namespace detail {
__extension__ typedef __int128 Int128; // exact products of two 64-bit amounts

// A plain number's leading sign at t[i], if any, passed over: true for a minus.
template <class Index> bool takeSign(const QString& t, Index& i)
{
    if (i >= t.size() || (t[i] != u'-' && t[i] != u'+'))
        return false;
    return t[i++] == u'-';
}
} // namespace detail

class Currency {
public:
    static constexpr std::int64_t Scale = 10000;

    constexpr Currency() = default;

    static constexpr Currency fromRaw(std::int64_t tenThousandths) { return Currency(tenThousandths); }
    // Whole units from a 32-bit count, which always fits; wider counts go through
    // fromWholeUnits, which answers nothing beyond the range.
    template <typename Int>
    requires std::same_as<Int, int>
    static constexpr Currency fromUnits(Int units) { return Currency(std::int64_t(units) * Scale); }
    static constexpr std::optional<Currency> fromWholeUnits(std::int64_t units)
    {
        std::int64_t raw = 0;
        if (__builtin_mul_overflow(units, Scale, &raw))
            return std::nullopt;
        return Currency(raw);
    }
    // The largest and smallest amounts the type holds.
    static constexpr Currency max() { return Currency(std::numeric_limits<std::int64_t>::max()); }
    static constexpr Currency min() { return Currency(std::numeric_limits<std::int64_t>::min()); }

    // Nearest value with four decimals, halves to even. Out of range or NaN gives nothing.
    static std::optional<Currency> fromDouble(double value);

    // Exact reading of plain decimal text: optional blanks, optional sign, digits, optional
    // '.' and digits. More than four decimals are rounded half to even. No grouping, no
    // symbol, no exponent: this is the form statements and stored values use.
    static std::optional<Currency> parsePlain(const QString& text);

    // The leading number of a text, the way a user's amount box is read: leading blanks,
    // an optional sign, digits with an optional period; reading stops at the first other
    // character, so "" and "abc" read as 0 and "12abc" as 12.
    static Currency leadingNumber(const QString& text);

    // A database or loosely typed value: integers, doubles and plain decimal texts.
    static std::optional<Currency> fromVariant(const QVariant& value);
    // The same, with 0 for NULL and anything that is no amount (a list cell, a total's part).
    static Currency fromVariantOrZero(const QVariant& value) { return fromVariant(value).value_or(Currency()); }

    constexpr std::int64_t raw() const { return m_raw; }
    double toDouble() const { return double(m_raw) / double(Scale); }

    // Plain decimal text for statements: "-12.5", "100", "0.0001". Never grouped, never a
    // symbol, always '.' as the decimal point.
    QString toPlainString() const;

    // Rounded to the given number of decimals (0..4), halves to even.
    Currency rounded(int decimals) const;

    // this * numerator / denominator, rounded to four decimals, halves to even; the
    // intermediate product is exact. Nothing for a zero denominator or a result out of range.
    std::optional<Currency> mulDiv(std::int64_t numerator, std::int64_t denominator) const;

    // Checked arithmetic: nothing when the result cannot be held.
    constexpr std::optional<Currency> plus(Currency o) const
    {
        std::int64_t raw = 0;
        if (__builtin_add_overflow(m_raw, o.m_raw, &raw))
            return std::nullopt;
        return Currency(raw);
    }
    constexpr std::optional<Currency> minus(Currency o) const
    {
        std::int64_t raw = 0;
        if (__builtin_sub_overflow(m_raw, o.m_raw, &raw))
            return std::nullopt;
        return Currency(raw);
    }
    constexpr std::optional<Currency> negated() const { return Currency().minus(*this); }

    constexpr auto operator<=>(const Currency&) const = default;
    constexpr bool isZero() const { return m_raw == 0; }

private:
    constexpr explicit Currency(std::int64_t raw) : m_raw(raw) {}
    static std::int64_t divRoundHalfEven(detail::Int128 num, detail::Int128 den);
    static detail::Int128 divRoundHalfEvenWide(detail::Int128 num, detail::Int128 den);

    std::int64_t m_raw = 0;
};

// A running total of amounts. Once a step goes out of range the total stays out of range
// (value() answers nothing), whatever is added after it.
class CurrencyTotal {
public:
    constexpr CurrencyTotal() = default;
    constexpr explicit CurrencyTotal(Currency start) : m_value(start) {}
    constexpr CurrencyTotal& add(Currency amount)
    {
        if (m_value)
            m_value = m_value->plus(amount);
        return *this;
    }
    constexpr CurrencyTotal& subtract(Currency amount)
    {
        if (m_value)
            m_value = m_value->minus(amount);
        return *this;
    }
    constexpr std::optional<Currency> value() const { return m_value; }

private:
    std::optional<Currency> m_value = Currency();
};

} // namespace tesr

// Declared before any inline code asks for the metatype (a late declaration is an error).
// Relocatable: a QVariant holds the value in place instead of on the heap (a list of thousands
// of amounts and dates would otherwise allocate once per cell).
Q_DECLARE_TYPEINFO(tesr::Currency, Q_RELOCATABLE_TYPE);
Q_DECLARE_METATYPE(tesr::Currency)

namespace tesr {

// ---- inline definitions -------------------------------------------------------------------

inline std::int64_t Currency::divRoundHalfEven(detail::Int128 num, detail::Int128 den)
{
    return std::int64_t(divRoundHalfEvenWide(num, den));
}

inline detail::Int128 Currency::divRoundHalfEvenWide(detail::Int128 num, detail::Int128 den)
{
    if (den < 0) {
        num = -num;
        den = -den;
    }
    detail::Int128 q = num / den;
    detail::Int128 r = num % den;
    if (r != 0) {
        detail::Int128 twice = (r < 0 ? -r : r) * 2;
        bool away = twice > den || (twice == den && (q % 2 != 0));
        if (away)
            q += (num < 0) ? -1 : 1;
    }
    return q;
}

inline std::optional<Currency> Currency::fromDouble(double value)
{
    if (!(value == value))
        return std::nullopt;
    const double scaled = value * double(Scale);
    // 2^63 guard: the type holds about +-922 trillion units.
    if (scaled >= 9.2e18 || scaled <= -9.2e18)
        return std::nullopt;
    // Values read from a database are almost always a hair away from a whole number of
    // ten-thousandths (0.3 is 2999.99999999999995 of them): take the nearest one.
    const double nearest = std::nearbyint(scaled);
    const double distance = std::fabs(scaled - nearest);
    if (distance < 0.49 || std::fabs(scaled) >= 1e15)
        return Currency(std::int64_t(nearest));
    // Near a half: decide on the decimal text of the double, halves to even.
    return parsePlain(QString::number(value, 'f', 10));
}

inline std::optional<Currency> Currency::parsePlain(const QString& text)
{
    const QString t = text.trimmed();
    int i = 0;
    const bool negative = detail::takeSign(t, i);
    detail::Int128 whole = 0;
    int digits = 0;
    while (i < t.size() && t[i].isDigit() && t[i].unicode() < 128) {
        whole = whole * 10 + (t[i].unicode() - '0');
        // Beyond this the amount cannot be held; stopping here also keeps the scaled
        // product below inside 128 bits.
        if (whole > detail::Int128(std::numeric_limits<std::int64_t>::max() / Scale) + 1)
            return std::nullopt;
        ++i;
        ++digits;
    }
    detail::Int128 frac = 0;
    detail::Int128 fracScale = 1;
    bool droppedNonZero = false;
    if (i < t.size() && t[i] == u'.') {
        ++i;
        while (i < t.size() && t[i].isDigit() && t[i].unicode() < 128) {
            if (fracScale < detail::Int128(1000000000000000000LL)) {
                frac = frac * 10 + (t[i].unicode() - '0');
                fracScale *= 10;
            } else if (t[i] != u'0') {
                droppedNonZero = true;
            }
            ++i;
            ++digits;
        }
    }
    if (digits == 0 || i != t.size())
        return std::nullopt;
    if (droppedNonZero) {
        // A digit past the kept ones only matters when the kept ones end exactly on a half:
        // one more (sticky) digit makes that value lean the right way.
        frac = frac * 10 + 1;
        fracScale *= 10;
    }
    const detail::Int128 num = whole * fracScale + frac;
    // Checked before narrowing: the rounded value may be one step past the largest amount.
    const detail::Int128 raw = divRoundHalfEvenWide(num * Scale, fracScale);
    if (raw > detail::Int128(std::numeric_limits<std::int64_t>::max()))
        return std::nullopt;
    return Currency(std::int64_t(negative ? -raw : raw));
}

inline Currency Currency::leadingNumber(const QString& text)
{
    int i = 0;
    while (i < text.size() && (text[i] == u' ' || text[i] == u'\t'))
        ++i;
    int start = i;
    if (i < text.size() && (text[i] == u'-' || text[i] == u'+'))
        ++i;
    bool seenPoint = false;
    int end = i;
    while (end < text.size()) {
        const QChar c = text[end];
        if (c.isDigit() && c.unicode() < 128) {
            ++end;
        } else if (c == u'.' && !seenPoint) {
            seenPoint = true;
            ++end;
        } else {
            break;
        }
    }
    QString number = text.mid(start, end - start);
    if (number.endsWith(u'.'))
        number.chop(1);
    return parsePlain(number).value_or(Currency());
}

inline std::optional<Currency> Currency::fromVariant(const QVariant& value)
{
    if (!value.isValid() || value.isNull())
        return std::nullopt;
    if (value.metaType() == QMetaType::fromType<Currency>())
        return value.value<Currency>();
    switch (value.metaType().id()) {
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::Long:
    case QMetaType::Short: {
        const qlonglong v = value.toLongLong();
        if (v > std::numeric_limits<std::int64_t>::max() / Scale ||
            v < std::numeric_limits<std::int64_t>::min() / Scale)
            return std::nullopt;
        return fromWholeUnits(v);
    }
    case QMetaType::Double:
    case QMetaType::Float:
        return fromDouble(value.toDouble());
    case QMetaType::Bool:
        return fromUnits(value.toBool() ? -1 : 0);
    default:
        return parsePlain(value.toString());
    }
}

inline QString Currency::toPlainString() const
{
    const bool negative = m_raw < 0;
    const unsigned long long magnitude = negative ? 0ULL - (unsigned long long)m_raw : (unsigned long long)m_raw;
    QString text = QString::number(magnitude / Scale);
    unsigned long long frac = magnitude % Scale;
    if (frac != 0) {
        QString f = QString::number(frac).rightJustified(4, u'0');
        while (f.endsWith(u'0'))
            f.chop(1);
        text += u'.' + f;
    }
    return negative ? u'-' + text : text;
}

inline Currency Currency::rounded(int decimals) const
{
    if (decimals >= 4)
        return *this;
    if (decimals < 0)
        decimals = 0;
    std::int64_t unit = 1;
    for (int i = decimals; i < 4; ++i)
        unit *= 10;
    // Near the ends of the range the nearest whole step can lie outside it: the step inside then.
    const std::int64_t steps = divRoundHalfEven(m_raw, unit);
    const detail::Int128 wide = detail::Int128(steps) * unit;
    if (wide > std::numeric_limits<std::int64_t>::max())
        return Currency((steps - 1) * unit);
    if (wide < std::numeric_limits<std::int64_t>::min())
        return Currency((steps + 1) * unit);
    return Currency(std::int64_t(wide));
}

inline std::optional<Currency> Currency::mulDiv(std::int64_t numerator, std::int64_t denominator) const
{
    if (denominator == 0)
        return std::nullopt;
    // Both factors below 2^63: the product fits 127 bits.
    const detail::Int128 q = divRoundHalfEvenWide(detail::Int128(m_raw) * numerator, denominator);
    if (q > std::numeric_limits<std::int64_t>::max() || q < std::numeric_limits<std::int64_t>::min())
        return std::nullopt;
    return Currency(std::int64_t(q));
}

} // namespace tesr

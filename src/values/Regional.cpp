#include "values/Regional.h"

#include <array>
#include <optional>

#include <QDate>
#include <QTime>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>
#include <string>

namespace tesr::Regional {

namespace {

// A number read exactly: value = digits x 10^exponent, digits ASCII without leading or
// trailing zeros (empty for zero). Reading into this first keeps every conversion exact and
// lets one grammar serve doubles, money and whole numbers alike.
struct Decimal {
    bool negative = false;
    QString digits;
    qint64 exponent = 0;

    bool isZero() const { return digits.isEmpty(); }
    // Position of the decimal point counted from the first digit.
    qint64 pointPosition() const { return qint64(digits.size()) + exponent; }
};

Decimal makeDecimal(bool negative, QString intDigits, const QString& fracDigits, qint64 exponent)
{
    Decimal d;
    QString all = intDigits + fracDigits;
    exponent -= fracDigits.size();
    qsizetype first = 0;
    while (first < all.size() && all[first] == u'0')
        ++first;
    all.remove(0, first);
    while (!all.isEmpty() && all.endsWith(u'0')) {
        all.chop(1);
        ++exponent;
    }
    d.digits = all;
    d.exponent = all.isEmpty() ? 0 : exponent;
    d.negative = negative && !all.isEmpty();
    return d;
}

// Exponents past this are far beyond any value the conversions can hold; saturating keeps the
// arithmetic small whatever the text says.
constexpr qint64 ExponentLimit = 100000;

// The converters of a nonzero decimal (zero is zero in every type: see converted).
std::optional<double> toDouble(const Decimal& d)
{
    const qint64 order = d.pointPosition();
    if (order > 400)
        return std::nullopt;
    if (order < -400)
        return d.negative ? -0.0 : 0.0;
    const std::string text = d.digits.toStdString() + 'e' + std::to_string(d.exponent);
    double value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec == std::errc::result_out_of_range) {
        if (order > 0)
            return std::nullopt;
        value = 0; // below the smallest double
    } else if (ec != std::errc() || end != text.data() + text.size()) {
        return std::nullopt;
    }
    if (!std::isfinite(value))
        return std::nullopt;
    return d.negative ? -value : value;
}

std::optional<Currency> toCurrency(const Decimal& d)
{
    const qint64 point = d.pointPosition();
    if (point > 20)
        return std::nullopt;
    if (point <= -5)
        return Currency(); // below half of the smallest step: rounds to zero
    QString plain;
    if (d.exponent >= 0)
        plain = d.digits + QString(d.exponent, u'0');
    else if (point > 0)
        plain = d.digits.left(point) + u'.' + d.digits.mid(point);
    else
        plain = QStringLiteral("0.") + QString(-point, u'0') + d.digits;
    if (d.negative)
        plain.prepend(u'-');
    return Currency::parsePlain(plain);
}

std::optional<qint64> toWhole(const Decimal& d)
{
    const qint64 point = d.pointPosition();
    if (point > 19)
        return std::nullopt;
    QString intPart;
    QChar firstFraction = u'0';
    bool moreFraction = false;
    if (d.exponent >= 0) {
        intPart = d.digits + QString(d.exponent, u'0');
    } else if (point > 0) {
        intPart = d.digits.left(point);
        firstFraction = d.digits[point];
        moreFraction = d.digits.size() > point + 1; // trailing zeros were stripped
    } else if (point == 0) {
        firstFraction = d.digits[0];
        moreFraction = d.digits.size() > 1;
    }
    // point < 0: below 0.1, rounds to zero.
    bool ok = true;
    quint64 magnitude = intPart.isEmpty() ? 0 : intPart.toULongLong(&ok);
    if (!ok)
        return std::nullopt;
    const int first = firstFraction.unicode() - '0';
    if (first > 5 || (first == 5 && (moreFraction || magnitude % 2 != 0)))
        ++magnitude;
    const quint64 limit = quint64(std::numeric_limits<qint64>::max()) + (d.negative ? 1 : 0);
    if (magnitude > limit)
        return std::nullopt;
    return d.negative ? qint64(0 - magnitude) : qint64(magnitude);
}

qint64 readExponent(const QString& digits)
{
    qint64 value = 0;
    for (QChar c : digits) {
        value = value * 10 + (c.unicode() - '0');
        if (value > ExponentLimit)
            return ExponentLimit;
    }
    return value;
}

// ---- plain (machine) form ------------------------------------------------------------------

bool isAsciiDigit(QChar c)
{
    return c.unicode() >= '0' && c.unicode() <= '9';
}

// A reading put into the wanted type; nothing when the text was no number or the value does not
// fit the type.
template <class T>
std::optional<T> converted(const std::optional<Decimal>& d, std::optional<T> (*convert)(const Decimal&))
{
    if (!d)
        return std::nullopt;
    return d->isZero() ? std::optional<T>(T()) : convert(*d);
}

// An exponent's sign and digits from t[i] on, as a number; `sign` passes over a sign (true for
// a minus), `digit` over a digit (its value, or -1 where none stands). Nothing without digits.
template <class Sign, class Digit>
std::optional<qint64> readExponentAt(const QString& t, qsizetype& i, Sign sign, Digit digit)
{
    const bool negative = sign(t, i);
    QString digits;
    for (int d = digit(t, i); d >= 0; d = digit(t, i))
        digits += QChar(u'0' + d);
    if (digits.isEmpty())
        return std::nullopt;
    return readExponent(digits) * (negative ? -1 : 1);
}

std::optional<Decimal> readPlain(const QString& text)
{
    const QString t = text.trimmed();
    qsizetype i = 0;
    const bool negative = detail::takeSign(t, i);
    QString intDigits;
    QString fracDigits;
    while (i < t.size() && isAsciiDigit(t[i]))
        intDigits += t[i++];
    if (i < t.size() && t[i] == u'.') {
        ++i;
        while (i < t.size() && isAsciiDigit(t[i]))
            fracDigits += t[i++];
    }
    if (intDigits.isEmpty() && fracDigits.isEmpty())
        return std::nullopt;
    std::optional<qint64> exponent = 0;
    if (i < t.size() && (t[i] == u'e' || t[i] == u'E')) {
        ++i;
        exponent = readExponentAt(t, i, detail::takeSign<qsizetype>, [](const QString& text, qsizetype& at) {
            return at < text.size() && isAsciiDigit(text[at]) ? text[at++].unicode() - '0' : -1;
        });
    }
    if (!exponent || i != t.size())
        return std::nullopt;
    return makeDecimal(negative, intDigits, fracDigits, *exponent);
}

// ---- the user's number format --------------------------------------------------------------

struct NumberSymbols {
    QString decimal;
    QString group;
    bool groupIsBlank = false;
    QStringList minusSigns;
    QStringList plusSigns;
    QString exponent;
    char32_t zeroDigit = U'0';
};

NumberSymbols symbolsOf(const QLocale& loc)
{
    NumberSymbols s;
    s.decimal = loc.decimalPoint();
    s.group = loc.groupSeparator();
    s.groupIsBlank = s.group.size() == 1 && s.group[0].isSpace();
    s.minusSigns = {QStringLiteral("-"), QString(QChar(0x2212))};
    if (!s.minusSigns.contains(loc.negativeSign()))
        s.minusSigns << loc.negativeSign();
    s.plusSigns = {QStringLiteral("+")};
    if (!s.plusSigns.contains(loc.positiveSign()))
        s.plusSigns << loc.positiveSign();
    s.exponent = loc.exponential();
    const QString zero = loc.zeroDigit();
    const auto ucs4 = zero.toUcs4();
    if (ucs4.size() == 1)
        s.zeroDigit = ucs4[0];
    return s;
}

// The digit value of the code point at i (ASCII or the locale's own digits), advancing i.
int digitAt(const QString& t, qsizetype& i, const NumberSymbols& s)
{
    if (i >= t.size())
        return -1;
    char32_t c = t[i].unicode();
    qsizetype width = 1;
    if (t[i].isHighSurrogate() && i + 1 < t.size() && t[i + 1].isLowSurrogate()) {
        c = QChar::surrogateToUcs4(t[i], t[i + 1]);
        width = 2;
    }
    int value = -1;
    if (c >= U'0' && c <= U'9')
        value = int(c - U'0');
    else if (s.zeroDigit != U'0' && c >= s.zeroDigit && c <= s.zeroDigit + 9)
        value = int(c - s.zeroDigit);
    if (value >= 0)
        i += width;
    return value;
}

bool matchesAt(const QString& t, qsizetype i, const QString& what)
{
    return !what.isEmpty() && QStringView(t).mid(i).startsWith(what);
}

qsizetype signAt(const QString& t, qsizetype i, const QStringList& signs)
{
    for (const QString& s : signs)
        if (matchesAt(t, i, s))
            return s.size();
    return 0;
}

qsizetype signEndingAt(const QString& t, qsizetype end, const QStringList& signs)
{
    for (const QString& s : signs)
        if (!s.isEmpty() && end >= s.size() && QStringView(t).mid(end - s.size(), s.size()) == s)
            return s.size();
    return 0;
}

bool groupAt(const QString& t, qsizetype i, const NumberSymbols& s, qsizetype& width)
{
    if (s.group.isEmpty() || i >= t.size())
        return false;
    if (s.groupIsBlank && t[i].isSpace()) {
        width = 1; // any blank stands for a blank separator: users type a plain space
        return true;
    }
    if (matchesAt(t, i, s.group)) {
        width = s.group.size();
        return true;
    }
    return false;
}

// Lengths of the digit groups the locale writes for a whole number of this many digits.
QList<int> localeGroupLengths(const QLocale& loc, const QString& asciiDigits)
{
    QList<int> lengths;
    if (asciiDigits.size() > 18) {
        // Beyond what QLocale formats: thousands grouping.
        int first = int(asciiDigits.size() % 3);
        if (first == 0)
            first = 3;
        lengths << first;
        for (qsizetype n = first; n < asciiDigits.size(); n += 3)
            lengths << 3;
        return lengths;
    }
    const NumberSymbols s = symbolsOf(loc);
    const QString formatted = loc.toString(asciiDigits.toULongLong());
    int run = 0;
    for (qsizetype i = 0; i < formatted.size();) {
        if (digitAt(formatted, i, s) >= 0) {
            ++run;
        } else {
            if (run > 0)
                lengths << run;
            run = 0;
            ++i;
        }
    }
    if (run > 0)
        lengths << run;
    return lengths;
}

std::optional<Decimal> readLocalized(const QString& text, const QLocale& loc)
{
    const NumberSymbols s = symbolsOf(loc);
    QString t = text.trimmed();
    bool negative = false;
    bool signed_ = false;
    if (qsizetype w = signAt(t, 0, s.minusSigns)) {
        negative = true;
        signed_ = true;
        t = t.mid(w).trimmed();
    } else if (qsizetype w = signAt(t, 0, s.plusSigns)) {
        signed_ = true;
        t = t.mid(w).trimmed();
    }
    if (!signed_) {
        if (qsizetype w = signEndingAt(t, t.size(), s.minusSigns)) {
            negative = true;
            t = t.left(t.size() - w).trimmed();
        } else if (qsizetype w = signEndingAt(t, t.size(), s.plusSigns)) {
            t = t.left(t.size() - w).trimmed();
        }
    }

    qsizetype i = 0;
    QString intDigits;
    QList<int> groups{0};
    bool grouped = false;
    while (i < t.size()) {
        const int digit = digitAt(t, i, s);
        if (digit >= 0) {
            intDigits += QChar(u'0' + digit);
            ++groups.last();
            continue;
        }
        qsizetype width = 0;
        // A separator stands between two digits only.
        if (groups.last() > 0 && groupAt(t, i, s, width)) {
            qsizetype next = i + width;
            if (digitAt(t, next, s) < 0)
                return std::nullopt;
            grouped = true;
            groups << 0;
            i += width;
            continue;
        }
        break;
    }
    QString fracDigits;
    if (matchesAt(t, i, s.decimal)) {
        i += s.decimal.size();
        for (int digit = digitAt(t, i, s); digit >= 0; digit = digitAt(t, i, s))
            fracDigits += QChar(u'0' + digit);
    }
    if (intDigits.isEmpty() && fracDigits.isEmpty())
        return std::nullopt;
    if (grouped) {
        // Grouping counts only as the locale writes it: in de_DE "1.5" is not fifteen but a
        // typing slip, and "1,2,3" is no number anywhere.
        if (intDigits.size() > 1 && intDigits.startsWith(u'0'))
            return std::nullopt;
        if (groups != localeGroupLengths(loc, intDigits))
            return std::nullopt;
    }
    std::optional<qint64> exponent = 0;
    if (i < t.size() && (t[i] == u'e' || t[i] == u'E' || matchesAt(t, i, s.exponent))) {
        i += (t[i] == u'e' || t[i] == u'E') ? 1 : s.exponent.size();
        auto sign = [&s](const QString& text, qsizetype& at) {
            if (qsizetype w = signAt(text, at, s.minusSigns)) {
                at += w;
                return true;
            }
            at += signAt(text, at, s.plusSigns);
            return false;
        };
        exponent =
            readExponentAt(t, i, sign, [&s](const QString& text, qsizetype& at) { return digitAt(text, at, s); });
    }
    if (!exponent || i != t.size())
        return std::nullopt;
    return makeDecimal(negative, intDigits, fracDigits, *exponent);
}

// ---- date patterns ---------------------------------------------------------------------------

// Applies fn to every run of one pattern letter outside quoted literals, replacing the run by
// what fn answers.
template <typename Fn> QString rewriteFields(const QString& pattern, Fn fn)
{
    QString out;
    qsizetype i = 0;
    while (i < pattern.size()) {
        const QChar c = pattern[i];
        if (c == u'\'') {
            const qsizetype close = pattern.indexOf(u'\'', i + 1);
            const qsizetype end = close < 0 ? pattern.size() : close + 1;
            out += pattern.mid(i, end - i);
            i = end;
            continue;
        }
        qsizetype j = i;
        while (j < pattern.size() && pattern[j] == c)
            ++j;
        const QString run = pattern.mid(i, j - i);
        out += c.isLetter() ? fn(run) : run;
        i = j;
    }
    return out;
}

QString timePatternWithoutZone(const QString& pattern)
{
    // The zone field goes with the literal text that joins it to the time ("h:mm:ss a, t").
    QString stripped =
        rewriteFields(pattern, [](const QString& run) { return run.startsWith(u't') ? QStringLiteral("\x01") : run; });
    const qsizetype zone = stripped.indexOf(u'\x01');
    if (zone >= 0) {
        qsizetype from = zone;
        while (from > 0 && !stripped[from - 1].isLetterOrNumber() && stripped[from - 1] != u'\'')
            --from;
        qsizetype to = zone + 1;
        if (from == 0)
            while (to < stripped.size() && !stripped[to].isLetterOrNumber() && stripped[to] != u'\'')
                ++to;
        stripped.remove(from, to - from);
    }
    return stripped.simplified();
}

enum class Field { Day, Month, Year };

// The order of day, month and year in the short date pattern; names count as fields too.
QList<Field> dateFieldOrder(const QString& pattern)
{
    QList<Field> order;
    rewriteFields(pattern, [&order](const QString& run) {
        std::optional<Field> f;
        if (run.startsWith(u'd') && run.size() <= 2)
            f = Field::Day;
        else if (run.startsWith(u'M'))
            f = Field::Month;
        else if (run.startsWith(u'y'))
            f = Field::Year;
        if (f && !order.contains(*f))
            order << *f;
        return run;
    });
    if (order.size() != 3)
        order = {Field::Month, Field::Day, Field::Year};
    return order;
}

// Letters the pattern writes as they stand ("yyyy'年'M'月'd'日'"): a typed word made of them
// is part of the form, not a value.
QString patternLiteralLetters(const QString& pattern)
{
    QString letters;
    qsizetype i = 0;
    while (i < pattern.size()) {
        if (pattern[i] == u'\'') {
            const qsizetype close = pattern.indexOf(u'\'', i + 1);
            const qsizetype end = close < 0 ? pattern.size() : close;
            for (qsizetype k = i + 1; k < end; ++k)
                if (pattern[k].isLetter())
                    letters += pattern[k];
            i = end + 1;
            continue;
        }
        const QChar c = pattern[i];
        if (c.isLetter() && c.unicode() > 127)
            letters += c; // unquoted, and no pattern letter
        ++i;
    }
    return letters;
}

QString foldWord(const QString& word)
{
    QString w = word.toCaseFolded();
    while (w.endsWith(u'.'))
        w.chop(1);
    return w;
}

// 1..12 for a month name of the locale (long, short, stand-alone), 0 otherwise.
int monthFromName(const QLocale& loc, const QString& word)
{
    const QString w = foldWord(word);
    if (w.isEmpty())
        return 0;
    for (int m = 1; m <= 12; ++m)
        for (auto fmt : {QLocale::LongFormat, QLocale::ShortFormat})
            if (foldWord(loc.monthName(m, fmt)) == w || foldWord(loc.standaloneMonthName(m, fmt)) == w)
                return m;
    return 0;
}

bool isDayName(const QLocale& loc, const QString& word)
{
    const QString w = foldWord(word);
    for (int d = 1; d <= 7; ++d)
        for (auto fmt : {QLocale::LongFormat, QLocale::ShortFormat})
            if (foldWord(loc.dayName(d, fmt)) == w || foldWord(loc.standaloneDayName(d, fmt)) == w)
                return true;
    return false;
}

// The text with the locale's own digits as ASCII and invisible direction marks removed, so
// that one reader serves every script.
QString normalizedDateText(const QString& text, const QLocale& loc)
{
    const NumberSymbols s = symbolsOf(loc);
    QString out;
    for (qsizetype i = 0; i < text.size();) {
        const qsizetype before = i;
        const int digit = digitAt(text, i, s);
        if (digit >= 0) {
            out += QChar(u'0' + digit);
            continue;
        }
        i = before + 1;
        if (text[before].category() == QChar::Other_Format)
            continue;
        out += text[before];
    }
    return out;
}

struct TimeOfDay {
    int h = 0;
    int m = 0;
    int s = 0;
};

std::optional<TimeOfDay> parseClockTime(QString t, const QLocale& loc)
{
    int meridiem = 0; // 1 AM, 2 PM
    const QStringList am{loc.amText(), QStringLiteral("AM"), QStringLiteral("A.M.")};
    const QStringList pm{loc.pmText(), QStringLiteral("PM"), QStringLiteral("P.M.")};
    auto take = [&t](const QStringList& texts) {
        for (const QString& a : texts) {
            if (a.isEmpty())
                continue;
            if (t.endsWith(a, Qt::CaseInsensitive)) {
                t = t.left(t.size() - a.size()).trimmed();
                return true;
            }
            if (t.startsWith(a, Qt::CaseInsensitive)) {
                t = t.mid(a.size()).trimmed();
                return true;
            }
        }
        return false;
    };
    if (take(am))
        meridiem = 1;
    else if (take(pm))
        meridiem = 2;
    const QStringList parts = t.split(u':');
    if (parts.size() < 2 || parts.size() > 3)
        return std::nullopt;
    auto allDigits = [](const QString& p) { return !p.isEmpty() && std::all_of(p.begin(), p.end(), isAsciiDigit); };
    QString secondsText = parts.size() == 3 ? parts[2] : QStringLiteral("00");
    const qsizetype dot = secondsText.indexOf(u'.');
    if (dot >= 0) {
        if (!allDigits(secondsText.mid(dot + 1)))
            return std::nullopt;
        secondsText.truncate(dot); // fractions of a second are cut off
    }
    if (!allDigits(parts[0]) || parts[0].size() > 2 || !allDigits(parts[1]) || parts[1].size() != 2 ||
        !allDigits(secondsText) || secondsText.size() != 2)
        return std::nullopt;
    TimeOfDay tod{parts[0].toInt(), parts[1].toInt(), secondsText.toInt()};
    if (tod.m > 59 || tod.s > 59)
        return std::nullopt;
    if (meridiem) {
        if (tod.h < 1 || tod.h > 12)
            return std::nullopt;
        tod.h = (tod.h % 12) + (meridiem == 2 ? 12 : 0);
    } else if (tod.h > 23) {
        return std::nullopt;
    }
    return tod;
}

// A time of day: hours and minutes with colons (seconds and AM/PM optional), or the locale's
// own long or short time form ("16時07分36秒").
std::optional<TimeOfDay> parseTime(const QString& text, const QString& original, const QLocale& loc)
{
    const QString t = text.trimmed();
    if (auto tod = parseClockTime(t, loc))
        return tod;
    for (const QString& pattern :
         {timePatternWithoutZone(loc.timeFormat(QLocale::LongFormat)), loc.timeFormat(QLocale::ShortFormat)}) {
        for (const QString& candidate : {t, original.trimmed()}) {
            const QTime time = loc.toTime(candidate, pattern);
            if (time.isValid())
                return TimeOfDay{time.hour(), time.minute(), time.second()};
        }
    }
    return std::nullopt;
}

} // namespace

QLocale locale()
{
    return QLocale();
}

namespace {

// What formatting money in one locale needs, worked out once per locale rather than on every
// amount: long lists format thousands of them.
struct CurrencyLayout {
    QLocale locale;
    int digits = 2;
    QString point;
    std::array<QString, 10> digitText;
    struct Side {
        QString before; // text before the digits, symbol in place
        QString after;  // text after them
        bool usable = false;
    } positive, negative;
};

int computeCurrencyDigits(const QLocale& loc)
{
    // The locale's default number of currency decimals is only reachable through its format.
    const QString sample = loc.toCurrencyString(0.0, QStringLiteral("\u0001"));
    const QString point = loc.decimalPoint();
    const qsizetype at = point.isEmpty() ? -1 : sample.lastIndexOf(point);
    if (at < 0)
        return 0;
    const NumberSymbols s = symbolsOf(loc);
    int digits = 0;
    for (qsizetype i = at + point.size(); digitAt(sample, i, s) >= 0;)
        ++digits;
    return digits;
}

const CurrencyLayout& currencyLayout()
{
    thread_local std::optional<CurrencyLayout> cached;
    const QLocale loc = locale();
    if (cached && cached->locale == loc)
        return *cached;
    CurrencyLayout c;
    c.locale = loc;
    c.digits = computeCurrencyDigits(loc);
    c.point = loc.decimalPoint();
    for (int k = 0; k < 10; ++k)
        c.digitText[std::size_t(k)] = loc.toString(k);
    QString symbol = loc.currencySymbol();
    if (symbol.isEmpty())
        symbol = loc.currencySymbol(QLocale::CurrencyIsoCode);
    // The locale's own layout (symbol place, blanks, negative form) around a one, with a marker
    // for the symbol; the exact digits then take the one's place.
    const QChar marker(0x0001);
    const QString one = loc.toString(1);
    for (auto* side : {&c.positive, &c.negative}) {
        const QString text = loc.toCurrencyString(side == &c.negative ? -1.0 : 1.0, QString(marker), 0);
        const qsizetype at = text.indexOf(one);
        if (at < 0)
            continue;
        side->before = text.left(at).replace(marker, symbol);
        side->after = text.mid(at + one.size()).replace(marker, symbol);
        side->usable = true;
    }
    cached = std::move(c);
    return *cached;
}

} // namespace

int currencyDigits()
{
    return currencyLayout().digits;
}

QString formatCurrency(const std::optional<Currency>& value)
{
    return value ? formatCurrency(*value) : OutOfRangeText.toString();
}

QString formatCurrency(Currency value)
{
    const CurrencyLayout& c = currencyLayout();
    const Currency rounded = value.rounded(std::min(c.digits, 4));
    const bool negative = rounded.raw() < 0;
    const CurrencyLayout::Side& side = negative ? c.negative : c.positive;
    if (!side.usable)
        return c.locale.toCurrencyString(rounded.toDouble());
    const quint64 magnitude = negative ? 0 - quint64(rounded.raw()) : quint64(rounded.raw());
    QString text = side.before;
    text += c.locale.toString(qulonglong(magnitude / Currency::Scale));
    if (c.digits > 0) {
        text += c.point;
        quint64 fraction = magnitude % Currency::Scale; // four decimals
        for (int k = 0; k < c.digits; ++k) {
            const int digit = k < 4 ? int(fraction / 1000) : 0;
            fraction = (fraction % 1000) * 10;
            text += c.digitText[std::size_t(digit)];
        }
    }
    text += side.after;
    return text;
}

QString shortDatePattern()
{
    // Asked for every date cell of a list: worked out once per locale.
    thread_local QLocale cachedLocale(QLocale::C);
    thread_local QString cachedPattern;
    const QLocale loc = locale();
    if (cachedPattern.isEmpty() || !(cachedLocale == loc)) {
        cachedPattern = rewriteFields(loc.dateFormat(QLocale::ShortFormat), [](const QString& run) {
            return run.startsWith(u'y') ? QStringLiteral("yyyy") : run;
        });
        cachedLocale = loc;
    }
    return cachedPattern;
}

QString formatShortDate(const OleDate& value)
{
    return locale().toString(value.date(), shortDatePattern());
}

QString formatLongTime(const OleDate& value)
{
    const QLocale loc = locale();
    return loc.toString(value.time(), timePatternWithoutZone(loc.timeFormat(QLocale::LongFormat)));
}

QString formatGeneralDate(const OleDate& value)
{
    const bool hasTime = value.time() != QTime(0, 0);
    const bool hasDate = value.date() != OleDate::epoch();
    if (!hasTime)
        return formatShortDate(value);
    if (!hasDate)
        return formatLongTime(value);
    return formatShortDate(value) + u' ' + formatLongTime(value);
}

QString formatDate(const OleDate& value, const QString& displayFormat)
{
    const QLocale loc = locale();
    const QString name = displayFormat.trimmed();
    auto is = [&name](const char* n) { return name.compare(QLatin1String(n), Qt::CaseInsensitive) == 0; };
    if (name.isEmpty() || is("General Date"))
        return formatGeneralDate(value);
    if (is("Short Date"))
        return formatShortDate(value);
    if (is("Long Date"))
        return loc.toString(value.date(), QLocale::LongFormat);
    if (is("Medium Date"))
        return loc.toString(value.date(), QStringLiteral("dd-MMM-yyyy"));
    if (is("Long Time") || is("Medium Time"))
        return formatLongTime(value);
    if (is("Short Time"))
        return value.time().toString(QStringLiteral("HH:mm"));
    return loc.toString(value.toWallClock(), displayFormat);
}

std::optional<OleDate> parseDate(const QString& text)
{
    const QLocale loc = locale();
    const QString pattern = loc.dateFormat(QLocale::ShortFormat);
    const QString t = normalizedDateText(text, loc).trimmed();
    if (t.isEmpty())
        return std::nullopt;
    const QString literalLetters = patternLiteralLetters(pattern);

    // Day, month and year: three numbers (or a month name) with anything but letters and
    // digits between them; words the pattern itself writes, and day names, are passed over.
    struct Token {
        QString text;
        bool number = false;
        int month = 0; // a month name's number
    };
    QList<Token> tokens;
    QString separators;
    qsizetype i = 0;
    while (tokens.size() < 3) {
        while (i < t.size() && !t[i].isLetterOrNumber())
            separators += t[i++];
        if (i >= t.size())
            return std::nullopt;
        Token token;
        if (isAsciiDigit(t[i])) {
            while (i < t.size() && isAsciiDigit(t[i]))
                token.text += t[i++];
            token.number = true;
        } else {
            while (i < t.size() && (t[i].isLetter() || t[i].isMark()))
                token.text += t[i++];
            if (token.text.isEmpty())
                return std::nullopt; // a digit of another script
            token.month = monthFromName(loc, token.text);
            if (token.month == 0) {
                const bool literal = std::all_of(token.text.begin(), token.text.end(),
                                                 [&](QChar c) { return literalLetters.contains(c); });
                if (literal || isDayName(loc, token.text))
                    continue;
                return std::nullopt;
            }
        }
        tokens << token;
    }

    int year = 0;
    int month = 0;
    int day = 0;
    QString yearText;
    // ISO yyyy-MM-dd, whatever the user's order.
    const bool iso = tokens[0].number && tokens[0].text.size() == 4 && tokens[1].number && tokens[2].number &&
                     separators == QStringLiteral("--");
    const QList<Field> order = iso ? QList<Field>{Field::Year, Field::Month, Field::Day} : dateFieldOrder(pattern);
    for (int k = 0; k < 3; ++k) {
        const Token& tok = tokens[k];
        switch (order[k]) {
        case Field::Year:
            if (!tok.number)
                return std::nullopt;
            yearText = tok.text;
            break;
        case Field::Month:
            month = tok.number ? (tok.text.size() <= 2 ? tok.text.toInt() : 0) : tok.month;
            break;
        case Field::Day:
            if (!tok.number)
                return std::nullopt;
            day = tok.text.size() <= 2 ? tok.text.toInt() : 0;
            break;
        }
    }
    if (yearText.size() == 4) {
        year = yearText.toInt();
    } else if (yearText.size() == 2) {
        const int yy = yearText.toInt();
        year = yy < 30 ? 2000 + yy : 1900 + yy;
    } else {
        return std::nullopt;
    }
    const QDate date(year, month, day);
    if (!date.isValid() || year < 100)
        return std::nullopt;

    // What follows: the end of the pattern's own text ("25.11.2026.", "2026年11月25日"), then
    // nothing or a time of day ("T16:07:36" after an ISO date).
    for (qsizetype j = i; j < t.size(); ++j) {
        const QChar c = t[j];
        if (c.isSpace())
            continue;
        if (!literalLetters.contains(c) && (c.isLetterOrNumber() || !pattern.contains(c)))
            break;
        i = j + 1;
    }
    QString rest = t.mid(i);
    if (iso && rest.startsWith(u'T'))
        rest.remove(0, 1);
    else if (!rest.isEmpty() && !rest[0].isSpace())
        return std::nullopt;
    TimeOfDay tod;
    if (!rest.trimmed().isEmpty()) {
        // The original text's tail too: the locale's own time form may use its own digits.
        const QString original = text.trimmed();
        const qsizetype tail = original.size() - (t.size() - i);
        const auto parsed = parseTime(rest, tail >= 0 ? original.mid(tail) : rest, loc);
        if (!parsed)
            return std::nullopt;
        tod = *parsed;
    }
    return OleDate::fromYmdHms(year, month, day, tod.h, tod.m, tod.s);
}

std::optional<double> parseNumber(const QString& text)
{
    return converted(readLocalized(text, locale()), toDouble);
}

bool isNumeric(const QString& text)
{
    return parseNumber(text).has_value();
}

std::optional<Currency> parseCurrency(const QString& text)
{
    return converted(readLocalized(text, locale()), toCurrency);
}

std::optional<Currency> parseMoneyEntry(const QString& text)
{
    const QLocale loc = locale();
    // Direction marks some locales put round the symbol and the sign are no part of the amount.
    const auto unmarked = [](QString t) {
        t.removeIf([](QChar c) { return c == QChar(0x200E) || c == QChar(0x200F) || c == QChar(0x061C); });
        return t.trimmed();
    };
    QString t = unmarked(text);
    const QString minus = unmarked(loc.negativeSign());
    const QString plus = unmarked(loc.positiveSign());
    QString sign;
    if (t.size() > 2 && t.front() == u'(' && t.back() == u')') {
        t = t.mid(1, t.size() - 2).trimmed();
        sign = QStringLiteral("-");
    }
    // One symbol, at either end or right after a leading sign ("-$5"); one inside the
    // digits ("5$5") is no amount.
    const QString symbols[] = {unmarked(loc.currencySymbol(QLocale::CurrencySymbol)),
                               loc.currencySymbol(QLocale::CurrencyIsoCode), QStringLiteral("$")};
    for (const QString& symbol : symbols) {
        if (symbol.isEmpty())
            continue;
        const qsizetype at = t.indexOf(symbol);
        if (at < 0)
            continue;
        const QString before = t.left(at).trimmed();
        const bool leading = before.isEmpty() || before == u'-' || before == u'+' || before == minus || before == plus;
        if (leading)
            t = before + t.mid(at + symbol.size()).trimmed();
        else if (at + symbol.size() == t.size())
            t = before;
        else
            return std::nullopt;
        break;
    }
    if (!sign.isEmpty()) {
        // A bracketed amount carries no sign of its own.
        for (const QString& own : {QStringLiteral("-"), QStringLiteral("+"), minus, plus})
            if (!own.isEmpty() && t.startsWith(own))
                return std::nullopt;
        t.prepend(sign);
    }
    return parseCurrency(t);
}

std::optional<qint64> parseWholeNumber(const QString& text)
{
    return converted(readLocalized(text, locale()), toWhole);
}

bool isPlainNumeric(const QString& text)
{
    return parsePlainNumber(text).has_value();
}

std::optional<double> parsePlainNumber(const QString& text)
{
    return converted(readPlain(text), toDouble);
}

std::optional<Currency> parsePlainCurrency(const QString& text)
{
    return converted(readPlain(text), toCurrency);
}

std::optional<qint64> parsePlainWholeNumber(const QString& text)
{
    return converted(readPlain(text), toWhole);
}

QString plainNumberText(double value)
{
    if (!std::isfinite(value))
        return QStringLiteral("0");
    if (value == 0)
        return QStringLiteral("0"); // also for -0
    return QString::number(value, 'f', QLocale::FloatingPointShortest);
}

std::optional<QString> defaultText(const QVariant& value)
{
    if (!value.isValid() || value.isNull())
        return std::nullopt;
    const QLocale loc = locale();
    if (value.metaType() == QMetaType::fromType<Currency>()) {
        QString text = value.value<Currency>().toPlainString();
        text.replace(u'.', loc.decimalPoint());
        return text;
    }
    if (value.metaType() == QMetaType::fromType<OleDate>())
        return formatGeneralDate(value.value<OleDate>());
    switch (value.metaType().id()) {
    case QMetaType::Bool:
        return value.toBool() ? QStringLiteral("True") : QStringLiteral("False");
    case QMetaType::Int:
    case QMetaType::Short:
    case QMetaType::Long:
    case QMetaType::LongLong:
    case QMetaType::SChar:
        return QString::number(value.toLongLong());
    case QMetaType::UInt:
    case QMetaType::UShort:
    case QMetaType::ULong:
    case QMetaType::ULongLong:
    case QMetaType::UChar:
        return QString::number(value.toULongLong());
    case QMetaType::Double:
    case QMetaType::Float: {
        // Fifteen significant digits, as the platform writes a double: 0.1 + 0.2 reads "0.3".
        QString text = QString::number(value.toDouble(), 'g', 15);
        text.replace(u'.', loc.decimalPoint());
        return text;
    }
    case QMetaType::QDate:
        return formatShortDate(OleDate::fromParts(value.toDate()));
    case QMetaType::QDateTime:
        return formatGeneralDate(OleDate::fromWallClock(value.toDateTime()));
    case QMetaType::QTime:
        return formatLongTime(OleDate::fromParts(OleDate::epoch(), value.toTime()));
    case QMetaType::QString:
        return value.toString();
    default:
        break;
    }
    if (value.canConvert<QString>())
        return value.toString();
    return std::nullopt;
}

} // namespace tesr::Regional

#pragma once

// A calendar date and time of day with no time zone attached, counted in whole seconds from
// day 0 = 1899-12-30 00:00:00 (the serial scale the ledger's rules are written in).
// Which zone a value is in (universal or local) is the caller's knowledge; conversions
// between the two go through modSharedDateTime. Header-only.

#include <QDate>
#include <QDateTime>
#include <QMetaType>
#include <QTime>
#include <QVariant>

#include <cmath>
#include <compare>
#include <cstdint>
#include <optional>

namespace tesr {

class OleDate {
public:
    // Day 0 of the serial scale.
    static constexpr std::int64_t SecondsPerDay = 86400;
    static QDate epoch() { return QDate(1899, 12, 30); }

    constexpr OleDate() = default; // serial 0: 1899-12-30 00:00:00, "never set"

    static constexpr OleDate fromSeconds(std::int64_t s) { return OleDate(s); }
    static OleDate fromSerial(double serial)
    {
        return OleDate(std::int64_t(std::llround(serial * double(SecondsPerDay))));
    }
    static std::optional<OleDate> fromYmdHms(int y, int mo, int d, int h = 0, int mi = 0, int s = 0)
    {
        // The years a ledger holds are counted by hand (every date cell of a long list comes
        // through here); QDate's rules, and QDate itself for any other year.
        if (y >= 1 && y <= 9999) {
            if (mo < 1 || mo > 12 || d < 1 || d > daysInMonth(y, mo) || h < 0 || h > 23 || mi < 0 || mi > 59 || s < 0 ||
                s > 59)
                return std::nullopt;
            return OleDate((daysFromCivil(y, mo, d) - daysFromCivil(1899, 12, 30)) * SecondsPerDay + h * 3600 +
                           mi * 60 + s);
        }
        const QDate date(y, mo, d);
        const QTime time(h, mi, s);
        if (!date.isValid() || !time.isValid())
            return std::nullopt;
        return fromParts(date, time);
    }
    static OleDate fromParts(const QDate& date, const QTime& time = QTime(0, 0))
    {
        return OleDate(epoch().daysTo(date) * SecondsPerDay + QTime(0, 0).secsTo(time));
    }
    // Takes the wall-clock fields of a QDateTime as they read, ignoring its zone.
    static OleDate fromWallClock(const QDateTime& dt) { return fromParts(dt.date(), dt.time()); }

    // A database or loosely typed value: QDateTime/QDate (wall-clock fields), an OleDate, a
    // serial number, or text as engines return it ("2018-01-23 16:07:36", "2018-01-23T16:07:36",
    // "20180123 16:07:36", "2018-01-23"). Nothing for NULL or anything else.
    static std::optional<OleDate> fromVariant(const QVariant& value);
    // Exactly "yyyy-MM-dd HH:mm:ss", "yyyy-MM-ddTHH:mm:ss" or "yyyyMMdd HH:mm:ss"; nothing else.
    static std::optional<OleDate> fromEngineText(const QString& text);

    // The absent date: 1900-01-01 00:00:00, serial 2.
    static constexpr OleDate absent() { return OleDate(2 * SecondsPerDay); }
    // At or before the absent date: nothing to show, "NULL" for SQL.
    constexpr bool isAbsent() const { return m_secs <= 2 * SecondsPerDay; }

    constexpr std::int64_t seconds() const { return m_secs; }
    double serial() const { return double(m_secs) / double(SecondsPerDay); }

    QDate date() const { return epoch().addDays(floorDiv(m_secs, SecondsPerDay)); }
    QTime time() const { return QTime(0, 0).addSecs(int(m_secs - floorDiv(m_secs, SecondsPerDay) * SecondsPerDay)); }
    // Wall-clock fields in a QDateTime that carries no zone shift (UTC spec), so that Qt
    // never moves it across a daylight-saving gap.
    QDateTime toWallClock() const { return QDateTime(date(), time(), Qt::UTC); }

    constexpr OleDate addSeconds(std::int64_t s) const { return OleDate(m_secs + s); }
    constexpr OleDate addMinutes(std::int64_t m) const { return OleDate(m_secs + m * 60); }
    OleDate startOfDay() const { return OleDate(floorDiv(m_secs, SecondsPerDay) * SecondsPerDay); }

    // 2018-01-23T16:07:36, the form record documents carry.
    QString toIsoString() const { return date().toString(u"yyyy-MM-dd") + u'T' + time().toString(u"HH:mm:ss"); }

    constexpr auto operator<=>(const OleDate&) const = default;

private:
    constexpr explicit OleDate(std::int64_t s) : m_secs(s) {}
    // Proleptic Gregorian, for years 1 to 9999.
    static constexpr int daysInMonth(int y, int m)
    {
        constexpr int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
        const bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
        return m == 2 && leap ? 29 : days[m - 1];
    }
    // Days since 1970-01-01 in the proleptic Gregorian calendar (the days-from-civil count).
    static constexpr std::int64_t daysFromCivil(int y, int m, int d)
    {
        y -= m <= 2 ? 1 : 0;
        const int era = y / 400; // y >= 0 here
        const int yoe = y - era * 400;
        const int doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
        const int doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
        return std::int64_t(era) * 146097 + doe - 719468;
    }
    static constexpr std::int64_t floorDiv(std::int64_t a, std::int64_t b)
    {
        return a / b - ((a % b != 0) && ((a < 0) != (b < 0)) ? 1 : 0);
    }

    std::int64_t m_secs = 0;
};

} // namespace tesr

// Declared before any inline code asks for the metatype (a late declaration is an error).
// Relocatable: a QVariant holds the value in place instead of on the heap (a list of thousands
// of amounts and dates would otherwise allocate once per cell).
Q_DECLARE_TYPEINFO(tesr::OleDate, Q_RELOCATABLE_TYPE);
Q_DECLARE_METATYPE(tesr::OleDate)

namespace tesr {

inline std::optional<OleDate> OleDate::fromEngineText(const QString& text)
{
    const bool dashed =
        text.size() == 19 && text[4] == u'-' && text[7] == u'-' && (text[10] == u' ' || text[10] == u'T');
    const bool compact = text.size() == 17 && text[8] == u' ';
    if (!dashed && !compact)
        return std::nullopt;
    auto number = [&text](qsizetype at, int width, int& out) {
        out = 0;
        for (int i = 0; i < width; ++i) {
            const char16_t c = text[at + i].unicode();
            if (c < u'0' || c > u'9')
                return false;
            out = out * 10 + int(c - u'0');
        }
        return true;
    };
    const qsizetype t = dashed ? 11 : 9; // where the time starts
    int y, mo, d, h, mi, sec;
    if (!number(0, 4, y) || !number(dashed ? 5 : 4, 2, mo) || !number(dashed ? 8 : 6, 2, d) || !number(t, 2, h) ||
        text[t + 2] != u':' || !number(t + 3, 2, mi) || text[t + 5] != u':' || !number(t + 6, 2, sec))
        return std::nullopt;
    return fromYmdHms(y, mo, d, h, mi, sec);
}

inline std::optional<OleDate> OleDate::fromVariant(const QVariant& value)
{
    if (!value.isValid() || value.isNull())
        return std::nullopt;
    switch (value.metaType().id()) {
    case QMetaType::QDateTime:
        return fromWallClock(value.toDateTime());
    case QMetaType::QDate:
        return fromParts(value.toDate());
    case QMetaType::Double:
    case QMetaType::Float:
        return fromSerial(value.toDouble());
    default:
        break;
    }
    if (value.metaType() == QMetaType::fromType<OleDate>())
        return value.value<OleDate>();
    // The engines' own form, read for every date cell of a list: parsed by hand.
    if (value.metaType().id() == QMetaType::QString) {
        const QString text = value.toString();
        if (auto quick = fromEngineText(text))
            return quick;
    }
    // Date and time parsed apart: a zone-aware parse would refuse wall-clock times that
    // fall into a daylight-saving gap.
    const QString text = value.toString().trimmed();
    qsizetype cut = -1;
    for (qsizetype i = 0; i < text.size() && cut < 0; ++i)
        if (text[i] == u' ' || text[i] == u'T')
            cut = i;
    const QString datePart = cut < 0 ? text : text.left(cut);
    const QString timePart = cut < 0 ? QString() : text.mid(cut + 1).trimmed();
    QDate date = QDate::fromString(datePart, u"yyyy-MM-dd");
    if (!date.isValid())
        date = QDate::fromString(datePart, u"yyyyMMdd");
    if (!date.isValid())
        return std::nullopt;
    if (timePart.isEmpty())
        return fromParts(date);
    for (const auto* f : {u"HH:mm:ss", u"HH:mm:ss.z", u"HH:mm:ss.zzz", u"HH:mm"}) {
        const QTime time = QTime::fromString(timePart, QString::fromUtf16(f));
        if (time.isValid())
            return fromParts(date, QTime(time.hour(), time.minute(), time.second()));
    }
    return std::nullopt;
}

} // namespace tesr

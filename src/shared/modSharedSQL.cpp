#include "shared/modSharedSQL.h"

namespace tesr::modSharedSQL {

QString FixSQLQuotes(const QString& value)
{
    QString text = value;
    text.replace(u'\'', QStringLiteral("''"));
    return text;
}

QString FormatSQLDate(const OleDate& date, bool allowNull)
{
    if (allowNull && date.isAbsent())
        return QStringLiteral("NULL");
    // Written by hand rather than through a date pattern: the form must not follow any
    // regional setting, and years before 1000 keep four digits.
    const QDate d = date.date();
    const QTime t = date.time();
    return QStringLiteral("%1%2%3 %4:%5:%6")
        .arg(d.year(), 4, 10, QChar(u'0'))
        .arg(d.month(), 2, 10, QChar(u'0'))
        .arg(d.day(), 2, 10, QChar(u'0'))
        .arg(t.hour(), 2, 10, QChar(u'0'))
        .arg(t.minute(), 2, 10, QChar(u'0'))
        .arg(t.second(), 2, 10, QChar(u'0'));
}

std::optional<QString> SQLWholeNumber(const QString& text, qint64 low, qint64 high)
{
    const QString t = text.trimmed();
    if (t.isEmpty())
        return QStringLiteral("NULL");
    qsizetype i = (t[0] == u'-' || t[0] == u'+') ? 1 : 0;
    if (i == t.size())
        return std::nullopt;
    qint64 value = 0;
    for (; i < t.size(); ++i) {
        const char16_t c = t[i].unicode();
        if (c < u'0' || c > u'9')
            return std::nullopt;
        // Past the range's widest bound the number is refused whatever digits follow.
        if (value > (std::max(qAbs(low), qAbs(high)) - (c - u'0')) / 10)
            return std::nullopt;
        value = value * 10 + (c - u'0');
    }
    if (t[0] == u'-')
        value = -value;
    if (value < low || value > high)
        return std::nullopt;
    return QString::number(value);
}

} // namespace tesr::modSharedSQL

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

} // namespace tesr::modSharedSQL

#include "shared/modSharedXML.h"

#include "values/Regional.h"

#include <QRegularExpression>

#include <algorithm>
#include <limits>

namespace tesr::modSharedXML {

namespace {

bool isElementName(const QString& name)
{
    static const QRegularExpression re(QStringLiteral("^[A-Za-z_][A-Za-z0-9_.\\-]*$"));
    return re.match(name).hasMatch();
}

} // namespace

QDomElement SelectSingleNode(const QDomNode& node, const QString& path)
{
    if (node.isNull())
        return QDomElement();
    const QStringList steps = path.split(u'/');
    QDomNode current = node;
    for (const QString& step : steps) {
        // Only plain element names: anything else is no path this reader understands.
        if (!isElementName(step))
            return QDomElement();
        current = current.firstChildElement(step);
        if (current.isNull())
            return QDomElement();
    }
    return current.toElement();
}

QString UnescapeXMLText(const QString& text)
{
    QString result = text;
    result.replace(QStringLiteral("&#13;"), QStringLiteral("\r"));
    result.replace(QStringLiteral("&#10;"), QStringLiteral("\n"));
    return result;
}

QString GetNodeText(const QString& column, const QDomElement& record, const QString& defaultText)
{
    if (record.isNull())
        return defaultText;
    const QDomElement node = SelectSingleNode(record, column);
    if (node.isNull())
        return defaultText;
    const QString text = node.text();
    return text.isEmpty() ? defaultText : UnescapeXMLText(text);
}

qint32 GetNodeLong(const QString& column, const QDomElement& record, qint32 defaultValue)
{
    const QString text = GetNodeText(column, record, QString());
    if (text.isEmpty() || !Regional::isPlainNumeric(text))
        return defaultValue;
    const std::optional<qint64> value = Regional::parsePlainWholeNumber(text);
    if (!value || *value > std::numeric_limits<qint32>::max() || *value < std::numeric_limits<qint32>::min())
        return 0;
    return qint32(*value);
}

Currency GetNodeCurrency(const QString& column, const QDomElement& record, Currency defaultValue)
{
    const QString text = GetNodeText(column, record, QString());
    if (text.isEmpty() || !Regional::isPlainNumeric(text))
        return defaultValue;
    return Regional::parsePlainCurrency(text).value_or(Currency());
}

OleDate GetNodeDate(const QString& column, const QDomElement& record, const OleDate& defaultValue)
{
    return ParseXMLDate(GetNodeText(column, record, QString()), defaultValue);
}

OleDate ParseXMLDate(const QString& text, const OleDate& defaultValue)
{
    if (text.isEmpty())
        return defaultValue;
    const QStringList halves = text.split(u'T');
    if (halves.size() < 2)
        return defaultValue;
    const QStringList ymd = halves[0].split(u'-');
    if (ymd.size() < 3)
        return defaultValue;

    auto whole = [](const QString& piece, int& out) {
        const QString p = piece.trimmed();
        if (p.isEmpty() || p.size() > 9)
            return false;
        for (QChar c : p)
            if (c < u'0' || c > u'9')
                return false;
        out = p.toInt();
        return true;
    };
    int y = 0, mo = 0, d = 0;
    if (!whole(ymd[0], y) || !whole(ymd[1], mo) || !whole(ymd[2], d))
        return defaultValue;

    // Hours and minutes, seconds where present; a fraction of a second is cut off and a
    // zone suffix ("Z", "+01:00") is not accepted: the documents carry local wall-clock values.
    const QStringList hms = halves[1].split(u':');
    if (hms.size() < 2 || hms.size() > 3)
        return defaultValue;
    int h = 0, mi = 0, s = 0;
    QString secondsText = hms.size() == 3 ? hms[2] : QStringLiteral("0");
    const qsizetype dot = secondsText.indexOf(u'.');
    if (dot >= 0) {
        const QString fraction = secondsText.mid(dot + 1);
        if (fraction.isEmpty() ||
            !std::all_of(fraction.begin(), fraction.end(), [](QChar c) { return c >= u'0' && c <= u'9'; }))
            return defaultValue;
        secondsText.truncate(dot);
    }
    if (!whole(hms[0], h) || !whole(hms[1], mi) || !whole(secondsText, s))
        return defaultValue;
    return OleDate::fromYmdHms(y, mo, d, h, mi, s).value_or(defaultValue);
}

} // namespace tesr::modSharedXML

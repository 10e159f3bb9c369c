#pragma once

// Readers over the host's record documents ("Records/Record", one child element per column).
// None of them fails: a missing, empty or unreadable value gives the default.

#include "values/Currency.h"
#include "values/OleDate.h"

#include <QDomDocument>
#include <QDomElement>
#include <QString>

namespace tesr::modSharedXML {

// The first element along a path of element names ("Records/Record") below the node, or a
// null element.
QDomElement SelectSingleNode(const QDomNode& node, const QString& path);

QString GetNodeText(const QString& column, const QDomElement& record, const QString& defaultText = QString());
// Fractions round half to even; a number beyond 32 bits gives 0, not the default.
qint32 GetNodeLong(const QString& column, const QDomElement& record, qint32 defaultValue = 0);
Currency GetNodeCurrency(const QString& column, const QDomElement& record, Currency defaultValue = Currency());
OleDate GetNodeDate(const QString& column, const QDomElement& record, const OleDate& defaultValue = OleDate::absent());

// "&#13;" -> CR, then "&#10;" -> LF; nothing else.
QString UnescapeXMLText(const QString& text);
// 2018-01-23T16:07:36 (seconds optional); the default for anything else.
OleDate ParseXMLDate(const QString& text, const OleDate& defaultValue);

} // namespace tesr::modSharedXML

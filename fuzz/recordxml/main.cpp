// The record-document readers on any document. For every column of the first record (and a
// few names it may lack), beyond not crashing:
//   - a date read is a real date that reads back from its own ISO text;
//   - a whole number or an amount read, written back into the column as plain text, reads
//     back the same;
//   - a text read is the column's text with its line-break entities turned back, or the
//     default when the column is empty or missing.

#include "FuzzSupport.h"

#include "shared/modSharedXML.h"

#include <QDomDocument>

using tesr::Currency;
using tesr::OleDate;
namespace xml = tesr::modSharedXML;

namespace {

// The column's text replaced by `text` (in the document itself).
void rewrite(QDomElement column, const QString& text)
{
    while (!column.firstChild().isNull())
        column.removeChild(column.firstChild());
    column.appendChild(column.ownerDocument().createTextNode(text));
}

void readColumn(const QString& name, const QDomElement& record)
{
    const OleDate absent = OleDate::absent();
    const OleDate date = xml::GetNodeDate(name, record, absent);
    if (date != absent) {
        FUZZ_CHECK(date.date().isValid(), name);
        FUZZ_CHECK(xml::ParseXMLDate(date.toIsoString(), absent) == date, date.toIsoString());
    }
    const QString text = xml::GetNodeText(name, record, QStringLiteral("(default)"));
    const QDomElement column = xml::SelectSingleNode(record, name);
    if (column.isNull() || column.text().isEmpty())
        FUZZ_CHECK(text == u"(default)", name + ": " + fuzz::shown(text));
    else
        FUZZ_CHECK(text == xml::UnescapeXMLText(column.text()), name + ": " + fuzz::shown(text));

    const qint32 whole = xml::GetNodeLong(name, record, -7);
    const Currency amount = xml::GetNodeCurrency(name, record, Currency::fromRaw(-7));
    if (column.isNull())
        return;
    rewrite(column, QString::number(whole));
    FUZZ_CHECK(xml::GetNodeLong(name, record, -7) == whole, name + ": " + QString::number(whole));
    rewrite(column, amount.toPlainString());
    FUZZ_CHECK(xml::GetNodeCurrency(name, record, Currency::fromRaw(-7)) == amount,
               name + ": " + amount.toPlainString());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    QDomDocument doc;
    if (!doc.setContent(QByteArray::fromRawData(reinterpret_cast<const char*>(data), qsizetype(size))))
        return 0;
    const QDomElement record = xml::SelectSingleNode(doc, QStringLiteral("Records/Record"));
    QStringList names{QStringLiteral("Amount"), QStringLiteral("PaymentDate"), QStringLiteral("Records/Record"),
                      QString()};
    for (QDomElement c = record.firstChildElement(); !c.isNull() && names.size() < 40; c = c.nextSiblingElement())
        names << c.tagName();
    for (const QString& name : std::as_const(names))
        readColumn(name, record);
    return 0;
}

// Reading single column values out of the host's record documents.

#include "support/TestMain.h"

#include "shared/modSharedXML.h"

using namespace tesr;
using namespace tesr::modSharedXML;
using namespace Qt::StringLiterals;

class RecordXmlTest : public QObject {
    Q_OBJECT

    // The first record of a document whose records hold the given columns as raw XML.
    QDomDocument m_doc;
    QDomElement record(const QString& columns)
    {
        if (!m_doc.setContent("<Records><Record>" + columns + "</Record><Record><N>2</N></Record></Records>"))
            qFatal("test document does not parse: %s", qPrintable(columns));
        return SelectSingleNode(m_doc, u"Records/Record"_s);
    }

private slots:
    void cleanup() { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates)); }

    void noRecord()
    {
        QVERIFY(SelectSingleNode(QDomDocument(), u"Records/Record"_s).isNull());
        QCOMPARE(GetNodeLong(u"N"_s, record({})), 0); // the first record only
        QVERIFY(SelectSingleNode(m_doc, u"Other/Record"_s).isNull());
        const QDomElement none;
        QCOMPARE(GetNodeCurrency(u"A"_s, none, Currency::fromUnits(3)), Currency::fromUnits(3));
        QCOMPARE(GetNodeDate(u"A"_s, none), OleDate::absent());
    }

    // One value read every way: column N of a record, the default "7" for each reader.
    void values_data()
    {
        QTest::addColumn<QString>("row"); // reader|columns|expected
        for (const char* row :
             {"text||7", "text|<N>Acme &amp; Co</N>|Acme & Co",
              "text|<N>one&amp;#13;&amp;#10;two&amp;#9;</N>|one\r\ntwo&#9;",
              "text|<n>x</n>|7", // case counts
              "long|<N>1,234</N>|7", "long|<N> -12 </N>|-12", "long|<N>-3.5</N>|-4",
              "long|<N>2147483647.5</N>|0", // beyond 32 bits after rounding
              "money|<N>123.4500</N>|123.45", "money|<N>abc</N>|7", "money|<N>0.00005</N>|0",
              "date|<N>2018-01-23T16:07:36.997</N>|2018-01-23T16:07:36",
              "date|<N>2018-01-23-99T16:07:36Tjunk</N>|2018-01-23T16:07:36",
              "date|<N>2018-01-23</N>|1900-01-01T00:00:00", "date|<N>2018-02-30T10:00:00</N>|1900-01-01T00:00:00",
              "date|<N>2018-01-23T16:07:36Z</N>|1900-01-01T00:00:00",
              "date|<N>yesterdayT16:07</N>|1900-01-01T00:00:00"})
            QTest::newRow(row) << QString::fromLatin1(row);
    }
    void values()
    {
        QFETCH(QString, row);
        const QString reader = row.section(u'|', 0, 0);
        const QString expected = row.section(u'|', 2);
        const QDomElement r = record(row.section(u'|', 1, 1));
        if (reader == "money")
            QLocale::setDefault(QLocale(u"de_DE"_s)); // documents do not follow the user's settings
        const QString n = u"N"_s;
        if (reader == "text")
            QCOMPARE(GetNodeText(n, r, u"7"_s), expected);
        else if (reader == "long")
            QCOMPARE(GetNodeLong(n, r, 7), expected.toInt());
        else if (reader == "money")
            QCOMPARE(GetNodeCurrency(n, r, Currency::fromUnits(7)), Currency::parsePlain(expected).value());
        else
            QCOMPARE(GetNodeDate(n, r, OleDate::absent()).toIsoString(), expected);
    }

    void unescapeOnlyLineBreaks()
    {
        QCOMPARE(UnescapeXMLText(u"a&#13;&#10;b&#10;&#13;&amp;&#9;&lt;"_s), u"a\r\nb\n\r&amp;&#9;&lt;"_s);
        QCOMPARE(ParseXMLDate(QString(), OleDate::absent()), OleDate::absent());
    }
};

TESR_TEST_MAIN(RecordXmlTest)
#include "tst_record_xml.moc"

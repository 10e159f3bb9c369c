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
        QVERIFY(SelectSingleNode(m_doc, u"Records//Record"_s).isNull());
        QVERIFY(SelectSingleNode(m_doc, u"Other/Record"_s).isNull());
        const QDomElement none;
        QCOMPARE(GetNodeText(u"A"_s, none, u"d"_s), u"d"_s);
        QCOMPARE(GetNodeLong(u"A"_s, none, 7), 7);
        QCOMPARE(GetNodeCurrency(u"A"_s, none, Currency::fromUnits(3)), Currency::fromUnits(3));
        QCOMPARE(GetNodeDate(u"A"_s, none), OleDate::absent());
    }

    // One value read every way: column N of a record, the default "7" for each reader.
    void values_data()
    {
        QTest::addColumn<QString>("reader");
        QTest::addColumn<QString>("columns");
        QTest::addColumn<QString>("expected");
        auto row = [](const char* reader, const char* columns, const char* expected) {
            QTest::addRow("%s %s", reader, columns) << reader << columns << expected;
        };
        row("text", "", "7");
        row("text", "<N/>", "7");
        row("text", "<N>Acme &amp; Co</N>", "Acme & Co");
        row("text", "<N>one&amp;#13;&amp;#10;two&amp;#9;</N>", "one\r\ntwo&#9;");
        row("text", "<N>  a  </N>", "  a  ");
        row("text", "<n>x</n>", "7"); // case counts
        row("long", "<N>1,234</N>", "7");
        row("long", "<N> -12 </N>", "-12");
        row("long", "<N>2.5</N>", "2");
        row("long", "<N>-3.5</N>", "-4");
        row("long", "<N>1e3</N>", "1000");
        row("long", "<N>-2147483648</N>", "-2147483648");
        row("long", "<N>2147483647.5</N>", "0"); // beyond 32 bits after rounding
        row("long", "<N>99999999999999999999999</N>", "0");
        row("money", "<N>123.4500</N>", "123.45");
        row("money", "<N>abc</N>", "7");
        row("money", "<N>0.00005</N>", "0");
        row("money", "<N>1.5e+2</N>", "150");
        row("money", "<N>1e30</N>", "0");
        row("date", "<N>2018-01-23T16:07:36.997</N>", "2018-01-23T16:07:36");
        row("date", "<N>2018-01-23T16:07</N>", "2018-01-23T16:07:00");
        row("date", "<N>2018-01-23-99T16:07:36Tjunk</N>", "2018-01-23T16:07:36");
        for (const char* bad : {"2018-01-23", "2018-02-30T10:00:00", "2018-01-23T25:00:00", "2018-01-23T16",
                                "2018-01T16:07:36", "2018-01-23T16:07:36Z", "yesterdayT16:07"})
            row("date", qPrintable(u"<N>%1</N>"_s.arg(QLatin1String(bad))), "1900-01-01T00:00:00");
    }
    void values()
    {
        QFETCH(QString, reader);
        QFETCH(QString, columns);
        QFETCH(QString, expected);
        const QDomElement r = record(columns);
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

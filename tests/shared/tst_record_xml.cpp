// Reading single column values out of the host's record documents.

#include "support/TestMain.h"

#include "shared/modSharedXML.h"

#include <QtTest>

#include <limits>

using namespace tesr;
using namespace tesr::modSharedXML;

namespace {

// A document with one record whose columns are given as raw XML.
QDomDocument recordDocument(const QString& columnsXml)
{
    QDomDocument doc;
    if (!doc.setContent(QStringLiteral("<Records><Record>%1</Record></Records>").arg(columnsXml)))
        qFatal("test document does not parse: %s", qPrintable(columnsXml));
    return doc;
}

QDomElement firstRecord(const QDomDocument& doc)
{
    return SelectSingleNode(doc, QStringLiteral("Records/Record"));
}

} // namespace

class RecordXmlTest : public QObject {
    Q_OBJECT

private slots:
    void selectRecord()
    {
        QDomDocument doc;
        QVERIFY(bool(doc.setContent(
            QStringLiteral("<Records><Record><ID>1</ID></Record><Record><ID>2</ID></Record></Records>"))));
        const QDomElement record = firstRecord(doc);
        QVERIFY(!record.isNull());
        QCOMPARE(GetNodeLong(QStringLiteral("ID"), record), 1); // the first row only

        QDomDocument empty;
        QVERIFY(bool(empty.setContent(QStringLiteral("<Records/>"))));
        QVERIFY(firstRecord(empty).isNull());
        QVERIFY(firstRecord(QDomDocument()).isNull());
        QVERIFY(SelectSingleNode(doc, QStringLiteral("Records//Record")).isNull());
        QVERIFY(SelectSingleNode(doc, QStringLiteral("Other/Record")).isNull());
    }

    void text_data()
    {
        QTest::addColumn<QString>("columns");
        QTest::addColumn<QString>("column");
        QTest::addColumn<QString>("defaultText");
        QTest::addColumn<QString>("expected");
        QTest::newRow("missing element") << "<Memo>x</Memo>"
                                         << "Description"
                                         << ""
                                         << "";
        QTest::newRow("empty element") << "<Description/>"
                                       << "Description"
                                       << ""
                                       << "";
        QTest::newRow("empty element, other default") << "<Description></Description>"
                                                      << "Description"
                                                      << "d"
                                                      << "d";
        QTest::newRow("missing, other default") << ""
                                                << "Description"
                                                << "d"
                                                << "d";
        QTest::newRow("value") << "<CustomerName>Acme &amp; Co</CustomerName>"
                               << "CustomerName"
                               << ""
                               << "Acme & Co";
        QTest::newRow("line-break entities") << "<Description>one&amp;#13;&amp;#10;two</Description>"
                                             << "Description"
                                             << ""
                                             << "one\r\ntwo";
        QTest::newRow("blanks kept") << "<Description>  a  </Description>"
                                     << "Description"
                                     << ""
                                     << "  a  ";
        QTest::newRow("not a valid path") << "<Description>x</Description>"
                                          << "Description[1]"
                                          << "d"
                                          << "d";
        QTest::newRow("name with a blank") << "<Description>x</Description>"
                                           << "Amount Due"
                                           << "d"
                                           << "d";
        QTest::newRow("empty column name") << "<Description>x</Description>"
                                           << ""
                                           << "d"
                                           << "d";
        QTest::newRow("case counts") << "<Description>x</Description>"
                                     << "description"
                                     << ""
                                     << "";
    }
    void text()
    {
        QFETCH(QString, columns);
        QFETCH(QString, column);
        QFETCH(QString, defaultText);
        QFETCH(QString, expected);
        const QDomDocument doc = recordDocument(columns);
        QCOMPARE(GetNodeText(column, firstRecord(doc), defaultText), expected);
    }

    void noRecordGivesDefaults()
    {
        const QDomElement none;
        QCOMPARE(GetNodeText(QStringLiteral("A"), none, QStringLiteral("d")), QStringLiteral("d"));
        QCOMPARE(GetNodeLong(QStringLiteral("A"), none, 7), 7);
        QCOMPARE(GetNodeCurrency(QStringLiteral("A"), none, Currency::fromUnits(3)), Currency::fromUnits(3));
        QCOMPARE(GetNodeDate(QStringLiteral("A"), none), OleDate::absent());
    }

    void unescape_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("expected");
        QTest::newRow("cr lf") << "a&#13;&#10;b"
                               << "a\r\nb";
        QTest::newRow("lf alone") << "a&#10;b"
                                  << "a\nb";
        QTest::newRow("twice") << "&#13;&#13;"
                               << "\r\r";
        QTest::newRow("other entities stay") << "&amp;&#9;&lt;"
                                             << "&amp;&#9;&lt;";
        QTest::newRow("nothing") << "plain"
                                 << "plain";
    }
    void unescape()
    {
        QFETCH(QString, text);
        QFETCH(QString, expected);
        QCOMPARE(UnescapeXMLText(text), expected);
    }

    void wholeNumber_data()
    {
        QTest::addColumn<QString>("columns");
        QTest::addColumn<int>("defaultValue");
        QTest::addColumn<int>("expected");
        QTest::newRow("missing") << "" << 0 << 0;
        QTest::newRow("missing, other default") << "" << 7 << 7;
        QTest::newRow("empty") << "<N/>" << 7 << 7;
        QTest::newRow("letters give the default") << "<N>abc</N>" << 7 << 7;
        QTest::newRow("grouped is not numeric") << "<N>1,234</N>" << 7 << 7;
        QTest::newRow("digits") << "<N>12</N>" << 7 << 12;
        QTest::newRow("negative") << "<N>-12</N>" << 7 << -12;
        QTest::newRow("blanks") << "<N> 12 </N>" << 7 << 12;
        QTest::newRow("2.5 to even") << "<N>2.5</N>" << 7 << 2;
        QTest::newRow("3.5 to even") << "<N>3.5</N>" << 7 << 4;
        QTest::newRow("-2.5 to even") << "<N>-2.5</N>" << 7 << -2;
        QTest::newRow("exponent") << "<N>1e3</N>" << 7 << 1000;
        QTest::newRow("largest") << "<N>2147483647</N>" << 7 << std::numeric_limits<qint32>::max();
        QTest::newRow("smallest") << "<N>-2147483648</N>" << 7 << std::numeric_limits<qint32>::min();
        QTest::newRow("beyond 32 bits gives 0") << "<N>2147483648</N>" << 7 << 0;
        QTest::newRow("below 32 bits gives 0") << "<N>-2147483649</N>" << 7 << 0;
        QTest::newRow("rounds beyond 32 bits") << "<N>2147483647.5</N>" << 7 << 0;
        QTest::newRow("far beyond gives 0") << "<N>99999999999999999999999</N>" << 7 << 0;
    }
    void wholeNumber()
    {
        QFETCH(QString, columns);
        QFETCH(int, defaultValue);
        QFETCH(int, expected);
        const QDomDocument doc = recordDocument(columns);
        QCOMPARE(GetNodeLong(QStringLiteral("N"), firstRecord(doc), defaultValue), expected);
    }

    void money_data()
    {
        QTest::addColumn<QString>("locale");
        QTest::addColumn<QString>("columns");
        QTest::addColumn<qint64>("defaultRaw");
        QTest::addColumn<qint64>("expectedRaw");
        QTest::newRow("four decimals") << "en_US"
                                       << "<Amount>123.4500</Amount>" << qint64(0) << qint64(1234500);
        QTest::newRow("same under de") << "de_DE"
                                       << "<Amount>123.4500</Amount>" << qint64(0) << qint64(1234500);
        QTest::newRow("missing") << "en_US"
                                 << "" << qint64(70000) << qint64(70000);
        QTest::newRow("letters") << "en_US"
                                 << "<Amount>abc</Amount>" << qint64(70000) << qint64(70000);
        QTest::newRow("negative") << "en_US"
                                  << "<Amount>-5.25</Amount>" << qint64(0) << qint64(-52500);
        QTest::newRow("fifth decimal to even") << "en_US"
                                               << "<Amount>0.00005</Amount>" << qint64(7) << qint64(0);
        QTest::newRow("as a double writes it") << "en_US"
                                               << "<Amount>1.5e+2</Amount>" << qint64(7) << qint64(1500000);
        QTest::newRow("beyond range gives 0") << "en_US"
                                              << "<Amount>1e30</Amount>" << qint64(7) << qint64(0);
    }
    void money()
    {
        QFETCH(QString, locale);
        QFETCH(QString, columns);
        QFETCH(qint64, defaultRaw);
        QFETCH(qint64, expectedRaw);
        QLocale::setDefault(QLocale(locale));
        const QDomDocument doc = recordDocument(columns);
        const Currency value =
            GetNodeCurrency(QStringLiteral("Amount"), firstRecord(doc), Currency::fromRaw(defaultRaw));
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
        QCOMPARE(value.raw(), expectedRaw);
    }

    void parseDate_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("expected"); // empty: the default
        QTest::newRow("date and time") << "2018-01-23T16:07:36"
                                       << "2018-01-23T16:07:36";
        QTest::newRow("midnight") << "2018-01-23T00:00:00"
                                  << "2018-01-23T00:00:00";
        QTest::newRow("no seconds") << "2018-01-23T16:07"
                                    << "2018-01-23T16:07:00";
        QTest::newRow("fraction cut off") << "2018-01-23T16:07:36.997"
                                          << "2018-01-23T16:07:36";
        QTest::newRow("no T") << "2018-01-23"
                              << "";
        QTest::newRow("empty") << ""
                               << "";
        QTest::newRow("no 30 February") << "2018-02-30T10:00:00"
                                        << "";
        QTest::newRow("hour 25") << "2018-01-23T25:00:00"
                                 << "";
        QTest::newRow("hours alone") << "2018-01-23T16"
                                     << "";
        QTest::newRow("two date pieces") << "2018-01T16:07:36"
                                         << "";
        QTest::newRow("pieces after the third hyphen ignored") << "2018-01-23-99T16:07:36"
                                                               << "2018-01-23T16:07:36";
        QTest::newRow("text after a second T ignored") << "2018-01-23T16:07:36Tjunk"
                                                       << "2018-01-23T16:07:36";
        QTest::newRow("zone suffix refused") << "2018-01-23T16:07:36Z"
                                             << "";
        QTest::newRow("letters") << "yesterdayT16:07"
                                 << "";
    }
    void parseDate()
    {
        QFETCH(QString, text);
        QFETCH(QString, expected);
        const OleDate fallback = OleDate::absent();
        const OleDate result = ParseXMLDate(text, fallback);
        QCOMPARE(result.toIsoString(), expected.isEmpty() ? fallback.toIsoString() : expected);
    }

    void dateColumn()
    {
        const QDomDocument doc = recordDocument(QStringLiteral("<PaymentDate>2018-01-23T16:07:36</PaymentDate>"));
        const QDomElement record = firstRecord(doc);
        QCOMPARE(GetNodeDate(QStringLiteral("PaymentDate"), record, OleDate::absent()),
                 *OleDate::fromYmdHms(2018, 1, 23, 16, 7, 36));
        // Without the column: the absent date, which every date helper treats as empty.
        const OleDate missing = GetNodeDate(QStringLiteral("AddedOn"), record, OleDate::absent());
        QCOMPARE(missing, OleDate::absent());
        QCOMPARE(missing.toIsoString(), QStringLiteral("1900-01-01T00:00:00"));
        QVERIFY(missing.isAbsent());
    }
};

TESR_TEST_MAIN(RecordXmlTest)
#include "tst_record_xml.moc"

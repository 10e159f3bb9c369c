// The host's log: the entry layout and rotation by size.
#include "support/TestDatabase.h"
#include "support/TestMain.h"

#include "host/Logger.h"

#include <QRegularExpression>

using tesr::host::Logger;
using namespace Qt::StringLiterals;

namespace {
QString readAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}
} // namespace

class HostLogTest : public QObject {
    Q_OBJECT

private slots:
    void entryLayout()
    {
        auto dir = tesrtest::makeTempDir();
        Logger log(dir->filePath(u"logs/deeper"_s));
        log.error(u"The payment could not be added."_s, u"Try again.\nOr restart."_s,
                  u"UNIQUE constraint failed\r\nINSERT INTO Payments ..."_s);
        log.info(u"Started"_s);
        QString text = readAll(log.currentFile());
        text.replace(QRegularExpression(u"(^|\n)\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d\\.\\d{3} "_s), u"\\1@ "_s);
        QCOMPARE(text, QStringLiteral("@ ERROR The payment could not be added.\n    Try again.\n    Or restart.\n"
                                      "    UNIQUE constraint failed\n    INSERT INTO Payments ...\n@ INFO Started\n"));
        // A folder that cannot be made is no crash.
        Logger nowhere(log.currentFile() + u"/logs"_s);
        nowhere.error(u"nowhere to go"_s);
        QVERIFY(!nowhere.healthy());
        QVERIFY(log.healthy());
    }

    // Files never grow past the limit; entries run on without a gap from the oldest file kept to
    // the current one, and the oldest beyond the count is dropped.
    void rotatesBySize()
    {
        auto dir = tesrtest::makeTempDir();
        Logger log(dir->path(), 2048, 3);
        for (int i = 0; i < 200; ++i)
            log.info(u"entry %1 %2"_s.arg(i, 3, 10, QLatin1Char('0')).arg(QString(80, u'x')));
        const QStringList files = log.files();
        QStringList names;
        QString all;
        for (const QString& f : files) {
            names << QFileInfo(f).fileName();
            QVERIFY2(QFileInfo(f).size() <= 2048, qPrintable(f));
            all.prepend(readAll(f));
        }
        QCOMPARE(names.join(u' '), u"tesrhost.log tesrhost.1.log tesrhost.2.log"_s);
        int previous = -1;
        for (auto m = QRegularExpression(u" entry (\\d{3}) "_s).globalMatch(all); m.hasNext();) {
            const int n = m.next().captured(1).toInt();
            QVERIFY(previous < 0 || n == previous + 1);
            previous = n;
        }
        QCOMPARE(previous, 199);
        QVERIFY(!all.contains(u"entry 000 "_s));
    }
};

TESR_TEST_MAIN(HostLogTest)
#include "tst_hostlog.moc"

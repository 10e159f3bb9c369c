// The host's log: the entry layout and rotation by size.
#include "support/TestMain.h"

#include "host/Logger.h"
#include "support/TestDatabase.h"

#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

using tesr::host::Logger;

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
        Logger log(dir->filePath(QStringLiteral("logs/deeper")));
        log.error(QStringLiteral("The payment could not be added."), QStringLiteral("Try again.\nOr restart."),
                  QStringLiteral("UNIQUE constraint failed\r\nINSERT INTO Payments ..."));
        log.warning(QStringLiteral("Slow"), QStringLiteral("3 s"));
        log.info(QStringLiteral("Started"));
        QVERIFY(log.healthy());
        const QStringList lines = readAll(log.currentFile()).split(u'\n');
        QCOMPARE(lines.size(), 9); // 5 + 2 + 1 lines and the final newline
        static const QRegularExpression stamp(QStringLiteral("^\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d\\.\\d{3} "));
        QVERIFY(stamp.match(lines[0]).hasMatch());
        QVERIFY(lines[0].endsWith(QStringLiteral(" ERROR The payment could not be added.")));
        QCOMPARE(lines[1], QStringLiteral("    Try again."));
        QCOMPARE(lines[2], QStringLiteral("    Or restart."));
        QCOMPARE(lines[3], QStringLiteral("    UNIQUE constraint failed"));
        QCOMPARE(lines[4], QStringLiteral("    INSERT INTO Payments ..."));
        QVERIFY(lines[5].endsWith(QStringLiteral(" WARNING Slow")));
        QCOMPARE(lines[6], QStringLiteral("    3 s"));
        QVERIFY(lines[7].endsWith(QStringLiteral(" INFO Started")));
    }

    // Files never grow past the limit; the newest entries are in the current file and the
    // oldest file beyond the count is dropped.
    void rotatesBySize()
    {
        auto dir = tesrtest::makeTempDir();
        const qint64 limit = 2048;
        Logger log(dir->path(), limit, 3);
        const QString padding(80, u'x');
        for (int i = 0; i < 200; ++i)
            log.info(QStringLiteral("entry %1 %2").arg(i, 3, 10, QLatin1Char('0')).arg(padding));
        const QStringList files = log.files();
        QCOMPARE(files.size(), 3);
        QCOMPARE(QFileInfo(files[0]).fileName(), QStringLiteral("tesrhost.log"));
        QCOMPARE(QFileInfo(files[1]).fileName(), QStringLiteral("tesrhost.1.log"));
        QCOMPARE(QFileInfo(files[2]).fileName(), QStringLiteral("tesrhost.2.log"));
        QVERIFY(!QFileInfo::exists(dir->filePath(QStringLiteral("tesrhost.3.log"))));
        for (const QString& f : files)
            QVERIFY2(QFileInfo(f).size() <= limit, qPrintable(f));
        QVERIFY(readAll(files[0]).contains(QStringLiteral("entry 199 ")));
        QVERIFY(!readAll(files[2]).contains(QStringLiteral("entry 000 ")));

        // Entries run on without a gap from the oldest file kept to the newest.
        QString all;
        for (auto it = files.crbegin(); it != files.crend(); ++it)
            all += readAll(*it);
        static const QRegularExpression number(QStringLiteral(" entry (\\d{3}) "));
        int previous = -1;
        for (auto m = number.globalMatch(all); m.hasNext();) {
            const int n = m.next().captured(1).toInt();
            QVERIFY(previous < 0 || n == previous + 1);
            previous = n;
        }
        QCOMPARE(previous, 199);
    }

    void anUnusableFolderIsNoCrash()
    {
        auto dir = tesrtest::makeTempDir();
        const QString blocker = dir->filePath(QStringLiteral("file"));
        QFile f(blocker);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.close();
        Logger log(blocker + QStringLiteral("/logs"));
        log.error(QStringLiteral("nowhere to go"));
        QVERIFY(!log.healthy());
        QVERIFY(log.files().isEmpty());
    }
};

TESR_TEST_MAIN(HostLogTest)
#include "tst_hostlog.moc"

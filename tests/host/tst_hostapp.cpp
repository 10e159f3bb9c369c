// The desktop program end to end: started the way a user starts it, with a database of each
// kind, it must end cleanly with a clear message instead of a crash.
#include "support/Shorthand.h"
#include "support/TestDatabase.h"
#include "support/TestMain.h"

#include <QImage>

using namespace Qt::StringLiterals;

class HostAppTest : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_home;
    tesrtest::ProgramRun run(const QStringList& args)
    {
        return tesrtest::runProgram(QStringLiteral(TESRHOST_EXE), args, m_home->path());
    }

private slots:
    void init() { m_home = tesrtest::makeTempDir(); }

    // First start with nothing configured: the demo database is created in the data folder and
    // the window shows it, with nothing to tell the user.
    void firstStartCreatesTheDemo()
    {
        const QString png = m_home->filePath(u"shot.png"_s);
        const auto r = run({"--screenshot", png});
        QVERIFY2(r.exitCode == 0, qPrintable(r.err));
        QVERIFY(QFile::exists(m_home->filePath(u"data/Varnholt/tesrhost/company.db"_s)));
        QVERIFY(QImage(png).width() >= 800 && QImage(png).height() >= 500);
        for (const char* said : {"Error:", "Message:", "Question:"})
            QVERIFY2(!r.err.contains(QLatin1StringView(said)), qPrintable(r.err));
        const QString db = m_home->filePath(u"mine/demo.db"_s);
        QVERIFY(run({"--database", db, "--create-demo"}).out.contains(u"demo.db"_s));
        QVERIFY(QFile::exists(db));
    }

    // A bad database still brings the window up, empty, after the message; a bad command line
    // ends with code 2 and says what is wrong.
    void badStarts_data()
    {
        tesrtest::rows({"missing|-||0|The company database was not found.",
                        "foreign|%PDF-1.4 not a database||0|The file is not a company database.",
                        "empty|||0|The file is not a company database.",
                        "grant|-|--grant 803|2|--grant expects permission:right",
                        "config|-|--config /nonexistent/x.ini|2|does not exist"});
    }
    void badStarts()
    {
        const QStringList row = tesrtest::fields();
        const QByteArray file = row[0].toUtf8(); // the database file's bytes; "-": none
        const QStringList args = row[1].split(u' ', Qt::SkipEmptyParts);
        const int exitCode = row[2].toInt();
        const QString message = row[3];
        const QString db = m_home->filePath(u"company.db"_s);
        QFile f(db);
        QVERIFY(file == "-" || (f.open(QIODevice::WriteOnly) && f.write(file) == file.size()));
        f.close();
        const QString png = m_home->filePath(u"shot.png"_s);
        const auto r = run(args.isEmpty() ? QStringList{"--database", db, "--screenshot", png} : args);
        QCOMPARE(r.exitCode, exitCode);
        QVERIFY2(r.err.contains(message), qPrintable(r.err));
        QCOMPARE(QImage(png).isNull(), exitCode != 0);
        QCOMPARE(QFile::exists(db), file != "-"); // nothing created behind the user's back
    }
};

TESR_TEST_MAIN(HostAppTest)
#include "tst_hostapp.moc"

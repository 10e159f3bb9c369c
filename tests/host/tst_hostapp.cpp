// The desktop program end to end: it is started the way a user starts it, with a database
// of each kind, and must end cleanly with a clear message instead of a crash.
#include "support/TestMain.h"

#include "support/TestDatabase.h"

#include <QFile>
#include <QImage>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QUuid>

namespace {

struct Run {
    int exitCode = -1;
    bool crashed = true;
    QString out;
    QString err;
};

// Runs tesrhost with private config and data folders; the time limit is the watchdog.
Run runHost(const QTemporaryDir& home, const QStringList& args)
{
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), home.filePath(QStringLiteral("config")));
    env.insert(QStringLiteral("XDG_DATA_HOME"), home.filePath(QStringLiteral("data")));
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), home.path());
    env.insert(QStringLiteral("LANG"), QStringLiteral("en_US.UTF-8"));
    process.setProcessEnvironment(env);
    process.start(QStringLiteral(TESRHOST_EXE), args);
    Run run;
    if (!process.waitForFinished(120000)) {
        process.kill();
        process.waitForFinished();
        run.err = QStringLiteral("(did not finish in time)");
        return run;
    }
    run.exitCode = process.exitCode();
    run.crashed = process.exitStatus() != QProcess::NormalExit;
    run.out = QString::fromUtf8(process.readAllStandardOutput());
    run.err = QString::fromUtf8(process.readAllStandardError());
    return run;
}

} // namespace

class HostAppTest : public QObject {
    Q_OBJECT

private slots:
    void init() { m_home = tesrtest::makeTempDir(); }

    // First start with nothing configured: the demo database is created in the data folder
    // and the window shows it.
    void firstStartCreatesTheDemo()
    {
        const QString png = m_home->filePath(QStringLiteral("shot.png"));
        const Run run = runHost(*m_home, {QStringLiteral("--screenshot"), png});
        QVERIFY2(!run.crashed && run.exitCode == 0, qPrintable(run.err));
        QVERIFY(QFile::exists(m_home->filePath(QStringLiteral("data/Varnholt/tesrhost/company.db"))));
        const QImage shot(png);
        QVERIFY(!shot.isNull());
        QVERIFY(shot.width() >= 800 && shot.height() >= 500);
        // Nothing to tell the user.
        for (const char* said : {"Error:", "Message:", "Question:"})
            QVERIFY2(!run.err.contains(QLatin1StringView(said)), qPrintable(run.err));
    }

    void createDemoOnRequest()
    {
        const QString db = m_home->filePath(QStringLiteral("mine/demo.db"));
        const Run run = runHost(*m_home, {QStringLiteral("--database"), db, QStringLiteral("--create-demo")});
        QVERIFY2(!run.crashed && run.exitCode == 0, qPrintable(run.err));
        QVERIFY(run.out.contains(QStringLiteral("demo.db")));
        QVERIFY(QFile::exists(db));
    }

    void badDatabases_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("message");
        QTest::newRow("missing") << "missing"
                                 << "The company database was not found.";
        QTest::newRow("foreign") << "foreign"
                                 << "The file is not a company database.";
        QTest::newRow("empty") << "empty"
                               << "The file is not a company database.";
        QTest::newRow("no schema") << "bare"
                                   << "The database has no payment tables. Create them now?";
    }

    void badDatabases()
    {
        QFETCH(QString, kind);
        QFETCH(QString, message);
        const QString db = m_home->filePath(QStringLiteral("company.db"));
        if (kind == u"foreign") {
            QFile f(db);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write("%PDF-1.4 not a database at all");
        } else if (kind == u"empty") {
            QFile f(db);
            QVERIFY(f.open(QIODevice::WriteOnly));
        } else if (kind == u"bare") {
            const QString name = QUuid::createUuid().toString();
            {
                QSqlDatabase sqlite = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
                sqlite.setDatabaseName(db);
                QVERIFY(sqlite.open());
                QVERIFY(QSqlQuery(sqlite).exec(QStringLiteral("CREATE TABLE Notes (x TEXT)")));
                sqlite.close();
            }
            QSqlDatabase::removeDatabase(name);
        }
        const QString png = m_home->filePath(QStringLiteral("shot.png"));
        const Run run = runHost(*m_home, {QStringLiteral("--database"), db, QStringLiteral("--screenshot"), png});
        QVERIFY2(!run.crashed && run.exitCode == 0, qPrintable(run.err));
        QVERIFY2(run.err.contains(message), qPrintable(run.err));
        QVERIFY(!QImage(png).isNull()); // the window still came up, empty
        if (kind == u"missing")
            QVERIFY(!QFile::exists(db));
    }

    void badCommandLine_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("message");
        QTest::newRow("grant") << QStringList{"--grant", "803"} << "--grant expects permission:right";
        QTest::newRow("config") << QStringList{"--config", "/nonexistent/x.ini"} << "does not exist";
    }

    void badCommandLine()
    {
        QFETCH(QStringList, args);
        QFETCH(QString, message);
        const Run run = runHost(*m_home, args);
        QVERIFY(!run.crashed);
        QCOMPARE(run.exitCode, 2);
        QVERIFY2(run.err.contains(message), qPrintable(run.err));
    }

private:
    std::unique_ptr<QTemporaryDir> m_home;
};

TESR_TEST_MAIN(HostAppTest)
#include "tst_hostapp.moc"

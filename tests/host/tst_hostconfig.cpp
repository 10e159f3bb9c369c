// The host's configuration: defaults, the INI file, command-line overrides and the regional
// locale.
#include "support/TestMain.h"

#include "host/HostConfig.h"
#include "support/TestDatabase.h"

#include <QCommandLineParser>
#include <QDir>
#include <QFile>

using tesr::host::HostConfig;

namespace {

void writeFile(const QString& path, const QByteArray& text)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(text);
}

// The configuration a command line gives, as the host builds it.
std::optional<HostConfig> fromArgs(const QStringList& args, QString* error)
{
    QCommandLineParser parser;
    HostConfig::addOptions(parser);
    if (!parser.parse(QStringList{QStringLiteral("tesrhost")} + args)) {
        *error = parser.errorText();
        return std::nullopt;
    }
    return HostConfig::fromCommandLine(parser, error);
}

} // namespace

class HostConfigTest : public QObject {
    Q_OBJECT

private slots:
    void init() { m_dir = tesrtest::makeTempDir(); }

    void defaultsGiveUserOneEveryRight()
    {
        const HostConfig config;
        QCOMPARE(config.userId(), 1);
        QVERIFY(config.canDo(803, 8));
        QVERIFY(config.canDo(803, 32));
        QVERIFY(config.canDo(303, 4));
        QVERIFY(config.canDo(803, 8 | 32));
        QVERIFY(!config.canDo(803, 0));
        QVERIFY(config.usesDefaultDatabase());
        QVERIFY(config.databaseUrl().endsWith(QStringLiteral("/company.db")));
        QVERIFY(config.logFolder().endsWith(QStringLiteral("/logs")));
        QVERIFY(config.locale().isEmpty());
        QCOMPARE(config.option(QStringLiteral("Payments"), QStringLiteral("RequireCCDetails"), 7).toInt(), 7);
    }

    void missingFileKeepsDefaults()
    {
        QString error;
        const auto config = HostConfig::fromFile(m_dir->filePath(QStringLiteral("none.ini")), &error);
        QVERIFY2(config.has_value(), qPrintable(error));
        QVERIFY(config->usesDefaultDatabase());
        QVERIFY(config->sourceFile().isEmpty());
    }

    void readsEveryKey()
    {
        const QString path = m_dir->filePath(QStringLiteral("tesrhost.ini"));
        writeFile(path, "[Database]\nURL=data/shop.db\n"
                        "[User]\nID=17\n"
                        "[Permissions]\nDefault=0\n803=40\n303=4\n"
                        "[Options]\nPayments\\RequireCCDetails=1\nPayments\\Other=it's 100%\n"
                        "[Regional]\nLocale=de_DE\n"
                        "[Log]\nFolder=logs-here\n");
        QString error;
        const auto config = HostConfig::fromFile(path, &error);
        QVERIFY2(config.has_value(), qPrintable(error));
        // Relative paths are taken from the file's folder.
        QCOMPARE(config->databaseUrl(), QDir(m_dir->path()).filePath(QStringLiteral("data/shop.db")));
        QVERIFY(!config->usesDefaultDatabase());
        QCOMPARE(config->userId(), 17);
        QVERIFY(config->canDo(803, 8));
        QVERIFY(config->canDo(803, 32));
        QVERIFY(!config->canDo(803, 16));
        QVERIFY(config->canDo(303, 4));
        QVERIFY(!config->canDo(101, 1)); // Default=0: unlisted permissions hold nothing
        QCOMPARE(config->option(QStringLiteral("Payments"), QStringLiteral("RequireCCDetails"), 0).toInt(), 1);
        QCOMPARE(config->option(QStringLiteral("payments"), QStringLiteral("requireccdetails"), 0).toInt(), 1);
        QCOMPARE(config->option(QStringLiteral("Payments"), QStringLiteral("Other")).toString(),
                 QStringLiteral("it's 100%"));
        QCOMPARE(config->locale(), QStringLiteral("de_DE"));
        QCOMPARE(config->logFolder(), QDir(m_dir->path()).filePath(QStringLiteral("logs-here")));
        QCOMPARE(config->sourceFile(), QFileInfo(path).absoluteFilePath());
    }

    void badFileValues_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QString>("mentioned");
        QTest::newRow("user id") << QByteArray("[User]\nID=abc\n") << "[User] ID";
        QTest::newRow("rights") << QByteArray("[Permissions]\n803=lots\n") << "[Permissions] 803";
        QTest::newRow("permission") << QByteArray("[Permissions]\nsales=4\n") << "sales";
        QTest::newRow("option without section") << QByteArray("[Options]\nRequireCCDetails=1\n") << "RequireCCDetails";
    }

    void badFileValues()
    {
        QFETCH(QByteArray, text);
        QFETCH(QString, mentioned);
        const QString path = m_dir->filePath(QStringLiteral("bad.ini"));
        writeFile(path, text);
        QString error;
        QVERIFY(!HostConfig::fromFile(path, &error).has_value());
        QVERIFY2(error.contains(mentioned), qPrintable(error));
    }

    void unreadableFile()
    {
        // A folder where the file should be.
        const QString path = m_dir->filePath(QStringLiteral("folder.ini"));
        QVERIFY(QDir().mkpath(path));
        QString error;
        QVERIFY(!HostConfig::fromFile(path, &error).has_value());
        QVERIFY(error.contains(QStringLiteral("cannot be read")));
    }

    void saveReadsBack()
    {
        HostConfig config;
        config.setDatabaseUrl(m_dir->filePath(QStringLiteral("x.db")));
        config.setUserId(5);
        config.setDefaultRights(0);
        config.setRights(803, 8);
        config.setOption(QStringLiteral("Payments"), QStringLiteral("RequireCCDetails"), 1);
        config.setLocale(QStringLiteral("fr_FR"));
        config.setLogFolder(m_dir->filePath(QStringLiteral("l")));
        const QString path = m_dir->filePath(QStringLiteral("saved.ini"));
        QVERIFY(config.save(path));

        const auto back = HostConfig::fromFile(path);
        QVERIFY(back.has_value());
        QCOMPARE(back->databaseUrl(), config.databaseUrl());
        QCOMPARE(back->userId(), 5);
        QVERIFY(back->canDo(803, 8));
        QVERIFY(!back->canDo(803, 32));
        QVERIFY(!back->canDo(303, 4));
        QCOMPARE(back->option(QStringLiteral("Payments"), QStringLiteral("RequireCCDetails")).toInt(), 1);
        QCOMPARE(back->locale(), QStringLiteral("fr_FR"));
        QCOMPARE(back->logFolder(), config.logFolder());
        // The file keeps the documented layout.
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QVERIFY(file.readAll().contains("Payments\\RequireCCDetails=1"));
    }

    void commandLineOverrides()
    {
        const QString ini = m_dir->filePath(QStringLiteral("base.ini"));
        writeFile(ini, "[User]\nID=3\n[Permissions]\nDefault=0\n803=8\n[Options]\nPayments\\RequireCCDetails=0\n");
        QString error;
        const auto config = fromArgs(
            {QStringLiteral("--config"), ini, QStringLiteral("--database"), QStringLiteral("other.db"),
             QStringLiteral("--user"), QStringLiteral("17"), QStringLiteral("--grant"), QStringLiteral("803:32"),
             QStringLiteral("--grant"), QStringLiteral("303:4"), QStringLiteral("--deny"), QStringLiteral("803:8"),
             QStringLiteral("--option"), QStringLiteral("Payments/RequireCCDetails=1"), QStringLiteral("--locale"),
             QStringLiteral("de_DE"), QStringLiteral("--log-dir"), m_dir->filePath(QStringLiteral("L"))},
            &error);
        QVERIFY2(config.has_value(), qPrintable(error));
        QCOMPARE(config->databaseUrl(), QDir::current().absoluteFilePath(QStringLiteral("other.db")));
        QCOMPARE(config->userId(), 17);
        QVERIFY(!config->canDo(803, 8));
        QVERIFY(config->canDo(803, 32));
        QVERIFY(config->canDo(303, 4));
        QCOMPARE(config->option(QStringLiteral("Payments"), QStringLiteral("RequireCCDetails")).toString(),
                 QStringLiteral("1"));
        QCOMPARE(config->locale(), QStringLiteral("de_DE"));
        QCOMPARE(config->logFolder(), m_dir->filePath(QStringLiteral("L")));
    }

    void denyOnEveryRightKeepsTheOthers()
    {
        QString error;
        const auto config = fromArgs(
            {QStringLiteral("--config"), writeEmptyIni(), QStringLiteral("--deny"), QStringLiteral("803:32")}, &error);
        QVERIFY2(config.has_value(), qPrintable(error));
        QVERIFY(!config->canDo(803, 32));
        QVERIFY(config->canDo(803, 8));
        QVERIFY(config->canDo(303, 4));
    }

    void serverUrlsPassUnchanged()
    {
        QString error;
        const QString url = QStringLiteral("postgresql://clerk@db.example:5433/company");
        const auto config =
            fromArgs({QStringLiteral("--config"), writeEmptyIni(), QStringLiteral("--database"), url}, &error);
        QVERIFY2(config.has_value(), qPrintable(error));
        QCOMPARE(config->databaseUrl(), url);
        QVERIFY(!config->usesDefaultDatabase());
    }

    void badCommandLine_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("mentioned");
        QTest::newRow("grant without right") << QStringList{"--grant", "803"} << "--grant";
        QTest::newRow("grant not numbers") << QStringList{"--grant", "a:b"} << "--grant";
        QTest::newRow("deny") << QStringList{"--deny", "803:"} << "--deny";
        QTest::newRow("user") << QStringList{"--user", "bob"} << "--user";
        QTest::newRow("option without key") << QStringList{"--option", "Payments=1"} << "--option";
        QTest::newRow("option without value") << QStringList{"--option", "Payments/RequireCCDetails"} << "--option";
        QTest::newRow("missing config") << QStringList{"--config", "/nonexistent/tesrhost.ini"} << "does not exist";
    }

    void badCommandLine()
    {
        QFETCH(QStringList, args);
        QFETCH(QString, mentioned);
        QString error;
        QVERIFY(!fromArgs(args, &error).has_value());
        QVERIFY2(error.contains(mentioned), qPrintable(error));
    }

    void localeApplies()
    {
        HostConfig config;
        config.setLocale(QStringLiteral("de_DE"));
        QVERIFY(config.applyLocale());
        QCOMPARE(QLocale().decimalPoint(), QStringLiteral(","));

        config.setLocale(QStringLiteral("xx_nowhere"));
        QString error;
        QVERIFY(!config.applyLocale(&error));
        QVERIFY(error.contains(QStringLiteral("xx_nowhere")));
        QCOMPARE(QLocale().decimalPoint(), QStringLiteral(",")); // unchanged

        config.setLocale(QString());
        QVERIFY(config.applyLocale()); // empty: the system's stays
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    }

private:
    QString writeEmptyIni()
    {
        const QString path = m_dir->filePath(QStringLiteral("empty.ini"));
        writeFile(path, "");
        return path;
    }

    std::unique_ptr<QTemporaryDir> m_dir;
};

TESR_TEST_MAIN(HostConfigTest)
#include "tst_hostconfig.moc"

// The host's configuration: defaults, the INI file, command-line overrides and the regional
// locale; and the commands of the host program that print or write and exit.
#include "support/Shorthand.h"
#include "support/TestDatabase.h"
#include "support/TestMain.h"

#include "host/HostConfig.h"
#include "platform/SqlConnection.h"

#include <QCommandLineParser>
#include <QDir>

using tesr::host::HostConfig;
using namespace Qt::StringLiterals;

class HostConfigTest : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_dir;
    QString write(const char* name, const QByteArray& text)
    {
        QFile file(m_dir->filePath(QString::fromLatin1(name)));
        if (!file.open(QIODevice::WriteOnly) || file.write(text) != text.size())
            qFatal("cannot write %s", name);
        return file.fileName();
    }
    // The configuration a command line gives, as the host builds it.
    static std::optional<HostConfig> fromArgs(const QStringList& args, QString* error)
    {
        QCommandLineParser parser;
        HostConfig::addOptions(parser);
        if (!parser.parse(QStringList{u"tesrhost"_s} + args)) {
            *error = parser.errorText();
            return std::nullopt;
        }
        return HostConfig::fromCommandLine(parser, error);
    }

private slots:
    void init() { m_dir = tesrtest::makeTempDir(); }
    void cleanup() { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates)); }

    void defaultsGiveUserOneEveryRight()
    {
        QString error;
        const auto config = HostConfig::fromFile(m_dir->filePath(u"none.ini"_s), &error); // missing: defaults
        QVERIFY2(config.has_value(), qPrintable(error));
        QCOMPARE(config->userId(), 1);
        QVERIFY(config->canDo(803, 8 | 32) && config->canDo(303, 4) && !config->canDo(803, 0));
        QVERIFY(config->usesDefaultDatabase());
    }

    // The file's values, and a command line over them.
    void fileAndCommandLine()
    {
        const QString ini = write("tesrhost.ini", "[Database]\nURL=data/shop.db\n[User]\nID=3\n"
                                                  "[Permissions]\nDefault=0\n803=040\n"
                                                  "[Options]\nPayments\\RequireCCDetails=0\nPayments\\Other=it's 100%\n"
                                                  "[Regional]\nLocale=de_DE\n[Log]\nFolder=logs-here\n");
        QString error;
        auto config = HostConfig::fromFile(ini, &error);
        QVERIFY2(config.has_value(), qPrintable(error));
        QCOMPARE(config->databaseUrl(),
                 QDir(m_dir->path()).filePath(u"data/shop.db"_s)); // from its folder
        // Numbers are decimal even with a leading zero (040 is 40: rights 8 and 32, not 32 alone).
        QVERIFY(config->canDo(803, 8) && config->canDo(803, 32) && !config->canDo(803, 16));
        QVERIFY(!config->canDo(101, 1)); // Default=0: unlisted permissions hold nothing
        QCOMPARE(config->option(u"payments"_s, u"other"_s).toString(), u"it's 100%"_s);
        QCOMPARE(config->locale(), u"de_DE"_s);
        const QString url = u"postgresql://clerk@db.example:5433/company"_s;
        config = fromArgs({"--config", ini, "--database", url, "--grant", "0303:04", "--deny", "803:08", "--option",
                           "Payments/RequireCCDetails=1"},
                          &error);
        QVERIFY2(config.has_value(), qPrintable(error));
        QCOMPARE(config->databaseUrl(), url); // server URLs pass unchanged
        QVERIFY(!config->canDo(803, 8) && config->canDo(803, 32) && config->canDo(303, 4));
        QCOMPARE(config->option(u"Payments"_s, u"RequireCCDetails"_s).toString(), u"1"_s);
    }

    // A file's text or a command line, and what the message names.
    void badValuesAreNamed_data()
    {
        tesrtest::rows({"user id|[User]\nID=abc||[User] ID", "rights|[Permissions]\n803=lots||[Permissions] 803",
                        "option without section|[Options]\nRequireCCDetails=1||RequireCCDetails",
                        "grant without right||--grant 803|--grant", "deny||--deny 803:|--deny",
                        "option without value||--option Payments/Require|--option",
                        "missing config||--config /nonexistent/x.ini|does not exist"});
    }
    void badValuesAreNamed()
    {
        const QStringList f = tesrtest::fields();
        const QByteArray file = f[0].toUtf8();
        QStringList args = f[1].split(u' ', Qt::SkipEmptyParts);
        const QString mentioned = f[2];
        QString error;
        if (!file.isEmpty())
            args = QStringList{"--config", write("bad.ini", file)};
        QVERIFY(!fromArgs(args, &error).has_value());
        QVERIFY2(error.contains(mentioned), qPrintable(error));
    }

    // A database URL as typed, well-formed or not, loses its password and nothing else.
    void urlsLoseTheirPasswords_data()
    {
        QTest::addColumn<QString>("url");
        QTest::addColumn<QString>("shown");
        QTest::newRow("postgresql") << "postgresql://clerk:s3cr:et@db.example:5433/company?sslmode=require"
                                    << "postgresql://clerk@db.example:5433/company?sslmode=require";
        QTest::newRow("unreadable URL") << "postgres://clerk:p@ss/w@rd@db/x y" << "postgres://clerk@db/x y";
        QTest::newRow("password setting") << "postgresql://db/company?password=s3cret&sslmode=require"
                                          << "postgresql://db/company?sslmode=require";
        QTest::newRow("odbc") << "odbc:DRIVER={FreeTDS};SERVER=sql1;UID=tesr;PWD=s3cret;TDS_Version=7.4"
                              << "odbc:DRIVER={FreeTDS};SERVER=sql1;UID=tesr;TDS_Version=7.4";
        QTest::newRow("odbc, braced") << "odbc:UID=tesr;pwd = {s3;c=r}}et};DATABASE=Company"
                                      << "odbc:UID=tesr;DATABASE=Company";
        QTest::newRow("odbc, open brace") << "odbc:UID=tesr;Password={s3;cret" << "odbc:UID=tesr";
        QTest::newRow("no password") << "/home/me/shop.db" << "/home/me/shop.db";
    }
    void urlsLoseTheirPasswords()
    {
        QFETCH(QString, url);
        QFETCH(QString, shown);
        QCOMPARE(tesr::DatabaseUrl::redacted(url), shown);
        // What a URL that parses says about itself, and what a refusal quotes, are redacted too.
        QString error;
        if (const auto parsed = tesr::DatabaseUrl::parse(url, &error))
            QVERIFY2(!parsed->toString().contains(u"s3"_s), qPrintable(parsed->toString()));
        QVERIFY2(!error.contains(u"s3"_s) && !error.contains(u"p@ss"_s), qPrintable(error));
    }

    // The commands that print and exit work in a terminal without any display, and the demo
    // database never replaces an existing file unless told to.
    void commandsWithoutADisplay()
    {
        const QString exe = QStringLiteral(TESRHOST_EXE);
        const QString home = m_dir->path();
        const tesrtest::ProgramRun help = tesrtest::runProgram(exe, {u"--help"_s}, home, 60000);
        QCOMPARE(help.exitCode, 0);
        QVERIFY2(help.out.contains(u"--create-demo"_s) && help.out.contains(u"--force"_s), qPrintable(help.err));
        const tesrtest::ProgramRun version = tesrtest::runProgram(exe, {u"--version"_s}, home, 60000);
        QCOMPARE(version.exitCode, 0);
        QCOMPARE(version.out.trimmed(), u"tesrhost 5.0"_s);

        const QString file = write("company.db", "the shop's own data");
        const QStringList demo{u"--database"_s, file, u"--create-demo"_s};
        const tesrtest::ProgramRun refused = tesrtest::runProgram(exe, demo, home, 60000);
        QCOMPARE(refused.exitCode, 1);
        QVERIFY2(refused.err.contains(u"does not replace it. Add --force"_s), qPrintable(refused.err));
        QFile kept(file);
        QVERIFY(kept.open(QIODevice::ReadOnly));
        QCOMPARE(kept.readAll(), QByteArray("the shop's own data"));
        kept.close();
        const tesrtest::ProgramRun forced = tesrtest::runProgram(exe, demo + QStringList{u"--force"_s}, home, 120000);
        QVERIFY2(forced.exitCode == 0, qPrintable(forced.err));
        QVERIFY(kept.open(QIODevice::ReadOnly));
        QVERIFY(kept.read(15) == "SQLite format 3");
    }
};

TESR_TEST_MAIN(HostConfigTest)
#include "tst_hostconfig.moc"

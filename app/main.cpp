// The reference host: reads its configuration, makes sure the company database is usable,
// hands its services to the payments module and shows the customers with their orders and
// payments, from which every payment screen of the module opens.

#include "entry/Library.h"
#include "host/DatabaseCheck.h"
#include "host/HostConfig.h"
#include "host/IntegrityCheck.h"
#include "host/Logger.h"
#include "host/Prompter.h"
#include "host/ReferenceHost.h"
#include "host/WindowPicture.h"
#include "ledger/Schema.h"
#include "platform/SqlConnection.h"
#include "ui/MainWindow.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QFileInfo>
#include <QIcon>
#include <QPixmap>

#include <cstdio>
#include <optional>

using namespace tesr;

namespace {

void complain(const QString& text)
{
    std::fprintf(stderr, "tesrhost: %s\n", qPrintable(text));
}

} // namespace

// --check: lists every figure out of step (exit 0 clean, 1 drift found, 2 error); with --repair
// sets them right in one transaction (exit 0 when the database is in step afterwards, 1 when
// findings only a person can correct are left, 2 on error).
int checkIntegrity(const host::HostConfig& config, bool repair)
{
    QString error;
    auto conn = openCompanyConnection(config.databaseUrl(), &error);
    if (!conn) {
        complain(error);
        return 2;
    }
    const host::IntegrityReport report = host::checkIntegrity(*conn);
    if (!report.ran) {
        complain(report.summary());
        return 2;
    }
    for (const host::Drift& d : report.drifts)
        std::printf("%s\n", qPrintable(d.describe()));
    std::printf("%s\n", qPrintable(report.summary()));
    if (report.drifts.isEmpty())
        return 0;
    if (!repair)
        return 1;
    const host::RepairResult result = host::repairIntegrity(*conn, config.userId());
    conn->Close();
    if (!result.ok) {
        complain(QStringLiteral("Nothing was repaired: %1").arg(result.error));
        return 2;
    }
    std::printf("Repaired %lld figure(s) in %d row(s); each row has an activity line.\n",
                static_cast<long long>(result.repaired.size()), result.rowsCorrected);
    for (const host::Drift& d : result.left)
        std::printf("Left for a person: %s\n", qPrintable(d.describe()));
    return result.left.isEmpty() ? 0 : 1;
}

// --receipt ID --output FILE: one payment's receipt as PDF, no window (exit 0 written, 1 when the
// payment cannot be read or the file written, 2 for a wrong command line).
int writeReceipt(const host::HostConfig& config, const QString& idText, const QString& output)
{
    bool isNumber = false;
    const int id = idText.toInt(&isNumber);
    if (!isNumber || id <= 0) {
        complain(QStringLiteral("--receipt expects a payment ID, not \"%1\".").arg(idText));
        return 2;
    }
    if (output.isEmpty()) {
        complain(QStringLiteral("--receipt needs --output FILE.pdf, the file to write."));
        return 2;
    }
    auto logger = std::make_shared<host::Logger>(config.logFolder());
    auto prompter = std::make_shared<host::ConsolePrompter>();
    if (!host::prepareCompanyDatabase(config.databaseUrl(), false, *prompter, logger.get()))
        return 1;
    Library library;
    library.Initialize(std::make_shared<host::ReferenceHost>(config, prompter, logger));
    QString error;
    const bool written = library.SaveReceiptPdf(id, output, &error);
    library.PreTerminate();
    if (!written) {
        complain(QStringLiteral("The receipt of payment %1 could not be written: %2").arg(id).arg(error));
        return 1;
    }
    std::printf("Wrote the receipt of payment %d to %s\n", id, qPrintable(QFileInfo(output).absoluteFilePath()));
    return 0;
}

int main(int argc, char** argv)
{
    // The commands that print and exit need no screen (a terminal without a display, a script).
    for (int i = 1; i < argc; ++i) {
        const QByteArray arg(argv[i]);
        const bool printsAndExits = arg == "--check" || arg == "--repair" || arg == "--create-demo" ||
                                    arg.startsWith("--schema-script") || arg.startsWith("--receipt") ||
                                    arg == "--help" || arg == "-h" || arg == "-?" || arg == "--help-all" ||
                                    arg == "--version" || arg == "-v";
        if (printsAndExits && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
            qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    QCoreApplication::setOrganizationName(QStringLiteral("Varnholt"));
    QCoreApplication::setApplicationName(QStringLiteral("tesrhost"));
    QCoreApplication::setApplicationVersion(QStringLiteral("5.0"));
    QGuiApplication::setApplicationDisplayName(QStringLiteral("TESR 5 - Payments"));
    // The installed menu entry and icon (tesrhost.desktop, the hicolor theme's tesrhost), so
    // that the desktop shows the window under the entry's name and icon.
    QGuiApplication::setDesktopFileName(QStringLiteral("tesrhost"));
    QApplication::setWindowIcon(QIcon::fromTheme(QStringLiteral("tesrhost")));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Reference host of the TESR 5 payments module."));
    parser.addHelpOption();
    parser.addVersionOption();
    host::HostConfig::addOptions(parser);
    // The host's own commands, beside the configuration's.
    parser.addOptions(
        {{QStringLiteral("screenshot"),
          QStringLiteral("Render the main window to <file> (PNG) and exit; messages go to the standard error stream "
                         "and questions are declined."),
          QStringLiteral("file")},
         {QStringLiteral("receipt"),
          QStringLiteral("Write the receipt of payment <id> to the --output file (PDF) and exit; no display is "
                         "needed."),
          QStringLiteral("id")},
         {QStringLiteral("output"), QStringLiteral("The PDF file --receipt writes."), QStringLiteral("file")},
         {QStringLiteral("create-demo"), QStringLiteral("Create the demo database at the --database path and exit. An "
                                                        "existing file is replaced only with --force.")},
         {QStringLiteral("force"),
          QStringLiteral("With --create-demo: replace the file at the --database path, whatever it holds.")},
         {QStringLiteral("check"),
          QStringLiteral("Check every payment's Allocated and every order's Payments and Balance against the "
                         "allocation rows, list what is out of step and exit (0: in step, 1: out of step, 2: error).")},
         {QStringLiteral("repair"), QStringLiteral("With --check: set every figure out of step right, in one "
                                                   "transaction, with an activity line per corrected row.")},
         {QStringLiteral("schema-script"),
          QStringLiteral("Print the script that creates the company schema on <engine> (sqlserver, postgresql or "
                         "sqlite) and exit."),
          QStringLiteral("engine")}});
    parser.process(app);

    if (parser.isSet(QStringLiteral("schema-script"))) {
        const QString engine = parser.value(QStringLiteral("schema-script")).toLower();
        const std::optional<ledger::Engine> chosen = engine == u"sqlserver"    ? ledger::Engine::SqlServer
                                                     : engine == u"postgresql" ? ledger::Engine::PostgreSQL
                                                     : engine == u"sqlite"     ? ledger::Engine::SQLite
                                                                               : std::optional<ledger::Engine>();
        if (!chosen) {
            complain(QStringLiteral("--schema-script expects sqlserver, postgresql or sqlite, not \"%1\".")
                         .arg(parser.value(QStringLiteral("schema-script"))));
            return 2;
        }
        std::fputs(ledger::schemaScript(*chosen).toUtf8().constData(), stdout);
        return 0;
    }

    QString error;
    auto config = host::HostConfig::fromCommandLine(parser, &error);
    if (!config) {
        complain(error);
        return 2;
    }
    if (!config->applyLocale(&error))
        complain(error + QStringLiteral(" The system's regional settings are used."));

    if (parser.isSet(QStringLiteral("check")) || parser.isSet(QStringLiteral("repair")))
        return checkIntegrity(*config, parser.isSet(QStringLiteral("repair")));
    if (parser.isSet(QStringLiteral("receipt")))
        return writeReceipt(*config, parser.value(QStringLiteral("receipt")), parser.value(QStringLiteral("output")));

    if (parser.isSet(QStringLiteral("create-demo"))) {
        const auto url = DatabaseUrl::parse(config->databaseUrl(), &error);
        if (!url || url->engine != ledger::Engine::SQLite) {
            complain(QStringLiteral("--create-demo needs a SQLite file path. %1").arg(error));
            return 2;
        }
        // A company's real database may sit at that path: it is never replaced unasked.
        if (QFileInfo::exists(url->path) && !parser.isSet(QStringLiteral("force"))) {
            complain(QStringLiteral("%1 exists; --create-demo does not replace it. Add --force to replace it "
                                    "with the demo database (everything in it is lost).")
                         .arg(QFileInfo(url->path).absoluteFilePath()));
            return 1;
        }
        if (!host::recreateDemoDatabase(url->path, &error)) {
            complain(QStringLiteral("The demo database could not be created: %1").arg(error));
            return 1;
        }
        std::printf("Created the demo database %s\n", qPrintable(QFileInfo(url->path).absoluteFilePath()));
        return 0;
    }

    const bool headless = parser.isSet(QStringLiteral("screenshot"));
    auto logger = std::make_shared<host::Logger>(config->logFolder());
    std::shared_ptr<host::Prompter> prompter;
    if (headless)
        prompter = std::make_shared<host::ConsolePrompter>();
    else
        prompter = std::make_shared<host::QtPrompter>();

    const bool ready =
        host::prepareCompanyDatabase(config->databaseUrl(), config->usesDefaultDatabase(), *prompter, logger.get());
    auto services = std::make_shared<host::ReferenceHost>(*config, prompter, logger);

    Library library;
    library.Initialize(services);
    int result = 0;
    {
        host::MainWindow window(*services, library);
        window.setDatabaseReady(ready);
        window.show();
        if (headless) {
            QCoreApplication::processEvents();
            const QString file = parser.value(QStringLiteral("screenshot"));
            if (!host::windowPicture(window).save(file, "PNG")) {
                complain(QStringLiteral("The picture could not be written to %1.").arg(file));
                result = 1;
            }
        } else {
            result = app.exec();
        }
    }
    library.PreTerminate();
    return result;
}

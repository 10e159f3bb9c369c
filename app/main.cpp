// The reference host: reads its configuration, makes sure the company database is usable,
// hands its services to the payments module and shows the customers with their orders and
// payments, from which every payment screen of the module opens.

#include "entry/Library.h"
#include "host/DatabaseCheck.h"
#include "host/HostConfig.h"
#include "host/Logger.h"
#include "host/Prompter.h"
#include "host/ReferenceHost.h"
#include "platform/SqlConnection.h"
#include "ui/MainWindow.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QFileInfo>
#include <QPixmap>

#include <cstdio>

using namespace tesr;

namespace {

void complain(const QString& text)
{
    std::fprintf(stderr, "tesrhost: %s\n", qPrintable(text));
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QCoreApplication::setOrganizationName(QStringLiteral("Varnholt"));
    QCoreApplication::setApplicationName(QStringLiteral("tesrhost"));
    QCoreApplication::setApplicationVersion(QStringLiteral("5.0"));
    QGuiApplication::setApplicationDisplayName(QStringLiteral("TESR 5 - Payments"));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Reference host of the TESR 5 payments module."));
    parser.addHelpOption();
    parser.addVersionOption();
    host::HostConfig::addOptions(parser);
    const QCommandLineOption screenshot(QStringLiteral("screenshot"),
                                        QStringLiteral("Render the main window to <file> (PNG) and exit; messages "
                                                       "go to the standard error stream and questions are declined."),
                                        QStringLiteral("file"));
    const QCommandLineOption createDemo(QStringLiteral("create-demo"),
                                        QStringLiteral("Create the demo database at the --database path (replacing "
                                                       "the file) and exit."));
    parser.addOption(screenshot);
    parser.addOption(createDemo);
    parser.process(app);

    QString error;
    auto config = host::HostConfig::fromCommandLine(parser, &error);
    if (!config) {
        complain(error);
        return 2;
    }
    if (!config->applyLocale(&error))
        complain(error + QStringLiteral(" The system's regional settings are used."));

    if (parser.isSet(createDemo)) {
        const auto url = DatabaseUrl::parse(config->databaseUrl(), &error);
        if (!url || url->engine != ledger::Engine::SQLite) {
            complain(QStringLiteral("--create-demo needs a SQLite file path. %1").arg(error));
            return 2;
        }
        if (!host::recreateDemoDatabase(url->path, &error)) {
            complain(QStringLiteral("The demo database could not be created: %1").arg(error));
            return 1;
        }
        std::printf("Created the demo database %s\n", qPrintable(QFileInfo(url->path).absoluteFilePath()));
        return 0;
    }

    const bool headless = parser.isSet(screenshot);
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
            const QString file = parser.value(screenshot);
            if (!window.grab().save(file, "PNG")) {
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

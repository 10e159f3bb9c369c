#include "support/Shorthand.h"

#include <QProcess>
#include <QTest>
#include <QWidget>

namespace tesrtest {

tesr::Currency cur(const char* text)
{
    const auto value = tesr::Currency::parsePlain(QString::fromLatin1(text));
    if (!value)
        qFatal("not an amount: %s", text);
    return *value;
}

tesr::OleDate at(int y, int mo, int d, int h, int mi, int s)
{
    const auto value = tesr::OleDate::fromYmdHms(y, mo, d, h, mi, s);
    if (!value)
        qFatal("no such date: %d-%d-%d %d:%d:%d", y, mo, d, h, mi, s);
    return *value;
}

ProgramRun runProgram(const QString& program, const QStringList& args, const QString& home, int timeoutMs)
{
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("QT_QPA_PLATFORM"));
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), home + QStringLiteral("/config"));
    env.insert(QStringLiteral("XDG_DATA_HOME"), home + QStringLiteral("/data"));
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), home);
    env.insert(QStringLiteral("LANG"), QStringLiteral("en_US.UTF-8"));
    process.setProcessEnvironment(env);
    process.start(program, args);
    ProgramRun run;
    if (!process.waitForFinished(timeoutMs)) {
        process.kill();
        process.waitForFinished();
        run.err = QStringLiteral("(did not finish in time)");
        return run;
    }
    if (process.exitStatus() == QProcess::NormalExit)
        run.exitCode = process.exitCode();
    run.out = QString::fromUtf8(process.readAllStandardOutput());
    run.err = QString::fromUtf8(process.readAllStandardError());
    return run;
}

void rows(const QStringList& table)
{
    QTest::addColumn<QString>("row");
    for (const QString& row : table)
        QTest::newRow(qPrintable(row.section(u'|', 0, 0))) << row.section(u'|', 1);
}

QStringList fields()
{
    QFETCH(QString, row);
    return row.split(u'|');
}

bool showActive(QWidget* window)
{
    window->show();
    window->activateWindow();
    return QTest::qWaitForWindowActive(window);
}

} // namespace tesrtest

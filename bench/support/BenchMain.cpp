// Benchmarks run offscreen inside a QApplication, like the module inside its host.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QDir>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
    QStandardPaths::setTestModeEnabled(true);
    QApplication app(argc, argv);
    // The user's settings (window places, written when a screen closes, each write flushed to
    // disk) in memory: a busy disk would otherwise decide what closing a screen costs.
    QTemporaryDir settings(QDir("/dev/shm").exists() ? QStringLiteral("/dev/shm/tesr-bench-XXXXXX") : QString());
    if (settings.isValid())
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settings.path());
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}

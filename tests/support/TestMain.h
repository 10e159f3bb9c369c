#pragma once

// Every test program starts the same way: offscreen, en_US regional settings, private
// per-user config and data folders, so no test reads or writes the developer's own files.
// On a real desktop (the xcb platform) a missing display fails the program: it never passes
// on windows nobody drew.

#include <QApplication>
#include <QLocale>
#include <QSettings>
#include <QStandardPaths>
#include <QTest>

#include <cstdio>

#define TESR_TEST_MAIN(TestObject)                                                                                     \
    int main(int argc, char** argv)                                                                                    \
    {                                                                                                                  \
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))                                                            \
            qputenv("QT_QPA_PLATFORM", "offscreen");                                                                   \
        if (qgetenv("QT_QPA_PLATFORM") == "xcb" && qEnvironmentVariableIsEmpty("DISPLAY")) {                           \
            std::fprintf(stderr, "FAIL: no DISPLAY for a desktop test (scripts/run-tests.sh starts one)\n");           \
            return 1;                                                                                                  \
        }                                                                                                              \
        QStandardPaths::setTestModeEnabled(true);                                                                      \
        /* Each test run keeps its per-user values (window placements...) to itself: programs  */                      \
        /* running side by side must not move each other's screens.                            */                      \
        if (const QString tmp = qEnvironmentVariable("TESR_TEST_TMP"); !tmp.isEmpty())                                 \
            QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, tmp + "/settings");                      \
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));                                         \
        QCoreApplication::setAttribute(Qt::AA_Use96Dpi, true);                                                         \
        QApplication app(argc, argv);                                                                                  \
        TestObject tc;                                                                                                 \
        QTEST_SET_MAIN_SOURCE_PATH                                                                                     \
        return QTest::qExec(&tc, argc, argv);                                                                          \
    }

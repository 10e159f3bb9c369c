#pragma once

// Every test program starts the same way: offscreen, en_US regional settings, private
// per-user config and data folders, so no test reads or writes the developer's own files.

#include <QApplication>
#include <QLocale>
#include <QStandardPaths>
#include <QTest>

#define TESR_TEST_MAIN(TestObject)                                                                  \
    int main(int argc, char** argv)                                                                 \
    {                                                                                               \
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))                                         \
            qputenv("QT_QPA_PLATFORM", "offscreen");                                                \
        QStandardPaths::setTestModeEnabled(true);                                                   \
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));                      \
        QCoreApplication::setAttribute(Qt::AA_Use96Dpi, true);                                      \
        QApplication app(argc, argv);                                                               \
        TestObject tc;                                                                              \
        QTEST_SET_MAIN_SOURCE_PATH                                                                  \
        return QTest::qExec(&tc, argc, argv);                                                       \
    }

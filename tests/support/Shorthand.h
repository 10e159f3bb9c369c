#pragma once

// Short spellings several test programs share.

#include "values/Currency.h"
#include "values/OleDate.h"

#include <QList>
#include <QMap>
#include <QString>
#include <QStringList>

class QWidget;

namespace tesrtest {

// An amount from its plain text ("1234.5"); a literal that is no amount stops the program.
tesr::Currency cur(const char* text);
// A wall-clock date and time (a date that does not exist stops the program).
tesr::OleDate at(int y, int mo, int d, int h = 0, int mi = 0, int s = 0);

// A program run to its end: exit code (-1 when it crashed or outlived the time limit) and output.
struct ProgramRun {
    int exitCode = -1;
    QString out;
    QString err;
};
// Runs a program with its per-user folders under `home` and no display platform at all; the time
// limit is its watchdog.
ProgramRun runProgram(const QString& program, const QStringList& args, const QString& home, int timeoutMs = 120000);

// A data table of one text column, "row"; each row is "name|field|field...", named by its first field.
void rows(const QStringList& table);
// The fields of the current data row, after its name.
QStringList fields();
// A CSV text read back the RFC 4180 way (fields split at commas outside quotes, doubled quotes
// inside them, records ended by CRLF), and tab-separated lines split at the tabs.
QList<QStringList> parseCsv(const QString& text);
QList<QStringList> parseTabs(const QString& text);
// The rows after the first (the header row) as heading -> field, so a failure names the column.
QList<QMap<QString, QString>> byHeading(const QList<QStringList>& lines);

// Values by name. fieldDifferences lists each field whose values differ (or that only one side
// has) as "field: actual 'a', expected 'b'", one a line; empty when they agree.
using Fields = QMap<QString, QString>;
QString fieldDifferences(const Fields& actual, const Fields& expected);
#define COMPARE_FIELDS(actual, expected)                                                                               \
    do {                                                                                                               \
        const QString differences_ = tesrtest::fieldDifferences(actual, expected);                                     \
        QVERIFY2(differences_.isEmpty(), qPrintable(differences_));                                                    \
    } while (false)

// Shows a window and waits until it is the active one (false when it never becomes active).
bool showActive(QWidget* window);

// The names of a window's labels that would render their text as HTML (an image tag loaded, a
// tag drawn as formatting) rather than show it as it is.
QStringList richTextLabels(QWidget* window);

} // namespace tesrtest

#include "support/Shorthand.h"

#include <QLabel>
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
    env.remove(QStringLiteral("DISPLAY"));
    env.remove(QStringLiteral("WAYLAND_DISPLAY"));
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

QList<QStringList> parseCsv(const QString& text)
{
    QList<QStringList> records;
    QStringList record;
    QString field;
    bool quoted = false;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (quoted) {
            if (c == u'"' && i + 1 < text.size() && text[i + 1] == u'"')
                field += text[++i];
            else if (c == u'"')
                quoted = false;
            else
                field += c;
        } else if (c == u'"') {
            quoted = true;
        } else if (c == u',') {
            record << field;
            field.clear();
        } else if (c == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n') {
            record << field;
            field.clear();
            records << record;
            record.clear();
            ++i;
        } else {
            field += c;
        }
    }
    return records;
}

QList<QMap<QString, QString>> byHeading(const QList<QStringList>& lines)
{
    QList<QMap<QString, QString>> out;
    for (qsizetype r = 1; r < lines.size(); ++r) {
        QMap<QString, QString> row;
        for (qsizetype c = 0; c < lines[0].size() && c < lines[r].size(); ++c)
            row.insert(lines[0][c], lines[r][c]);
        out << row;
    }
    return out;
}

QList<QStringList> parseTabs(const QString& text)
{
    QList<QStringList> lines;
    for (const QString& line : text.split(u'\n', Qt::SkipEmptyParts))
        lines << line.split(u'\t');
    return lines;
}

bool showActive(QWidget* window)
{
    window->show();
    window->activateWindow();
    return QTest::qWaitForWindowActive(window);
}

QString fieldDifferences(const Fields& actual, const Fields& expected)
{
    QStringList out;
    QStringList names = actual.keys() + expected.keys();
    names.removeDuplicates();
    names.sort();
    for (const QString& name : names) {
        const auto a = actual.constFind(name), e = expected.constFind(name);
        if (a == actual.constEnd() || e == expected.constEnd() || *a != *e)
            out << QStringLiteral("%1: actual '%2', expected '%3'")
                       .arg(name, a == actual.constEnd() ? QStringLiteral("(none)") : *a,
                            e == expected.constEnd() ? QStringLiteral("(none)") : *e);
    }
    return out.join(u'\n');
}

QStringList richTextLabels(QWidget* window)
{
    QStringList names;
    for (const QLabel* label : window->findChildren<QLabel*>()) {
        const Qt::TextFormat format = label->textFormat();
        if (format == Qt::RichText || (format == Qt::AutoText && Qt::mightBeRichText(label->text())))
            names << label->objectName();
    }
    return names;
}

} // namespace tesrtest

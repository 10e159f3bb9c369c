// The host's configuration and database URLs. The input is a configuration file, then after a
// line "--" the lines of a command line, then after another "--" a database URL. Beyond not
// crashing:
//   - a configuration that reads (file, then command line) is saved, read and saved again:
//     both saved files are the same, so nothing is lost or changed by a round trip;
//   - a database URL that reads is shown without its password: its shown form is the same
//     whatever the password (also a PWD or Password of an ODBC connection string).

#include "FuzzSupport.h"

#include "host/HostConfig.h"
#include "platform/DatabaseUrl.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTemporaryDir>

using tesr::DatabaseUrl;
using tesr::host::HostConfig;

namespace {

QTemporaryDir* folder = nullptr;
int serial = 0;

QString writeFile(const QByteArray& bytes)
{
    const QString path = folder->filePath(QStringLiteral("in%1.ini").arg(++serial));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        fuzz::fail(QStringLiteral("cannot write ") + path);
    file.write(bytes);
    return path;
}

QByteArray saved(const HostConfig& config)
{
    const QString path = folder->filePath(QStringLiteral("out%1.ini").arg(++serial));
    QString error;
    FUZZ_CHECK(config.save(path, &error), error);
    QFile file(path);
    file.open(QIODevice::ReadOnly);
    return file.readAll();
}

void configuration(const QByteArray& fileText, const QStringList& arguments)
{
    const QString path = writeFile(fileText);
    QCommandLineParser parser;
    HostConfig::addOptions(parser);
    std::optional<HostConfig> config;
    if (parser.parse(QStringList{QStringLiteral("tesrhost"), QStringLiteral("--config"), path} + arguments))
        config = HostConfig::fromCommandLine(parser);
    if (!config)
        return;
    const QByteArray first = saved(*config);
    QString error;
    const auto again = HostConfig::fromFile(folder->filePath(QStringLiteral("out%1.ini").arg(serial)), &error);
    FUZZ_CHECK(again.has_value(), error + " reading back " + fuzz::shown(QString::fromUtf8(first)));
    const QByteArray second = saved(*again);
    FUZZ_CHECK(first == second,
               fuzz::shown(QString::fromUtf8(first)) + " became " + fuzz::shown(QString::fromUtf8(second)));
}

// The ODBC connection string with every PWD or Password value replaced by another one.
// Attributes are KEY=VALUE separated by ';'; a value may stand in braces (after blanks), where
// ';' is text and "}}" a brace; a brace left open runs to the end.
QString otherOdbcPasswords(const QString& odbc)
{
    QString out;
    const qsizetype n = odbc.size();
    for (qsizetype i = 0; i < n;) {
        const qsizetype start = i;
        while (i < n && odbc[i] != u';' && odbc[i] != u'=')
            ++i;
        if (i < n && odbc[i] == u'=') {
            const QString key = odbc.mid(start, i - start).trimmed();
            const qsizetype value = ++i;
            while (i < n && odbc[i].isSpace())
                ++i;
            if (i < n && odbc[i] == u'{')
                for (++i; i < n; ++i)
                    if (odbc[i] == u'}' && !(i + 1 < n && odbc[i + 1] == u'}' && ++i)) {
                        ++i;
                        break;
                    }
            while (i < n && odbc[i] != u';')
                ++i;
            const bool password =
                key.compare(u"PWD", Qt::CaseInsensitive) == 0 || key.compare(u"Password", Qt::CaseInsensitive) == 0;
            out += odbc.mid(start, value - start) + (password ? QStringLiteral("{other}") : odbc.mid(value, i - value));
        } else {
            out += odbc.mid(start, i - start);
        }
        if (i < n) {
            out += u';';
            ++i;
        }
    }
    return out;
}

void databaseUrl(const QString& text)
{
    const std::optional<DatabaseUrl> url = DatabaseUrl::parse(text);
    if (!url)
        return;
    const QString shown = url->toString();
    DatabaseUrl other = *url;
    other.password = url->password + QStringLiteral("-other");
    other.odbc = otherOdbcPasswords(url->odbc);
    FUZZ_CHECK(other.toString() == shown,
               fuzz::shown(text) + " shown as " + fuzz::shown(shown) + " and as " + fuzz::shown(other.toString()));
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    QStandardPaths::setTestModeEnabled(true);
    // In memory where there is such a folder: saving a configuration syncs its file.
    folder = QFileInfo(QStringLiteral("/dev/shm")).isWritable()
                 ? new QTemporaryDir(QStringLiteral("/dev/shm/tesr-fuzz-config-XXXXXX"))
                 : new QTemporaryDir;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArray input = QByteArray::fromRawData(reinterpret_cast<const char*>(data), qsizetype(size));
    const QList<QByteArray> parts = QByteArray(input).split('\n');
    QByteArray fileText;
    QStringList arguments;
    QString url;
    int section = 0;
    for (const QByteArray& line : parts) {
        if (line == "--" && section < 2) {
            ++section;
            continue;
        }
        if (section == 0)
            fileText += line + '\n';
        else if (section == 1)
            arguments << QString::fromUtf8(line);
        else
            url += (url.isEmpty() ? QString() : QStringLiteral("\n")) + QString::fromUtf8(line);
    }
    configuration(fileText, arguments);
    databaseUrl(url);
    for (const QString& file : QDir(folder->path()).entryList(QDir::Files))
        QFile::remove(folder->filePath(file));
    return 0;
}

#include "host/Logger.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>

namespace tesr::host {

namespace {

QString levelName(Logger::Level level)
{
    switch (level) {
    case Logger::Level::Info:
        return QStringLiteral("INFO");
    case Logger::Level::Warning:
        return QStringLiteral("WARNING");
    case Logger::Level::Error:
        break;
    }
    return QStringLiteral("ERROR");
}

void appendIndented(QString& entry, const QString& text)
{
    if (text.isEmpty())
        return;
    QString normalised = text;
    normalised.replace(QStringLiteral("\r\n"), QStringLiteral("\n")).replace(u'\r', u'\n');
    for (const QString& line : normalised.split(u'\n'))
        entry += QStringLiteral("    ") + line + u'\n';
}

} // namespace

Logger::Logger(QString folder, qint64 maxBytes, int maxFiles, QString baseName)
    : m_folder(std::move(folder)), m_maxBytes(std::max<qint64>(maxBytes, 1024)), m_maxFiles(std::max(maxFiles, 1)),
      m_baseName(std::move(baseName))
{}

QString Logger::fileName(int number) const
{
    const QString name =
        number == 0 ? m_baseName + QStringLiteral(".log") : QStringLiteral("%1.%2.log").arg(m_baseName).arg(number);
    return QDir(m_folder).filePath(name);
}

QString Logger::currentFile() const
{
    return fileName(0);
}

QStringList Logger::files() const
{
    QMutexLocker lock(&m_mutex);
    QStringList result;
    for (int i = 0; i < m_maxFiles; ++i)
        if (QFileInfo::exists(fileName(i)))
            result << fileName(i);
    return result;
}

void Logger::rotate()
{
    QFile::remove(fileName(m_maxFiles - 1));
    for (int i = m_maxFiles - 2; i >= 0; --i)
        if (QFileInfo::exists(fileName(i)))
            QFile::rename(fileName(i), fileName(i + 1));
}

void Logger::write(Level level, const QString& headline, const QString& explanation, const QString& detail)
{
    if (m_folder.isEmpty())
        return;
    QString entry = QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz")) + u' ' +
                    levelName(level) + u' ' + QString(headline).replace(u'\n', u' ').replace(u'\r', u' ') + u'\n';
    appendIndented(entry, explanation);
    appendIndented(entry, detail);
    const QByteArray bytes = entry.toUtf8();

    QMutexLocker lock(&m_mutex);
    if (!QDir().mkpath(m_folder)) {
        m_healthy = false;
        return;
    }
    const qint64 size = QFileInfo(fileName(0)).size();
    if (size > 0 && size + bytes.size() > m_maxBytes)
        rotate();
    // A log names customers and the engine's words: readable by the user alone.
    QFile file(fileName(0));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append, QFileDevice::ReadOwner | QFileDevice::WriteOwner) ||
        file.write(bytes) != bytes.size()) {
        m_healthy = false;
        return;
    }
    m_healthy = true;
}

} // namespace tesr::host

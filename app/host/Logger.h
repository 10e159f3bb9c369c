#pragma once

// The host's log: plain text files in one folder, rotated by size. The current file is
// tesrhost.log; when an entry would take it past the size limit it becomes tesrhost.1.log,
// the older ones move up one number and the oldest beyond the file count is deleted.
//
// Entry: "2024-05-01 14:03:07.123 ERROR headline", then the explanation and the detail,
// each line indented by four blanks.

#include <QMutex>
#include <QString>
#include <QStringList>

namespace tesr::host {

class Logger {
public:
    enum class Level { Info, Warning, Error };

    explicit Logger(QString folder, qint64 maxBytes = 1024 * 1024, int maxFiles = 5,
                    QString baseName = QStringLiteral("tesrhost"));

    void write(Level level, const QString& headline, const QString& explanation = {}, const QString& detail = {});
    void error(const QString& headline, const QString& explanation = {}, const QString& detail = {})
    {
        write(Level::Error, headline, explanation, detail);
    }
    void warning(const QString& headline, const QString& detail = {}) { write(Level::Warning, headline, {}, detail); }
    void info(const QString& headline, const QString& detail = {}) { write(Level::Info, headline, {}, detail); }

    QString folder() const { return m_folder; }
    QString currentFile() const;
    // Every log file there is, newest first.
    QStringList files() const;
    // False once a write failed (the folder could not be created or the file not opened).
    bool healthy() const { return m_healthy; }

private:
    QString fileName(int number) const;
    void rotate();

    QString m_folder;
    qint64 m_maxBytes;
    int m_maxFiles;
    QString m_baseName;
    bool m_healthy = true;
    mutable QMutex m_mutex;
};

} // namespace tesr::host

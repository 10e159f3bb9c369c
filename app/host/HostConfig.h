#pragma once

// The reference host's settings: which company database, who the user is and what they may
// do, the user's options, the regional locale and where the log goes. Read from an INI file
// (tesrhost.ini in the per-user config folder, or --config FILE), then overridden from the
// command line. A plain value: tests build one in memory.
//
//   [Database]
//   URL=/home/me/.local/share/Varnholt/tesrhost/company.db   ; or postgresql://..., odbc:...
//   [User]
//   ID=1
//   [Permissions]
//   Default=-1          ; rights mask of every permission not listed (-1: all rights, 0: none)
//   803=40              ; rights 8 | 32
//   303=4
//   [Options]
//   Payments\RequireCCDetails=0
//   [Regional]
//   Locale=en_US        ; empty: the system's
//   [Log]
//   Folder=/home/me/.local/share/Varnholt/tesrhost/logs

#include <QList>
#include <QMap>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <optional>

class QCommandLineParser;

namespace tesr::host {

class HostConfig {
public:
    // Defaults: the demo database in the data folder, user 1 holding every right.
    HostConfig();

    static QString defaultConfigFile();   // <AppConfigLocation>/tesrhost.ini
    static QString defaultDatabasePath(); // <AppDataLocation>/company.db
    static QString defaultLogFolder();    // <AppDataLocation>/logs

    // Reads every key present in the file over the defaults. A missing file is not an error
    // (the defaults stand); an unreadable or malformed one is.
    static std::optional<HostConfig> fromFile(const QString& path, QString* error = nullptr);
    bool save(const QString& path, QString* error = nullptr) const;

    // The host's command-line options (--config, --database, --user, --grant, --deny,
    // --option, --locale, --log-dir).
    static void addOptions(QCommandLineParser& parser);
    // The configuration a command line asks for: its --config file (or the default one), then
    // its overrides. Nothing, with the reason, when a value cannot be read.
    static std::optional<HostConfig> fromCommandLine(const QCommandLineParser& parser, QString* error = nullptr);
    // Applies the overrides of a parsed command line to this configuration.
    bool applyOverrides(const QCommandLineParser& parser, QString* error = nullptr);

    QString databaseUrl() const { return m_databaseUrl; }
    void setDatabaseUrl(const QString& url) { m_databaseUrl = url; }
    // True while the database is the default demo file (which the host may create).
    bool usesDefaultDatabase() const;

    int userId() const { return m_userId; }
    void setUserId(int id) { m_userId = id; }

    // Rights are bit masks per permission number; unlisted permissions get the default mask.
    int rights(int permission) const;
    void setRights(int permission, int mask) { m_rights[permission] = mask; }
    int defaultRights() const { return m_defaultRights; }
    void setDefaultRights(int mask) { m_defaultRights = mask; }
    void grant(int permission, int right) { setRights(permission, rights(permission) | right); }
    void deny(int permission, int right) { setRights(permission, rights(permission) & ~right); }
    // True when every bit of the right is held (a right of 0 is never held).
    bool canDo(int permission, int right) const;

    // User options by section and key (compared without regard to case).
    QVariant option(const QString& section, const QString& key, const QVariant& defaultValue = {}) const;
    void setOption(const QString& section, const QString& key, const QVariant& value);

    QString locale() const { return m_locale; }
    void setLocale(const QString& name) { m_locale = name; }
    // QLocale::setDefault from the configured name; false (and nothing changed) for a name
    // Qt does not know. An empty name keeps the system's locale.
    bool applyLocale(QString* error = nullptr) const;

    QString logFolder() const { return m_logFolder; }
    void setLogFolder(const QString& folder) { m_logFolder = folder; }

    // The file the configuration came from (empty for one built in memory).
    QString sourceFile() const { return m_sourceFile; }

private:
    bool readSettingsFile(const QString& path, QString* error);

    QString m_databaseUrl;
    int m_userId = 1;
    int m_defaultRights = -1;
    QMap<int, int> m_rights;
    struct Option {
        QString section;
        QString key;
        QVariant value;
    };
    QList<Option> m_options;
    QString m_locale;
    QString m_logFolder;
    QString m_sourceFile;
};

} // namespace tesr::host

#include "host/HostConfig.h"

#include "platform/SqlConnection.h"

#include <QCommandLineParser>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QSettings>
#include <QStandardPaths>

namespace tesr::host {

namespace {

void setError(QString* error, const QString& text)
{
    if (error)
        *error = text;
}

// A SQLite path is kept absolute, so the host means the same file whatever the current
// folder; server URLs pass unchanged.
QString normalisedUrl(const QString& url, const QDir& base)
{
    const QString trimmed = url.trimmed();
    if (trimmed.isEmpty())
        return trimmed;
    const auto parsed = DatabaseUrl::parse(trimmed);
    if (!parsed || parsed->engine != ledger::Engine::SQLite || parsed->path.isEmpty())
        return trimmed;
    return QDir::cleanPath(base.absoluteFilePath(parsed->path));
}

// Decimal always: a leading zero is padding (803=040 is 40), never octal.
std::optional<int> readInt(const QString& text)
{
    bool ok = false;
    const int value = text.trimmed().toInt(&ok, 10);
    return ok ? std::optional<int>(value) : std::nullopt;
}

// "803:8" -> (803, 8)
std::optional<std::pair<int, int>> readPermissionRight(const QString& text)
{
    const QStringList parts = text.split(u':');
    if (parts.size() != 2)
        return std::nullopt;
    const auto permission = readInt(parts[0]);
    const auto right = readInt(parts[1]);
    if (!permission || !right)
        return std::nullopt;
    return std::make_pair(*permission, *right);
}

const QString OptDatabase = QStringLiteral("database");
const QString OptConfig = QStringLiteral("config");
const QString OptUser = QStringLiteral("user");
const QString OptGrant = QStringLiteral("grant");
const QString OptDeny = QStringLiteral("deny");
const QString OptOption = QStringLiteral("option");
const QString OptLocale = QStringLiteral("locale");
const QString OptLogDir = QStringLiteral("log-dir");

} // namespace

HostConfig::HostConfig() : m_databaseUrl(defaultDatabasePath()), m_logFolder(defaultLogFolder()) {}

QString HostConfig::defaultConfigFile()
{
    return QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation) + QStringLiteral("/tesrhost.ini");
}

QString HostConfig::defaultDatabasePath()
{
    return QStandardPaths::writableLocation(QStandardPaths::AppDataLocation) + QStringLiteral("/company.db");
}

QString HostConfig::defaultLogFolder()
{
    return QStandardPaths::writableLocation(QStandardPaths::AppDataLocation) + QStringLiteral("/logs");
}

bool HostConfig::usesDefaultDatabase() const
{
    return QFileInfo(m_databaseUrl).absoluteFilePath() == QFileInfo(defaultDatabasePath()).absoluteFilePath();
}

int HostConfig::rights(int permission) const
{
    return m_rights.value(permission, m_defaultRights);
}

bool HostConfig::canDo(int permission, int right) const
{
    return right != 0 && (rights(permission) & right) == right;
}

QVariant HostConfig::option(const QString& section, const QString& key, const QVariant& defaultValue) const
{
    for (const Option& o : m_options)
        if (o.section.compare(section, Qt::CaseInsensitive) == 0 && o.key.compare(key, Qt::CaseInsensitive) == 0)
            return o.value;
    return defaultValue;
}

void HostConfig::setOption(const QString& section, const QString& key, const QVariant& value)
{
    for (Option& o : m_options) {
        if (o.section.compare(section, Qt::CaseInsensitive) == 0 && o.key.compare(key, Qt::CaseInsensitive) == 0) {
            o.value = value;
            return;
        }
    }
    m_options.append({section, key, value});
}

bool HostConfig::applyLocale(QString* error) const
{
    if (m_locale.trimmed().isEmpty())
        return true;
    const QLocale wanted(m_locale.trimmed());
    // QLocale falls back to "C" for a name it does not know.
    if (wanted.language() == QLocale::C && m_locale.trimmed().compare(u"C", Qt::CaseInsensitive) != 0) {
        setError(error,
                 QStringLiteral("Unknown locale \"%1\" (expected a name such as en_US or de_DE).").arg(m_locale));
        return false;
    }
    QLocale::setDefault(wanted);
    return true;
}

std::optional<HostConfig> HostConfig::fromFile(const QString& path, QString* error)
{
    HostConfig config;
    if (!config.readSettingsFile(path, error))
        return std::nullopt;
    return config;
}

bool HostConfig::readSettingsFile(const QString& path, QString* error)
{
    const QFileInfo info(path);
    if (!info.exists())
        return true;
    if (!info.isFile() || !info.isReadable()) {
        setError(error, QStringLiteral("The configuration file %1 cannot be read.").arg(path));
        return false;
    }
    QSettings ini(path, QSettings::IniFormat);
    if (ini.status() != QSettings::NoError) {
        setError(error, QStringLiteral("The configuration file %1 is not a valid INI file.").arg(path));
        return false;
    }
    m_sourceFile = info.absoluteFilePath();
    const QDir base = info.absoluteDir();
    auto bad = [&](const QString& key, const QString& value) {
        setError(
            error,
            QStringLiteral("The configuration file %1 has an invalid value for %2: \"%3\".").arg(path, key, value));
        return false;
    };

    if (ini.contains(QStringLiteral("Database/URL")))
        m_databaseUrl = normalisedUrl(ini.value(QStringLiteral("Database/URL")).toString(), base);
    if (ini.contains(QStringLiteral("User/ID"))) {
        const QString text = ini.value(QStringLiteral("User/ID")).toString();
        const auto id = readInt(text);
        if (!id)
            return bad(QStringLiteral("[User] ID"), text);
        m_userId = *id;
    }
    ini.beginGroup(QStringLiteral("Permissions"));
    for (const QString& key : ini.childKeys()) {
        const QString text = ini.value(key).toString();
        const auto mask = readInt(text);
        if (!mask)
            return bad(QStringLiteral("[Permissions] %1").arg(key), text);
        if (key.compare(u"Default", Qt::CaseInsensitive) == 0) {
            m_defaultRights = *mask;
            continue;
        }
        const auto permission = readInt(key);
        if (!permission)
            return bad(QStringLiteral("[Permissions]"), key);
        m_rights[*permission] = *mask;
    }
    ini.endGroup();
    ini.beginGroup(QStringLiteral("Options"));
    // Keys are "Section\Key" in the file, which QSettings reads as "Section/Key".
    for (const QString& key : ini.allKeys()) {
        const qsizetype cut = key.lastIndexOf(u'/');
        if (cut <= 0)
            return bad(QStringLiteral("[Options]"), key + QStringLiteral(" (expected Section\\Key)"));
        setOption(key.left(cut), key.mid(cut + 1), ini.value(key));
    }
    ini.endGroup();
    if (ini.contains(QStringLiteral("Regional/Locale")))
        m_locale = ini.value(QStringLiteral("Regional/Locale")).toString().trimmed();
    if (ini.contains(QStringLiteral("Log/Folder"))) {
        const QString folder = ini.value(QStringLiteral("Log/Folder")).toString().trimmed();
        if (!folder.isEmpty())
            m_logFolder = QDir::cleanPath(base.absoluteFilePath(folder));
    }
    return true;
}

bool HostConfig::save(const QString& path, QString* error) const
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    // The file may hold a database password: readable by the user alone, from its first byte
    // (a file that exists keeps its permissions when QSettings replaces it).
    const auto owner = QFileDevice::ReadOwner | QFileDevice::WriteOwner;
    if (QFile created(path); !created.exists())
        created.open(QIODevice::WriteOnly | QIODevice::NewOnly, owner);
    QFile::setPermissions(path, owner);
    QSettings ini(path, QSettings::IniFormat);
    ini.clear();
    ini.setValue(QStringLiteral("Database/URL"), m_databaseUrl);
    ini.setValue(QStringLiteral("User/ID"), m_userId);
    ini.setValue(QStringLiteral("Permissions/Default"), m_defaultRights);
    for (auto it = m_rights.cbegin(); it != m_rights.cend(); ++it)
        ini.setValue(QStringLiteral("Permissions/%1").arg(it.key()), it.value());
    for (const Option& o : m_options)
        ini.setValue(QStringLiteral("Options/%1/%2").arg(o.section, o.key), o.value);
    ini.setValue(QStringLiteral("Regional/Locale"), m_locale);
    ini.setValue(QStringLiteral("Log/Folder"), m_logFolder);
    ini.sync();
    if (ini.status() != QSettings::NoError) {
        setError(error, QStringLiteral("The configuration file %1 could not be written.").arg(path));
        return false;
    }
    return true;
}

void HostConfig::addOptions(QCommandLineParser& parser)
{
    parser.addOption({OptConfig, QStringLiteral("Read the configuration from <file> instead of the default one."),
                      QStringLiteral("file")});
    parser.addOption({OptDatabase,
                      QStringLiteral("The company database: a SQLite file, postgresql://user@host/db or odbc:..."),
                      QStringLiteral("url")});
    parser.addOption({OptUser, QStringLiteral("The user ID the module sees."), QStringLiteral("id")});
    parser.addOption(
        {OptGrant, QStringLiteral("Grant a right, e.g. 803:8 (repeatable)."), QStringLiteral("permission:right")});
    parser.addOption(
        {OptDeny, QStringLiteral("Withdraw a right, e.g. 803:32 (repeatable)."), QStringLiteral("permission:right")});
    parser.addOption({OptOption, QStringLiteral("Set a user option, e.g. Payments/RequireCCDetails=1 (repeatable)."),
                      QStringLiteral("section/key=value")});
    parser.addOption({OptLocale, QStringLiteral("Regional settings, e.g. en_US or de_DE."), QStringLiteral("name")});
    parser.addOption({OptLogDir, QStringLiteral("Write the log files into <folder>."), QStringLiteral("folder")});
}

std::optional<HostConfig> HostConfig::fromCommandLine(const QCommandLineParser& parser, QString* error)
{
    const QString file = parser.isSet(OptConfig) ? parser.value(OptConfig) : defaultConfigFile();
    if (parser.isSet(OptConfig) && !QFileInfo::exists(file)) {
        setError(error, QStringLiteral("The configuration file %1 does not exist.").arg(file));
        return std::nullopt;
    }
    auto config = fromFile(file, error);
    if (!config || !config->applyOverrides(parser, error))
        return std::nullopt;
    return config;
}

bool HostConfig::applyOverrides(const QCommandLineParser& parser, QString* error)
{
    if (parser.isSet(OptDatabase))
        m_databaseUrl = normalisedUrl(parser.value(OptDatabase), QDir::current());
    if (parser.isSet(OptUser)) {
        const auto id = readInt(parser.value(OptUser));
        if (!id) {
            setError(error, QStringLiteral("--user expects a number, not \"%1\".").arg(parser.value(OptUser)));
            return false;
        }
        m_userId = *id;
    }
    // Grants and denials apply in the order given per kind: every grant, then every denial.
    for (const QString& kind : {OptGrant, OptDeny}) {
        for (const QString& value : parser.values(kind)) {
            const auto pr = readPermissionRight(value);
            if (!pr) {
                setError(error,
                         QStringLiteral("--%1 expects permission:right (e.g. 803:8), not \"%2\".").arg(kind, value));
                return false;
            }
            if (kind == OptGrant)
                grant(pr->first, pr->second);
            else
                deny(pr->first, pr->second);
        }
    }
    for (const QString& value : parser.values(OptOption)) {
        const qsizetype eq = value.indexOf(u'=');
        const QString name = eq < 0 ? QString() : value.left(eq).trimmed();
        const qsizetype cut = name.lastIndexOf(u'/');
        if (eq < 0 || cut <= 0 || cut == name.size() - 1) {
            setError(error, QStringLiteral("--option expects Section/Key=Value (e.g. Payments/RequireCCDetails=1), "
                                           "not \"%1\".")
                                .arg(value));
            return false;
        }
        setOption(name.left(cut), name.mid(cut + 1), value.mid(eq + 1));
    }
    if (parser.isSet(OptLocale))
        m_locale = parser.value(OptLocale).trimmed();
    if (parser.isSet(OptLogDir))
        m_logFolder = QDir::cleanPath(QDir::current().absoluteFilePath(parser.value(OptLogDir)));
    return true;
}

} // namespace tesr::host

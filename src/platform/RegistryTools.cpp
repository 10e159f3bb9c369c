#include "platform/RegistryTools.h"

#include <QSettings>

namespace tesr {

namespace {

QSettings openStore()
{
    return QSettings(QSettings::NativeFormat, QSettings::UserScope,
                     QString::fromLatin1(SettingsRegistryTools::Organization),
                     QString::fromLatin1(SettingsRegistryTools::Application));
}

} // namespace

QString SettingsRegistryTools::settingsKey(const QString& key, const QString& valueName)
{
    QString group = key;
    group.replace(u'\\', u'/');
    while (group.endsWith(u'/'))
        group.chop(1);
    while (group.startsWith(u'/'))
        group.remove(0, 1);
    return group.isEmpty() ? valueName : group + u'/' + valueName;
}

QString SettingsRegistryTools::ReadString(int root, const QString& key, const QString& valueName,
                                          const QString& defaultText)
{
    if (root != HKEY_CURRENT_USER_ROOT || valueName.isEmpty())
        return defaultText;
    QSettings store = openStore();
    const QVariant value = store.value(settingsKey(key, valueName));
    if (!value.isValid())
        return defaultText;
    // A list is what the settings file makes of a comma-separated text written by hand.
    if (value.metaType().id() == QMetaType::QStringList)
        return value.toStringList().join(u',');
    return value.toString();
}

bool SettingsRegistryTools::WriteString(int root, const QString& key, const QString& valueName, const QString& text)
{
    if (root != HKEY_CURRENT_USER_ROOT || valueName.isEmpty())
        return false;
    QSettings store = openStore();
    store.setValue(settingsKey(key, valueName), text);
    store.sync();
    return store.status() == QSettings::NoError;
}

std::unique_ptr<RegistryTools> makeDefaultRegistryTools()
{
    return std::make_unique<SettingsRegistryTools>();
}

} // namespace tesr

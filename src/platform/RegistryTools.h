#pragma once

// The module's own per-user string store (what HelperFactory::CreateRegistryTools gives unless a
// host installed another factory), kept with QSettings in the platform's native per-user form
// under organization "Varnholt", application "Tesserine". A registry key text such as
// "Software\Varnholt\Tesserine\5.0\Window Positions\" becomes the settings group
// "Software/Varnholt/Tesserine/5.0/Window Positions"; value names are kept as they are.

#include "platform/HelperTools.h"

#include <memory>

namespace tesr {

class SettingsRegistryTools final : public RegistryTools {
public:
    static constexpr const char* Organization = "Varnholt";
    static constexpr const char* Application = "Tesserine";

    // Only the current user's root is kept; any other root reads the default and refuses writes.
    QString ReadString(int root, const QString& key, const QString& valueName, const QString& defaultText) override;
    bool WriteString(int root, const QString& key, const QString& valueName, const QString& text) override;

    // The settings key a registry key and value name are kept under.
    static QString settingsKey(const QString& key, const QString& valueName);
};

std::unique_ptr<RegistryTools> makeDefaultRegistryTools();

} // namespace tesr

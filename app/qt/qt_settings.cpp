// SPDX-License-Identifier: Apache-2.0
#include "app/qt/qt_settings.h"

#include <QSettings>
#include <QString>
#include <QStringList>
#include <optional>
#include <utility>

#include "app/qt/qt_text.h"

namespace veskar {

namespace {

// On Windows QSettings reads and writes a registry key's unnamed value under this name.
const QString kDefaultValue = QStringLiteral("Default");

struct KeyPlace {
    QString organization;
    QString application;
    QString group;  // the setting's key below the program's, '/'-separated
};

std::optional<KeyPlace> PlaceOf(std::string_view path) {
    const QStringList parts = QtText(path).split(QLatin1Char('\\'));
    if (parts.size() < 4 || parts[0] != QLatin1String("Software") || parts.contains(QString()))
        return std::nullopt;
    return KeyPlace{parts[1], parts[2], parts.mid(3).join(QLatin1Char('/'))};
}

std::unique_ptr<QSettings> Open(SettingsRoot root, const KeyPlace& place) {
    auto settings = std::make_unique<QSettings>(
        QSettings::NativeFormat,
        root == SettingsRoot::Machine ? QSettings::SystemScope : QSettings::UserScope,
        place.organization, place.application);
    // The user's root alone, as a registry key under HKEY_CURRENT_USER: without this the user
    // scope would read the system scope's value (and the organization's) where it has none.
    settings->setFallbacksEnabled(false);
    return settings;
}

class QtSettingsKey : public SettingsKey {
  public:
    QtSettingsKey(std::unique_ptr<QSettings> settings, QString valueKey)
        : settings_(std::move(settings)), valueKey_(std::move(valueKey)) {}

    bool SetDefaultValue(std::string_view text) override {
        settings_->setValue(valueKey_, QtPath(std::string(text)));
        settings_->sync();
        return settings_->status() == QSettings::NoError;
    }

    std::optional<std::string> DefaultValue() override {
        const QVariant value = settings_->value(valueKey_);
        if (!value.isValid()) return std::nullopt;
        return NativePath(value.toString());
    }

  private:
    std::unique_ptr<QSettings> settings_;
    QString valueKey_;
};

}  // namespace

std::unique_ptr<SettingsKey> QtSettingsBackend::CreateKey(SettingsRoot root,
                                                          std::string_view path) {
    const std::optional<KeyPlace> place = PlaceOf(path);
    if (!place) return nullptr;
    std::unique_ptr<QSettings> settings = Open(root, *place);
    // Making the file's folders and a file beside it is the test for creating the key.
    if (!settings->isWritable()) return nullptr;
    // QSettings holds no key without a value: an empty default value stands for a key just
    // created, and reads as nothing stored.
    const QString valueKey = place->group + QLatin1Char('/') + kDefaultValue;
    if (!settings->contains(valueKey)) {
        settings->setValue(valueKey, QString());
        settings->sync();
        if (settings->status() != QSettings::NoError) return nullptr;
    }
    return std::make_unique<QtSettingsKey>(std::move(settings), valueKey);
}

bool QtSettingsBackend::DeleteKey(SettingsRoot root, std::string_view path) {
    const std::optional<KeyPlace> place = PlaceOf(path);
    if (!place) return false;
    std::unique_ptr<QSettings> settings = Open(root, *place);
    settings->remove(place->group);
    settings->sync();
    return settings->status() == QSettings::NoError;
}

SettingsStore& WindowSettings() {
    static QtSettingsBackend backend;
    static SettingsStore store(backend);
    return store;
}

}  // namespace veskar

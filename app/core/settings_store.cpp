// SPDX-License-Identifier: Apache-2.0
#include "app/core/settings_store.h"

#include "platform/platform.h"

namespace veskar {

namespace {

std::string SettingPath(std::string_view name) {
    std::string path(settings::kMakerKey);
    path += settings::kProgramName;
    path += '\\';
    path += name;
    return path;
}

}  // namespace

void SettingsStore::SelectSettingsRoot() {
    const std::string probe = SettingPath(settings::kProbe);
    root_ = SettingsRoot::Machine;
    if (std::unique_ptr<SettingsKey> key = backend_.CreateKey(SettingsRoot::Machine, probe)) {
        // Closed before it is deleted. The maker's and the program's keys that the creation
        // may have made stay: the settings go there next.
        key.reset();
        backend_.DeleteKey(SettingsRoot::Machine, probe);
        return;
    }
    // No probe under the user's root: its key is created on first use.
    root_ = SettingsRoot::User;
}

std::unique_ptr<SettingsKey> SettingsStore::OpenSettingsKey(std::string_view name) {
    const std::string path = SettingPath(name);
    if (!root_ || path.size() > settings::kMaxKeyPathChars) return nullptr;
    return backend_.CreateKey(*root_, path);
}

void SettingsStore::StoreLastFolder(std::string_view path) {
    std::string text(path);
    // Keeps the separator and drops what follows it: a chosen folder already ends in one and
    // is kept whole; a text without any separator is stored whole.
    for (std::size_t i = text.size(); i > 0; --i) {
        if (platform::IsSeparator(text[i - 1])) {
            text.resize(i);
            break;
        }
    }
    std::unique_ptr<SettingsKey> key = OpenSettingsKey(settings::kLastFolder);
    if (!key) return;
    key->SetDefaultValue(text);
}

std::string SettingsStore::ReadLastFolder() {
    std::unique_ptr<SettingsKey> key = OpenSettingsKey(settings::kLastFolder);
    if (!key) return {};
    std::string text;
    // A value that would not fit the 256 bytes with its terminator is taken as none.
    if (std::optional<std::string> value = key->DefaultValue();
        value && value->size() < settings::kValueBytes) {
        text = std::move(*value);
    }
    if (text.empty()) text = platform::WithTrailingSeparator(platform::CurrentFolder());
    return text;
}

}  // namespace veskar

// SPDX-License-Identifier: Apache-2.0
#include "app/win32/registry_settings_win32.h"

#include <windows.h>

#include <cstring>
#include <optional>
#include <string>

namespace veskar {

namespace {

HKEY HiveOf(SettingsRoot root) {
    return root == SettingsRoot::Machine ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER;
}

class RegistryKey : public SettingsKey {
  public:
    explicit RegistryKey(HKEY key) : key_(key) {}
    ~RegistryKey() override { ::RegCloseKey(key_); }
    RegistryKey(const RegistryKey&) = delete;
    RegistryKey& operator=(const RegistryKey&) = delete;

    // The text and its terminating zero, as REG_SZ wants it.
    bool SetDefaultValue(std::string_view text) override {
        const std::string data(text);
        return ::RegSetValueExA(key_, nullptr, 0, REG_SZ,
                                reinterpret_cast<const BYTE*>(data.c_str()),
                                static_cast<DWORD>(data.size() + 1)) == ERROR_SUCCESS;
    }

    // Read into the settings' 256 bytes: a longer value fails with ERROR_MORE_DATA and reads
    // as none. The registry keeps a value as it was written, so one stored without its zero
    // is taken up to its stored length, and one with a zero inside ends there.
    std::optional<std::string> DefaultValue() override {
        char data[settings::kValueBytes];
        DWORD size = sizeof data;
        if (::RegQueryValueExA(key_, nullptr, nullptr, nullptr, reinterpret_cast<BYTE*>(data),
                               &size) != ERROR_SUCCESS)
            return std::nullopt;
        const void* zero = std::memchr(data, '\0', size);
        const std::size_t length =
            zero != nullptr ? static_cast<std::size_t>(static_cast<const char*>(zero) - data)
                            : size;
        return std::string(data, length);
    }

  private:
    HKEY key_;
};

}  // namespace

std::unique_ptr<SettingsKey> RegistrySettingsBackend::CreateKey(SettingsRoot root,
                                                                std::string_view path) {
    const std::string subkey(path);
    HKEY key = nullptr;
    if (::RegCreateKeyA(HiveOf(root), subkey.c_str(), &key) != ERROR_SUCCESS || key == nullptr)
        return nullptr;
    return std::make_unique<RegistryKey>(key);
}

bool RegistrySettingsBackend::DeleteKey(SettingsRoot root, std::string_view path) {
    const std::string subkey(path);
    return ::RegDeleteKeyA(HiveOf(root), subkey.c_str()) == ERROR_SUCCESS;
}

SettingsStore& WindowSettings() {
    static RegistrySettingsBackend backend;
    static SettingsStore store(backend);
    return store;
}

}  // namespace veskar

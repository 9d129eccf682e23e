// SPDX-License-Identifier: Apache-2.0
// The one setting the window keeps between runs, the folder last chosen with a Browse button,
// in a key of the program's own, free of any toolkit. The operations follow the registry's:
// a key is created (or opened) for every read and write and closed straight after, and the
// key's default value holds the setting. The Win32 window puts the registry behind
// SettingsBackend, the Qt window QSettings.
#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace veskar {

// The root the program key lives under: the machine's (HKEY_LOCAL_MACHINE, QSettings'
// system scope) or the user's (HKEY_CURRENT_USER, the user scope).
enum class SettingsRoot { Machine, User };

// An open key; destroying it closes it.
class SettingsKey {
  public:
    virtual ~SettingsKey() = default;
    // Sets the key's default value to `text`; false when it could not be written.
    virtual bool SetDefaultValue(std::string_view text) = 0;
    // The key's default value as stored; nullopt when there is none or it cannot be read.
    virtual std::optional<std::string> DefaultValue() = 0;
};

class SettingsBackend {
  public:
    virtual ~SettingsBackend() = default;
    // Opens the key at `path` (components separated by '\'), creating it and any missing
    // parent; nullptr when it can be neither opened nor created, as where the user may not
    // write.
    virtual std::unique_ptr<SettingsKey> CreateKey(SettingsRoot root, std::string_view path) = 0;
    // Removes the key at `path`; its parents stay.
    virtual bool DeleteKey(SettingsRoot root, std::string_view path) = 0;
};

namespace settings {
// The program key, Software\Quorvane\VESKAR, and the names of its settings.
constexpr std::string_view kMakerKey = "Software\\Quorvane\\";
constexpr std::string_view kProgramName = "VESKAR";
constexpr std::string_view kLastFolder = "Reper";
// Created and deleted again to learn whether the machine's root may be written.
constexpr std::string_view kProbe = "wxyz";
// A setting's path, the program key's and its name, is at most this long.
constexpr std::size_t kMaxKeyPathChars = 127;
// The remembered folder is read into 256 bytes, its terminator included.
constexpr std::size_t kValueBytes = 256;
}  // namespace settings

class SettingsStore {
  public:
    explicit SettingsStore(SettingsBackend& backend) : backend_(backend) {}

    // Chooses the machine's root when a key can be created there, else the user's. Runs once
    // when the window is first shown, before any other operation; until then no key opens.
    void SelectSettingsRoot();
    std::optional<SettingsRoot> Root() const { return root_; }

    // Opens (creating it if need be) the key of the setting `name` under the chosen root.
    std::unique_ptr<SettingsKey> OpenSettingsKey(std::string_view name);

    // Remembers `path` up to and including its last separator; a failure goes unreported.
    void StoreLastFolder(std::string_view path);

    // The remembered folder; when nothing is remembered, the current folder with a trailing
    // separator; empty when the key cannot be opened.
    std::string ReadLastFolder();

  private:
    SettingsBackend& backend_;
    std::optional<SettingsRoot> root_;
};

}  // namespace veskar

// SPDX-License-Identifier: Apache-2.0
// The settings store in the Windows registry: the machine's root is HKEY_LOCAL_MACHINE, the
// user's HKEY_CURRENT_USER, and a setting's text is its key's default (unnamed) value, of type
// REG_SZ, held in 8-bit Windows text as the ANSI calls give it.
#pragma once

#include <memory>
#include <string_view>

#include "app/core/settings_store.h"

namespace veskar {

class RegistrySettingsBackend : public SettingsBackend {
  public:
    // RegCreateKeyA: the key and any missing parent are created with the caller's rights.
    std::unique_ptr<SettingsKey> CreateKey(SettingsRoot root, std::string_view path) override;
    // RegDeleteKeyA: a key without subkeys goes; its parents stay.
    bool DeleteKey(SettingsRoot root, std::string_view path) override;
};

// The window's store, one for the process: the root it chooses when the window is first
// shown holds until the program ends.
SettingsStore& WindowSettings();

}  // namespace veskar

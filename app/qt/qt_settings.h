// SPDX-License-Identifier: Apache-2.0
// The settings store on QSettings, organization "Quorvane", application "VESKAR": the
// machine's root is QSettings' system scope and the user's its user scope. On Windows these
// are the registry keys HKEY_LOCAL_MACHINE and HKEY_CURRENT_USER\Software\Quorvane\VESKAR;
// on Linux the files Quorvane/VESKAR.conf below /etc/xdg and ~/.config, or wherever
// QSettings::setPath points the native format.
#pragma once

#include <memory>
#include <string_view>

#include "app/core/settings_store.h"

namespace veskar {

class QtSettingsBackend : public SettingsBackend {
  public:
    // A key's path is Software\ORGANIZATION\APPLICATION\SETTING; its default value is the
    // QSettings key SETTING/Default (on Windows, the registry key's unnamed value).
    std::unique_ptr<SettingsKey> CreateKey(SettingsRoot root, std::string_view path) override;
    bool DeleteKey(SettingsRoot root, std::string_view path) override;
};

// The window's store, one for the process: the root it chooses when the window is first
// shown holds until the program ends.
SettingsStore& WindowSettings();

}  // namespace veskar

// SPDX-License-Identifier: Apache-2.0
// The process's environment, as the system's own calls read it: the C library's on Linux,
// the Windows environment block (which GetTempPathA reads) on Windows.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace veskar {

std::optional<std::string> GetEnvironment(const std::string& name);
// nullopt removes the variable.
void SetEnvironment(const std::string& name, const std::optional<std::string>& value);

// The variables the system's temporary folder comes from, the first one set winning:
// TMPDIR on Linux, TMP and TEMP on Windows.
std::vector<std::string> TempFolderVariables();

// Points the system's temporary folder at `folder` for the scope, and puts every variable
// back as it was afterwards.
class TempFolderOverride {
  public:
    explicit TempFolderOverride(const std::string& folder) {
        for (const std::string& name : TempFolderVariables()) {
            saved_.push_back({name, GetEnvironment(name)});
            SetEnvironment(name, folder);
        }
    }
    ~TempFolderOverride() {
        for (const Saved& variable : saved_)
            SetEnvironment(variable.name, variable.value);
    }
    TempFolderOverride(const TempFolderOverride&) = delete;
    TempFolderOverride& operator=(const TempFolderOverride&) = delete;

  private:
    struct Saved {
        std::string name;
        std::optional<std::string> value;
    };
    std::vector<Saved> saved_;
};

// A file name given as UTF-8 text, as the system names files: itself on Linux, code page 1252
// on Windows; nullopt where it cannot be a file name there (a character outside code page
// 1252, or one of the characters Windows keeps out of names such as '?').
std::optional<std::string> NativeName(const std::string& utf8);

// Makes at `path` something that fopen(path, "rb") cannot open, even for an administrator: a
// symbolic link to itself on Linux, a folder on Windows (which has no such links for all).
bool MakeUnopenable(const std::string& path);

}  // namespace veskar

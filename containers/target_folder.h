// Entering the target folder of an import, and knowing before anything is written whether
// its volume takes NTFS named streams (elsewhere "name:AFP_Resource" would become a file of
// its own with a colon in its name).
#pragma once

#include <string>
#include <string_view>

struct TargetFolder {
    bool usable = false;  // entered, and its volume takes named streams
    std::string detail;   // why not
};

// Makes `path` the process's current folder; every output is then addressed by bare name.
// The answer about named streams is kept per folder for the life of the process.
TargetFolder EnterTargetFolder(std::string_view path);

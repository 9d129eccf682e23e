// SPDX-License-Identifier: Apache-2.0
// The 32 bytes of Finder information as a Macintosh keeps them: the file's FInfo (type,
// creator, flags, the icon's place in its window, the window) and its FXInfo (icon id,
// script, extended flags, comment id, the folder it was put away from). Big-endian.
#pragma once

#include <cstdint>

#include "core/mac_file.h"

namespace veskar {

namespace finder {

constexpr std::size_t kFlagsAt = 8;
constexpr std::size_t kLocationAt = 10;  // 4 bytes: vertical, horizontal
constexpr std::size_t kWindowAt = 14;    // 2 bytes
constexpr std::size_t kScriptAt = 24;    // FXInfo: the script of the name
constexpr std::size_t kExtendedFlagsAt = 25;
constexpr std::size_t kPutAwayAt = 28;  // 4 bytes: the folder's id on the source's disk

constexpr std::uint16_t kOnDesk = 0x0001;
constexpr std::uint16_t kInited = 0x0100;  // the Finder has placed the icon and read the bundle

}  // namespace finder

// The Finder flags word.
std::uint16_t FinderFlags(const FinderInformation& info);

// The Finder information to hand a Finder on another machine: as the source has it, but
// without what belonged to the source's disk and desktop (the on-desk and has-been-inited
// flags, the icon's place and window, the put-away folder), so that the Finder places the
// icon anew and reads the bundle (a custom icon, an application's own icons).
FinderInformation FinderInfoForAnotherMachine(const FinderInformation& info);

// Only the type and creator, each up to the first zero byte of the eight, the rest zero: the
// window's record.
FinderInformation TypeAndCreatorOnly(const FinderInformation& info);

}  // namespace veskar

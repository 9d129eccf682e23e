// Macintosh Roman to Windows code page 1252, for names taken from AppleSingle and
// AppleDouble entries. Characters without an equivalent become '_'.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

extern const std::array<std::uint8_t, 256> MacToAnsiTable;

// The translation has exactly as many characters as the name.
std::string MacToAnsiName(std::string_view macName);

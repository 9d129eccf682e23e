// The formats the command line knows, and telling which one a source is in. The probes run
// cheapest first: everything that the first 128 bytes decide (the BinHex identification text
// among them), then one look at the "._" file beside the source.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "containers/import_result.h"
#include "containers/sfm_output.h"

namespace cli {

enum class Format { Auto, BinHex, MacBinary, AppleSingle, AppleDouble };

using Importer = ImportResult (*)(std::string_view targetFolder, std::string_view sourcePath,
                                  ImportReport* report);

struct FormatRow {
    Format format;
    std::string_view word;   // the value of -f
    std::string_view title;  // the name people know it by
    Importer import;         // nullptr until the format's import exists
};

// Every value of -f, "auto" first; "auto" has no importer of its own.
const std::array<FormatRow, 5>& Formats();
const FormatRow& RowOf(Format format);
std::optional<Format> FormatFromWord(std::string_view word);

// Leading bytes of AppleSingle and AppleDouble header files.
constexpr std::array<std::uint8_t, 4> kAppleSingleMagic{0x00, 0x05, 0x16, 0x00};
constexpr std::array<std::uint8_t, 4> kAppleDoubleMagic{0x00, 0x05, 0x16, 0x07};

struct Probe {
    enum class Verdict {
        Recognised,  // `format` says which
        Companion,   // an AppleDouble "._" file, read together with its data file
        Nothing,     // none of the known formats
        CannotOpen,  // `detail` says why
        ReadFailed,  // a read of the source or of the "._" file beside it failed; `detail` says why
    };
    Verdict verdict = Verdict::Nothing;
    Format format = Format::Auto;
    std::string detail;
};

struct ProbeRules {
    // The window's BinHex probe (the identification text within 128 bytes) instead of the
    // command line's (within 64 KiB, for texts behind mail or news headers).
    bool strict = false;
    // Where the AppleDouble companion of the source would be; beside it when empty.
    std::string companionPath;
};

// Looks at the file at `nativePath` (an absolute path, or one relative to the current
// folder) and tells what it is.
Probe ProbeSource(const std::string& nativePath, const ProbeRules& rules = {});

// The path of the "._" file that goes with the file at `path`, in the same folder.
std::string CompanionPathOf(std::string_view path);

}  // namespace cli

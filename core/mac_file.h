// SPDX-License-Identifier: Apache-2.0
// A Macintosh file as a source describes it, before anything is decided about the target:
// what the readers of each format make from a source's bytes, and what the writers write.
// Nothing here knows a target.
#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "core/common/copy_fork.h"
#include "core/common/import_result.h"

namespace veskar {

using TypeCreator = std::array<std::uint8_t, 8>;
// The Finder information: type, creator, flags, ... (see core/finder_info.h).
constexpr std::size_t kFinderInfoSize = 32;
using FinderInformation = std::array<std::uint8_t, kFinderInfoSize>;

// When a file was made, last changed and backed up, in seconds since 1970-01-01 00:00 UTC;
// each absent when the source does not tell it.
struct MacDates {
    std::optional<std::int64_t> created;
    std::optional<std::int64_t> modified;
    std::optional<std::int64_t> backedUp;
    bool Any() const { return created || modified || backedUp; }
};

// One of macOS's extended attributes (a Finder tag, a quarantine mark, ...): its name in UTF-8
// and its bytes, which may be empty.
struct ExtendedAttribute {
    std::string name;
    std::vector<std::uint8_t> value;
    bool operator==(const ExtendedAttribute&) const = default;
};

// How the name's bytes are to be read.
enum class NameCoding {
    MacRoman,  // as every classic format carries it
    Utf8,      // as macOS's own tools write it
};

// The Macintosh file attributes (AppleSingle's "Macintosh file information").
namespace mac_attributes {
constexpr std::uint32_t kLocked = 1u << 0;
constexpr std::uint32_t kProtected = 1u << 1;
}  // namespace mac_attributes

struct MacFileDescription {
    // The Macintosh name's bytes, in Mac Roman as every format carries it (or UTF-8 where
    // `nameCoding` says so); empty when the source carries none (the writer then names the
    // output after the source).
    std::string name;
    NameCoding nameCoding = NameCoding::MacRoman;
    // The Finder information as the source holds it: type, creator, flags, ... Bytes the
    // source does not carry are zero.
    FinderInformation finderInfo{};
    // Where the forks lie in the source (their streams are the source's open files, or null
    // for bytes in memory).
    ForkPlace data;
    ForkPlace resource;
    MacDates dates;
    // The Finder's "Get Info" comment, Mac Roman bytes; empty when there is none.
    std::string comment;
    // The Macintosh file attributes (mac_attributes); absent when the source carries none.
    std::optional<std::uint32_t> macAttributes;
    // macOS's extended attributes, in the order the source holds them.
    std::vector<ExtendedAttribute> extendedAttributes;
    // A folder: its information alone, no forks.
    bool folder = false;
    // Read from a file server's volume, where the Finder information belongs: a move to
    // another server keeps it whole (the icon's place, the inited flag), where a file that
    // arrives from elsewhere has what belonged to its old desktop cleared.
    bool onServerVolume = false;
    // What the source lacks of what it states ("the data fork lacks 128 of its 1000 bytes");
    // empty when it holds the file whole. A fork's own shortfall is told by the writer from
    // its place, as the copy delivers it.
    std::string shortfall;

    TypeCreator typeCreator() const {
        TypeCreator typeCreator;
        std::copy_n(finderInfo.begin(), typeCreator.size(), typeCreator.begin());
        return typeCreator;
    }
};

// What a reader makes of a source. `refusal`: the header says it is not of the reader's
// format, or cannot be read. `flaw`: what was found past the header that keeps the file from
// being written (a read that failed, a fork too long to copy); an import tells it only once
// the target folder has been found usable, as it always has. `checkFailure`: a check value
// the source carries is wrong; only an import that is asked to check refuses the source for
// it.
struct MacFileReading {
    std::optional<Refusal> refusal;
    std::optional<Refusal> flaw;
    std::optional<Refusal> checkFailure;
    MacFileDescription file;
};

// What the description's source lacks: its forks' shortfalls as a copy would meet them (the
// data fork's first), then what the reader noted; empty when it holds the file whole.
std::string ShortfallOf(const MacFileDescription& file);

// Whether the description holds anything a plain file lacks: Finder information (beyond what
// belonged to the source's desktop), a resource fork, a comment, attributes. A file without is
// written as the plain file it is, with no Mac record beside it.
bool CarriesMacInformation(const MacFileDescription& file);

// The Finder information as the writers write it: whole for a file read from a server's
// volume, else made fit for another machine (FinderInfoForAnotherMachine).
FinderInformation FinderInfoToWrite(const MacFileDescription& file);

// The name in UTF-8, up to its first zero byte: decoded from Mac Roman, or as it stands.
std::string NameAsUtf8(const MacFileDescription& file);

// Whether `bytes` read as UTF-8 without a fault and hold a character of more than one byte:
// a name that macOS's tools wrote, not Mac Roman (whose high bytes seldom line up so).
bool LooksLikeUtf8(std::string_view bytes);

}  // namespace veskar

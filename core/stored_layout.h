// SPDX-License-Identifier: Apache-2.0
// The layouts in which Mac file servers keep files on their volumes, as the readers know them,
// and what each keeps of a file beyond its forks and its Finder information.
#pragma once

namespace veskar {

// The wrappings (MacBinary, AppleSingle, BinHex) are read back as files of their format.
enum class StoredLayout {
    Sfm,
    Fruit,
    StreamsXattr,
    Netatalk2,
    AppleDouble,
    MacBinary,
    AppleSingle,
    BinHex
};

struct LayoutKeeps {
    bool modified = true;  // all but BinHex, which keeps no dates
    bool created = false;
    bool backedUp = false;
    bool comment = false;  // up to the 200 bytes of netatalk's slot
    bool attributes = false;
};

constexpr LayoutKeeps KeptBy(StoredLayout layout) {
    switch (layout) {
        case StoredLayout::Sfm:
        case StoredLayout::StreamsXattr:
            return {.created = true, .backedUp = true, .attributes = true};
        case StoredLayout::Fruit:
            return {.created = true, .backedUp = true, .comment = true, .attributes = true};
        case StoredLayout::Netatalk2:
            return {.created = true, .backedUp = true, .comment = true};
        case StoredLayout::MacBinary:
            return {.created = true, .comment = true};
        case StoredLayout::AppleSingle:
            return {.created = true, .backedUp = true, .comment = true};
        case StoredLayout::BinHex:
            return {.modified = false};
        case StoredLayout::AppleDouble:
            break;
    }
    return {.attributes = true};
}

}  // namespace veskar

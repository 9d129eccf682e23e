// SPDX-License-Identifier: Apache-2.0
// The layouts in which Mac file servers keep files on their volumes, as the readers know them,
// and what each keeps of a file beyond its forks, its Finder information and its modification
// time (which every one keeps).
#pragma once

namespace veskar {

enum class StoredLayout { Sfm, Fruit, StreamsXattr, Netatalk2, AppleDouble };

struct LayoutKeeps {
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
        case StoredLayout::AppleDouble:
            break;
    }
    return {.attributes = true};
}

}  // namespace veskar

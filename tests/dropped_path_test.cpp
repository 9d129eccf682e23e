// SPDX-License-Identifier: Apache-2.0
// The cut of a dropped path to the length a conversion run takes: never inside a character.
#include <gtest/gtest.h>

#include <string>

#include "app/core/file_intake.h"
#include "platform/platform.h"

namespace veskar {

namespace {

TEST(CutDroppedPath, CutsAt255BytesAndNeverSplitsACharacter) {
    EXPECT_EQ(CutDroppedPath(std::string(255, 'b')), std::string(255, 'b'));
    EXPECT_EQ(CutDroppedPath(std::string(256, 'b')), std::string(255, 'b'));
    // 254 bytes, then "é" straddling the cut: two bytes of UTF-8 on Linux, where the cut
    // steps back before it; on Windows the same bytes are "Ã©", two characters of code page
    // 1252, and the first one fits.
    const std::string path = std::string(254, 'a') + "\xC3\xA9" + "tail";
    EXPECT_EQ(CutDroppedPath(path),
              platform::kNativeTextIsUtf8 ? std::string(254, 'a') : std::string(254, 'a') + "\xC3");
    // A run of 1252 letters whose bytes look like UTF-8 continuations ("¼½¾" are 0xBC-0xBE):
    // on Windows each is a character, so the cut keeps all 255 bytes.
    if (!platform::kNativeTextIsUtf8) {
        const std::string letters = std::string(250, 'a') + std::string(10, '\xBD');
        EXPECT_EQ(CutDroppedPath(letters), letters.substr(0, 255));
    }
}

}  // namespace

}  // namespace veskar

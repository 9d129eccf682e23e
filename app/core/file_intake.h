// SPDX-License-Identifier: Apache-2.0
// What a drop of files on a page's list does, free of any toolkit: each dropped path, cut to
// the length a list entry holds, is added unless the list already holds that exact text, in
// which case the user is told, once per refused path.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace veskar {

// A page's list as the intake sees it. The list control keeps its entries sorted itself.
class IntakeList {
  public:
    virtual ~IntakeList() = default;
    virtual std::size_t Count() const = 0;
    virtual std::string TextAt(std::size_t index) const = 0;
    virtual void Add(const std::string& text) = 0;
};

// A dropped path cut to 255 bytes, as a list entry holds it. On a UTF-8 system the cut moves
// back to the start of the character it would split, so an entry is always valid text.
std::string CutDroppedPath(std::string_view path);

// True when an entry's text equals `candidate` exactly: letter case counts and the path is
// not normalised (a folder with and without its trailing separator are two entries).
bool IsListed(const IntakeList& list, std::string_view candidate);

// The message for a refused path, built whole whatever the path's length.
std::string DuplicateEntryMessage(std::string_view path);

// Tells the user that the refused path is already listed (DuplicateEntryMessage) and returns
// when the user has closed the message.
using RefusalNotice = std::function<void(const std::string& refusedPath)>;

// Takes the paths of one drop in drop order; a refused path does not stop the ones after it.
void TakeDroppedPaths(IntakeList& list, const std::vector<std::string>& paths,
                      const RefusalNotice& refuse);

}  // namespace veskar

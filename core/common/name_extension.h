// SPDX-License-Identifier: Apache-2.0
// A file name's extension, as the output names and the BinHex staging's intermediate files
// take it.
#pragma once

#include <string>
#include <string_view>

namespace veskar {

// The name's extension: from its last '.' after the last path separator, to the end; empty
// when there is none.
std::string_view NameExtension(std::string_view name);

// Replaces a short extension (a last '.' with at most four characters after it) by `text` in
// lower case, or appends '.' and the text when the name has none or a longer one.
void ReplaceExtension(std::string& name, std::string_view text);

}  // namespace veskar

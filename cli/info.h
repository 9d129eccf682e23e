// SPDX-License-Identifier: Apache-2.0
// veskar-convert --info: what each source carries as a Mac file (its format, name, type and
// creator, Finder flags, dates, forks, comment and attributes), read by the imports' own
// readers as a trial run reads it, with nothing written anywhere.
#pragma once

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "cli/options.h"

namespace veskar {

namespace cli {

// The names of the Finder flags set in `flags`, as the Finder's own names say them
// ("bundle", "custom icon", "color 2", ...); a bit without a name as its value ("0x0200").
std::vector<std::string> FinderFlagNames(std::uint16_t flags);

// Describes every source of `options` (a folder with -r stands for the tree below it) on
// `out`, a block of text or a JSON line each, and says on `err` of each that cannot be
// described "veskar-convert: SOURCE: reason". Writes nothing and leaves the current folder as
// it was. 0 when every source was described, else 1.
int ShowInfo(const Options& options, std::ostream& out, std::ostream& err);

}  // namespace cli

}  // namespace veskar

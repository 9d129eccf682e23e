// SPDX-License-Identifier: Apache-2.0
// The names a trial run has given its outputs. Nothing is written, so the folder does not
// show them; a later source of the same run is still told the name it would really get.
#pragma once

#include <string>
#include <string_view>

namespace veskar {

namespace trial_names {

// The folder the next outputs would go into: any key that tells folders apart (a folder the
// trial run would make has no path of its own yet).
void Enter(std::string folder);
// An output's name given in that folder.
void Add(std::string_view name);
// Whether that folder has given the name already, in any letter case (ASCII letters).
bool Taken(std::string_view name);
// Every folder's names dropped.
void Forget();

}  // namespace trial_names

}  // namespace veskar

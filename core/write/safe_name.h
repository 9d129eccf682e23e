// SPDX-License-Identifier: Apache-2.0
// Output names that stay in the target folder and that Windows and its SMB clients can open.
#pragma once

#include <string>

namespace veskar {

// Turns a name taken from a source into one that stays in the target folder, addresses no
// other file's stream and that Windows can open: '/', '\', ':', '<', '>', '"', '|', '?', '*'
// and control bytes become '_', as does a trailing dot or space; an empty name, "." and ".."
// become "_"; a name Windows keeps for a device (CON, PRN, AUX, NUL, COM0-9, LPT0-9, in any
// letter case, alone or before an extension) has the last letter of that part made '_'.
void MakeSafeName(std::string& name);

}  // namespace veskar

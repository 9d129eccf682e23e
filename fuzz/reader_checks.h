// SPDX-License-Identifier: Apache-2.0
// What every reader must hold on any input, checked by the in-memory fuzz targets: a
// description only of what the bytes can give, never a place or a name out of bounds.
#pragma once

#include <cstdint>
#include <cstdlib>

#include "core/mac_file.h"

namespace veskar {

namespace fuzzing {

// Stops the run (a finding) when a fork of `file` is placed past what its source can hold:
// `held` bytes of it are readable, `slack` the most a format lets a stated fork run past
// (MacBinary's header test does not count its header).
inline void CheckPlace(const ForkPlace& fork, std::uint64_t held, std::uint64_t slack) {
    if (fork.length != 0 && fork.offset + fork.length > held + slack) std::abort();
    if (fork.length > fork.stated && fork.stated != 0) std::abort();
}

inline void CheckReading(const MacFileReading& reading, std::uint64_t held, std::uint64_t slack) {
    if (reading.refusal) return;
    if (reading.file.name.size() > 255) std::abort();
    if (reading.flaw) return;
    CheckPlace(reading.file.data, held, slack);
    CheckPlace(reading.file.resource, held, slack);
}

}  // namespace fuzzing

}  // namespace veskar

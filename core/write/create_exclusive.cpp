// SPDX-License-Identifier: Apache-2.0
#include "core/write/create_exclusive.h"

#include <cerrno>

#include "core/common/copy_fork.h"
#include "platform/interrupt_cleanup.h"
#include "platform/platform.h"

namespace veskar {

namespace {

// A collision found only at creation takes the next unique name; this bounds how often that
// may happen to one output.
constexpr int kCreateAttempts = 16;

}  // namespace

CStream CreateExclusively(std::string& name, const OutputNaming& naming, OwnFile& owner,
                          std::string& detail) {
    // An existing file or folder is never overwritten: a taken name gets a unique one, and the
    // file is created exclusively so that a file appearing meanwhile is not replaced either. A
    // name the system answers as existing is taken even where a lookup does not show it (the
    // hidden system folders of an NTFS root, such as $Extend).
    bool taken = naming.taken(name);
    for (int attempt = 0; attempt < kCreateAttempts; ++attempt) {
        if (taken && !naming.makeUnique(name)) {
            detail = "every unique name for " + name + " is taken";
            return nullptr;
        }
        CStream file;
        {
            platform::InterruptsHeld held;
            file.reset(platform::OpenStream(naming.path(name), "w+bx"));
            if (file) owner.Adopt(naming.path(name));
        }
        if (file) return file;
        const int error = errno;
        if (error != EEXIST && !naming.taken(name)) {
            errno = error;
            detail = SystemReason("cannot create " + naming.shown(name));
            return nullptr;
        }
        taken = true;
    }
    detail = "no free name for " + naming.shown(name);
    return nullptr;
}

}  // namespace veskar

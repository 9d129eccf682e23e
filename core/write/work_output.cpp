// SPDX-License-Identifier: Apache-2.0
#include "core/write/work_output.h"

#include <atomic>

#include "platform/interrupt_cleanup.h"

namespace veskar {

namespace {

std::atomic<bool> syncEach{false};

// A name found taken only when a file is put in place (another program made it after the
// search) takes the next unique name; this bounds how often that may happen to one output.
constexpr int kPlaceAttempts = 16;

}  // namespace

void SyncEachOutput(bool sync) {
    syncEach.store(sync);
}

WorkOutput::~WorkOutput() {
    Discard();
}

bool WorkOutput::Create(std::string& detail) {
    file_ = platform::CreateWorkFile(detail);
    return file_.stream != nullptr;
}

bool WorkOutput::Close() {
    if (file_.stream == nullptr) return true;
    const bool synced =
        !(syncEach.load() || platform::kSyncEachFile) || platform::SyncFile(file_.stream);
    const bool flushed = std::fflush(file_.stream) == 0 && !std::ferror(file_.stream);
    platform::TrackedFileClosed(file_.slot);
    const bool closed = std::fclose(file_.stream) == 0;
    file_.stream = nullptr;
    return synced && flushed && closed;
}

void WorkOutput::Discard() {
    if (placed_ || file_.name.empty()) return;
    std::string why;
    if (!platform::RemoveWorkFile(file_, why)) leftover_ = why;
    file_.name.clear();
}

bool ChooseName(std::string& name, const OutputNaming& naming, std::string& detail) {
    if (!naming.taken(name) || naming.makeUnique(name)) return true;
    detail = "every unique name for " + name + " is taken";
    return false;
}

bool PlaceOutput(std::span<WorkOutput* const> files,
                 std::span<const std::function<std::string(const std::string&)>> nameOf,
                 std::string& name, const OutputNaming& naming, std::string& detail) {
    bool taken = false;
    for (int attempt = 0; attempt < kPlaceAttempts; ++attempt) {
        if (taken && !naming.makeUnique(name)) {
            detail = "every unique name for " + name + " is taken";
            return false;
        }
        taken = false;
        std::size_t placed = 0;
        for (; placed < files.size(); ++placed) {
            std::string why;
            const std::string native = naming.native(nameOf[placed](name));
            if (!platform::MoveIntoPlace(files[placed]->file_, native, taken, why)) {
                if (!taken) detail = why;
                break;
            }
            files[placed]->placed_ = true;
        }
        if (placed == files.size()) return true;
        // The files of this name already in place go back, to be placed under the next one;
        // one that cannot go back stays, and the output fails.
        for (std::size_t i = placed; i-- > 0;) {
            if (!platform::MoveBackToWork(files[i]->file_, naming.native(nameOf[i](name)))) {
                detail = "a file of the output could not be taken back from " +
                         naming.native(nameOf[i](name));
                return false;
            }
            files[i]->placed_ = false;
        }
        if (!taken) return false;
    }
    detail = "no free name for " + naming.native(name);
    return false;
}

}  // namespace veskar

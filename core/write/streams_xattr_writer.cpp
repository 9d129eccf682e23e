// SPDX-License-Identifier: Apache-2.0
#include "core/write/streams_xattr_writer.h"

#include "core/write/folder_output.h"

#include <cerrno>
#include <string>
#include <vector>

#include "core/common/copy_fork.h"
#include "core/write/afp_info.h"
#include "core/write/server_attributes.h"
#include "core/write/server_output.h"

namespace veskar {

namespace {

// Linux keeps at most this many bytes in one attribute.
constexpr std::size_t kMaxAttributeValue = 65536;
constexpr const char* kResourceAttribute = "DosStream.AFP_Resource:$DATA";

bool TooLarge(const MacFileDescription& file) {
    return file.resource.length + 1 > kMaxAttributeValue;
}

std::string FitsNoAttribute(std::uint64_t forkBytes, bool volumeLimit) {
    const std::string fork = "the resource fork (" + std::to_string(forkBytes) + " bytes)";
    const std::string instead = "; the fruit layout keeps it in a ._ file";
    if (!volumeLimit)
        return fork + " is larger than an extended attribute can be (64 KiB)" + instead;
    return fork +
           " does not fit in an extended attribute of this file system (ext4 keeps all of a "
           "file's attributes in one block of about 4 KiB unless made with ea_inode)" +
           instead;
}

}  // namespace

ImportResult StreamsXattrWriter::Plan(const MacFileDescription& file, std::string_view sourcePath,
                                      bool intoEmptyFolder, ImportReport& report) const {
    if (TooLarge(file)) {
        ServerOutput out(file, sourcePath, Companion::None, report);
        return out.Fail(ImportResult::WriteFailed, FitsNoAttribute(file.resource.length, false));
    }
    return PlanServerOutput(file, sourcePath, Companion::None, intoEmptyFolder, report);
}

ImportResult StreamsXattrWriter::Write(const MacFileDescription& file, std::string_view sourcePath,
                                       ImportReport& report) const {
    ServerOutput out(file, sourcePath, Companion::None, report);
    if (TooLarge(file))
        return out.Fail(ImportResult::WriteFailed, FitsNoAttribute(file.resource.length, false));
    if (const ImportResult result = out.WriteData(); result != ImportResult::Converted)
        return result;
    if (const ImportResult result = out.SetServerAttributes(false);
        result != ImportResult::Converted)
        return result;

    // The attributes are set on the file made and still open, never through a name. Samba
    // keeps a zero byte after each stream's bytes.
    std::vector<std::uint8_t> fork;
    std::string detail;
    const CopyStatus status = ReadPlacedFork(file.resource, fork, "the resource fork", detail);
    if (status != CopyStatus::Done) return out.Fail(ResultOf(status), detail);
    const std::uint64_t resourceCopied = fork.size();
    if (!fork.empty()) {
        fork.push_back(0);
        if (!platform::SetUserAttribute(out.Data(), kResourceAttribute, fork.data(), fork.size())) {
            const bool tooLarge = errno == ENOSPC || errno == E2BIG || errno == ERANGE;
            return out.Fail(ImportResult::WriteFailed,
                            tooLarge ? FitsNoAttribute(resourceCopied, true)
                                     : SystemReason("cannot set the attribute user." +
                                                    std::string(kResourceAttribute)));
        }
    }
    // Finder information that is all zero is none: Samba removes such a record.
    if (std::string failure = SetAfpInfoAttribute(out.Data(), out.Info(), file.dates.backedUp);
        !failure.empty())
        return out.Fail(ImportResult::WriteFailed, failure);
    if (const ImportResult result = out.CloseData(); result != ImportResult::Converted)
        return result;
    if (const ImportResult result = out.Place(); result != ImportResult::Converted) return result;
    return out.Done(resourceCopied);
}

ImportResult StreamsXattrWriter::WriteFolder(const MacFileDescription& folder,
                                             const std::string& nativeName,
                                             ImportReport& report) const {
    return WriteServerFolder(folder, nativeName, ServerFolder::StreamsXattr, report);
}

}  // namespace veskar

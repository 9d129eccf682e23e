// SPDX-License-Identifier: Apache-2.0
#include "core/hfs_import.h"

#include <algorithm>
#include <cerrno>

#include "core/common/copy_fork.h"
#include "core/common/mac_time.h"
#include "core/import.h"

namespace veskar {

namespace {

// A fork of a file on the volume, its bytes handed out in order.
class VolumeFork final : public ForkReader {
  public:
    VolumeFork(const hfs::Volume& volume, const hfs::Entry& file, bool resource)
        : volume_(volume),
          file_(file),
          resource_(resource),
          length_(resource ? file.resourceLength : file.dataLength) {}
    std::int64_t Read(std::uint8_t* into, std::size_t room) override {
        const std::size_t count =
            static_cast<std::size_t>(std::min<std::uint64_t>(room, length_ - at_));
        if (count == 0) return 0;
        std::string why;
        if (!volume_.ReadFork(file_, resource_, at_, {into, count}, why)) {
            errno = EIO;
            return -1;
        }
        at_ += count;
        return static_cast<std::int64_t>(count);
    }
    ForkPlace Place() {
        ForkPlace place;
        place.reader = this;
        place.length = length_;
        place.stated = length_;
        return place;
    }

  private:
    const hfs::Volume& volume_;
    const hfs::Entry& file_;
    bool resource_;
    std::uint32_t length_;
    std::uint64_t at_ = 0;
};

MacFileDescription DescriptionOf(const hfs::Entry& entry) {
    MacFileDescription file;
    file.name = entry.name;
    file.nameCoding = NameCoding::MacRoman;
    std::copy(entry.finder.begin(), entry.finder.end(), file.finderInfo.begin());
    file.dates = {mac_time::From1904(entry.dates.created), mac_time::From1904(entry.dates.modified),
                  mac_time::From1904(entry.dates.backedUp)};
    file.folder = entry.folder;
    if (entry.locked) file.macAttributes = mac_attributes::kLocked;
    return file;
}

}  // namespace

ImportResult ImportHfsFile(const hfs::Volume& volume, const hfs::Entry& file,
                           std::string_view targetFolder, std::string_view shownPath,
                           const ImportRequest& request, ImportReport& report) {
    VolumeFork data(volume, file, false);
    VolumeFork resource(volume, file, true);
    return ImportDescribed(targetFolder, shownPath, request, WindowWriter(true), report, [&] {
        MacFileReading reading;
        reading.file = DescriptionOf(file);
        reading.file.data = data.Place();
        reading.file.resource = resource.Place();
        return reading;
    });
}

ImportResult ImportHfsFolder(const hfs::Volume&, const hfs::Entry& folder,
                             std::string_view targetFolder, const std::string& folderName,
                             const ImportRequest& request, ImportReport& report) {
    return ImportFolderDescribed(targetFolder, folderName, request, report, [&] {
        MacFileReading reading;
        reading.file = DescriptionOf(folder);
        return reading;
    });
}

}  // namespace veskar

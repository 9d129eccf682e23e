// SPDX-License-Identifier: Apache-2.0
#include "tests/ntfs_volume.h"

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <sstream>

namespace veskar {

bool IsCi() {
    const char* ci = std::getenv("CI");
    return ci != nullptr && std::string(ci) == "true";
}

std::string ShellQuote(const std::string& text) {
    std::string out = "'";
    for (char c : text) {
        if (c == '\'')
            out += "'\\''";
        else
            out += c;
    }
    return out + "'";
}

std::optional<std::string> RunCommand(const std::string& command) {
    std::FILE* pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr) return std::nullopt;
    std::string out;
    char buffer[65536];
    std::size_t got;
    while ((got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0)
        out.append(buffer, got);
    int status = ::pclose(pipe);
    if (status == -1 || !WIFEXITED(status) || WEXITSTATUS(status) != 0) return std::nullopt;
    return out;
}

std::unique_ptr<NtfsVolume> NtfsVolume::Make(std::size_t megabytes, std::string* why) {
    auto fail = [&](const std::string& reason) -> std::unique_ptr<NtfsVolume> {
        if (why) *why = reason;
        return nullptr;
    };
    if (!RunCommand("command -v mkntfs ntfs-3g ntfscat ntfsinfo >/dev/null 2>&1"))
        return fail("ntfs-3g's tools (mkntfs, ntfs-3g, ntfscat, ntfsinfo) are not installed");
    if (::access("/dev/fuse", R_OK | W_OK) != 0) return fail("/dev/fuse is not usable");

    char templ[] = "/tmp/veskar-ntfs-XXXXXX";
    if (::mkdtemp(templ) == nullptr) return fail("cannot make a temporary folder");
    std::unique_ptr<NtfsVolume> volume(new NtfsVolume);
    volume->dir_ = templ;
    volume->image_ = volume->dir_ + "/volume.img";
    volume->mountPoint_ = volume->dir_ + "/mnt";
    const std::string img = ShellQuote(volume->image_);
    std::ostringstream make;
    make << "truncate -s " << megabytes << "M " << img << " && mkntfs -Q -F " << img
         << " >/dev/null 2>&1 && mkdir " << ShellQuote(volume->mountPoint_);
    if (!RunCommand(make.str())) return fail("mkntfs failed");
    if (!volume->Mount()) return fail("ntfs-3g could not mount the image");
    return volume;
}

NtfsVolume::~NtfsVolume() {
    Unmount();
    if (!dir_.empty()) RunCommand("rm -rf " + ShellQuote(dir_));
}

bool NtfsVolume::Mount(bool readOnly) {
    if (mounted_) return true;
    std::string options = "streams_interface=windows";
    if (readOnly) options += ",ro";
    mounted_ = RunCommand("ntfs-3g -o " + options + " " + ShellQuote(image_) + " " +
                          ShellQuote(mountPoint_) + " 2>&1")
                   .has_value();
    return mounted_;
}

bool NtfsVolume::Unmount() {
    if (!mounted_) return true;
    // A busy mount (a test's open file, the current folder) is retried lazily so that the
    // image is never left mounted.
    if (!RunCommand("umount " + ShellQuote(mountPoint_) + " 2>/dev/null") &&
        !RunCommand("sync; sleep 0.2; umount " + ShellQuote(mountPoint_) + " 2>/dev/null")) {
        RunCommand("umount -l " + ShellQuote(mountPoint_) + " 2>/dev/null");
    }
    mounted_ = false;
    return true;
}

std::optional<std::string> NtfsVolume::ReadStream(const std::string& path,
                                                  const std::string& stream) {
    Unmount();
    std::string command = "LC_ALL=C.UTF-8 ntfscat -f";
    if (!stream.empty()) command += " -a 0x80 -n " + ShellQuote(stream);
    command += " " + ShellQuote(image_) + " " + ShellQuote("/" + path) + " 2>/dev/null";
    return RunCommand(command);
}

std::optional<NtfsVolume::Times> NtfsVolume::TimesOf(const std::string& path) {
    Unmount();
    const auto info = RunCommand("LC_ALL=C ntfsinfo -f -F " + ShellQuote("/" + path) + " " +
                                 ShellQuote(image_) + " 2>/dev/null");
    if (!info) return std::nullopt;
    // The first of each is the standard information's: "File Creation Time:\t Sun Mar 26
    // 10:00:52 2023 UTC".
    auto seconds = [&info](const std::string& field) -> std::optional<std::int64_t> {
        const std::size_t at = info->find(field + ":");
        if (at == std::string::npos) return std::nullopt;
        std::tm moment{};
        const char* end =
            ::strptime(info->c_str() + at + field.size() + 1, " %a %b %d %H:%M:%S %Y", &moment);
        if (end == nullptr) return std::nullopt;
        return static_cast<std::int64_t>(::timegm(&moment));
    };
    const auto created = seconds("File Creation Time");
    const auto modified = seconds("File Altered Time");
    if (!created || !modified) return std::nullopt;  // Linux always reads both
    return Times{*created, *modified};
}

std::vector<std::string> NtfsVolume::StreamNames(const std::string& path) {
    Unmount();
    std::vector<std::string> names;
    auto info = RunCommand("LC_ALL=C.UTF-8 ntfsinfo -f -F " + ShellQuote("/" + path) + " " +
                           ShellQuote(image_) + " 2>/dev/null");
    if (!info) return names;
    // Each named $DATA attribute is followed by its "Attribute name:" line.
    std::istringstream lines(*info);
    std::string line;
    bool inData = false;
    while (std::getline(lines, line)) {
        if (line.rfind("Dumping attribute", 0) == 0) {
            inData = line.find("$DATA") != std::string::npos;
        } else if (inData) {
            auto at = line.find("Attribute name:");
            if (at != std::string::npos) {
                auto open = line.find('\'', at);
                auto close = line.rfind('\'');
                if (open != std::string::npos && close > open)
                    names.push_back(line.substr(open + 1, close - open - 1));
                inData = false;
            }
        }
    }
    return names;
}

}  // namespace veskar

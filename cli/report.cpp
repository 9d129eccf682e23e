// SPDX-License-Identifier: Apache-2.0
#include "cli/report.h"

#include <algorithm>

#include "cli/options.h"
#include "core/common/charsets.h"
#include "core/common/mac_time.h"
#include "core/read/stored_file.h"
#include "platform/platform.h"

namespace veskar {

namespace cli {

namespace {

// Skipped sources have words of their own beside the import results, both with code 0.
constexpr int kSkippedCode = 0;

std::string_view SkippedWord(SourceOutcome::Skip skip) {
    switch (skip) {
        case SourceOutcome::Skip::Link:
            return "link-skipped";
        case SourceOutcome::Skip::FolderThere:
            return "folder-skipped";
        case SourceOutcome::Skip::Exists:
            return "exists";
        case SourceOutcome::Skip::NotMac:
            return "not-mac";
        default:
            return "companion-skipped";
    }
}

bool Skipped(const SourceOutcome& outcome) {
    return outcome.skipped != SourceOutcome::Skip::No;
}

void AppendEscape(std::string& out, unsigned value) {
    constexpr char kHex[] = "0123456789abcdef";
    out += "\\u00";
    out += kHex[(value >> 4) & 0xF];
    out += kHex[value & 0xF];
}

// The output's name as people read it: the private range's characters, which a Mac client's
// names hold on the server for what Windows refuses, as the ones they stand for (':' for
// U+F022, as the folder shows on Linux).
std::string Shown(std::string name) {
    return AttributeNameOfStored(name);
}

std::string OutputName(const SourceOutcome& outcome) {
    const ImportReport& report = outcome.report;
    return outcome.outputFolder +
           (report.nativeName ? report.outputName : platform::AnsiToNative(report.outputName)) +
           (report.folder ? "/" : "");
}

// A folder's own information written (or to be written): its result's word.
constexpr std::string_view kFolderInformationWord = "folder-information";

// A file that is not a Mac file, copied as it is (--copy-others).
constexpr std::string_view kCopiedWord = "copied";

bool IsFolderInformation(const SourceOutcome& outcome) {
    return outcome.report.folder && outcome.result == ImportResult::Converted;
}

bool DryRunOf(const SourceOutcome& outcome) {
    return outcome.dryRun;
}

// Written (or to be written, in a trial run): converted, or truncated with what the source
// holds in the output.
bool HasOutput(const SourceOutcome& outcome) {
    return !Skipped(outcome) &&
           (outcome.result == ImportResult::Converted ||
            (outcome.result == ImportResult::Truncated && !outcome.report.outputName.empty()));
}

}  // namespace

std::string HexWord(std::uint16_t value) {
    constexpr char kHex[] = "0123456789abcdef";
    std::string text;
    for (int shift = 12; shift >= 0; shift -= 4)
        text += kHex[(value >> shift) & 0xF];
    return text;
}

std::string FourCharCode(const TypeCreator& typeCreator, std::size_t at) {
    std::string code;
    for (std::size_t i = at; i < at + 4 && typeCreator[i] != 0; ++i)
        code += static_cast<char>(typeCreator[i]);
    return platform::AnsiToNative(code);
}

bool WentWell(const SourceOutcome& outcome) {
    return Skipped(outcome) || outcome.result == ImportResult::Converted;
}

std::string JsonString(std::string_view text) {
    std::string out = "\"";
    for (std::size_t at = 0; at < text.size();) {
        const unsigned char c = static_cast<unsigned char>(text[at]);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
            ++at;
        } else if (c < 0x20 || c == 0x7F) {
            AppendEscape(out, c);
            ++at;
        } else if (c < 0x80) {
            out += static_cast<char>(c);
            ++at;
        } else if (const std::size_t length = charsets::Utf8SequenceLength(text, at); length != 0) {
            out += text.substr(at, length);
            at += length;
        } else {
            AppendEscape(out, c);
            ++at;
        }
    }
    return out + "\"";
}

namespace {

// JSON is UTF-8 text; a native string is not on every system.
std::string JsonText(std::string_view native) {
    return JsonString(platform::NativeToUtf8(native));
}

// What the file carries besides its forks and Finder information: its dates (ISO 8601), the
// length of its comment and the names of its extended attributes, each only when it has them.
std::string JsonCarried(const ImportReport& report) {
    std::string fields;
    const std::pair<const char*, const std::optional<std::int64_t>&> dates[] = {
        {"created", report.dates.created},
        {"modified", report.dates.modified},
        {"backed_up", report.dates.backedUp}};
    for (const auto& [name, date] : dates)
        if (date)
            fields += ", \"" + std::string(name) + "\": " + JsonString(mac_time::Iso8601(*date));
    if (report.commentBytes != 0)
        fields += ", \"comment_bytes\": " + std::to_string(report.commentBytes);
    if (!report.attributeNames.empty()) {
        fields += ", \"attributes\": [";
        for (std::size_t i = 0; i < report.attributeNames.size(); ++i)
            fields += (i ? ", " : "") + JsonString(report.attributeNames[i]);
        fields += "]";
    }
    return fields;
}

std::string JsonList(const std::vector<std::string>& utf8Texts) {
    std::string list = "[";
    for (std::size_t i = 0; i < utf8Texts.size(); ++i)
        list += (i ? ", " : "") + JsonString(utf8Texts[i]);
    return list + "]";
}

// The same for a trial run's line of text.
std::string TextCarried(const ImportReport& report) {
    std::string text;
    const std::pair<const char*, const std::optional<std::int64_t>&> dates[] = {
        {"created", report.dates.created},
        {"modified", report.dates.modified},
        {"backed up", report.dates.backedUp}};
    for (const auto& [name, date] : dates)
        if (date) text += ", " + std::string(name) + " " + mac_time::Iso8601(*date);
    if (report.commentBytes != 0)
        text += ", comment " + std::to_string(report.commentBytes) + " bytes";
    if (!report.attributeNames.empty()) {
        text += ", attributes";
        for (std::size_t i = 0; i < report.attributeNames.size(); ++i)
            text += (i ? ", " : " ") + platform::Utf8ToNative(report.attributeNames[i]);
    }
    return text;
}

}  // namespace

std::string JsonLine(const SourceOutcome& outcome) {
    std::string line = "{\"source\": " + JsonText(outcome.source) + ", \"result\": ";
    if (Skipped(outcome)) {
        line += JsonString(SkippedWord(outcome.skipped)) +
                ", \"code\": " + std::to_string(kSkippedCode);
        if (outcome.skipped == SourceOutcome::Skip::FolderThere)
            line += ", \"output\": " + JsonText(outcome.outputFolder);
        if (outcome.skipped == SourceOutcome::Skip::Exists)
            line += ", \"output\": " + JsonText(OutputName(outcome));
    } else {
        line += JsonString(IsFolderInformation(outcome) ? kFolderInformationWord
                           : outcome.copied && outcome.result == ImportResult::Converted
                               ? kCopiedWord
                               : DescribeResult(outcome.result).word) +
                ", \"code\": " + std::to_string(static_cast<int>(outcome.result));
        if (HasOutput(outcome)) {
            const std::string output = OutputName(outcome);
            line += ", \"output\": " + JsonText(output);
            // The name as the Mac shows it, where it differs from the one on disk.
            if (const std::string mac = Shown(output); mac != output)
                line += ", \"mac_name\": " + JsonText(mac);
        }
        if (HasOutput(outcome) && DryRunOf(outcome)) {
            const ImportReport& report = outcome.report;
            line += ", \"dry_run\": true, \"data_bytes\": " + std::to_string(report.dataBytes) +
                    ", \"resource_bytes\": " + std::to_string(report.resourceBytes) +
                    ", \"type\": " + JsonString(FourCharCode(report.typeCreator, 0)) +
                    ", \"creator\": " + JsonString(FourCharCode(report.typeCreator, 4)) +
                    ", \"finder_flags\": " + JsonString(HexWord(report.finderFlags));
        }
        if (HasOutput(outcome)) {
            if (outcome.report.folder) line += ", \"folder\": true";
            line += JsonCarried(outcome.report);
        }
    }
    if (!outcome.report.detail.empty()) line += ", \"detail\": " + JsonText(outcome.report.detail);
    if (!outcome.report.warnings.empty())
        line += ", \"warnings\": " + JsonList(outcome.report.warnings);
    return line + "}";
}

std::string TextLine(const SourceOutcome& outcome) {
    if (outcome.skipped == SourceOutcome::Skip::Link)
        return outcome.source + ": skipped, a symbolic link (not followed below a folder)";
    if (outcome.skipped == SourceOutcome::Skip::FolderThere)
        return outcome.source + ": skipped, the information of the folder " + outcome.outputFolder +
               ", which was there before this run and keeps its own";
    if (outcome.skipped == SourceOutcome::Skip::Exists)
        return outcome.source + ": skipped, its output " + Shown(OutputName(outcome)) +
               " is there already";
    if (outcome.skipped == SourceOutcome::Skip::NotMac)
        return outcome.source + ": skipped, not a Mac file (--copy-others copies such files)";
    if (Skipped(outcome))
        return outcome.source + ": skipped, an AppleDouble companion read with its data file";
    std::string line = outcome.source + " -> " + Shown(OutputName(outcome));
    if (outcome.copied) return line + " (copied as it is)";
    if (IsFolderInformation(outcome))
        return line + " (the folder's information" +
               (DryRunOf(outcome) ? TextCarried(outcome.report) : "") + ")";
    if (DryRunOf(outcome)) {
        const ImportReport& report = outcome.report;
        const bool typed = std::any_of(report.typeCreator.begin(), report.typeCreator.end(),
                                       [](std::uint8_t byte) { return byte != 0; });
        line +=
            " (data " + std::to_string(report.dataBytes) + ", resource " +
            std::to_string(report.resourceBytes) + ", " +
            (typed ? FourCharCode(report.typeCreator, 0) + "/" + FourCharCode(report.typeCreator, 4)
                   : std::string("no type")) +
            TextCarried(report) + ")";
    }
    return line;
}

void Tally::Add(const SourceOutcome& outcome) {
    if (outcome.skipped == SourceOutcome::Skip::Companion) {
        ++companions_;
        return;
    }
    if (Skipped(outcome)) {
        ++skipped_;
        if (outcome.skipped == SourceOutcome::Skip::NotMac) ++notMac_;
        return;
    }
    if (outcome.result == ImportResult::Converted) {
        ++(outcome.copied ? copied_ : converted_);
        ++(outcome.report.folder ? folders_ : files_);
        dataBytes_ += outcome.report.dataBytes;
        resourceBytes_ += outcome.report.resourceBytes;
        attributeBytes_ += outcome.report.attributeBytes;
    } else {
        ++failed_[outcome.result];
    }
    if (HasOutput(outcome)) bytes_ += outcome.report.dataBytes + outcome.report.resourceBytes;
}

std::string Tally::TreeLine(bool dryRun) const {
    const auto counted = [](std::size_t count, std::string_view one, std::string_view many) {
        return std::to_string(count) + " " + std::string(count == 1 ? one : many);
    };
    return counted(files_, "file", "files") + " and " + counted(folders_, "folder", "folders") +
           (dryRun ? " to move: " : " moved: ") + std::to_string(dataBytes_) + " bytes of data, " +
           std::to_string(resourceBytes_) + " of resource forks, " +
           std::to_string(attributeBytes_) + " of attributes" + Rest();
}

std::string Tally::Rest() const {
    std::size_t failed = 0;
    std::string reasons;
    for (const auto& [result, count] : failed_) {
        failed += count;
        reasons += (reasons.empty() ? "" : ", ") + std::to_string(count) + " " +
                   std::string(DescribeResult(result).word);
    }
    std::string line = ", " + std::to_string(failed) + " failed";
    if (!reasons.empty()) line += " (" + reasons + ")";
    line += ", " + std::to_string(skipped_) + " skipped";
    if (notMac_ != 0)
        line += " (" + std::to_string(notMac_) +
                (notMac_ == 1 ? " not a Mac file" : " not Mac files") + ")";
    if (companions_ == 1) line += ", 1 companion read with its data file";
    if (companions_ > 1)
        line += ", " + std::to_string(companions_) + " companions read with their data files";
    return line;
}

std::string Tally::Line(bool dryRun) const {
    std::string copied;
    if (copied_ != 0) copied = ", " + std::to_string(copied_) + (dryRun ? " to copy" : " copied");
    return std::to_string(converted_) + (dryRun ? " to convert" : " converted") + copied + Rest() +
           ", " + std::to_string(bytes_) + (dryRun ? " bytes to write" : " bytes written");
}

std::string DiagnosticLine(const SourceOutcome& outcome) {
    std::string line = std::string(kProgram) + ": " + outcome.source + ": " +
                       std::string(DescribeResult(outcome.result).message);
    if (!outcome.report.detail.empty()) line += ": " + outcome.report.detail;
    if (HasOutput(outcome))
        line += (DryRunOf(outcome) ? " (would be written as " : " (written as ") +
                Shown(OutputName(outcome)) + ")";
    return line;
}

void Reporter::Report(const SourceOutcome& outcome) {
    const bool wentWell = WentWell(outcome);
    // Text mode prints failures only as diagnostics; JSON has a line for every source.
    // A companion read with its data file gets no line of its own in text: the summary counts
    // them.
    const bool companion = outcome.skipped == SourceOutcome::Skip::Companion;
    if (!(wentWell && quiet_) && (json_ || (wentWell && !companion)))
        out_ << (json_ ? JsonLine(outcome) : TextLine(outcome)) << '\n' << std::flush;
    if (!wentWell) err_ << DiagnosticLine(outcome) << '\n' << std::flush;
    for (const std::string& warning : outcome.report.warnings)
        err_ << kProgram << ": " << outcome.source
             << ": warning: " << platform::Utf8ToNative(warning) << '\n'
             << std::flush;
}

}  // namespace cli

}  // namespace veskar

#include "cli/run.h"

#include <filesystem>
#include <system_error>
#include <vector>

#include "app/conversion_run.h"
#include "cli/options.h"
#include "platform/platform.h"

namespace cli {

namespace {

constexpr std::string_view kStreamsMount = "ntfs-3g -o streams_interface=windows";

void Complain(std::ostream& err, std::string_view subject, std::string_view problem) {
    err << kProgram << ": ";
    if (!subject.empty()) err << subject << ": ";
    err << problem << '\n' << std::flush;
}

// Why the target folder cannot take the outputs; empty when it can.
std::string TargetProblem(const std::string& target) {
    std::error_code error;
    const auto status = std::filesystem::status(std::filesystem::path(target), error);
    if (!std::filesystem::exists(status)) {
        const bool missing = !error || error == std::errc::no_such_file_or_directory ||
                             error == std::errc::not_a_directory;
        return missing ? "no such folder" : "the folder cannot be examined: " + error.message();
    }
    if (!std::filesystem::is_directory(status)) return "not a folder";

    const platform::VolumeInfo volume = platform::QueryVolume(target);
    if (volume.namedStreams) return {};
    std::string problem = "cannot hold NTFS named streams";
    if (!volume.advice.empty()) problem += ": " + volume.advice;
    // The advice is the platform's; the mount that does it on Linux is named in any case.
    if (problem.find("streams_interface=windows") == std::string::npos)
        problem += " (on Linux, mount an NTFS volume with '" + std::string(kStreamsMount) + "')";
    return problem;
}

}  // namespace

std::string AbsolutePath(std::string_view path, std::string_view base) {
    const std::filesystem::path native{std::string(path)};
    if (base.empty() || path.empty() || native.is_absolute()) return std::string(path);
    // A network path ("\\server\share\name"): GCC's std::filesystem on Windows does not take
    // the server as a root name, and would put it on the current drive.
    if (path.size() >= 2 && platform::IsSeparator(path[0]) && platform::IsSeparator(path[1]))
        return std::string(path);
    std::error_code error;
    // Only on Windows: "C:name" lies on a drive's own current folder, which the system knows.
    if (native.has_root_name()) {
        const auto absolute = std::filesystem::absolute(native, error);
        return error ? std::string(path) : absolute.string();
    }
    // Only on Windows too: "\name" starts at the root of the current drive.
    if (native.has_root_directory())
        return std::filesystem::path(std::string(base)).root_name().string() + std::string(path);
    std::string joined(base);
    if (!platform::IsSeparator(joined.back())) joined += platform::kPathSeparator;
    return joined + std::string(path);
}

SourceOutcome ConvertSource(Format format, const std::string& target, const std::string& source,
                            std::string_view given) {
    SourceOutcome outcome;
    outcome.source = std::string(given);
    const FormatRow* row = &RowOf(format);
    // A companion is read together with its data file, which is converted on its own.
    if (format == Format::AppleDouble && IsAppleDoubleCompanion(source)) {
        outcome.companionSkipped = true;
        return outcome;
    }
    if (format == Format::Auto) {
        Probe probe = ProbeSource(source);
        switch (probe.verdict) {
            case Probe::Verdict::CannotOpen:
                outcome.result = ImportResult::CannotOpen;
                outcome.report.detail = std::move(probe.detail);
                return outcome;
            case Probe::Verdict::Companion:
                outcome.companionSkipped = true;
                return outcome;
            case Probe::Verdict::Nothing:
                outcome.result = ImportResult::WrongKind;
                outcome.report.detail =
                    "not recognised as MacBinary, AppleSingle, AppleDouble or BinHex";
                return outcome;
            case Probe::Verdict::Recognised:
                row = &RowOf(probe.format);
                break;
        }
        if (!row->import) {
            outcome.result = ImportResult::WrongKind;
            outcome.report.detail = std::string(row->title) + " is not supported yet";
            return outcome;
        }
    }
    outcome.result = row->import(target, source, &outcome.report);
    if (outcome.result == ImportResult::WrongKind && outcome.report.detail.empty())
        outcome.report.detail = "not a " + std::string(row->title) + " file";
    return outcome;
}

int Run(std::span<const std::string_view> arguments, std::ostream& out, std::ostream& err) {
    const Parsed parsed = ParseArguments(arguments);
    if (!parsed.error.empty()) {
        Complain(err, {}, parsed.error);
        err << "try '" << kProgram << " --help'\n";
        return kExitUsage;
    }
    const Options& options = parsed.options;
    if (options.help) {
        out << HelpText() << std::flush;
        return kExitConverted;
    }
    if (options.version) {
        out << kProgram << ' ' << VESKAR_VERSION << '\n' << std::flush;
        return kExitConverted;
    }
    const FormatRow& chosen = RowOf(options.format);
    if (options.format != Format::Auto && !chosen.import) {
        Complain(err, {}, "format '" + std::string(chosen.word) + "' is not supported yet");
        return kExitUsage;
    }

    // Each import makes the target folder the current one, so every path is fixed against
    // the folder the run started in before the first import.
    const std::string start = platform::CurrentFolder();
    const std::string target = AbsolutePath(options.target, start);
    std::vector<std::string> sources;
    sources.reserve(options.sources.size());
    for (const auto& source : options.sources)
        sources.push_back(AbsolutePath(source, start));

    if (const std::string problem = TargetProblem(target); !problem.empty()) {
        Complain(err, options.target, problem);
        return kExitUsage;
    }

    Reporter reporter(out, err, options.json, options.quiet);
    bool failed = false;
    for (std::size_t i = 0; i < sources.size(); ++i) {
        const SourceOutcome outcome =
            ConvertSource(options.format, target, sources[i], options.sources[i]);
        reporter.Report(outcome);
        failed = failed || !WentWell(outcome);
    }
    return failed ? kExitSomeFailed : kExitConverted;
}

}  // namespace cli

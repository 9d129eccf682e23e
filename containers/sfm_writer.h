// The NTFS output as a writer of Macintosh file descriptions: the data file with its
// AFP_Resource and AFP_AfpInfo streams, written by WriteSfmOutput into the current folder.
#pragma once

#include <string>
#include <string_view>

#include "containers/import_result.h"
#include "containers/mac_file.h"
#include "containers/sfm_output.h"

// Writes one described file into the current folder (the target folder an import entered).
// A second output layout implements it beside the NTFS one, without touching any reader.
class OutputWriter {
  public:
    virtual ~OutputWriter() = default;
    // `sourcePath` names the source, for an output that takes its name.
    virtual ImportResult Write(const MacFileDescription& file, std::string_view sourcePath,
                               ImportReport* report) = 0;
};

// How the Macintosh name becomes the output's 8-bit Windows name.
enum class SfmNaming {
    AsItStands,  // the name's bytes unchanged (MacBinary, BinHex)
    // Mac Roman translated to code page 1252; without a name, the source's own (AppleSingle,
    // AppleDouble)
    Translated,
};

class SfmWriter final : public OutputWriter {
  public:
    explicit SfmWriter(SfmNaming naming) : naming_(naming) {}
    ImportResult Write(const MacFileDescription& file, std::string_view sourcePath,
                       ImportReport* report) override;

  private:
    SfmNaming naming_;
};

// The output name: the Macintosh name translated to code page 1252 when it has a character
// before its first zero byte, otherwise the last component of `sourcePath` in 8-bit form.
std::string OutputNameFor(std::string_view macName, std::string_view sourcePath);

// The last component of a native path, in 8-bit Windows form.
std::string OwnFileName(std::string_view sourcePath);

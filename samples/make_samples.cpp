// SPDX-License-Identifier: Apache-2.0
// Writes the sample files that scripts/demo.sh converts: small MacBinary files made here, so
// that every byte of them is accounted for, and one file that is no Macintosh file at all.
//
//   make_samples FOLDER           writes the samples into FOLDER
//   make_samples --check FOLDER   exits 1 when a sample in FOLDER differs from what it writes
//
// The files are checked in beside this program; the samples_up_to_date test keeps them equal.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes BytesOf(std::string_view text) {
    return Bytes(text.begin(), text.end());
}

void Put16(Bytes& out, std::size_t at, std::uint32_t value) {
    out[at] = static_cast<std::uint8_t>(value >> 8);
    out[at + 1] = static_cast<std::uint8_t>(value);
}

void Put32(Bytes& out, std::size_t at, std::uint32_t value) {
    Put16(out, at, value >> 16);
    Put16(out, at + 2, value & 0xFFFF);
}

void Append16(Bytes& out, std::uint32_t value) {
    out.resize(out.size() + 2);
    Put16(out, out.size() - 2, value);
}

void Append32(Bytes& out, std::uint32_t value) {
    out.resize(out.size() + 4);
    Put32(out, out.size() - 4, value);
}

void AppendText(Bytes& out, std::string_view text) {
    out.insert(out.end(), text.begin(), text.end());
}

void PadTo128(Bytes& out) {
    out.resize((out.size() + 127) / 128 * 128, 0);
}

struct MacFile {
    std::string name;  // Macintosh Roman bytes, at most 63
    std::string_view type;
    std::string_view creator;
    std::uint16_t finderFlags = 0;
    Bytes data;
    Bytes resource;
};

// MacBinary: a 128-byte header (name length at 1, name at 2, type and creator at 65, Finder
// flags at 73, data and resource fork lengths at 83 and 87, all big-endian), then the data
// fork and the resource fork, each padded with zeros to a multiple of 128 bytes.
Bytes EncodeMacBinary(const MacFile& file) {
    Bytes out(128, 0);
    out[1] = static_cast<std::uint8_t>(file.name.size());
    for (std::size_t i = 0; i < file.name.size(); ++i)
        out[2 + i] = static_cast<std::uint8_t>(file.name[i]);
    for (std::size_t i = 0; i < 4; ++i) {
        out[65 + i] = static_cast<std::uint8_t>(file.type[i]);
        out[69 + i] = static_cast<std::uint8_t>(file.creator[i]);
    }
    out[73] = static_cast<std::uint8_t>(file.finderFlags >> 8);
    Put32(out, 83, static_cast<std::uint32_t>(file.data.size()));
    Put32(out, 87, static_cast<std::uint32_t>(file.resource.size()));
    out.insert(out.end(), file.data.begin(), file.data.end());
    PadTo128(out);
    out.insert(out.end(), file.resource.begin(), file.resource.end());
    PadTo128(out);
    return out;
}

struct Resource {
    std::string_view type;
    std::int16_t id;
    Bytes bytes;
};

// A resource fork holding one resource of each given type (types all different): a 16-byte
// header, the reserved area up to offset 256, the data (each resource after its 4-byte
// length), then the map with its type list and reference lists; no resource names.
Bytes EncodeResourceFork(const std::vector<Resource>& resources) {
    constexpr std::uint32_t kDataAt = 256;
    Bytes data;
    std::vector<std::uint32_t> offsets;
    for (const auto& resource : resources) {
        offsets.push_back(static_cast<std::uint32_t>(data.size()));
        Append32(data, static_cast<std::uint32_t>(resource.bytes.size()));
        data.insert(data.end(), resource.bytes.begin(), resource.bytes.end());
    }

    const std::uint32_t count = static_cast<std::uint32_t>(resources.size());
    constexpr std::uint32_t kTypeListAt = 28;        // from the start of the map
    const std::uint32_t refListsAt = 2 + 8 * count;  // from the start of the type list
    Bytes map(kTypeListAt, 0);
    Put16(map, 24, kTypeListAt);
    Append16(map, count - 1);
    for (std::uint32_t i = 0; i < count; ++i) {
        AppendText(map, resources[i].type);
        Append16(map, 0);  // one resource of this type
        Append16(map, refListsAt + 12 * i);
    }
    for (std::uint32_t i = 0; i < count; ++i) {
        Append16(map, static_cast<std::uint16_t>(resources[i].id));
        Append16(map, 0xFFFF);      // no name
        Append32(map, offsets[i]);  // attributes 0 in the top byte
        Append32(map, 0);           // handle, filled in by the Resource Manager
    }
    Put16(map, 26, static_cast<std::uint32_t>(map.size()));  // the empty name list

    const std::uint32_t mapAt = kDataAt + static_cast<std::uint32_t>(data.size());
    Bytes header(16, 0);
    Put32(header, 0, kDataAt);
    Put32(header, 4, mapAt);
    Put32(header, 8, static_cast<std::uint32_t>(data.size()));
    Put32(header, 12, static_cast<std::uint32_t>(map.size()));
    std::copy(header.begin(), header.end(), map.begin());

    Bytes fork = header;
    fork.resize(kDataAt, 0);
    fork.insert(fork.end(), data.begin(), data.end());
    fork.insert(fork.end(), map.begin(), map.end());
    return fork;
}

// A 32x32 one-bit icon and its mask: a framed square with a diagonal, fully masked.
Bytes IconList() {
    Bytes icon(128, 0);
    for (std::size_t row = 0; row < 32; ++row) {
        std::uint32_t bits = 0;
        if (row == 2 || row == 29)
            bits = 0x3FFFFFFC;
        else if (row > 2 && row < 29)
            bits = 0x20000004u | (0x80000000u >> row);
        Put32(icon, row * 4, bits);
    }
    Bytes mask(128, 0xFF);
    icon.insert(icon.end(), mask.begin(), mask.end());
    return icon;
}

Bytes PascalString(std::string_view text) {
    Bytes out{static_cast<std::uint8_t>(text.size())};
    AppendText(out, text);
    return out;
}

struct Sample {
    std::string fileName;  // UTF-8, as checked in
    Bytes bytes;
};

std::vector<Sample> Samples() {
    std::vector<Sample> samples;

    MacFile readMe{"Read Me", "TEXT", "ttxt", 0, {}, {}};
    readMe.data = BytesOf(
        "Read Me\r\r"
        "These files come with VESKAR to show what a conversion makes: each becomes an NTFS\r"
        "file with its resource fork in AFP_Resource and its type and creator in AFP_AfpInfo.\r"
        "Lines end in a carriage return, as on a classic Macintosh.\r");
    samples.push_back({"Read Me.bin", EncodeMacBinary(readMe)});

    MacFile tool{"Icon Tool", "APPL", "ICTL", 0x2000, {}, {}};  // has a bundle
    tool.data = BytesOf("ICTL preferences 1\rgrid=on\rzoom=4\r");
    tool.resource = EncodeResourceFork({
        {"ICN#", 128, IconList()},
        {"STR ", 128, PascalString("Icon Tool 1.0, a VESKAR sample")},
    });
    samples.push_back({"Icon Tool.bin", EncodeMacBinary(tool)});

    // 0x8E is the Macintosh Roman e with acute accent. MacBinary names are written as they
    // are, so the output is named with the code page 1252 character 0x8E, a Z with caron.
    MacFile resume{"R\x8Esum\x8E", "TEXT", "ttxt", 0, {}, {}};
    resume.data =
        BytesOf("R\x8Esum\x8E\r\rA text whose name and contents are in Macintosh Roman.\r");
    samples.push_back({"R\xC3\xA9sum\xC3\xA9.bin", EncodeMacBinary(resume)});

    samples.push_back({"not-a-mac-file.txt",
                       BytesOf("This is an ordinary text file, in no Macintosh format: the\n"
                               "converter reports it as wrong-kind and goes on with the rest.\n")});
    return samples;
}

Bytes Read(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool Write(const std::filesystem::path& path, const Bytes& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out.flush());
}

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string_view> args(argv + 1, argv + argc);
    const bool check = !args.empty() && args[0] == "--check";
    if (args.size() != (check ? 2u : 1u)) {
        std::cerr << "usage: make_samples [--check] FOLDER\n";
        return 2;
    }
    const std::filesystem::path folder{std::string(args.back())};
    int status = 0;
    for (const auto& sample : Samples()) {
        const auto path = folder / sample.fileName;
        if (check) {
            if (Read(path) != sample.bytes) {
                std::cerr << path.string() << ": differs from what make_samples writes\n";
                status = 1;
            }
        } else if (!Write(path, sample.bytes)) {
            std::cerr << path.string() << ": cannot be written\n";
            status = 1;
        }
    }
    return status;
}

// SPDX-License-Identifier: Apache-2.0
// The AppleDouble reader on bytes in memory: the input is the companion; the data file, of
// which only the size is read, is as long as the input's first byte says, in KiB.
#include "core/read/appledouble.h"
#include "fuzz/reader_checks.h"

using namespace veskar;

namespace {

class SizedSource final : public ByteSource {
  public:
    explicit SizedSource(std::uint64_t size) : size_(size) {}
    std::optional<std::size_t> ReadAt(std::uint64_t, std::span<std::uint8_t>) override {
        std::abort();  // the data file's bytes are never read, only copied by a writer
    }
    std::optional<std::uint64_t> Size() override { return size_; }
    std::FILE* Stream() const override { return nullptr; }

  private:
    std::uint64_t size_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    SizedSource dataFile(size == 0 ? 0 : std::uint64_t{data[0]} * 1024);
    MemorySource companion({data, size});
    const MacFileReading reading = ReadAppleDouble(dataFile, companion, "._source");
    if (reading.refusal || reading.flaw) return 0;
    fuzzing::CheckPlace(reading.file.data, *dataFile.Size(), 0);
    fuzzing::CheckPlace(reading.file.resource, size, 0);
    if (reading.file.name.size() > 255) std::abort();
    return 0;
}

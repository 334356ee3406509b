// Fuzz target for the compound-file interface: every input must open, list, read and rewrite,
// or fail with office::Error; nothing else may escape, nothing may crash, and what a rewrite
// writes must read back with the same entries and streams.
//
// The first byte picks what the rest of the input is:
//   0  a whole compound file
//   1  a compound file's body after the signature, so that the fuzzer need not find it first
//   2  the bytes of a stream of a small object file, which is then rewritten around it

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "office/compound/compound_file.h"
#include "office/error.h"

namespace {

using office::compound::Bytes;
using office::compound::File;

constexpr std::uint8_t kSignature[] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};

void check(bool condition) {
    if (!condition) {
        std::abort();
    }
}

// Reads everything a caller can read, then rewrites the file and compares.
void exercise(Bytes bytes) {
    const File file = File::openBytes(std::move(bytes), "fuzz.bin");
    std::vector<Bytes> streams;
    for (const auto& entry : file.entries()) {
        if (entry.storage) {
            file.classId(entry.path);
            continue;
        }
        streams.push_back(file.readStream(entry.path));
        check(streams.back().size() == entry.size);
    }
    file.cachedPictures();
    const File again = File::openBytes(file.rewrite({}, file.cachedPictures()), "again.bin");
    check(again.classId() == file.classId());
    std::size_t index = 0;
    for (const auto& entry : file.entries()) {
        if (entry.storage || file.cachedPictures().contains(entry.path)) {
            index += entry.storage ? 0 : 1;
            continue;
        }
        check(again.readStream(entry.path) == streams[index++]);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) {
        return 0;
    }
    const int mode = data[0] % 3;
    Bytes rest(data + 1, data + size);
    try {
        if (mode == 0) {
            exercise(std::move(rest));
        } else if (mode == 1) {
            rest.insert(rest.begin(), std::begin(kSignature), std::end(kSignature));
            exercise(std::move(rest));
        } else {
            exercise(office::compound::create(
                {{"Package", rest}, {"\x02OlePres000", rest}, {"Box/Inner", rest}}));
        }
    } catch (const office::Error&) {
    }
    return 0;
}

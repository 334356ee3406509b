// Fuzz target for the reader of PowerPoint 97-2003 presentations (.ppt): every input must open
// and read through, or fail with office::Error; nothing else may escape, nothing may crash or
// hang, and what a save writes must open again with the same slides.
//
// The first byte picks what the rest of the input is:
//   0  a whole .ppt file
//   1  the "PowerPoint Document" stream of a compound file whose "Current User" names the edit
//      at the offset that the stream's first four bytes give
// so that the record reader is reached without first guessing a valid compound file.

#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "office/compound/compound_file.h"
#include "office/error.h"
#include "office/powerpoint.h"

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

void put32(Bytes& bytes, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) {
        bytes.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
    }
}

// A CurrentUserAtom that points at the edit at `offset`, of a PowerPoint 97-2003 file.
Bytes currentUser(std::uint32_t offset) {
    Bytes bytes = {0x00, 0x00, 0xF6, 0x0F};
    put32(bytes, 20);
    put32(bytes, 20);          // size
    put32(bytes, 0xE391C05F);  // not encrypted
    put32(bytes, offset);      // offsetToCurrentEdit
    bytes.insert(bytes.end(), {0x00, 0x00, 0xF4, 0x03, 0x03, 0x00, 0x00, 0x00});
    return bytes;
}

void writeFile(const std::string& path, const Bytes& bytes) {
    std::ofstream(path, std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
}

// Reads everything the template browser reads and links the first slide as the window does.
int walk(office::ppt::Presentation& presentation) {
    auto slides = presentation.Slides();
    for (int i = 1; i <= slides->Count(); ++i) {
        auto slide = slides->Item(i);
        slide->Name();
        slide->SlideID();
        auto tags = slide->Tags();
        for (int t = 1; t <= tags->Count(); ++t) {
            tags->Name(t);
            tags->Value(t);
        }
        auto shapes = slide->Shapes();
        for (int s = 1; s <= shapes->Count(); ++s) {
            auto shape = shapes->Item(s);
            shape->Name();
            shape->Id();
            try {
                shape->OLEFormat()->ProgID();
            } catch (const office::Error&) {
            }
            if (i == 1 && s == shapes->Count()) {
                slide->SetName("Fuzz");
                tags->Add("Name", shape->Name());
                tags->Delete("TYPE");
            }
        }
    }
    return slides->Count();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const std::string path =
        (fs::temp_directory_path() / ("fuzz_ppt_" + std::to_string(::getpid()) + ".ppt")).string();
    static const std::string saved =
        (fs::temp_directory_path() / ("fuzz_ppt_" + std::to_string(::getpid()) + "_saved.ppt"))
            .string();
    if (size < 5) {
        return 0;
    }
    Bytes rest(data + 1, data + size);
    if (data[0] % 2 == 0) {
        writeFile(path, rest);
    } else {
        const std::uint32_t offset = rest[0] | (rest[1] << 8) | (rest[2] << 16) |
                                     (static_cast<std::uint32_t>(rest[3]) << 24);
        writeFile(path, office::compound::create({{"Current User", currentUser(offset)},
                                                  {"PowerPoint Document", rest}}));
    }
    auto app = office::ppt::Application::Create();
    int slides = -1;
    try {
        auto presentation = app->Presentations()->Open(path);
        slides = walk(*presentation);
        presentation->SaveAs(saved);
    } catch (const office::Error&) {
        slides = -1;
    }
    app->Quit();
    if (slides >= 0) {
        // What was written opens again, with the same slides.
        auto again = office::ppt::Application::Create();
        if (again->Presentations()->Open(saved)->Slides()->Count() != slides) {
            std::abort();
        }
        again->Quit();
    }
    return 0;
}

// What a save may and may not leave behind: a damaged part is never used nor copied, a
// read-only target is never replaced, and a save killed half-way leaves nothing beside the
// target.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <zip.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "office/error.h"
#include "office/package/package.h"
#include "support/office_error.h"

namespace {

namespace fs = std::filesystem;
using office::ErrorCode;
using office::package::Package;

const std::string kTypes =
    "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\r\n"
    "<Types xmlns=\"http://schemas.openxmlformats.org/package/2006/content-types\">"
    "<Default Extension=\"xml\" ContentType=\"application/xml\"/></Types>";
const std::string kMain = "<main>the numbers of November</main>";
const std::string kPicture = "PICTURE-BYTES-0123456789";

std::string readBytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

void writeBytes(const fs::path& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

std::set<std::string> namesIn(const fs::path& folder) {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) {
        names.insert(entry.path().filename().string());
    }
    return names;
}

class PackageSave : public testing::Test {
protected:
    void SetUp() override {
        folder_ = fs::temp_directory_path() /
                  ("tabulon-save-" + std::to_string(::getpid()) + "-" +
                   testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(folder_);
        fs::create_directories(folder_);
    }
    void TearDown() override {
        for (const auto& entry : fs::directory_iterator(folder_)) {
            fs::permissions(entry.path(), fs::perms::owner_all, fs::perm_options::add);
        }
        fs::remove_all(folder_);
    }

    // A package whose parts are stored uncompressed, so that a test can damage their bytes.
    fs::path makeStored(const std::string& name) {
        const fs::path path = folder_ / name;
        int error = 0;
        zip_t* zip = zip_open(path.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &error);
        const std::pair<const char*, const std::string*> parts[] = {
            {"[Content_Types].xml", &kTypes}, {"doc/main.xml", &kMain}, {"doc/pic.bin", &kPicture}};
        for (const auto& [part, data] : parts) {
            const auto index =
                zip_file_add(zip, part, zip_source_buffer(zip, data->data(), data->size(), 0), 0);
            zip_set_file_compression(zip, static_cast<zip_uint64_t>(index), ZIP_CM_STORE, 0);
        }
        EXPECT_EQ(zip_close(zip), 0);
        return path;
    }

    // Changes one byte of the stored bytes text in the file, keeping its recorded CRC.
    static void damage(const fs::path& path, const std::string& text) {
        std::string bytes = readBytes(path);
        const auto at = bytes.find(text);
        ASSERT_NE(at, std::string::npos);
        bytes[at + text.size() / 2] ^= 0x01;
        writeBytes(path, bytes);
    }

    fs::path folder_;
};

TEST_F(PackageSave, DamagedPartIsAnErrorNamingFileAndPartNotData) {
    const auto path = makeStored("report.pkg");
    damage(path, kMain);
    const auto package = Package::openFile(path.string(), "document");
    EXPECT_OFFICE_ERROR(package.read("doc/main.xml"), ErrorCode::CorruptPart,
                        "report.pkg: doc/main.xml: is damaged: its bytes do not match the "
                        "checksum (CRC) that the file records for them");
    EXPECT_EQ(package.read("doc/pic.bin"), kPicture) << "the sound parts read as ever";
}

TEST_F(PackageSave, DamagedPartThatWouldBeCopiedUnchangedFailsTheSaveBeforeAnyWrite) {
    const auto path = makeStored("template.pkg");
    damage(path, kPicture);
    auto package = Package::openFile(path.string(), "document");
    package.write("doc/main.xml", "<main>December</main>");
    const fs::path output = folder_ / "out.pkg";
    writeBytes(output, "last month");
    EXPECT_OFFICE_ERROR(package.saveFile(output.string()), ErrorCode::CorruptPart,
                        "template.pkg: doc/pic.bin: is damaged");
    EXPECT_OFFICE_ERROR(package.saveBytes(), ErrorCode::CorruptPart,
                        "template.pkg: doc/pic.bin: is damaged");
    EXPECT_EQ(readBytes(output), "last month");
    EXPECT_EQ(namesIn(folder_), (std::set<std::string>{"out.pkg", "template.pkg"}));
}

TEST_F(PackageSave, SoundPartsAreCheckedOnceAndSavedAsTheyCame) {
    const auto path = makeStored("template.pkg");
    auto package = Package::openFile(path.string(), "document");
    EXPECT_EQ(package.read("doc/main.xml"), kMain);
    const fs::path output = folder_ / "out.pkg";
    package.saveFile(output.string());
    const auto copy = Package::openFile(output.string(), "document");
    EXPECT_EQ(copy.read("doc/pic.bin"), kPicture);
    EXPECT_EQ(copy.read("doc/main.xml"), kMain);
}

// A file size limit makes the system refuse the write as a full disk does (EFBIG for ENOSPC):
// the save fails with the system's reason and the target stays as it was.
TEST_F(PackageSave, AWriteTheSystemRefusesGivesTheSystemsReason) {
    auto package = Package::openFile(makeStored("template.pkg").string(), "document");
    const fs::path output = folder_ / "out.pkg";
    writeBytes(output, "last month");
    rlimit before{};
    ::getrlimit(RLIMIT_FSIZE, &before);
    rlimit small = before;
    small.rlim_cur = 200;
    const sighandler_t handler = ::signal(SIGXFSZ, SIG_IGN);
    ::setrlimit(RLIMIT_FSIZE, &small);
    EXPECT_OFFICE_ERROR(package.saveFile(output.string()), ErrorCode::WriteFailed,
                        "out.pkg: cannot be written: File too large");
    ::setrlimit(RLIMIT_FSIZE, &before);
    ::signal(SIGXFSZ, handler);
    EXPECT_EQ(readBytes(output), "last month");
}

// Tests run as root on the build machine, where the system lets any file be written: the
// refusal goes by the file's permission bits, which is what is checked here.
TEST_F(PackageSave, ReadOnlyTargetIsRefusedAndKeptAsItWas) {
    const auto path = makeStored("template.pkg");
    const fs::path output = folder_ / "report.pkg";
    writeBytes(output, "protected");
    fs::permissions(output, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    const auto package = Package::openFile(path.string(), "document");
    EXPECT_OFFICE_ERROR(package.saveFile(output.string()), ErrorCode::WriteFailed,
                        "report.pkg: is read-only, so it is not replaced; save under another "
                        "name or clear its read-only mark first");
    EXPECT_EQ(readBytes(output), "protected");
    EXPECT_EQ(namesIn(folder_), (std::set<std::string>{"report.pkg", "template.pkg"}));

    // The template saved over itself is refused the same way.
    fs::permissions(path, fs::perms::owner_read);
    const std::string before = readBytes(path);
    EXPECT_OFFICE_ERROR(package.saveFile(path.string()), ErrorCode::WriteFailed,
                        "template.pkg: is read-only, so it is not replaced");
    EXPECT_EQ(readBytes(path), before);
}

TEST_F(PackageSave, SavedFileTakesTheTargetsPermissions) {
    const auto path = makeStored("template.pkg");
    const fs::path output = folder_ / "report.pkg";
    writeBytes(output, "old");
    fs::permissions(output, fs::perms::owner_read | fs::perms::owner_write);
    Package::openFile(path.string(), "document").saveFile(output.string());
    EXPECT_EQ(fs::status(output).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write);
    EXPECT_EQ(Package::openFile(output.string(), "document").read("doc/main.xml"), kMain);
}

// True once the process holds a file open in folder: the save has begun writing.
bool writesInto(pid_t pid, const fs::path& folder) {
    std::error_code ec;
    const fs::path fds = "/proc/" + std::to_string(pid) + "/fd";
    for (const auto& entry : fs::directory_iterator(fds, ec)) {
        const auto target = fs::read_symlink(entry.path(), ec);
        if (!ec && target.parent_path() == folder) {
            return true;
        }
    }
    return false;
}

// Text that takes a while to deflate, so that a save can be caught mid-way.
std::string noise() {
    std::mt19937 random(7);
    std::string text(16u << 20, '\0');
    for (auto& c : text) {
        c = static_cast<char>('a' + random() % 16);
    }
    return text;
}

TEST_F(PackageSave, SaveKilledHalfWayLeavesNothingBesideTheTarget) {
    if (!fs::exists("/proc/self/fd")) {
        GTEST_SKIP() << "no /proc to watch the saving process with";
    }
    const fs::path source = makeStored("template.pkg");
    const fs::path output = folder_ / "monthly.pkg";
    writeBytes(output, "last month's report");
    for (const int signal : {SIGKILL, SIGTERM}) {
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            // Held in memory, the new part is deflated while the save writes.
            const std::string bytes = readBytes(source);
            auto package = Package::openBytes(std::vector<std::uint8_t>(bytes.begin(), bytes.end()),
                                              "deck.pkg", "document");
            package.write("doc/big.xml", noise());
            package.saveFile(output.string());
            ::_exit(0);
        }
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        while (!writesInto(child, folder_) && std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
        ::kill(child, signal);
        int status = 0;
        ::waitpid(child, &status, 0);
        ASSERT_TRUE(WIFSIGNALED(status)) << "the save ended before it was killed";
        EXPECT_EQ(namesIn(folder_), (std::set<std::string>{"monthly.pkg", "template.pkg"}))
            << "signal " << signal;
        EXPECT_EQ(readBytes(output), "last month's report");
    }
}

TEST_F(PackageSave, HiddenFilesOfSavesWhoseProcessIsGoneAreRemoved) {
    const pid_t gone = ::fork();
    if (gone == 0) {
        ::_exit(0);
    }
    ::waitpid(gone, nullptr, 0);
    const std::string stale = ".report.pkg.tmp-" + std::to_string(gone) + "-a1B2c3";
    const std::string running = ".report.pkg.tmp-" + std::to_string(::getppid()) + "-d4E5f6";
    const std::string otherTarget = ".other.pkg.tmp-" + std::to_string(gone) + "-g7H8i9";
    for (const auto& name : {stale, running, otherTarget}) {
        writeBytes(folder_ / name, "partial");
    }
    const auto path = makeStored("template.pkg");
    Package::openFile(path.string(), "document").saveFile((folder_ / "report.pkg").string());
    EXPECT_EQ(namesIn(folder_),
              (std::set<std::string>{"template.pkg", "report.pkg", running, otherTarget}));
}

}  // namespace

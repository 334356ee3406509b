#include "about/SysInfo.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <stdexcept>

#include "platform/seams.h"

namespace {

namespace fs = std::filesystem;

const std::string kUnavailable = "此时系统信息不可用";

// StartSysInfo's steps over a registry made of a map, with program starts and message boxes
// recorded.
class StartSysInfoTest : public ::testing::Test {
protected:
    void SetUp() override {
        platform::Platform fake;
        fake.messageBox = [this](const std::string& text, const std::string& caption, int) {
            messages_.push_back(text);
            EXPECT_EQ(caption, "Tabulon");
            return platform::kAnswerOk;
        };
        fake.startProgram = [this](const std::string& program) {
            started_.push_back(program);
            return startSucceeds_;
        };
        scope_ = std::make_unique<platform::ScopedPlatform>(fake);
    }

    void run() {
        about::StartSysInfoWith([this](std::uint32_t root, const std::string& key,
                                       const std::string& name, std::string& value) {
            EXPECT_EQ(root, 0x80000002u);
            const auto found = registry_.find(key + "|" + name);
            if (found == registry_.end()) {
                value.clear();
                return false;
            }
            if (found->second == "<zero bytes>") {
                throw std::runtime_error("registry value of 0 bytes");
            }
            value = found->second;
            return true;
        });
    }

    std::map<std::string, std::string> registry_;
    std::vector<std::string> messages_;
    std::vector<std::string> started_;
    bool startSucceeds_ = true;
    std::unique_ptr<platform::ScopedPlatform> scope_;
};

TEST_F(StartSysInfoTest, StartsThePathOfTheFirstKeyWithoutTestingTheFile) {
    registry_["SOFTWARE\\Microsoft\\Shared Tools\\MSINFO|PATH"] = "C:\\nowhere\\msinfo32.exe";
    registry_["SOFTWARE\\Microsoft\\Shared Tools Location|MSINFO"] = "C:\\other";
    run();
    EXPECT_EQ(started_, std::vector<std::string>{"C:\\nowhere\\msinfo32.exe"});
    EXPECT_TRUE(messages_.empty());
}

TEST_F(StartSysInfoTest, AProgramThatCannotStartShowsTheMessage) {
    registry_["SOFTWARE\\Microsoft\\Shared Tools\\MSINFO|PATH"] = "C:\\nowhere\\msinfo32.exe";
    startSucceeds_ = false;
    run();
    EXPECT_EQ(messages_, std::vector<std::string>{kUnavailable});
}

TEST_F(StartSysInfoTest, SecondKeyStartsTheProgramOnlyWhenItsFileExists) {
    // Here "\MSINFO32.EXE" is part of a file name beside the folder, so both go in a parent.
    const fs::path parent =
        fs::temp_directory_path() / ("tabulon-sysinfo-" + std::to_string(::getpid()));
    const fs::path folder = parent / "tools";
    fs::remove_all(parent);
    fs::create_directories(folder);
    registry_["SOFTWARE\\Microsoft\\Shared Tools Location|MSINFO"] = folder.string();
    run();
    EXPECT_TRUE(started_.empty());
    EXPECT_EQ(messages_, std::vector<std::string>{kUnavailable});

    // The directory and "\MSINFO32.EXE" joined as text, which names one file here.
    const std::string program = folder.string() + "\\MSINFO32.EXE";
    std::ofstream(program) << "program";
    run();
    EXPECT_EQ(started_, std::vector<std::string>{program});
    EXPECT_EQ(messages_.size(), 1u);
    fs::remove_all(parent);
}

TEST_F(StartSysInfoTest, NoKeyOrAFailingReadShowsTheMessage) {
    run();
    registry_["SOFTWARE\\Microsoft\\Shared Tools\\MSINFO|PATH"] = "<zero bytes>";
    registry_["SOFTWARE\\Microsoft\\Shared Tools Location|MSINFO"] = "C:\\other";
    run();
    EXPECT_EQ(messages_, (std::vector<std::string>{kUnavailable, kUnavailable}));
    EXPECT_TRUE(started_.empty());
}

TEST(TakeRegistryValue, StringsDropTheirFinalNul) {
    std::string value = "old";
    about::TakeRegistryValue(1, std::string("C:\\x\\msinfo32.exe\0\0\0", 20), 18, value);
    EXPECT_EQ(value, "C:\\x\\msinfo32.exe");
    about::TakeRegistryValue(1, "abcdef", 3, value);
    EXPECT_EQ(value, "abc");
}

TEST(TakeRegistryValue, NumbersBecomeHexOfTheCharactersFromLastToFirst) {
    // The digits go after what the out-value held before, and "&h" in front of it all.
    std::string value = "x";
    // Bytes 0A 1F 00 00: the fourth is a NUL, so three characters remain: 0A 1F 00.
    about::TakeRegistryValue(4, std::string("\x0A\x1F\0\0", 4), 4, value);
    EXPECT_EQ(value, "&hx01FA");
    std::string kept = "kept";
    about::TakeRegistryValue(3, std::string("\x01\x02", 2), 2, kept);
    EXPECT_EQ(kept, "kept");
}

TEST(TakeRegistryValue, AValueOfZeroBytesIsAnError) {
    std::string value;
    EXPECT_THROW(about::TakeRegistryValue(1, std::string(8, '\0'), 0, value), std::runtime_error);
}

}  // namespace

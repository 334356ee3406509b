#include "settings/clsIniFile.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "settings/profile.h"

namespace {

namespace fs = std::filesystem;

// A settings file in a fresh folder of the test's temporary directory.
class IniFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
        folder_ = fs::temp_directory_path() /
                  ("tabulon-ini-" + std::to_string(::getpid()) + "-" + test->name());
        fs::remove_all(folder_);
        fs::create_directories(folder_);
        ini_.File = (folder_ / "Tabulon.ini").string();
    }
    void TearDown() override { fs::remove_all(folder_); }

    void write(const std::string& text) const {
        std::ofstream(ini_.File, std::ios::binary) << text;
    }
    std::string read() const {
        std::ifstream in(ini_.File, std::ios::binary);
        std::ostringstream text;
        text << in.rdbuf();
        return text.str();
    }
    std::vector<std::string> filesInFolder() const {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(folder_)) {
            names.push_back(entry.path().filename().string());
        }
        return names;
    }

    // A section holding `count` keys of nine characters: name_0000, name_0001 and so on.
    static std::string numberedKeys(const std::string& section, int count) {
        std::string text = "[" + section + "]\n";
        for (int i = 0; i < count; ++i) {
            char name[16];
            std::snprintf(name, sizeof name, "name_%04d", i);
            text += std::string(name) + "=v\n";
        }
        return text;
    }

    fs::path folder_;
    clsIniFile ini_;
};

TEST_F(IniFileTest, MissingFileReadsAsUnknownAndIsNotCreated) {
    EXPECT_EQ(ini_.GetSetting("Information", "ConnectDate"), "unknown value");
    std::vector<std::string> keys{"stale", "entries"};
    EXPECT_EQ(ini_.GetSection("Information", keys), 0);
    EXPECT_EQ(keys, std::vector<std::string>{""});
    ini_.DeleteSection("Information");
    EXPECT_FALSE(fs::exists(ini_.File));
}

TEST_F(IniFileTest, MissingSectionOrKeyAndEmptyValueGiveTheTwoTexts) {
    write("[Other]\nConnectDate=2020-01-01\n[Information]\nConnectDate=\nStored=unknown value\n");
    EXPECT_EQ(ini_.GetSetting("Missing", "ConnectDate"), "unknown value");
    EXPECT_EQ(ini_.GetSetting("Information", "Missing"), "unknown value");
    EXPECT_EQ(ini_.GetSetting("Information", "ConnectDate"), "Unknown section or key");
    EXPECT_EQ(ini_.GetSetting("Information", "Stored"), "unknown value");
}

TEST_F(IniFileTest, ValuesAreCutTo254Characters) {
    const std::string longValue(300, 'x');
    const std::string fits = std::string(253, 'a') + "Z";
    write("[S]\nLong=" + longValue + "\nFits=" + fits + "\nOver=" + fits + "Q\n");
    EXPECT_EQ(ini_.GetSetting("S", "Long"), longValue.substr(0, 254));
    EXPECT_EQ(ini_.GetSetting("S", "Fits"), fits);
    EXPECT_EQ(ini_.GetSetting("S", "Over"), fits);
}

TEST_F(IniFileTest, NamesMatchWithoutCaseAndBlanksAndQuotesAreDropped) {
    write("[information]\n  connectDATE =  \"2020-01-02\"  \n");
    EXPECT_EQ(ini_.GetSetting("Information", "ConnectDate"), "2020-01-02");
    EXPECT_NE(ini_.SaveSetting("INFORMATION", "ConnectDate", "2020-01-03"), 0);
    EXPECT_EQ(read(), "[information]\nConnectDate=2020-01-03\n");
}

TEST_F(IniFileTest, FirstWriteCreatesTheFileWithSectionAndKey) {
    EXPECT_NE(ini_.SaveSetting("Information", "ConnectDate", "2026-12-08"), 0);
    EXPECT_EQ(read(), "[Information]\nConnectDate=2026-12-08\n");
    EXPECT_EQ(ini_.GetSetting("Information", "ConnectDate"), "2026-12-08");
}

TEST_F(IniFileTest, WriteReplacesOneValueAndKeepsEverythingElse) {
    const std::string before =
        "; written by hand\n[Information]\nFirst=1\nConnectDate=2020-01-01\nLast=3\n\n"
        "[Other]\n# note\nConnectDate=keep\n";
    write(before);
    EXPECT_NE(ini_.SaveSetting("Information", "ConnectDate", "2026-12-08"), 0);
    std::string expected = before;
    expected.replace(expected.find("2020-01-01"), 10, "2026-12-08");
    EXPECT_EQ(read(), expected);
}

TEST_F(IniFileTest, NewKeysGoAfterTheSectionsLastLineAndNewSectionsAtTheEnd) {
    write("[A]\nx=1\n\n[B]\ny=2\n");
    EXPECT_NE(ini_.SaveSetting("A", "z", "3"), 0);
    EXPECT_NE(ini_.SaveSetting("C", "w", "4"), 0);
    EXPECT_EQ(read(), "[A]\nx=1\nz=3\n\n[B]\ny=2\n\n[C]\nw=4\n");
}

TEST_F(IniFileTest, WindowsLineEndsAndByteOrderMarkAreKept) {
    write("\xEF\xBB\xBF[Information]\r\nConnectDate=2020-01-01\r\n");
    EXPECT_EQ(ini_.GetSetting("Information", "ConnectDate"), "2020-01-01");
    EXPECT_NE(ini_.SaveSetting("Information", "Other", "x"), 0);
    EXPECT_EQ(read(), "\xEF\xBB\xBF[Information]\r\nConnectDate=2020-01-01\r\nOther=x\r\n");
}

TEST_F(IniFileTest, GetSectionListsKeyNamesInFileOrderAfterAnEmptyElement) {
    write("[Other]\nq=0\n[Keys]\na=1\n; comment\nbb=2\nccc=3\n[Later]\nd=4\n");
    std::vector<std::string> keys;
    EXPECT_EQ(ini_.GetSection("keys", keys), 3);
    EXPECT_EQ(keys, (std::vector<std::string>{"", "a", "bb", "ccc"}));
    EXPECT_EQ(ini_.GetSection("Missing", keys), 0);
    EXPECT_EQ(keys, std::vector<std::string>{""});
}

TEST_F(IniFileTest, GetSectionCutsTheNameListAt2500Characters) {
    // 300 names of 9 characters need 3,000 characters with their NULs; 2,498 fit, which is
    // 249 whole names and the first 8 characters of the 250th.
    write(numberedKeys("Many", 300));
    std::vector<std::string> keys;
    ASSERT_EQ(ini_.GetSection("Many", keys), 250);
    ASSERT_EQ(keys.size(), 251u);
    EXPECT_EQ(keys[1], "name_0000");
    EXPECT_EQ(keys[249], "name_0248");
    EXPECT_EQ(keys[250], "name_024");
    // As the platform read reports it: the characters before the two closing NULs.
    EXPECT_EQ(settings::profile::readKeyNames(ini_.File, "Many", 2500).count, 2498u);
}

TEST_F(IniFileTest, GetSectionKeepsAListThatJustFits) {
    // 249 names of 9 characters and one of 8: 2,499 characters with their NULs, plus the
    // final NUL, fill the 2,500-character buffer exactly.
    write(numberedKeys("Full", 249) + "last_one=v\n");
    std::vector<std::string> keys;
    ASSERT_EQ(ini_.GetSection("Full", keys), 250);
    EXPECT_EQ(keys[250], "last_one");
}

TEST_F(IniFileTest, DeleteSectionRemovesOnlyThatSection) {
    write("[Keep]\na=1\n[Information]\nConnectDate=2020-01-01\nb=2\n[Also]\nc=3\n");
    ini_.DeleteSection("information");
    EXPECT_EQ(read(), "[Keep]\na=1\n[Also]\nc=3\n");
    EXPECT_EQ(ini_.GetSetting("Information", "ConnectDate"), "unknown value");
}

TEST_F(IniFileTest, FailedWriteReturnsZeroAndLeavesNoFile) {
    ini_.File = (folder_ / "no-such-folder" / "Tabulon.ini").string();
    EXPECT_EQ(ini_.SaveSetting("Information", "ConnectDate", "2026-12-08"), 0);
    EXPECT_FALSE(fs::exists(folder_ / "no-such-folder"));

    ini_.File = folder_.string();  // a folder, not a file
    EXPECT_EQ(ini_.SaveSetting("Information", "ConnectDate", "2026-12-08"), 0);
    EXPECT_TRUE(fs::is_directory(folder_));
}

TEST_F(IniFileTest, ReadOnlyFileIsReadButNeverReplaced) {
    // The refusal goes by the file's permission bits, so it holds for a superuser too (the
    // tests run as root on the build machine, where the system itself would allow the write).
    const std::string text = "[Information]\nConnectDate=2020-01-01\n[Other]\na=1\n";
    write(text);
    fs::permissions(ini_.File, fs::perms::owner_read | fs::perms::group_read);
    EXPECT_EQ(ini_.GetSetting("Information", "ConnectDate"), "2020-01-01");
    EXPECT_EQ(ini_.SaveSetting("Information", "ConnectDate", "2026-12-08"), 0);
    ini_.DeleteSection("Other");
    EXPECT_EQ(read(), text);
    EXPECT_EQ(filesInFolder(), std::vector<std::string>{"Tabulon.ini"});
    fs::permissions(ini_.File, fs::perms::owner_read | fs::perms::owner_write);
    EXPECT_NE(ini_.SaveSetting("Information", "ConnectDate", "2026-12-08"), 0)
        << "writable again once the mark is cleared";
}

TEST_F(IniFileTest, ValuesWithLineBreaksAreRefusedSoNoOtherEntryChanges) {
    write("[Information]\nConnectDate=2020-01-01\n");
    EXPECT_EQ(ini_.SaveSetting("Information", "ConnectDate", "x\n[Evil]\ny=1"), 0);
    EXPECT_EQ(ini_.SaveSetting("Information", "Key=Other", "1"), 0);
    EXPECT_EQ(read(), "[Information]\nConnectDate=2020-01-01\n");
}

TEST_F(IniFileTest, WriteReplacesTheFileWholeAndLeavesNoTemporaryFile) {
    write("[Information]\nConnectDate=2020-01-01\n");
    fs::permissions(ini_.File, fs::perms::owner_read | fs::perms::owner_write);
    fs::create_hard_link(ini_.File, folder_ / "old-copy.ini");
    EXPECT_NE(ini_.SaveSetting("Information", "ConnectDate", "2026-12-08"), 0);
    // A new file took the old one's name: the other link still sees the old text.
    std::ifstream old(folder_ / "old-copy.ini");
    std::string firstLine, secondLine;
    std::getline(old, firstLine);
    std::getline(old, secondLine);
    EXPECT_EQ(secondLine, "ConnectDate=2020-01-01");
    EXPECT_EQ(ini_.GetSetting("Information", "ConnectDate"), "2026-12-08");
    EXPECT_EQ(fs::status(ini_.File).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write);
    auto names = filesInFolder();
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"Tabulon.ini", "old-copy.ini"}));
}

}  // namespace

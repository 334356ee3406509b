#include "update/DailyUpdateCheck.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>

#include "office/error.h"
#include "platform/seams.h"
#include "qt_app.h"
#include "support/office_error.h"
#include "test_http_server.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono;
using testing_support::TestHttpServer;

// One program folder with its settings file, the clock and the shell through the seams, and a
// real update service on 127.0.0.1.
class DailyUpdateCheckTest : public ::testing::Test {
protected:
    void SetUp() override {
        testing_support::qtApplication();
        const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
        folder_ = fs::temp_directory_path() /
                  ("tabulon-update-" + std::to_string(::getpid()) + "-" + test->name());
        fs::remove_all(folder_);
        fs::create_directories(folder_);
        platform::Platform fake;
        fake.today = [this] { return today_; };
        fake.executableDir = [this] { return programFolder_.string(); };
        fake.shellOpen = [this](const std::string& target) {
            opened_.push_back(target);
            return true;
        };
        scope_ = std::make_unique<platform::ScopedPlatform>(fake);
        programFolder_ = folder_;
    }
    void TearDown() override {
        scope_.reset();
        fs::remove_all(folder_);
    }

    // Runs the start-up step as the main window does: a service, its Inet, the daily check.
    void start() {
        Cls_WebService service(server_.host());
        service.InetTrans(std::make_shared<Inet>());
        DailyUpdateCheck(ini_, service);
    }
    fs::path iniPath() const { return folder_ / "Tabulon.ini"; }
    void writeIni(const std::string& text) const {
        std::ofstream(iniPath(), std::ios::binary) << text;
    }
    std::string readIni() const {
        std::ifstream in(iniPath(), std::ios::binary);
        std::ostringstream text;
        text << in.rdbuf();
        return text.str();
    }
    std::size_t requests() const { return server_.requestLines().size(); }

    TestHttpServer server_{{"http://127.0.0.1:9/dl/Setup.exe"}};
    fs::path folder_;
    fs::path programFolder_;
    year_month_day today_{year(2026), December, day(8)};
    std::vector<std::string> opened_;
    clsIniFile ini_;
    std::unique_ptr<platform::ScopedPlatform> scope_;
};

TEST_F(DailyUpdateCheckTest, FirstStartSendsOneRequestAndStoresToday) {
    start();
    ASSERT_EQ(requests(), 1u);
    const std::regex query(
        "GET /productcheck\\.aspx\\?Productid=2&ProductGUID="
        "[0-9a-f]{8}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{12}&Version=1\\.1\\.0\\.0 "
        "HTTP/1\\.1");
    EXPECT_TRUE(std::regex_match(server_.requestLines()[0], query)) << server_.requestLines()[0];
    EXPECT_NE(server_.requestLines()[0].find(update::kProductGuid), std::string::npos);
    EXPECT_EQ(ini_.File, iniPath().string());
    EXPECT_EQ(readIni(), "[Information]\nConnectDate=2026-12-08\n");
    EXPECT_EQ(opened_, std::vector<std::string>{"http://127.0.0.1:9/dl/Setup.exe"});
}

TEST_F(DailyUpdateCheckTest, SameDaySendsNothingAndNextDaySendsOne) {
    start();
    const auto written = fs::last_write_time(iniPath());
    start();
    EXPECT_EQ(requests(), 1u);
    EXPECT_EQ(fs::last_write_time(iniPath()), written);
    today_ = year(2026) / December / day(9);
    start();
    EXPECT_EQ(requests(), 2u);
    EXPECT_EQ(readIni(), "[Information]\nConnectDate=2026-12-09\n");
}

TEST_F(DailyUpdateCheckTest, ClockSetBackSendsNothingUntilAfterTheStoredDay) {
    writeIni("[Information]\nConnectDate=2026-12-10\n");
    start();
    today_ = year(2026) / December / day(10);
    start();
    EXPECT_EQ(requests(), 0u);
    EXPECT_EQ(readIni(), "[Information]\nConnectDate=2026-12-10\n");
    today_ = year(2026) / December / day(11);
    start();
    EXPECT_EQ(requests(), 1u);
    EXPECT_EQ(readIni(), "[Information]\nConnectDate=2026-12-11\n");
}

TEST_F(DailyUpdateCheckTest, StoredDateIsComparedAsADateNotAsText) {
    // As text "2026-9-30" sorts after "2026-12-08"; as a date it is earlier.
    writeIni("[Information]\nConnectDate=2026-9-30\n");
    start();
    EXPECT_EQ(requests(), 1u);
    writeIni("[Information]\nConnectDate=2026-12-31\n");
    today_ = year(2027) / January / day(1);
    start();
    EXPECT_EQ(requests(), 2u);
    EXPECT_EQ(readIni(), "[Information]\nConnectDate=2027-01-01\n");
}

TEST_F(DailyUpdateCheckTest, StoredValueThatIsNotADateIsReportedOnceAndThenReplaced) {
    std::size_t sent = 0;
    for (const std::string value : {"yesterday", "", "2026-02-30"}) {
        const std::string text = "[Information]\nConnectDate=" + value + "\n";
        writeIni(text);
        // Error 13 (type mismatch), naming the file and the value it holds.
        const std::string shown = value.empty() ? "Unknown section or key" : value;
        EXPECT_OFFICE_ERROR(start(), office::ErrorCode::TypeMismatch,
                            iniPath().string() + ": [Information] ConnectDate is \"" + shown +
                                "\", which is not a date");
        // The check ran and stored a good date, so the next start says nothing and sends
        // nothing.
        EXPECT_EQ(requests(), ++sent);
        EXPECT_EQ(readIni(), "[Information]\nConnectDate=2026-12-08\n");
        EXPECT_NO_THROW(start());
        EXPECT_EQ(requests(), sent);
    }
}

TEST_F(DailyUpdateCheckTest, ReadOnlySettingsFileIsReadButNeverReplaced) {
    // Refused by the file's permission bits, so this holds when the tests run as root too (as
    // they do on the build machine), where the system would let the file be written.
    const std::string text = "; mine\n[Information]\nConnectDate=2026-12-01\n";
    writeIni(text);
    fs::permissions(iniPath(), fs::perms::owner_read | fs::perms::group_read);
    start();
    EXPECT_EQ(requests(), 1u) << "the stored date was read and is older than today";
    EXPECT_EQ(readIni(), text) << "the date of the check is not written";
    EXPECT_EQ(std::distance(fs::directory_iterator(folder_), fs::directory_iterator()), 1)
        << "no temporary file is left beside it";
    fs::permissions(iniPath(), fs::perms::owner_all);
}

TEST_F(DailyUpdateCheckTest, UnwritableFolderChecksAgainAtTheNextStart) {
    programFolder_ = folder_ / "missing";
    start();
    start();
    EXPECT_EQ(requests(), 2u);
    EXPECT_FALSE(fs::exists(programFolder_));
}

TEST_F(DailyUpdateCheckTest, UnreachableServiceStillStoresTheDate) {
    const testing_support::RefusingPort refusing;
    Cls_WebService service(refusing.host());
    service.InetTrans(std::make_shared<Inet>());
    DailyUpdateCheck(ini_, service);
    EXPECT_EQ(readIni(), "[Information]\nConnectDate=2026-12-08\n");
    EXPECT_TRUE(opened_.empty());
}

TEST(DateText, IsFourDigitYearTwoDigitMonthAndDay) {
    EXPECT_EQ(update::DateText(year(2027) / January / day(5)), "2027-01-05");
    EXPECT_EQ(update::ParseDate("2027-01-05"), year(2027) / January / day(5));
    EXPECT_EQ(update::ParseDate("2027-1-5"), year(2027) / January / day(5));
    for (const char* text : {"", "2027", "2027-01", "27-01-05", "2027-13-01", "2027-01-05x",
                             "2027-01-05 ", "2027-001-05", "2027/01/05"}) {
        EXPECT_FALSE(update::ParseDate(text).has_value()) << text;
    }
}

}  // namespace

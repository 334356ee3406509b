#include "update/Cls_WebService.h"

#include <gtest/gtest.h>

#include "office/error.h"
#include "platform/seams.h"
#include "qt_app.h"
#include "support/office_error.h"
#include "test_http_server.h"

namespace {

using testing_support::TestHttpServer;

TEST(VersionText, WritesTheNumbersWithoutLeadingZerosAndAddsZero) {
    EXPECT_EQ(update::VersionText(1, 1, 0), "1.1.0.0");
    EXPECT_EQ(update::VersionText(2, 10, 3), "2.10.3.0");
}

struct AnswerCase {
    const char* answer;
    const char* opened;  // nullptr: nothing is opened
};

class DownloadAddressTest : public ::testing::TestWithParam<AnswerCase> {};

TEST_P(DownloadAddressTest, OpensOnlyAbsoluteWebAddressesCutAfterExe) {
    const auto address = update::DownloadAddress(GetParam().answer);
    if (GetParam().opened == nullptr) {
        EXPECT_FALSE(address.has_value()) << *address;
        return;
    }
    ASSERT_TRUE(address.has_value());
    EXPECT_EQ(*address, GetParam().opened);
}

INSTANTIATE_TEST_SUITE_P(
    Answers, DownloadAddressTest,
    ::testing::Values(
        AnswerCase{"http://dl.example/dl/Setup.exe", "http://dl.example/dl/Setup.exe"},
        AnswerCase{"HTTP://DL.EXAMPLE/DL/SETUP.EXE?x=1", "HTTP://DL.EXAMPLE/DL/SETUP.EXE"},
        AnswerCase{"http://dl.example/exec/setup.exe", "http://dl.example/exe"},
        AnswerCase{"https://dl.example:8443/a/b.EXE\r\n", "https://dl.example:8443/a/b.EXE"},
        AnswerCase{"", nullptr}, AnswerCase{"htt", nullptr},
        AnswerCase{" http://dl.example/dl/Setup.exe", nullptr},
        AnswerCase{"ftp://dl.example/dl/Setup.exe", nullptr},
        // Texts that start with "http" but would make the shell run a local program.
        AnswerCase{"http.exe", nullptr}, AnswerCase{"httpx\\..\\setup.exe", nullptr},
        AnswerCase{"http:setup.exe", nullptr}, AnswerCase{"http:\\\\host\\setup.exe", nullptr},
        AnswerCase{"https:/dl.example/setup.exe", nullptr},
        AnswerCase{"http:///setup.exe", nullptr},
        AnswerCase{"http://dl.example\\..\\..\\setup.exe", nullptr},
        AnswerCase{"http://dl example/setup.exe", nullptr},
        // A web page without a download: nothing to open.
        AnswerCase{"http://dl.example/news.html", nullptr}));

// CheckProduct against a real service on 127.0.0.1, with the shell recorded: the query carries
// the arguments it was given, not the program's own values.
TEST(CheckProduct, SendsItsArgumentsAndOpensTheDownloadAddress) {
    testing_support::qtApplication();
    TestHttpServer server({"http://127.0.0.1:9/dl/Setup.exe"});
    std::vector<std::string> opened;
    platform::Platform fake;
    fake.shellOpen = [&opened](const std::string& target) {
        opened.push_back(target);
        return true;
    };
    platform::ScopedPlatform scope(fake);
    Cls_WebService service(server.host());
    service.InetTrans(std::make_shared<Inet>());
    service.CheckProduct(7, "guid", "9.8.7.0");
    EXPECT_EQ(server.requestLines(),
              std::vector<std::string>{
                  "GET /productcheck.aspx?Productid=7&ProductGUID=guid&Version=9.8.7.0 HTTP/1.1"});
    EXPECT_EQ(opened, std::vector<std::string>{"http://127.0.0.1:9/dl/Setup.exe"});
}

TEST(CheckProductWithoutInet, FailsWithObjectRequired) {
    Cls_WebService service("127.0.0.1:9");
    EXPECT_EQ(service.InetTrans(), nullptr);
    // Error 91, as the automation model numbers "object required".
    EXPECT_OFFICE_ERROR(service.CheckProduct(2, "guid", "1.1.0.0"),
                        office::ErrorCode::ObjectRequired,
                        "update check: no internet transfer component was assigned to InetTrans");
}

}  // namespace

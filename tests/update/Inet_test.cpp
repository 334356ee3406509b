#include "update/Inet.h"

#include <gtest/gtest.h>

#include <chrono>

#include "platform/seams.h"
#include "qt_app.h"
#include "test_http_server.h"

namespace {

using testing_support::TestHttpServer;

class InetTest : public ::testing::Test {
protected:
    void SetUp() override { testing_support::qtApplication(); }
    Inet inet_;
};

TEST_F(InetTest, ReturnsTheWholeBodyOfTheAnswer) {
    TestHttpServer server({"http://downloads.example/dl/Setup.exe\r\nsecond line"});
    EXPECT_EQ(inet_.OpenURL("http://" + server.host() + "/productcheck.aspx?a=1"),
              "http://downloads.example/dl/Setup.exe\r\nsecond line");
    ASSERT_EQ(server.requestLines().size(), 1u);
    EXPECT_EQ(server.requestLines()[0], "GET /productcheck.aspx?a=1 HTTP/1.1");
}

TEST_F(InetTest, ReadsAtMostTheAnswerLimit) {
    const std::string limit(platform::kMaxAnswerBytes, 'a');
    {
        TestHttpServer server({limit});
        EXPECT_EQ(inet_.OpenURL("http://" + server.host() + "/x"), limit) << "one that just fits";
    }
    TestHttpServer server({limit + std::string(3 * platform::kMaxAnswerBytes, 'b')});
    const std::string answer = inet_.OpenURL("http://" + server.host() + "/x");
    EXPECT_EQ(answer.size(), platform::kMaxAnswerBytes);
    EXPECT_EQ(answer, limit);
}

TEST_F(InetTest, FailedFetchesGiveTheEmptyText) {
    {
        TestHttpServer server({"http://downloads.example/dl/Setup.exe", 404});
        EXPECT_EQ(inet_.OpenURL("http://" + server.host() + "/x"), "");
        EXPECT_EQ(server.requestLines().size(), 1u);
    }
    const testing_support::RefusingPort refusing;
    EXPECT_EQ(inet_.OpenURL("http://" + refusing.host() + "/x"), "");
}

TEST_F(InetTest, GivesUpAfterTheRequestTimeOut) {
    TestHttpServer server({"never sent", 200, true});
    inet_.RequestTimeout = 1;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(inet_.OpenURL("http://" + server.host() + "/slow"), "");
    const auto waited = std::chrono::steady_clock::now() - start;
    EXPECT_GE(waited, std::chrono::milliseconds(900));
    EXPECT_LT(waited, std::chrono::seconds(15));
}

}  // namespace

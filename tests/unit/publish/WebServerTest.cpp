#include <gtest/gtest.h>

#include <chrono>
#include <random>
#include <thread>

#include "HttpClient.h"
#include "document/VantelDoc.h"
#include "publish/WebPublisher.h"

namespace {

using Clock = std::chrono::steady_clock;

// Starts the publisher on a free port: ports in use are reported as bind
// failures, so the next candidate is tried.
uint16_t StartOnFreePort(VantelDoc& doc, WebPublisher& web) {
    static std::mt19937 random(static_cast<unsigned>(Clock::now().time_since_epoch().count()));
    for (int attempt = 0; attempt < 50; ++attempt) {
        const int port = 20000 + static_cast<int>(random() % 40000);
        doc.SetWebPort(port);
        if (web.StartWeb()) return static_cast<uint16_t>(port);
        EXPECT_FALSE(web.Error().empty());
    }
    ADD_FAILURE() << "no free port";
    return 0;
}

class WebServerTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(doc.Settings().datamap.Insert(100, DataItem::MakeUnsignedShort(17)));
        port = StartOnFreePort(doc, web);
        ASSERT_NE(port, 0);
    }

    void ExpectJsonAnswer(const std::string& target, const std::string& body) {
        HttpAnswer answer = HttpGet(port, target);
        ASSERT_TRUE(answer.received) << target;
        EXPECT_EQ(answer.status, 200) << target;
        EXPECT_EQ(answer.Header("content-type"), "application/json") << target;
        EXPECT_EQ(answer.Header("access-control-allow-origin"), "*") << target;
        EXPECT_EQ(answer.HeaderCount("access-control-allow-origin"), 1u) << target;
        EXPECT_TRUE(answer.validJson) << target << ": " << answer.body;
        EXPECT_EQ(answer.body, body) << target;
    }

    VantelDoc doc;
    WebPublisher web{doc};
    uint16_t port = 0;
};

TEST_F(WebServerTest, EveryRouteAnswersJsonWithStatus200AndTheCrossOriginHeader) {
    ExpectJsonAnswer("/subscribe?item=100&item%5B%5D=101", R"({"link":false,"values":[]})");
    ExpectJsonAnswer("/updates", R"({"link":false,"values":[{"name":100,"value":"17"}]})");
    ExpectJsonAnswer("/ident?item=100&value=42", R"({"result":"ok"})");
    ExpectJsonAnswer("/ident?item=100", R"({"result":"failed"})");
    ExpectJsonAnswer("/100", R"([{"name":100,"value":"42"}])");
    ExpectJsonAnswer("/subscribe/",
                     R"({"app":"","connected":false,"program":"Kestrom Master","running":false,)"
                     R"("version":"1.0.0.0"})");
    ExpectJsonAnswer("/%22%0A?item=\"", R"({"app":"","connected":false,"program":"Kestrom Master",)"
                                        R"("running":false,"version":"1.0.0.0"})");
}

TEST_F(WebServerTest, HeadGetsTheHeadersWithoutABodyAndOtherMethodsAreNotServed) {
    HttpAnswer head = HttpGet(port, "/100", "HEAD");
    ASSERT_TRUE(head.received);
    EXPECT_EQ(head.status, 200);
    EXPECT_EQ(head.Header("access-control-allow-origin"), "*");
    EXPECT_TRUE(head.body.empty());

    HttpAnswer options = HttpGet(port, "/100", "OPTIONS");
    ASSERT_TRUE(options.received);
    EXPECT_NE(options.status, 200);
    const std::string post = RawExchange(
        port, "POST /ident?item=100&value=1 HTTP/1.1\r\nHost: x\r\nContent-Length: 0\r\n\r\n");
    EXPECT_EQ(post.compare(0, 12, "HTTP/1.1 400"), 0) << "POST is refused: " << post;
    EXPECT_EQ(doc.Settings().datamap.Find(100)->AsUnsignedShort(), 17) << "no write by POST";
    ExpectJsonAnswer("/100", R"([{"name":100,"value":"17"}])");
}

TEST_F(WebServerTest, RestartMovesTheListenerToTheNewPort) {
    VantelDoc other;
    WebPublisher probe(other);
    const uint16_t newPort = StartOnFreePort(other, probe);
    probe.StopWeb();  // the port was free a moment ago: move there

    doc.SetWebPort(newPort);
    ASSERT_TRUE(web.RestartWeb()) << std::string(web.Error().begin(), web.Error().end());
    EXPECT_FALSE(CanConnect(port)) << "the old port is closed";
    port = newPort;
    ExpectJsonAnswer("/100", R"([{"name":100,"value":"17"}])");

    ASSERT_TRUE(web.RestartWeb()) << "the same port is taken again at once";
    ExpectJsonAnswer("/100", R"([{"name":100,"value":"17"}])");
}

TEST_F(WebServerTest, ABadPortOrAPortInUseIsReported) {
    VantelDoc other;
    WebPublisher second(other);
    for (int bad : {0, -1, 65536, 70000}) {
        other.SetWebPort(bad);
        EXPECT_FALSE(second.StartWeb()) << bad;
        EXPECT_NE(second.Error().find(L"65535"), std::wstring::npos) << bad;
    }
    other.SetWebPort(port);
    EXPECT_FALSE(second.StartWeb()) << "port " << port << " is ours already";
    EXPECT_EQ(second.Error(), L"Can't listen on web port " + std::to_wstring(port));
    EXPECT_FALSE(second.IsRunning());
    ExpectJsonAnswer("/100", R"([{"name":100,"value":"17"}])");
}

TEST_F(WebServerTest, ABodyIsRefusedUnreadAndLeavesMemoryAlone) {
    // Warm up the worker threads so their stacks are counted before.
    ExpectJsonAnswer("/100", R"([{"name":100,"value":"17"}])");
    const uint64_t before = ResidentBytes();
    const uint64_t taken =
        SendChunkedBody(port, "POST /x HTTP/1.1\r\nHost: x\r\nTransfer-Encoding: chunked\r\n\r\n",
                        64ull << 20, 1000);
    const uint64_t after = ResidentBytes();
    EXPECT_LT(taken, 16ull << 20) << "the server stopped taking the body";
    if (before != 0) {
        EXPECT_LT(after, before + (4ull << 20)) << before << " -> " << after;
    }

    const std::string get =
        RawExchange(port, "GET /100 HTTP/1.1\r\nHost: x\r\nContent-Length: 5\r\n\r\nhello");
    EXPECT_EQ(get.compare(0, 12, "HTTP/1.1 400"), 0) << "a GET with a body is refused: " << get;
    const std::string expect = RawExchange(
        port, "PUT /x HTTP/1.1\r\nHost: x\r\nContent-Length: 100\r\nExpect: 100-continue\r\n\r\n");
    EXPECT_EQ(expect.compare(0, 12, "HTTP/1.1 413"), 0) << "no invitation to send: " << expect;
    ExpectJsonAnswer("/100", R"([{"name":100,"value":"17"}])");
}

TEST_F(WebServerTest, AnOversizedHeadIsCutOffAndTheServerGoesOn) {
    const std::string longHeader = "X-Pad: " + std::string(64 * 1024, 'a') + "\r\n";
    const std::string reply =
        RawExchange(port, "GET /100 HTTP/1.1\r\nHost: x\r\n" + longHeader + "\r\n", 3000);
    EXPECT_EQ(reply.find("\"value\""), std::string::npos) << "not served: " << reply.substr(0, 80);
    std::string manyHeaders;
    for (int i = 0; i < 5000; ++i) manyHeaders += "X-" + std::to_string(i) + ": 1\r\n";
    const std::string many =
        RawExchange(port, "GET /100 HTTP/1.1\r\nHost: x\r\n" + manyHeaders + "\r\n", 3000);
    EXPECT_EQ(many.find("\"value\""), std::string::npos) << many.substr(0, 80);
    ExpectJsonAnswer("/100", R"([{"name":100,"value":"17"}])");
}

TEST_F(WebServerTest, KeptAliveConnectionsServeSeveralRequestsAndDoNotDelayAStop) {
    const std::string twice = RawExchange(
        port, "GET /100 HTTP/1.1\r\nHost: x\r\n\r\nGET /subscribe/ HTTP/1.1\r\nHost: x\r\n\r\n",
        500);
    EXPECT_NE(twice.find("[{\"name\":100"), std::string::npos) << twice;
    EXPECT_NE(twice.find("\"program\":\"Kestrom Master\""), std::string::npos) << twice;

    // An idle kept-alive connection is open while the server stops.
    const auto start = Clock::now();
    std::string idle;
    std::thread client(
        [&] { idle = RawExchange(port, "GET /100 HTTP/1.1\r\nHost: x\r\n\r\n", 3000); });
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    web.StopWeb();
    const auto stopped = Clock::now() - start;
    client.join();
    EXPECT_LT(stopped, std::chrono::milliseconds(1500));
    EXPECT_NE(idle.find("[{\"name\":100"), std::string::npos) << idle;
    EXPECT_FALSE(CanConnect(port));
}

}  // namespace

// The update service's HTTP access against a real server on loopback,
// plain and TLS.
#include <gtest/gtest.h>

#include <curl/curl.h>
#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <thread>
#include <utility>
#include <vector>

#include "platform/DebugTrace.h"
#include "support/LoopbackServer.h"
#include "support/MappedLibrary.h"
#include "support/Sha256.h"
#include "support/TempFolder.h"
#include "update/CurlLoader.h"
#include "update/HttpClient.h"

namespace m470 {
namespace {

using test::LoopbackServer;
using test::Sha256Hex;
using test::TlsFixture;
using Calls = std::vector<std::pair<double, double>>;

std::string Bytes(size_t count) {
    std::string bytes(count, '\0');
    for (size_t i = 0; i < count; ++i) bytes[i] = static_cast<char>('a' + i % 26);
    return bytes;
}

HttpClient TrustingClient(const std::atomic<bool>* abort = nullptr, HttpLimits limits = {}) {
    HttpSettings settings;
    settings.extraCaFile = TlsFixture("ca.pem");
    settings.abort = abort;
    settings.limits = limits;
    return HttpClient(settings);
}

// Proxy variables of the test's environment stay out of these tests.
class Http : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char* name : kProxyNames) ::unsetenv(name);
        ::unsetenv(kCurlLibraryVariable);
    }
    void TearDown() override { SetUp(); }
    static constexpr const char* kProxyNames[] = {"http_proxy", "HTTP_PROXY", "https_proxy", "HTTPS_PROXY", "all_proxy",
                                                  "ALL_PROXY",  "no_proxy",   "NO_PROXY"};

    // Downloads url into a fresh file; the calls and the file's bytes.
    DownloadOutcome Download(HttpClient& client, const std::string& url, Calls& calls, std::string* content = nullptr) {
        const std::string path = folder.File("download.bin");
        const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        const DownloadOutcome outcome = client.DownloadFile(url, fd, [&](double total, double received) { calls.emplace_back(total, received); });
        ::close(fd);
        if (content != nullptr) *content = folder.Read("download.bin");
        return outcome;
    }

    test::TempFolder folder;
};

TEST_F(Http, APostCarriesTheFormHeadersAndTheGivenBodyLength) {
    LoopbackServer server(false);
    test::SeenRequest seen;
    server.On("POST", "/api/updates", [&](const test::SeenRequest& request) {
        seen = request;
        return test::Answer{200, R"({"version":"0106"})", "application/json"};
    });
    server.Start();
    const std::string form = "app_key=NULL&version=105";
    std::vector<char> answer(1024, '\0');
    HttpClient client;
    // The terminating zero goes too: the length is the caller's.
    const int length = client.HttpRequest("post", server.Base() + "api/updates", form.c_str(), form.size() + 1, answer.data(), answer.size());
    EXPECT_EQ(length, 18);
    EXPECT_STREQ(answer.data(), R"({"version":"0106"})");
    EXPECT_EQ(seen.body, form + std::string(1, '\0'));
    EXPECT_EQ(seen.Header("Content-Length"), std::to_string(form.size() + 1));
    EXPECT_EQ(seen.Header("Content-Type"), "application/x-www-form-urlencoded");
    EXPECT_EQ(seen.Header("Accept"), "application/prs.Kestro.v1+json");
    EXPECT_EQ(client.LastStatus(), 200);
    EXPECT_EQ(client.LastError(), 0u);
}

TEST_F(Http, BadArgumentsAndARefusedConnection) {
    HttpClient client;
    std::vector<char> answer(64, '\0');
    EXPECT_EQ(client.HttpRequest("GET", "", nullptr, 0, answer.data(), answer.size()), -1);
    EXPECT_EQ(client.LastError(), 3u);
    EXPECT_EQ(client.HttpRequest("PUT", "http://127.0.0.1:1/", nullptr, 0, answer.data(), answer.size()), -1);
    EXPECT_EQ(client.LastError(), 87u);
    const std::string url = "http://127.0.0.1:" + std::to_string(LoopbackServer::RefusedPort()) + "/api/updates";
    EXPECT_EQ(client.HttpRequest("POST", url, "x", 2, answer.data(), answer.size()), 0);
    EXPECT_STREQ(answer.data(), "NO_LINK_SERVER");
    EXPECT_EQ(client.LastError(), static_cast<uint32_t>(CURLE_COULDNT_CONNECT));
}

// libcurl (and with it TLS, Kerberos, LDAP...) is mapped while a request runs
// and gone after it; when it cannot be loaded nothing is sent, the request
// ends as one that found no server and the trace says why.
TEST_F(Http, LibcurlIsMappedOnlyWhileARequestRunsAndItsAbsenceFailsCleanly) {
    ASSERT_FALSE(test::Mapped("/libcurl.so")) << "nothing earlier in this process may hold it";
    LoopbackServer server(true);
    bool mappedDuring = false;
    size_t holdersDuring = 0;
    server.On("POST", "/api/updates", [&](const test::SeenRequest&) {
        mappedDuring = test::Mapped("/libcurl.so");
        holdersDuring = CurlLoader::Holders();
        return test::Answer{200, "{}", "application/json"};
    });
    server.On("GET", "/fw.bin", [](const test::SeenRequest&) { return test::Answer{200, Bytes(3000)}; });
    server.Start();
    std::vector<char> answer(64, '\0');
    HttpClient client = TrustingClient();
    EXPECT_EQ(client.HttpRequest("POST", server.Base() + "api/updates", "a", 2, answer.data(), answer.size()), 2);
    EXPECT_TRUE(mappedDuring);
    EXPECT_EQ(holdersDuring, 1u);
    EXPECT_FALSE(test::Mapped("/libcurl.so"));
    EXPECT_EQ(CurlLoader::Holders(), 0u);

    ::setenv(kCurlLibraryVariable, "libcurl-absent.so.4", 1);
    DebugTrace::Clear();
    std::memset(answer.data(), 'x', answer.size());
    EXPECT_EQ(client.HttpRequest("POST", server.Base() + "api/updates", "a", 2, answer.data(), answer.size()), 0);
    EXPECT_STREQ(answer.data(), "NO_LINK_SERVER");
    EXPECT_EQ(client.LastError(), static_cast<uint32_t>(CURLE_FAILED_INIT));
    EXPECT_EQ(client.LastFailure(), HttpFailure::Other);
    EXPECT_EQ(client.LastStatus(), 0);
    EXPECT_TRUE(DebugTrace::Contains("update: request to " + server.Base() +
                                     "api/updates not sent: libcurl-absent.so.4 could not be loaded: libcurl-absent.so.4: "
                                     "cannot open shared object file"));
    Calls calls;
    std::string content = "untouched";
    const DownloadOutcome outcome = Download(client, server.Base() + "fw.bin", calls, &content);
    EXPECT_FALSE(outcome.complete);
    EXPECT_EQ(outcome.failure, HttpFailure::Other);
    EXPECT_EQ(calls, (Calls{{0, 0}}));
    EXPECT_EQ(content, "");
    EXPECT_TRUE(DebugTrace::Contains("update: download of " + server.Base() +
                                     "fw.bin not started: libcurl-absent.so.4 could not be loaded"));
    EXPECT_EQ(server.Requests(), 1);
    EXPECT_EQ(CurlLoader::Holders(), 0u);

    // A failed load leaves nothing behind: the next request loads it again.
    ::unsetenv(kCurlLibraryVariable);
    calls.clear();
    EXPECT_TRUE(Download(client, server.Base() + "fw.bin", calls, &content).complete);
    EXPECT_EQ(content, Bytes(3000));
    EXPECT_FALSE(test::Mapped("/libcurl.so"));
}

TEST_F(Http, AnAnswerLongerThanTheBufferIsCutAndTerminated) {
    LoopbackServer server(false);
    const std::string big = Bytes(150000);
    server.On("GET", "/big", [&](const test::SeenRequest&) { return test::Answer{200, big, "text/plain"}; });
    server.Start();
    std::vector<char> answer(102400, 'x');  // not zeroed: the terminating zero must be ours
    HttpClient client;
    EXPECT_EQ(client.HttpRequest("GET", server.Base() + "big", nullptr, 0, answer.data(), answer.size()), 102399);
    EXPECT_EQ(answer[102399], '\0');
    EXPECT_EQ(std::string(answer.data()), big.substr(0, 102399));
}

TEST_F(Http, TlsIsRefusedWithoutTheAuthorityAndAcceptedWithIt) {
    LoopbackServer server(true);
    server.On("POST", "/api/updates", [](const test::SeenRequest&) { return test::Answer{200, "{}", "application/json"}; });
    server.Start();
    std::vector<char> answer(64, '\0');
    HttpClient stranger;
    EXPECT_EQ(stranger.HttpRequest("POST", server.Base() + "api/updates", "a", 2, answer.data(), answer.size()), 0);
    EXPECT_STREQ(answer.data(), "NO_LINK_SERVER");
    EXPECT_EQ(stranger.LastError(), static_cast<uint32_t>(CURLE_PEER_FAILED_VERIFICATION));
    HttpClient trusting = TrustingClient();
    EXPECT_EQ(trusting.HttpRequest("POST", server.Base() + "api/updates", "a", 2, answer.data(), answer.size()), 2);
    EXPECT_STREQ(answer.data(), "{}");
}

TEST_F(Http, ADownloadReportsItsProgressIn1024ByteSteps) {
    LoopbackServer server(true);
    const std::string file = Bytes(2500);
    server.On("GET", "/file.bin", [&](const test::SeenRequest&) { return test::Answer{200, file}; });
    server.Start();
    HttpClient client = TrustingClient();
    Calls calls;
    std::string written;
    const DownloadOutcome outcome = Download(client, server.Base() + "file.bin", calls, &written);
    EXPECT_EQ(calls, (Calls{{2500, 1024}, {2500, 2048}, {2500, 2500}}));
    EXPECT_TRUE(outcome.complete);
    EXPECT_EQ(written, file);
    EXPECT_EQ(outcome.sha256, Sha256Hex(file));
}

TEST_F(Http, AFailedDownloadEndsWithATotalOfZero) {
    LoopbackServer server(true);
    // A page of its own length.
    server.On("GET", "/missing.bin", [](const test::SeenRequest&) { return test::Answer{404, Bytes(3000), "text/html"}; });
    // The server announces 2500 bytes and closes after 1500.
    server.On("GET", "/short.bin", [](const test::SeenRequest&) {
        test::Answer answer{200, Bytes(2500)};
        answer.closeAfter = 1500;
        return answer;
    });
    server.Start();
    HttpClient client = TrustingClient();
    Calls notFound;
    const DownloadOutcome missing = Download(client, server.Base() + "missing.bin", notFound);
    EXPECT_FALSE(missing.complete);
    EXPECT_EQ(missing.status, 404);
    EXPECT_EQ(notFound, (Calls{{0, 0}}));
    Calls cut;
    const DownloadOutcome early = Download(client, server.Base() + "short.bin", cut);
    EXPECT_FALSE(early.complete);
    ASSERT_FALSE(cut.empty());
    EXPECT_EQ(cut.back().first, 0);
    EXPECT_EQ(cut.back().second, 1500);
    EXPECT_EQ(cut.front(), (std::pair<double, double>{2500, 1024}));
}

TEST_F(Http, DownloadsAreHttpsOnlyAndVerified) {
    LoopbackServer plain(false), secure(true);
    plain.On("GET", "/file.bin", [](const test::SeenRequest&) { return test::Answer{200, "MZ"}; });
    const std::string plainUrl = [&] {
        plain.Start();
        return plain.Base() + "file.bin";
    }();
    secure.On("GET", "/moved.bin", [&](const test::SeenRequest&) {
        test::Answer answer;
        answer.redirect = plainUrl;
        return answer;
    });
    secure.On("GET", "/file.bin", [](const test::SeenRequest&) { return test::Answer{200, "MZ"}; });
    secure.Start();
    HttpClient trusting = TrustingClient();
    Calls direct, moved, stranger;
    EXPECT_FALSE(Download(trusting, plainUrl, direct).complete);
    EXPECT_FALSE(Download(trusting, secure.Base() + "moved.bin", moved).complete);
    EXPECT_EQ(plain.Requests(), 0);  // neither the address nor the redirect reached plain http
    HttpClient untrusting;
    EXPECT_FALSE(Download(untrusting, secure.Base() + "file.bin", stranger).complete);
    EXPECT_EQ(direct, (Calls{{0, 0}}));
    EXPECT_EQ(moved, (Calls{{0, 0}}));
    EXPECT_EQ(stranger, (Calls{{0, 0}}));
}

TEST_F(Http, TheAbortFlagEndsAStalledDownload) {
    LoopbackServer server(true);
    server.On("GET", "/stalled.bin", [](const test::SeenRequest&) {
        test::Answer answer{200, Bytes(5000)};
        answer.stall = true;
        return answer;
    });
    server.Start();
    std::atomic<bool> abort{false};
    HttpClient client = TrustingClient(&abort);
    Calls calls;
    std::thread stopper([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        abort = true;
    });
    const DownloadOutcome outcome = Download(client, server.Base() + "stalled.bin", calls);
    stopper.join();
    server.Release();
    EXPECT_FALSE(outcome.complete);
    // Ended by the flag, not by the 30 s stall limit.
    EXPECT_EQ(client.LastError(), static_cast<uint32_t>(CURLE_ABORTED_BY_CALLBACK));
    EXPECT_EQ(calls, (Calls{{0, 0}}));
}

TEST_F(Http, ProxiesFromTheEnvironmentOnlyAfterADirectAttemptFailed) {
    LoopbackServer proxy(false), service(false);
    std::string asked;
    proxy.On("POST", ".*", [&](const test::SeenRequest& request) {
        asked = request.target;
        return test::Answer{200, "through the proxy", "text/plain"};
    });
    service.On("POST", "/api/updates", [](const test::SeenRequest&) { return test::Answer{200, "direct", "text/plain"}; });
    proxy.Start();
    service.Start();
    ::setenv("http_proxy", ("http://127.0.0.1:" + std::to_string(proxy.Port())).c_str(), 1);
    HttpClient client;
    std::vector<char> answer(64, '\0');
    // Reachable directly: the proxy is not asked.
    EXPECT_EQ(client.HttpRequest("POST", service.Base() + "api/updates", "a", 2, answer.data(), answer.size()), 6);
    EXPECT_STREQ(answer.data(), "direct");
    EXPECT_EQ(proxy.Requests(), 0);
    // Not reachable directly: the same request goes through the proxy.
    const std::string unreachable = "http://127.0.0.1:" + std::to_string(LoopbackServer::RefusedPort()) + "/api/updates";
    EXPECT_EQ(client.HttpRequest("POST", unreachable, "a", 2, answer.data(), answer.size()), 17);
    EXPECT_STREQ(answer.data(), "through the proxy");
    EXPECT_EQ(asked, unreachable);
    EXPECT_EQ(HttpClient::ProxyFromEnvironment("https://example.invalid/"), "");
    ::setenv("HTTPS_PROXY", "http://proxy.invalid:3128", 1);
    EXPECT_EQ(HttpClient::ProxyFromEnvironment("https://example.invalid/"), "http://proxy.invalid:3128");
}

// A service that trickles its answer one byte at a time is cut off at the
// request's deadline, and the failure says so (its own text in the window).
TEST_F(Http, ATricklingAnswerEndsAtTheRequestDeadline) {
    LoopbackServer server(false);
    server.On("POST", "/api/updates", [](const test::SeenRequest&) {
        test::Answer answer{200, R"({"version":"0106","path":"https://example.invalid/fw.exe"})", "application/json"};
        answer.trickleMs = 100;
        return answer;
    });
    server.Start();
    HttpLimits limits;
    limits.requestDeadlineMs = 600;
    HttpClient client = TrustingClient(nullptr, limits);
    char answer[256];
    client.HttpRequest("POST", server.Base() + "api/updates", "a", 1, answer, sizeof answer);
    EXPECT_EQ(client.LastError(), static_cast<uint32_t>(CURLE_OPERATION_TIMEDOUT));
    EXPECT_EQ(client.LastFailure(), HttpFailure::Deadline);
    EXPECT_LT(std::string(answer).size(), 56u) << "cut before the whole answer came";
    server.Stop();
}

// The download's size decides its deadline (the request's plus the size at
// the minimum rate) and is capped: above the maximum nothing is fetched, and
// no more than declared is ever written.
TEST_F(Http, ADownloadIsBoundByItsDeclaredSizeAndAMinimumRate) {
    LoopbackServer server(true);
    server.On("GET", "/slow.bin", [](const test::SeenRequest&) {
        test::Answer answer{200, Bytes(4000)};
        answer.trickleMs = 20;
        return answer;
    });
    server.On("GET", "/big.bin", [](const test::SeenRequest&) { return test::Answer{200, Bytes(5000)}; });
    server.On("GET", "/more.bin", [](const test::SeenRequest&) {
        test::Answer answer{200, Bytes(9000)};
        answer.declared = 3000;
        return answer;
    });
    server.Start();
    HttpLimits limits;
    limits.requestDeadlineMs = 300;
    limits.minDownloadBytesPerSecond = 8000;  // 4000 bytes: 300 + 500 ms, where the trickle needs 80 s
    limits.maxDownloadBytes = 4096;
    HttpClient client = TrustingClient(nullptr, limits);
    Calls calls;
    std::string content;
    const DownloadOutcome slow = Download(client, server.Base() + "slow.bin", calls, &content);
    server.Release();
    EXPECT_FALSE(slow.complete);
    EXPECT_EQ(slow.failure, HttpFailure::TooSlow);
    EXPECT_LT(content.size(), 4000u);

    calls.clear();
    const DownloadOutcome big = Download(client, server.Base() + "big.bin", calls, &content);
    EXPECT_FALSE(big.complete);
    EXPECT_EQ(big.failure, HttpFailure::TooLarge);
    EXPECT_EQ(content, "") << "nothing of it was written";
    EXPECT_EQ(calls, (Calls{{0, 0}}));

    const DownloadOutcome more = Download(client, server.Base() + "more.bin", calls, &content);
    EXPECT_EQ(content, Bytes(3000)) << "the declared size is all that is taken";
    EXPECT_EQ(more.received, 3000u);
    server.Stop();
}

}  // namespace
}  // namespace m470

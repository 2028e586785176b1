#include "update/HttpClient.h"

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "platform/DebugTrace.h"
#include "platform/Text.h"
#include "update/CurlLoader.h"

namespace m470 {
namespace {

constexpr uint32_t kErrorBadUrl = 3;
constexpr uint32_t kErrorBadMethod = 87;
constexpr uint64_t kProgressStep = 1024;

// Each owns what the loaded library made; it ends before the loader does.
using CurlHandle = std::unique_ptr<CURL, void (*)(CURL*)>;
using HeaderList = std::unique_ptr<curl_slist, void (*)(curl_slist*)>;
using Digest = std::unique_ptr<EVP_MD_CTX, void (*)(EVP_MD_CTX*)>;

bool IsSuccess(long status) { return status >= 200 && status <= 299; }

// What is watched while a transfer runs: the abort flag and, for a
// download, the deadline that grows with the declared size.
struct TransferWatch {
    const std::atomic<bool>* abort = nullptr;
    HttpLimits limits;
    bool download = false;
    std::chrono::steady_clock::time_point started = std::chrono::steady_clock::now();
    HttpFailure late = HttpFailure::None;
};

// The milliseconds a download of total bytes may take.
uint64_t DownloadAllowanceMs(const HttpLimits& limits, uint64_t total) {
    return static_cast<uint64_t>(std::max(0L, limits.requestDeadlineMs)) +
           total * 1000 / std::max<uint64_t>(1, limits.minDownloadBytesPerSecond);
}

// Called by libcurl at least once a second, also while nothing arrives.
int WatchTransfer(void* context, curl_off_t downloadTotal, curl_off_t, curl_off_t, curl_off_t) {
    auto& watch = *static_cast<TransferWatch*>(context);
    if (watch.abort != nullptr && watch.abort->load()) return 1;
    if (!watch.download) return 0;  // a request has libcurl's own deadline
    const uint64_t total = downloadTotal > 0 ? static_cast<uint64_t>(downloadTotal) : 0;
    const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - watch.started);
    if (static_cast<uint64_t>(elapsed.count()) <= DownloadAllowanceMs(watch.limits, total)) return 0;
    watch.late = total > 0 ? HttpFailure::TooSlow : HttpFailure::Deadline;
    return 1;
}

// What the window is told about a failed transfer.
HttpFailure FailureOf(CURLcode result, const TransferWatch& watch) {
    if (watch.late != HttpFailure::None) return watch.late;
    if (result == CURLE_OPERATION_TIMEDOUT) return HttpFailure::Deadline;
    if (result == CURLE_FILESIZE_EXCEEDED) return HttpFailure::TooLarge;
    return result == CURLE_OK ? HttpFailure::None : HttpFailure::Other;
}

// Settings both calls share: timeouts, verification, the abort check.
void CommonOptions(const CurlFunctions& api, CURL* curl, const HttpSettings& settings, TransferWatch& watch) {
    watch.abort = settings.abort;
    watch.limits = settings.limits;
    api.easySetopt(curl, CURLOPT_USERAGENT, settings.userAgent.c_str());
    api.easySetopt(curl, CURLOPT_CONNECTTIMEOUT_MS, settings.connectTimeoutMs);
    api.easySetopt(curl, CURLOPT_LOW_SPEED_LIMIT, 1L);
    api.easySetopt(curl, CURLOPT_LOW_SPEED_TIME, std::max(1L, settings.stallTimeoutMs / 1000));
    api.easySetopt(curl, CURLOPT_SSL_VERIFYPEER, 1L);
    api.easySetopt(curl, CURLOPT_SSL_VERIFYHOST, 2L);
    if (!settings.extraCaFile.empty()) api.easySetopt(curl, CURLOPT_CAINFO, settings.extraCaFile.c_str());
    api.easySetopt(curl, CURLOPT_NOSIGNAL, 1L);
    api.easySetopt(curl, CURLOPT_NOPROGRESS, 0L);
    api.easySetopt(curl, CURLOPT_XFERINFOFUNCTION, WatchTransfer);
    api.easySetopt(curl, CURLOPT_XFERINFODATA, &watch);
    // The first attempt goes direct; proxies come only after it failed.
    api.easySetopt(curl, CURLOPT_PROXY, "");
    api.easySetopt(curl, CURLOPT_NOPROXY, "*");
}

// Nothing of the request left this host: no header bytes were sent.
bool NothingSent(const CurlFunctions& api, CURL* curl) {
    long sent = 0;
    api.easyGetinfo(curl, CURLINFO_REQUEST_SIZE, &sent);
    return sent == 0;
}

// One perform, and when nothing could be sent directly, one more through the
// proxy the environment names.
CURLcode PerformWithProxyFallback(const CurlFunctions& api, CURL* curl, const std::string& url) {
    CURLcode result = api.easyPerform(curl);
    if (result == CURLE_OK || !NothingSent(api, curl) || result == CURLE_ABORTED_BY_CALLBACK) return result;
    const std::string proxy = HttpClient::ProxyFromEnvironment(url);
    if (proxy.empty()) return result;
    DebugTrace::Printf("update: direct request failed (%s), again through the proxy", api.easyStrerror(result));
    const char* noProxy = std::getenv("no_proxy") != nullptr ? std::getenv("no_proxy") : std::getenv("NO_PROXY");
    api.easySetopt(curl, CURLOPT_PROXY, proxy.c_str());
    api.easySetopt(curl, CURLOPT_NOPROXY, noProxy != nullptr ? noProxy : "");
    return api.easyPerform(curl);
}

struct ReplyBuffer {
    char* data;
    size_t capacity;  // bytes that may hold text; one more holds the terminating zero
    size_t used = 0;
};

size_t AppendReply(char* chunk, size_t size, size_t count, void* context) {
    auto* buffer = static_cast<ReplyBuffer*>(context);
    const size_t length = size * count;
    const size_t taken = std::min(length, buffer->capacity - buffer->used);
    std::memcpy(buffer->data + buffer->used, chunk, taken);
    buffer->used += taken;
    return length;  // the rest is dropped, not refused: the answer is cut
}

struct DownloadState {
    const CurlFunctions* api;
    CURL* curl;
    int fd;
    const DownloadProgress* progress;
    EVP_MD_CTX* digest;
    uint64_t maxBytes;
    uint64_t total = 0;
    uint64_t received = 0;
    uint64_t reported = 0;
    bool started = false;
    bool refused = false;
    HttpFailure failure = HttpFailure::Other;
};

// The first body bytes decide: a non-2xx answer or an unknown size stops here.
bool StartBody(DownloadState& state) {
    state.started = true;
    long status = 0;
    state.api->easyGetinfo(state.curl, CURLINFO_RESPONSE_CODE, &status);
    curl_off_t length = -1;
    state.api->easyGetinfo(state.curl, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length);
    if (!IsSuccess(status) || length <= 0 || static_cast<uint64_t>(length) > state.maxBytes) {
        DebugTrace::Printf("update: download refused (status %ld, length %lld)", status, static_cast<long long>(length));
        state.refused = true;
        if (IsSuccess(status)) state.failure = length <= 0 ? HttpFailure::SizeUnknown : HttpFailure::TooLarge;
        return false;
    }
    state.total = static_cast<uint64_t>(length);
    return true;
}

bool WriteAll(int fd, const char* data, size_t length) {
    while (length > 0) {
        const ssize_t written = ::write(fd, data, length);
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) return false;
        data += written;
        length -= static_cast<size_t>(written);
    }
    return true;
}

size_t WriteDownload(char* chunk, size_t size, size_t count, void* context) {
    auto& state = *static_cast<DownloadState*>(context);
    const size_t length = size * count;
    if (!state.started && !StartBody(state)) return 0;
    if (state.received + length > state.total) {
        state.refused = true;  // more than declared: the declared size is all that is taken
        state.failure = HttpFailure::SizeUnknown;
        return 0;
    }
    if (!WriteAll(state.fd, chunk, length)) return 0;
    state.api->digestUpdate(state.digest, chunk, length);
    state.received += length;
    while (state.reported + kProgressStep <= state.received && state.reported + kProgressStep < state.total) {
        state.reported += kProgressStep;
        (*state.progress)(static_cast<double>(state.total), static_cast<double>(state.reported));
    }
    return length;
}

std::string HexOf(const unsigned char* bytes, unsigned length) {
    static const char kDigits[] = "0123456789abcdef";
    std::string hex;
    for (unsigned i = 0; i < length; ++i) {
        hex += kDigits[bytes[i] >> 4];
        hex += kDigits[bytes[i] & 0x0F];
    }
    return hex;
}

}  // namespace

HttpClient::HttpClient(HttpSettings settings) : settings_(std::move(settings)) {}

std::string HttpClient::ProxyFromEnvironment(const std::string& url) {
    const bool secure = url.rfind("https:", 0) == 0;
    const char* names[] = {secure ? "https_proxy" : "http_proxy", secure ? "HTTPS_PROXY" : "HTTP_PROXY", "all_proxy", "ALL_PROXY"};
    for (const char* name : names)
        if (const char* value = std::getenv(name); value != nullptr && value[0] != '\0') return value;
    return {};
}

int HttpClient::HttpRequest(std::string_view method, const std::string& url, const char* body, size_t bodyLength,
                            char* response, size_t responseSize) {
    lastStatus_ = 0;
    if (url.empty()) {
        lastError_ = kErrorBadUrl;
        return -1;
    }
    const bool post = EqualsIgnoringCase(method, "POST");
    if (!post && !EqualsIgnoringCase(method, "GET")) {
        lastError_ = kErrorBadMethod;
        return -1;
    }
    if (response == nullptr || responseSize == 0) {
        lastError_ = kErrorBadMethod;
        return -1;
    }
    const CurlLoader api;
    if (!api.Loaded()) {
        lastError_ = CURLE_FAILED_INIT;
        lastFailure_ = HttpFailure::Other;
        return NotSent(url, api.Error(), response, responseSize);
    }
    CurlHandle curl(api->easyInit(), api->easyCleanup);
    if (!curl) {
        lastError_ = CURLE_FAILED_INIT;
        return -1;
    }
    TransferWatch watch;
    CommonOptions(*api, curl.get(), settings_, watch);
    api->easySetopt(curl.get(), CURLOPT_TIMEOUT_MS, settings_.limits.requestDeadlineMs);
    api->easySetopt(curl.get(), CURLOPT_URL, url.c_str());
    api->easySetopt(curl.get(), CURLOPT_PROTOCOLS_STR, "http,https");
    const std::string length = "Content-Length: " + std::to_string(bodyLength);
    curl_slist* headers = api->slistAppend(nullptr, length.c_str());
    headers = api->slistAppend(headers, "Content-Type: application/x-www-form-urlencoded");
    headers = api->slistAppend(headers, "Accept:application/prs.Kestro.v1+json");
    HeaderList headerList(headers, api->slistFreeAll);
    api->easySetopt(curl.get(), CURLOPT_HTTPHEADER, headers);
    if (post) {
        api->easySetopt(curl.get(), CURLOPT_POSTFIELDS, bodyLength > 0 ? body : "");
        api->easySetopt(curl.get(), CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(bodyLength));
    }
    ReplyBuffer buffer{response, responseSize - 1};
    api->easySetopt(curl.get(), CURLOPT_WRITEFUNCTION, AppendReply);
    api->easySetopt(curl.get(), CURLOPT_WRITEDATA, &buffer);
    const CURLcode result = PerformWithProxyFallback(*api, curl.get(), url);
    api->easyGetinfo(curl.get(), CURLINFO_RESPONSE_CODE, &lastStatus_);
    lastError_ = result;
    lastFailure_ = FailureOf(result, watch);
    if (result != CURLE_OK && NothingSent(*api, curl.get())) {
        return NotSent(url, api->easyStrerror(result), response, responseSize);
    }
    response[buffer.used] = '\0';
    return static_cast<int>(buffer.used);
}

int HttpClient::NotSent(const std::string& url, const std::string& why, char* response, size_t responseSize) {
    DebugTrace::Printf("update: request to %s not sent: %s", url.c_str(), why.c_str());
    const size_t text = std::min(kNoLinkServer.size(), responseSize - 1);
    std::memcpy(response, kNoLinkServer.data(), text);
    response[text] = '\0';
    return 0;
}

DownloadOutcome HttpClient::DownloadFile(const std::string& url, int fd, const DownloadProgress& progress) {
    DownloadOutcome outcome;
    outcome.failure = lastFailure_ = HttpFailure::Other;
    lastStatus_ = 0;
    const CurlLoader api;
    if (!api.Loaded()) {
        DebugTrace::Printf("update: download of %s not started: %s", url.c_str(), api.Error().c_str());
        lastError_ = CURLE_FAILED_INIT;
        progress(0, 0);
        return outcome;
    }
    CurlHandle curl(api->easyInit(), api->easyCleanup);
    Digest digest(api->digestNew(), api->digestFree);
    if (!curl || !digest || url.rfind("https://", 0) != 0 || api->digestInit(digest.get(), api->sha256(), nullptr) != 1) {
        lastError_ = !curl ? CURLE_FAILED_INIT : CURLE_UNSUPPORTED_PROTOCOL;
        progress(0, 0);
        return outcome;
    }
    TransferWatch watch;
    watch.download = true;
    CommonOptions(*api, curl.get(), settings_, watch);
    api->easySetopt(curl.get(), CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(settings_.limits.maxDownloadBytes));
    api->easySetopt(curl.get(), CURLOPT_URL, url.c_str());
    api->easySetopt(curl.get(), CURLOPT_PROTOCOLS_STR, "https");
    api->easySetopt(curl.get(), CURLOPT_REDIR_PROTOCOLS_STR, "https");
    api->easySetopt(curl.get(), CURLOPT_FOLLOWLOCATION, 1L);
    api->easySetopt(curl.get(), CURLOPT_MAXREDIRS, 5L);
    DownloadState state{&*api, curl.get(), fd, &progress, digest.get(), settings_.limits.maxDownloadBytes};
    api->easySetopt(curl.get(), CURLOPT_WRITEFUNCTION, WriteDownload);
    api->easySetopt(curl.get(), CURLOPT_WRITEDATA, &state);
    const CURLcode result = PerformWithProxyFallback(*api, curl.get(), url);
    api->easyGetinfo(curl.get(), CURLINFO_RESPONSE_CODE, &outcome.status);
    lastStatus_ = outcome.status;
    lastError_ = result;
    // An answer with no body at all never reached the write callback.
    if (result == CURLE_OK && !state.started) state.refused = true;
    outcome.received = state.received;
    outcome.total = state.total;
    outcome.complete = result == CURLE_OK && !state.refused && state.total > 0 && state.received == state.total;
    outcome.failure = outcome.complete ? HttpFailure::None : state.refused ? state.failure : FailureOf(result, watch);
    if (outcome.failure == HttpFailure::None && !outcome.complete) outcome.failure = HttpFailure::Other;
    lastFailure_ = outcome.failure;
    if (!outcome.complete) {
        DebugTrace::Printf("update: download of %s failed after %llu bytes: %s", url.c_str(),
                           static_cast<unsigned long long>(state.received), api->easyStrerror(result));
        progress(0, static_cast<double>(state.received));
        return outcome;
    }
    progress(static_cast<double>(state.total), static_cast<double>(state.received));
    unsigned char hash[EVP_MAX_MD_SIZE];
    unsigned hashLength = 0;
    api->digestFinal(digest.get(), hash, &hashLength);
    outcome.sha256 = HexOf(hash, hashLength);
    return outcome;
}

}  // namespace m470

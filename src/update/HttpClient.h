#pragma once
// The update service's HTTP access on libcurl, loaded only while a request
// or download runs: a form request whose answer lands in the caller's
// buffer, and a download into an open file with progress. When libcurl cannot
// be loaded, nothing is sent and the trace says why. Certificates and host names are always verified; a download is
// https only, also after a redirect. Each worker thread owns its client.
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace m470 {

// The text a request leaves in the buffer when nothing could be sent.
inline constexpr std::string_view kNoLinkServer = "NO_LINK_SERVER";

// How long and how much: a service that trickles its answer or sends a
// file without end must not hold the check or fill the disk.
struct HttpLimits {
    // Everything one request may take, from connecting to the last byte;
    // a download may take this plus its size at the minimum rate.
    long requestDeadlineMs = 30000;
    uint64_t minDownloadBytesPerSecond = 16 * 1024;
    // No download is taken above this, whatever size the service declares.
    uint64_t maxDownloadBytes = uint64_t{1} << 30;
};

// Why a request or a download failed, where the window has a text of its own for it.
enum class HttpFailure {
    None,
    Deadline,      // the whole request took longer than its deadline
    TooSlow,       // the download fell behind its deadline for its size
    TooLarge,      // the declared size is above the maximum
    SizeUnknown,   // the download declared no size (or more bytes came than declared)
    Other,         // anything else: refused, unreachable, a bad answer
};

struct HttpSettings {
    std::string userAgent = "WinHTTP Client/1.0";
    long connectTimeoutMs = 60000;
    // A send or a receive that makes no progress for this long fails.
    long stallTimeoutMs = 30000;
    // A further certificate authority to trust (a private update server);
    // the system's authorities are trusted in any case.
    std::string extraCaFile;
    // Raised by another thread: the transfer stops within a second.
    const std::atomic<bool>* abort = nullptr;
    HttpLimits limits;
};

// (total bytes, bytes received so far); a total of 0 tells a failed download.
using DownloadProgress = std::function<void(double total, double received)>;

struct DownloadOutcome {
    bool complete = false;
    uint64_t received = 0;
    uint64_t total = 0;
    long status = 0;         // the HTTP status of the answer, 0 without one
    std::string sha256;      // lower-case hex of what was written
    HttpFailure failure = HttpFailure::None;
};

class HttpClient {
public:
    explicit HttpClient(HttpSettings settings = {});

    // "GET" or "POST" (any case). The body's length is sent as given. The
    // answer is cut at responseSize - 1 bytes and terminated. Returns the
    // bytes written (0 with "NO_LINK_SERVER" in the buffer when nothing
    // could be sent), or -1 for an empty URL (last error 3) or another
    // method (87).
    int HttpRequest(std::string_view method, const std::string& url, const char* body, size_t bodyLength, char* response,
                    size_t responseSize);

    // Streams an https URL into fd. Progress comes in 1024-byte steps and at
    // the end; a refused address, a non-2xx answer, an unknown size or one
    // above the maximum, an early close, a missed deadline or an abort end
    // with progress (0, received). Never more than the declared size is written.
    DownloadOutcome DownloadFile(const std::string& url, int fd, const DownloadProgress& progress);

    // The libcurl code of the last failure (or 3 / 87 above; CURLE_FAILED_INIT
    // when libcurl could not be loaded), 0 after success.
    uint32_t LastError() const { return lastError_; }
    // The HTTP status of the last request's answer, 0 without one.
    long LastStatus() const { return lastStatus_; }
    // Why the last request or download failed; None after success.
    HttpFailure LastFailure() const { return lastFailure_; }

    // The proxy the usual variables name for url (https_proxy, http_proxy,
    // all_proxy, in either case); empty when none does.
    static std::string ProxyFromEnvironment(const std::string& url);

private:
    // Leaves "NO_LINK_SERVER" in the buffer and says why in the trace; returns 0.
    static int NotSent(const std::string& url, const std::string& why, char* response, size_t responseSize);

    HttpSettings settings_;
    uint32_t lastError_ = 0;
    long lastStatus_ = 0;
    HttpFailure lastFailure_ = HttpFailure::None;
};

}  // namespace m470

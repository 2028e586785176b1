#pragma once
// A real HTTP server on 127.0.0.1 (plain, or TLS with the test authority's
// certificate from tests/data/tls), on a port of its own, for the update
// tests. Answers are described, not coded: a status, a body, an early close,
// a redirect or a stall. Every request is counted.
#include <cstddef>
#include <functional>
#include <map>
#include <memory>
#include <string>

namespace m470::test {

std::string TlsFixture(const char* file);

struct SeenRequest {
    std::string method, target, path, body;
    std::multimap<std::string, std::string> headers;
    std::string Header(const std::string& name) const;
};

struct Answer {
    int status = 200;
    std::string body;
    std::string contentType = "application/octet-stream";
    // Announces the whole body but sends only this many bytes, then closes.
    size_t closeAfter = std::string::npos;
    std::string redirect;  // a Location to send with status 302
    bool stall = false;    // announces the body and sends nothing until Release or Stop
    int trickleMs = 0;     // sends the body one byte at a time, this far apart (until Release or Stop)
    // Announces this many bytes instead of the body's size and sends the whole body.
    size_t declared = std::string::npos;
};

using AnswerFor = std::function<Answer(const SeenRequest&)>;

class LoopbackServer {
public:
    explicit LoopbackServer(bool tls);
    ~LoopbackServer();
    LoopbackServer(const LoopbackServer&) = delete;
    LoopbackServer& operator=(const LoopbackServer&) = delete;

    // method "GET" or "POST"; pattern a regular expression of the path.
    void On(const std::string& method, const std::string& pattern, AnswerFor answer);
    void Start();
    void Stop();
    // Ends every stall.
    void Release();
    int Port() const;
    // "http(s)://127.0.0.1:PORT/"
    std::string Base() const;
    int Requests() const;

    // A port on which nothing listens (it was free a moment ago).
    static int RefusedPort();

private:
    struct State;
    std::unique_ptr<State> state_;
};

}  // namespace m470::test

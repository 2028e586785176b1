#include "support/LoopbackServer.h"

#include <arpa/inet.h>
#include <httplib.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <thread>

namespace m470::test {

std::string TlsFixture(const char* file) { return std::string(M470_TEST_DATA_DIR) + "/tls/" + file; }

std::string SeenRequest::Header(const std::string& name) const {
    const auto found = headers.find(name);
    return found != headers.end() ? found->second : "(none)";
}

struct LoopbackServer::State {
    bool tls = false;
    std::unique_ptr<httplib::Server> server;
    std::thread thread;
    int port = 0;
    std::atomic<int> requests{0};
    std::atomic<bool> released{false};
};

LoopbackServer::LoopbackServer(bool tls) : state_(std::make_unique<State>()) {
    state_->tls = tls;
    if (tls)
        state_->server = std::make_unique<httplib::SSLServer>(TlsFixture("server.pem").c_str(), TlsFixture("server.key").c_str());
    else
        state_->server = std::make_unique<httplib::Server>();
    state_->server->set_logger([state = state_.get()](const httplib::Request&, const httplib::Response&) { ++state->requests; });
}

LoopbackServer::~LoopbackServer() { Stop(); }

void LoopbackServer::On(const std::string& method, const std::string& pattern, AnswerFor answerFor) {
    State* state = state_.get();
    auto handler = [state, answerFor](const httplib::Request& request, httplib::Response& response) {
        SeenRequest seen{request.method, request.target, request.path, request.body, {}};
        for (const auto& [name, value] : request.headers) seen.headers.emplace(name, value);
        const Answer answer = answerFor(seen);
        response.status = answer.status;
        if (!answer.redirect.empty()) {
            response.set_redirect(answer.redirect);
            return;
        }
        if (answer.stall) {
            response.set_content_provider(std::max<size_t>(answer.body.size(), 1), answer.contentType,
                                          [state](size_t, size_t, httplib::DataSink&) {
                                              for (int i = 0; i < 600 && !state->released; ++i)
                                                  std::this_thread::sleep_for(std::chrono::milliseconds(50));
                                              return false;
                                          });
            return;
        }
        if (answer.trickleMs > 0) {
            const std::string body = answer.body;
            const auto pause = std::chrono::milliseconds(answer.trickleMs);
            response.set_content_provider(body.size(), answer.contentType, [state, body, pause](size_t offset, size_t, httplib::DataSink& sink) {
                std::this_thread::sleep_for(pause);
                if (state->released || offset >= body.size()) return false;
                sink.write(body.data() + offset, 1);
                return true;
            });
            return;
        }
        if (answer.declared != std::string::npos) {
            const std::string body = answer.body;
            response.set_content_provider(answer.declared, answer.contentType, [body](size_t offset, size_t, httplib::DataSink& sink) {
                if (offset > 0) return false;
                sink.write(body.data(), body.size());
                return true;
            });
            return;
        }
        if (answer.closeAfter < answer.body.size()) {
            const std::string body = answer.body;
            const size_t sent = answer.closeAfter;
            response.set_content_provider(body.size(), answer.contentType, [body, sent](size_t offset, size_t, httplib::DataSink& sink) {
                if (offset >= sent) return false;
                sink.write(body.data() + offset, sent - offset);
                return true;
            });
            return;
        }
        response.set_content(answer.body, answer.contentType);
    };
    if (method == "GET") state_->server->Get(pattern, handler);
    else state_->server->Post(pattern, handler);
}

void LoopbackServer::Start() {
    state_->port = state_->server->bind_to_any_port("127.0.0.1");
    state_->thread = std::thread([server = state_->server.get()] { server->listen_after_bind(); });
    while (!state_->server->is_running()) std::this_thread::sleep_for(std::chrono::milliseconds(5));
}

void LoopbackServer::Stop() {
    Release();
    if (!state_->thread.joinable()) return;
    state_->server->stop();
    state_->thread.join();
}

void LoopbackServer::Release() { state_->released = true; }
int LoopbackServer::Port() const { return state_->port; }
int LoopbackServer::Requests() const { return state_->requests; }

std::string LoopbackServer::Base() const {
    return std::string(state_->tls ? "https" : "http") + "://127.0.0.1:" + std::to_string(state_->port) + "/";
}

int LoopbackServer::RefusedPort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    ::close(fd);
    return ntohs(address.sin_port);
}

}  // namespace m470::test

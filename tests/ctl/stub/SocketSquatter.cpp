// Another local user taking over the instance socket: removes what is at
// the path, listens there, and gives every client one forged reply line.
// Run as that user: m470_socket_squatter PATH REPLY
#include <cstdio>
#include <cstring>
#include <string>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

int main(int argc, char** argv) {
    if (argc != 3) return 2;
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::snprintf(address.sun_path, sizeof address.sun_path, "%s", argv[1]);
    const int listener = ::socket(AF_UNIX, SOCK_STREAM, 0);
    ::unlink(argv[1]);
    if (::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || ::listen(listener, 8) != 0) {
        std::perror("m470_socket_squatter");
        return 1;
    }
    const std::string reply = std::string(argv[2]) + "\n";
    for (;;) {
        const int client = ::accept(listener, nullptr, nullptr);
        if (client < 0) continue;
        char c = 0;
        while (::read(client, &c, 1) == 1 && c != '\n') {
        }
        if (::send(client, reply.data(), reply.size(), MSG_NOSIGNAL) < 0) std::perror("m470_socket_squatter");
        ::close(client);
    }
}

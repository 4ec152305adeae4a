#include "TestClient.h"

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
using NativeSocket = SOCKET;
using Length = int;
constexpr int SendFlags = 0;
#else
#include <arpa/inet.h>
#include <cerrno>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/select.h>
#include <sys/socket.h>
#include <unistd.h>
using NativeSocket = int;
// A client the server has closed on gets EPIPE rather than the signal that ends the test.
constexpr int SendFlags = MSG_NOSIGNAL;
#endif

#include <chrono>

namespace tarnwick::test {

namespace {

#ifdef _WIN32
const NativeSocket Invalid = INVALID_SOCKET;
void CloseSocket(NativeSocket s) {
    closesocket(s);
}
bool WouldBlock() {
    return WSAGetLastError() == WSAEWOULDBLOCK;
}
void MakeNonBlocking(NativeSocket s) {
    u_long on = 1;
    ioctlsocket(s, FIONBIO, &on);
}
struct Winsock {
    Winsock() {
        WSADATA data;
        WSAStartup(MAKEWORD(2, 2), &data);
    }
} winsock;
#else
const NativeSocket Invalid = -1;
void CloseSocket(NativeSocket s) {
    ::close(s);
}
bool WouldBlock() {
    return errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR;
}
void MakeNonBlocking(NativeSocket s) {
    fcntl(s, F_SETFL, fcntl(s, F_GETFL) | O_NONBLOCK);
}
#endif

NativeSocket Native(std::uintptr_t s) {
    return static_cast<NativeSocket>(s);
}

} // namespace

TestClient::TestClient(std::uint16_t port) {
    NativeSocket s = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port);
    // A loopback connect completes in the system's backlog, before the server accepts.
    if (s != Invalid && ::connect(s, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        CloseSocket(s);
        s = Invalid;
    }
    if (s != Invalid)
        MakeNonBlocking(s);
    socket_ = static_cast<std::uintptr_t>(s);
    closed_ = s == Invalid;
}

TestClient::~TestClient() {
    if (Native(socket_) != Invalid)
        CloseSocket(Native(socket_));
}

bool TestClient::connected() const {
    return Native(socket_) != Invalid;
}

void TestClient::send(std::string_view bytes) {
    // Loopback takes a few KiB at once; the server is pumped while the rest waits.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!bytes.empty() && !closed_ && std::chrono::steady_clock::now() < deadline) {
        const auto sent =
            ::send(Native(socket_), bytes.data(), static_cast<int>(bytes.size()), SendFlags);
        if (sent > 0)
            bytes.remove_prefix(static_cast<std::size_t>(sent));
        else if (WouldBlock())
            PumpEvents();
        else
            closed_ = true;
    }
}

bool TestClient::poll() {
    char buffer[8192];
    while (!closed_) {
        const auto got = ::recv(Native(socket_), buffer, sizeof buffer, 0);
        if (got > 0)
            received_.append(buffer, static_cast<std::size_t>(got));
        else if (got < 0 && WouldBlock())
            break;
        else
            closed_ = true; // the end, or a reset
    }
    return closed_;
}

bool TestClient::waitClosed(int ms) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (!poll()) {
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        PumpEvents();
        fd_set readable;
        FD_ZERO(&readable);
        FD_SET(Native(socket_), &readable);
        timeval wait{0, 2000};
        ::select(static_cast<int>(Native(socket_) + 1), &readable, nullptr, nullptr, &wait);
    }
    return true;
}

std::string Fetch(std::uint16_t port, std::string_view request) {
    TestClient client(port);
    client.send(request);
    if (!client.waitClosed(10000))
        return "(no end within 10 s) " + client.received();
    return client.received();
}

bool ListensSharing(std::uint16_t port) {
    NativeSocket s = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (s == Invalid)
        return false;
    int on = 1;
    ::setsockopt(s, SOL_SOCKET, SO_REUSEADDR, reinterpret_cast<const char*>(&on), sizeof on);
#ifdef SO_REUSEPORT
    ::setsockopt(s, SOL_SOCKET, SO_REUSEPORT, reinterpret_cast<const char*>(&on), sizeof on);
#endif
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port);
    const bool listens = ::bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
                         ::listen(s, 1) == 0;
    CloseSocket(s);
    return listens;
}

} // namespace tarnwick::test

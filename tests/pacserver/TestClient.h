#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace tarnwick::test {

// Runs the events that are waiting in this thread's event loop (Qt's or the message queue),
// without waiting for more. One definition per platform.
void PumpEvents();

// A plain blocking-free TCP client on 127.0.0.1, for driving the server from the thread that
// runs its event loop.
class TestClient {
public:
    explicit TestClient(std::uint16_t port);
    ~TestClient();
    TestClient(const TestClient&) = delete;
    TestClient& operator=(const TestClient&) = delete;

    bool connected() const;
    void send(std::string_view bytes);
    // Runs the event loop and collects what arrives until the server closes the connection
    // (true) or ms have passed (false).
    bool waitClosed(int ms);
    const std::string& received() const { return received_; }

private:
    bool poll(); // true once the connection has ended

    std::uintptr_t socket_;
    bool closed_ = false;
    std::string received_;
};

// Whether a listening socket on 127.0.0.1:port can be had by one that asks to share the address
// (SO_REUSEADDR, and SO_REUSEPORT where there is one), as another program could try.
bool ListensSharing(std::uint16_t port);

// Sends one request and returns everything the server answers before it closes.
std::string Fetch(std::uint16_t port, std::string_view request);

} // namespace tarnwick::test

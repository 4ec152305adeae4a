#pragma once

#include "pacserver/PacServer.h"

#include <set>
#include <vector>

namespace tarnwick::test {

// What fake servers share with the test: the ports that are taken, the ports tried.
struct FakePorts {
    std::set<std::uint16_t> taken;
    std::vector<std::uint16_t> tried;
    int listening = 0; // servers listening now
};

// Binds any port that is not taken; serves nothing.
class FakePacServer : public PacServer {
public:
    explicit FakePacServer(FakePorts& ports) : ports_(ports) {}
    bool listen(std::uint16_t port, std::string& why) override {
        close();
        ports_.tried.push_back(port);
        port_ = ports_.taken.count(port) ? 0 : port;
        why = "Address in use";
        ports_.listening += port_ != 0;
        return port_ != 0;
    }
    void close() override {
        ports_.listening -= port_ != 0;
        port_ = 0;
    }
    ~FakePacServer() override { close(); }
    bool isListening() const override { return port_ != 0; }
    std::uint16_t port() const override { return port_; }
    std::string address() const override { return "127.0.0.1"; }
    std::size_t connectionCount() const override { return 0; }

private:
    FakePorts& ports_;
    std::uint16_t port_ = 0;
};

} // namespace tarnwick::test

// Builds without sockets (Linux without Qt): the preference can be ticked, and says why it
// cannot be served.
#include "pacserver/PacServer.h"

namespace tarnwick {

namespace {

class NoPacServer final : public PacServer {
public:
    bool listen(std::uint16_t, std::string& why) override {
        why = "this build has no network support";
        return false;
    }
    void close() override {}
    bool isListening() const override { return false; }
    std::uint16_t port() const override { return 0; }
    std::string address() const override { return {}; }
    std::size_t connectionCount() const override { return 0; }
};

} // namespace

std::unique_ptr<PacServer> MakePacServer(PacScriptSource, PacServerOptions) {
    return std::make_unique<NoPacServer>();
}

} // namespace tarnwick

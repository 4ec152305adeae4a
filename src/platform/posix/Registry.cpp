#include "platform/CurrentUserRegistry.h"

namespace tarnwick {

namespace {

// Placeholder until the file store lands: a hive in which no key can be opened.
class NoRegistry : public RegistryBackend {
public:
    std::unique_ptr<RegistryKey> openKey(RegistryKey*, const std::string&, bool) override {
        return nullptr;
    }
};

} // namespace

RegistryFactory CurrentUserRegistry() {
    return [] { return std::make_unique<RegistryAccessor>(std::make_unique<NoRegistry>()); };
}

} // namespace tarnwick

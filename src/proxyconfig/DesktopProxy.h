#pragma once

#include "proxyconfig/Registry.h"

#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace tarnwick {

// A desktop's automatic proxy setting as two values: the mode and the script URL. Each may be
// unset, which means the desktop's default (no proxy). The texts are the store's own: GSettings
// values, or whole kioslaverc lines so that they can be put back exactly as they were.
struct DesktopProxyState {
    std::optional<std::string> mode;
    std::optional<std::string> url;
    bool operator==(const DesktopProxyState&) const = default;
};

// One place where a desktop keeps its proxy settings (GSettings, KDE's kioslaverc, ...).
class DesktopProxyStore {
public:
    virtual ~DesktopProxyStore() = default;

    // Prefix of the values in the program's settings key that keep what the user had.
    virtual std::string recordName() const = 0;
    // False when this desktop's settings are not kept on this machine: the store is skipped
    // without a word, as a registry key that cannot be opened is.
    virtual bool present() = 0;
    virtual DesktopProxyState read() = 0;
    // Makes the settings state, and proves that they hold. A failure throws RegistryError and
    // leaves the settings as they were.
    virtual void write(const DesktopProxyState& state) = 0;
    // The state that makes the desktop's browsers take the script at url.
    virtual DesktopProxyState pointingAt(const std::string& url) const = 0;
    virtual bool pointsAt(const DesktopProxyState& state, const std::string& url) const = 0;
};

using DesktopProxyStores = std::vector<std::unique_ptr<DesktopProxyStore>>;

// The stores of this machine, chosen at link time: GSettings and kioslaverc on Linux, none on
// Windows, where the registry values are the desktop's settings.
DesktopProxyStores LocalDesktopProxyStores();

// The URL the desktop gets for the switch's URL: a "file://" + path is percent-encoded where
// the path needs it (the registry keeps the path as it is); any other URL is passed on.
std::string DesktopProxyUrl(const std::string& switchUrl);

// Turns the desktop's settings towards the script (on) or back to what the user had (off),
// one store after the other. Before the first change a store's previous values are recorded
// in the settings key; off restores them unless the user has changed the settings meanwhile,
// in which case they are left alone. A failure undoes what this call changed and throws.
class DesktopProxySwitch {
public:
    DesktopProxySwitch(const RegistryFactory& registry,
                       std::span<const std::unique_ptr<DesktopProxyStore>> stores);
    ~DesktopProxySwitch();
    DesktopProxySwitch(const DesktopProxySwitch&) = delete;
    DesktopProxySwitch& operator=(const DesktopProxySwitch&) = delete;

    void apply(bool on, const std::string& url);
    // Gives every changed store, and its record, back what it had before apply (best effort:
    // it runs on the way out of an error, so it throws nothing).
    void undo() noexcept;

private:
    struct Record {
        std::string applied; // the URL the program set; "" when nothing is recorded
        DesktopProxyState previous;
    };
    struct Change {
        DesktopProxyStore* store;
        DesktopProxyState before;
        Record record;
    };
    Record readRecord(const DesktopProxyStore& store) const;
    void writeRecord(const DesktopProxyStore& store, const Record& record) const;
    void applyTo(DesktopProxyStore& store, bool on, const std::string& url);

    const RegistryFactory& registry_;
    std::span<const std::unique_ptr<DesktopProxyStore>> stores_;
    std::vector<Change> changes_;
};

} // namespace tarnwick

#include "proxyconfig/DesktopProxy.h"

#include "proxyconfig/Settings.h"

namespace tarnwick {

namespace {

// A recorded value: "+" and the text, or "-" for a value the user had not set.
std::string Encode(const std::optional<std::string>& value) {
    return value ? "+" + *value : std::string("-");
}

std::optional<std::string> Decode(const std::string& text) {
    if (!text.empty() && text[0] == '+')
        return text.substr(1);
    return std::nullopt;
}

bool Unreserved(unsigned char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
           c == '.' || c == '_' || c == '~' || c == '/';
}

} // namespace

std::string DesktopProxyUrl(const std::string& switchUrl) {
    static const std::string scheme = "file://";
    if (switchUrl.compare(0, scheme.size(), scheme) != 0)
        return switchUrl;
    // What follows is a path as the file system has it, not yet a URL: every byte that a
    // URL path cannot carry as it is, "%" included, is encoded.
    static const char hex[] = "0123456789ABCDEF";
    std::string url = scheme;
    for (std::size_t i = scheme.size(); i < switchUrl.size(); ++i) {
        const auto c = static_cast<unsigned char>(switchUrl[i]);
        if (Unreserved(c)) {
            url += static_cast<char>(c);
        } else {
            url += '%';
            url += hex[c >> 4];
            url += hex[c & 15];
        }
    }
    return url;
}

DesktopProxySwitch::DesktopProxySwitch(const RegistryFactory& registry,
                                       std::span<const std::unique_ptr<DesktopProxyStore>> stores)
    : registry_(registry), stores_(stores) {}

DesktopProxySwitch::~DesktopProxySwitch() = default;

DesktopProxySwitch::Record DesktopProxySwitch::readRecord(const DesktopProxyStore& store) const {
    const std::string name = store.recordName();
    Record record;
    record.applied = ReadSetting(registry_, name + "Applied");
    if (!record.applied.empty()) {
        record.previous.mode = Decode(ReadSetting(registry_, name + "PreviousMode"));
        record.previous.url = Decode(ReadSetting(registry_, name + "PreviousURL"));
    }
    return record;
}

void DesktopProxySwitch::writeRecord(const DesktopProxyStore& store, const Record& record) const {
    const std::string name = store.recordName();
    if (!record.applied.empty()) {
        WriteSetting(registry_, name + "PreviousMode", Encode(record.previous.mode));
        WriteSetting(registry_, name + "PreviousURL", Encode(record.previous.url));
    }
    // Last, so that a record is never marked as kept before its values are.
    WriteSetting(registry_, name + "Applied", record.applied);
}

void DesktopProxySwitch::apply(bool on, const std::string& url) {
    for (const auto& store : stores_)
        if (store->present())
            applyTo(*store, on, url);
}

void DesktopProxySwitch::applyTo(DesktopProxyStore& store, bool on, const std::string& url) {
    const DesktopProxyState current = store.read();
    const Record record = readRecord(store);
    // From here on, undo puts back the settings and the record as they are now.
    changes_.push_back(Change{&store, current, record});
    // What the settings held when the program set them last, and still hold: the program set
    // them and has not given them back yet (a crash, or on twice in a row).
    const bool stillOurs = !record.applied.empty() && store.pointsAt(current, record.applied);

    if (on) {
        Record next;
        next.applied = url;
        if (stillOurs)
            next.previous = record.previous;
        else if (!store.pointsAt(current, url))
            next.previous = current;
        // else: the desktop points at our script with no record of what it held before (the
        // record was lost); our own values must not become "previous": the default stands in.
        if (next.applied != record.applied || next.previous != record.previous)
            writeRecord(store, next);
        store.write(store.pointingAt(url));
        return;
    }

    std::optional<DesktopProxyState> target;
    if (stillOurs)
        target = record.previous;
    else if (record.applied.empty() && store.pointsAt(current, url))
        target = DesktopProxyState{};
    // Otherwise the user has changed the settings since the program set them: theirs stay.
    if (target && *target != current)
        store.write(*target);
    if (!record.applied.empty())
        writeRecord(store, Record{});
}

void DesktopProxySwitch::undo() noexcept {
    for (auto change = changes_.rbegin(); change != changes_.rend(); ++change) {
        try {
            if (!(change->store->read() == change->before))
                change->store->write(change->before);
        } catch (...) {
        }
        try {
            const Record now = readRecord(*change->store);
            if (now.applied != change->record.applied || now.previous != change->record.previous)
                writeRecord(*change->store, change->record);
        } catch (...) {
        }
    }
    changes_.clear();
}

} // namespace tarnwick

#pragma once

#include "proxyconfig/RegistryBackend.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace tarnwick {

// The registry as the program uses it: an accessor for HKEY_CURRENT_USER with full access,
// created for one operation and destroyed at its end. It holds at most one open key; opening
// another closes the previous one, and destruction closes whatever is open, also when an
// error is on its way out.
//
// Failures of value access throw RegistryError with the registry's own messages:
// "Failed to set data for '<name>'", "Failed to get data for '<name>'",
// "Invalid data type for '<name>'".
class RegistryAccessor {
public:
    explicit RegistryAccessor(std::unique_ptr<RegistryBackend> backend);
    ~RegistryAccessor();

    RegistryAccessor(const RegistryAccessor&) = delete;
    RegistryAccessor& operator=(const RegistryAccessor&) = delete;

    // Opens key and makes it the current key. A leading backslash makes the path absolute
    // (from the root); otherwise it is relative to the current key, or to the root when none
    // is open. With canCreate, the key and any missing parents are created. False when the key
    // cannot be opened; the previously open key then stays open.
    bool openKey(const std::string& key, bool canCreate);
    void closeKey();
    bool hasOpenKey() const { return key_ != nullptr; }
    // Path of the open key from the root, without leading backslash ("" when none is open).
    const std::string& currentPath() const { return path_; }

    // REG_SZ with its terminating zero (text length + 1 bytes).
    void writeString(const std::string& name, const std::string& value);
    // REG_EXPAND_SZ with its terminating zero.
    void writeExpandString(const std::string& name, const std::string& value);
    // REG_DWORD, 4 bytes little-endian.
    void writeInteger(const std::string& name, std::int32_t value);
    // Any type, the data as given.
    void writeData(const std::string& name, RegistryValueType type, const std::string& data);

    // The value's text up to its first zero byte. "" when the value is missing or its data is
    // empty; REG_SZ and REG_EXPAND_SZ (not expanded) are read, any other type throws
    // "Invalid data type".
    std::string readString(const std::string& name);
    // A REG_DWORD value; a missing value throws "Failed to get data", another type
    // "Invalid data type".
    std::int32_t readInteger(const std::string& name);
    // Type and size of the value's data; nothing when there is no such value or no open key.
    std::optional<RegistryDataInfo> dataInfo(const std::string& name);
    // Size of the value's data in bytes, -1 when there is no such value.
    long dataSize(const std::string& name);
    bool valueExists(const std::string& name) { return dataInfo(name).has_value(); }

private:
    void put(const std::string& name, RegistryValueType type, const std::string& data);
    RegistryValue get(const std::string& name);

    std::unique_ptr<RegistryBackend> backend_;
    std::unique_ptr<RegistryKey> key_;
    std::string path_;
};

// Makes the accessor for one operation; CurrentUserRegistry() gives the machine's, tests
// give their own.
using RegistryFactory = std::function<std::unique_ptr<RegistryAccessor>()>;

} // namespace tarnwick

#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace tarnwick {

// Value types, numbered as the registry numbers them so that a backend can pass them through.
// Any other number is a valid type too (it is kept and reported as it is).
enum class RegistryValueType : std::uint32_t {
    None = 0,
    String = 1,       // REG_SZ
    ExpandString = 2, // REG_EXPAND_SZ
    Binary = 3,       // REG_BINARY
    Dword = 4,        // REG_DWORD (little-endian)
    MultiString = 7,  // REG_MULTI_SZ
    Qword = 11,       // REG_QWORD
};

struct RegistryDataInfo {
    RegistryValueType type = RegistryValueType::None;
    std::size_t size = 0; // bytes of data; a string's terminating zero counts
};

struct RegistryValue {
    RegistryValueType type = RegistryValueType::None;
    std::string data; // raw bytes as stored
};

// One open key of a backend. Destroying it closes the key.
class RegistryKey {
public:
    virtual ~RegistryKey() = default;

    // Sets the value's type and data; false when the value could not be written.
    virtual bool setValue(const std::string& name, RegistryValueType type,
                          std::string_view data) = 0;
    // Type and size of the value's data; nothing when the value does not exist.
    virtual std::optional<RegistryDataInfo> queryValueInfo(const std::string& name) = 0;
    // Type and data of the value; nothing when it is missing or its data cannot be read.
    virtual std::optional<RegistryValue> readValue(const std::string& name) = 0;
};

// The current user's hive (HKEY_CURRENT_USER), opened with full access.
// The real registry on Windows, a file-backed stand-in elsewhere, fakes in tests.
class RegistryBackend {
public:
    virtual ~RegistryBackend() = default;

    // Opens path below parent (below the root when parent is null); with create, missing keys
    // on the path are created first. The path carries no leading backslash. Nothing when the
    // key cannot be opened (or created): that is not an error.
    virtual std::unique_ptr<RegistryKey> openKey(RegistryKey* parent, const std::string& path,
                                                 bool create) = 0;
};

} // namespace tarnwick

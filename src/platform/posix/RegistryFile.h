#pragma once

#include "proxyconfig/RegistryBackend.h"

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace tarnwick {

// The current user's hive as a REGEDIT4 text: the stand-in for the registry where there is
// none. Texts are code-page bytes and go in unchanged; names compare without regard to the
// case of ASCII letters (bytes of double-byte characters are never folded), and keep the
// spelling they were first written with.
struct RegistryFileValue {
    std::string name; // "" is the key's default value, written "@"
    RegistryValueType type = RegistryValueType::None;
    std::string data;
};

struct RegistryFileKey {
    std::string path; // from the root, components separated by "\", "" for the root itself
    std::vector<RegistryFileValue> values;

    const RegistryFileValue* findValue(std::string_view name) const;
    // False when the name cannot be written in the file (control characters, broken
    // double-byte characters).
    bool setValue(std::string_view name, RegistryValueType type, std::string_view data);

private:
    // Folded name -> index in values, so that a key of many values is read in linear time.
    std::unordered_map<std::string, std::size_t> index_;
};

class RegistryFile {
public:
    // Nothing when the text is not a complete REGEDIT4 file of HKEY_CURRENT_USER.
    static std::optional<RegistryFile> Parse(std::string_view text);
    // The REGEDIT4 text, CR LF line ends, as regedit writes it.
    std::string format() const;

    const RegistryFileKey* findKey(std::string_view path) const;
    RegistryFileKey* findKey(std::string_view path);
    // The key, created with its missing parents; the path must be a valid key path.
    RegistryFileKey& ensureKey(std::string_view path);
    const std::vector<RegistryFileKey>& keys() const { return keys_; }

private:
    std::optional<std::size_t> indexOf(std::string_view path) const;

    std::vector<RegistryFileKey> keys_;
    // Folded path -> index in keys_.
    std::unordered_map<std::string, std::size_t> index_;
};

// What the registry allows: key names of at most 255 characters, at most 512 levels.
constexpr std::size_t MaxKeyNameCharacters = 255;
constexpr std::size_t MaxKeyDepth = 512;

// Letter case folded for comparison, double-byte characters left alone.
std::string FoldRegistryName(std::string_view name);
// The path split into its components: trailing separators dropped, nothing when a
// component is empty or holds bytes a key name cannot have, or when the path is deeper or a
// name longer than the registry allows.
std::optional<std::vector<std::string>> SplitKeyPath(std::string_view path);

} // namespace tarnwick

#include "proxyconfig/Registry.h"

#include "rules/Error.h"

#include <cstring>

namespace tarnwick {

namespace {

[[noreturn]] void FailSet(const std::string& name) {
    throw RegistryError("Failed to set data for '" + name + "'");
}

[[noreturn]] void FailGet(const std::string& name) {
    throw RegistryError("Failed to get data for '" + name + "'");
}

[[noreturn]] void FailType(const std::string& name) {
    throw RegistryError("Invalid data type for '" + name + "'");
}

std::string WithZero(const std::string& text) {
    std::string data = text;
    data.push_back('\0');
    return data;
}

} // namespace

RegistryAccessor::RegistryAccessor(std::unique_ptr<RegistryBackend> backend)
    : backend_(std::move(backend)) {}

RegistryAccessor::~RegistryAccessor() {
    closeKey();
}

bool RegistryAccessor::openKey(const std::string& key, bool canCreate) {
    const bool absolute = !key.empty() && key.front() == '\\';
    const std::string path = absolute ? key.substr(1) : key;
    RegistryKey* parent = absolute ? nullptr : key_.get();

    std::unique_ptr<RegistryKey> opened = backend_->openKey(parent, path, canCreate);
    if (!opened)
        return false;

    std::string full = path;
    if (parent && !path_.empty())
        full = path_ + "\\" + path;
    while (!full.empty() && full.back() == '\\')
        full.pop_back();

    // The new key is open before the old one closes, so a relative path could use it.
    key_ = std::move(opened);
    path_ = std::move(full);
    return true;
}

void RegistryAccessor::closeKey() {
    key_.reset();
    path_.clear();
}

void RegistryAccessor::writeString(const std::string& name, const std::string& value) {
    put(name, RegistryValueType::String, WithZero(value));
}

void RegistryAccessor::writeExpandString(const std::string& name, const std::string& value) {
    put(name, RegistryValueType::ExpandString, WithZero(value));
}

void RegistryAccessor::writeInteger(const std::string& name, std::int32_t value) {
    const auto bits = static_cast<std::uint32_t>(value);
    std::string data(4, '\0');
    for (int i = 0; i < 4; ++i)
        data[i] = static_cast<char>((bits >> (8 * i)) & 0xFF);
    put(name, RegistryValueType::Dword, data);
}

void RegistryAccessor::writeData(const std::string& name, RegistryValueType type,
                                 const std::string& data) {
    put(name, type, data);
}

std::string RegistryAccessor::readString(const std::string& name) {
    const std::optional<RegistryDataInfo> info = dataInfo(name);
    if (!info || info->size == 0)
        return {};
    const RegistryValue value = get(name);
    if (value.type != RegistryValueType::String && value.type != RegistryValueType::ExpandString)
        FailType(name);
    // Data without a terminating zero is taken whole rather than read past its end.
    const std::size_t zero = value.data.find('\0');
    return zero == std::string::npos ? value.data : value.data.substr(0, zero);
}

std::int32_t RegistryAccessor::readInteger(const std::string& name) {
    const RegistryValue value = get(name);
    if (value.type != RegistryValueType::Dword || value.data.size() != 4)
        FailType(name);
    std::uint32_t bits = 0;
    for (int i = 3; i >= 0; --i)
        bits = (bits << 8) | static_cast<unsigned char>(value.data[i]);
    return static_cast<std::int32_t>(bits);
}

std::optional<RegistryDataInfo> RegistryAccessor::dataInfo(const std::string& name) {
    if (!key_)
        return std::nullopt;
    return key_->queryValueInfo(name);
}

long RegistryAccessor::dataSize(const std::string& name) {
    const std::optional<RegistryDataInfo> info = dataInfo(name);
    return info ? static_cast<long>(info->size) : -1;
}

void RegistryAccessor::put(const std::string& name, RegistryValueType type,
                           const std::string& data) {
    if (!key_ || !key_->setValue(name, type, data))
        FailSet(name);
}

RegistryValue RegistryAccessor::get(const std::string& name) {
    if (!key_)
        FailGet(name);
    std::optional<RegistryValue> value = key_->readValue(name);
    if (!value)
        FailGet(name);
    return std::move(*value);
}

} // namespace tarnwick

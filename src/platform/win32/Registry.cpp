#include "platform/CurrentUserRegistry.h"

#include <windows.h>

namespace tarnwick {

namespace {

class Win32Key : public RegistryKey {
public:
    explicit Win32Key(HKEY handle) : handle_(handle) {}
    ~Win32Key() override { ::RegCloseKey(handle_); }

    HKEY handle() const { return handle_; }

    bool setValue(const std::string& name, RegistryValueType type, std::string_view data) override {
        return ::RegSetValueExA(handle_, name.c_str(), 0, static_cast<DWORD>(type),
                                reinterpret_cast<const BYTE*>(data.data()),
                                static_cast<DWORD>(data.size())) == ERROR_SUCCESS;
    }

    std::optional<RegistryDataInfo> queryValueInfo(const std::string& name) override {
        DWORD type = 0;
        DWORD size = 0;
        if (::RegQueryValueExA(handle_, name.c_str(), nullptr, &type, nullptr, &size) !=
            ERROR_SUCCESS)
            return std::nullopt;
        return RegistryDataInfo{static_cast<RegistryValueType>(type), size};
    }

    std::optional<RegistryValue> readValue(const std::string& name) override {
        // The value may grow between asking its size and reading it; ask again then.
        for (int attempt = 0; attempt < 4; ++attempt) {
            DWORD type = 0;
            DWORD size = 0;
            if (::RegQueryValueExA(handle_, name.c_str(), nullptr, &type, nullptr, &size) !=
                ERROR_SUCCESS)
                return std::nullopt;
            std::string data(size, '\0');
            const LONG result = ::RegQueryValueExA(handle_, name.c_str(), nullptr, &type,
                                                   reinterpret_cast<BYTE*>(data.data()), &size);
            if (result == ERROR_MORE_DATA)
                continue;
            if (result != ERROR_SUCCESS)
                return std::nullopt;
            data.resize(size);
            return RegistryValue{static_cast<RegistryValueType>(type), std::move(data)};
        }
        return std::nullopt;
    }

private:
    HKEY handle_;
};

class Win32Registry : public RegistryBackend {
public:
    std::unique_ptr<RegistryKey> openKey(RegistryKey* parent, const std::string& path,
                                         bool create) override {
        const HKEY base = parent ? static_cast<Win32Key*>(parent)->handle() : HKEY_CURRENT_USER;
        HKEY handle = nullptr;
        LONG result;
        if (create) {
            DWORD disposition = 0;
            result = ::RegCreateKeyExA(base, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                                       KEY_ALL_ACCESS, nullptr, &handle, &disposition);
        } else {
            result = ::RegOpenKeyExA(base, path.c_str(), 0, KEY_ALL_ACCESS, &handle);
        }
        if (result != ERROR_SUCCESS)
            return nullptr;
        return std::make_unique<Win32Key>(handle);
    }
};

} // namespace

RegistryFactory CurrentUserRegistry() {
    return [] { return std::make_unique<RegistryAccessor>(std::make_unique<Win32Registry>()); };
}

} // namespace tarnwick

#include "platform/StartAtLogin.h"

#include "platform/ProgramFolders.h"
#include "rules/Error.h"

#include <windows.h>

namespace tarnwick {

namespace {

const char* const RunKey = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";
const char* const ValueName = "Tarnwick";

class RunValue : public StartAtLogin {
public:
    explicit RunValue(std::string executable) : executable_(std::move(executable)) {}

    bool IsOn() override {
        HKEY key = nullptr;
        if (RegOpenKeyExA(HKEY_CURRENT_USER, RunKey, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
            return false;
        const bool present =
            RegQueryValueExA(key, ValueName, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
        RegCloseKey(key);
        return present;
    }

    void SetOn(bool on) override {
        HKEY key = nullptr;
        if (RegCreateKeyExA(HKEY_CURRENT_USER, RunKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key,
                            nullptr) != ERROR_SUCCESS)
            throw RegistryError(std::string("Failed to set data for '") + ValueName + "'");
        LONG result = ERROR_SUCCESS;
        if (on) {
            // Quoted, so that a folder with spaces is not read as a program and arguments.
            const std::string command = "\"" + executable_ + "\"";
            result = RegSetValueExA(key, ValueName, 0, REG_SZ,
                                    reinterpret_cast<const BYTE*>(command.c_str()),
                                    static_cast<DWORD>(command.size() + 1));
        } else {
            result = RegDeleteValueA(key, ValueName);
            if (result == ERROR_FILE_NOT_FOUND)
                result = ERROR_SUCCESS;
        }
        RegCloseKey(key);
        if (result != ERROR_SUCCESS)
            throw RegistryError(
                std::string(on ? "Failed to set data for '" : "Failed to delete data for '") +
                ValueName + "'");
    }

private:
    std::string executable_;
};

} // namespace

std::unique_ptr<StartAtLogin> RunKeyValue(std::string executable) {
    return std::make_unique<RunValue>(std::move(executable));
}

std::unique_ptr<StartAtLogin> MachineStartAtLogin() {
    return RunKeyValue(ExecutablePath());
}

} // namespace tarnwick

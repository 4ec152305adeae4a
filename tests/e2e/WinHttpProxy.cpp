// Asks the system's own PAC engine (WinHTTP) where a request goes, as Windows' proxy service does
// for Edge and Internet Explorer: the script is the current user's AutoConfigURL, or the one given.
// Prints one line per address: "PROXY host:port", "DIRECT" or "ERROR <code>".
// Usage: winhttp_proxy.exe [--script URL] ADDRESS...
#include <windows.h>
#include <winhttp.h>

#include <cstdio>
#include <string>

namespace {

std::wstring Wide(const char* text) {
    const int length = MultiByteToWideChar(CP_UTF8, 0, text, -1, nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(length), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text, -1, wide.data(), length);
    wide.resize(wide.size() - 1);
    return wide;
}

std::string Narrow(const wchar_t* text) {
    std::string narrow;
    for (; text && *text; ++text)
        narrow += *text < 0x80 ? static_cast<char>(*text) : '?';
    return narrow;
}

// The value Windows' proxy settings read; empty when there is none.
std::wstring AutoConfigUrl() {
    wchar_t value[2048] = {};
    DWORD size = sizeof value;
    if (RegGetValueW(HKEY_CURRENT_USER,
                     L"Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings",
                     L"AutoConfigURL", RRF_RT_REG_SZ, nullptr, value, &size) != ERROR_SUCCESS)
        return {};
    return value;
}

} // namespace

int main(int argc, char** argv) {
    int first = 1;
    std::wstring script;
    if (argc > 2 && std::string(argv[1]) == "--script") {
        script = Wide(argv[2]);
        first = 3;
    } else {
        script = AutoConfigUrl();
    }
    if (script.empty() || first >= argc) {
        std::fprintf(stderr, "no AutoConfigURL and no --script, or no address\n");
        return 2;
    }

    HINTERNET session = WinHttpOpen(L"winhttp_proxy", WINHTTP_ACCESS_TYPE_NO_PROXY,
                                    WINHTTP_NO_PROXY_NAME, WINHTTP_NO_PROXY_BYPASS, 0);
    if (!session) {
        std::fprintf(stderr, "WinHttpOpen: %lu\n", GetLastError());
        return 2;
    }
    for (int i = first; i < argc; ++i) {
        WINHTTP_AUTOPROXY_OPTIONS options = {};
        options.dwFlags = WINHTTP_AUTOPROXY_CONFIG_URL;
        options.lpszAutoConfigUrl = script.c_str();
        WINHTTP_PROXY_INFO info = {};
        if (!WinHttpGetProxyForUrl(session, Wide(argv[i]).c_str(), &options, &info)) {
            std::printf("ERROR %lu\n", GetLastError());
            continue;
        }
        if (info.dwAccessType == WINHTTP_ACCESS_TYPE_NAMED_PROXY && info.lpszProxy)
            std::printf("PROXY %s\n", Narrow(info.lpszProxy).c_str());
        else
            std::printf("DIRECT\n");
        GlobalFree(info.lpszProxy);
        GlobalFree(info.lpszProxyBypass);
    }
    WinHttpCloseHandle(session);
    return 0;
}

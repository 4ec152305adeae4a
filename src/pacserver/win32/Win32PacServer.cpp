// The script server on the GUI thread's message loop: Winsock sockets that report through
// WSAAsyncSelect to a hidden message window, one timer there for the clients' deadlines.
#include "pacserver/PacServer.h"

// winsock2.h before windows.h, which would bring the old winsock.h otherwise.
#include <winsock2.h>
#include <ws2tcpip.h>

#include <windows.h>

#include <optional>

namespace tarnwick {

namespace {

constexpr UINT ListenerMessage = WM_APP + 1;
constexpr UINT ClientMessage = WM_APP + 2;
constexpr UINT_PTR DeadlineTimer = 1;
constexpr const char* WindowClass = "TarnwickPacServer";

std::string SocketErrorText(int code) {
    char* text = nullptr;
    const DWORD length = FormatMessageA(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, static_cast<DWORD>(code), 0, reinterpret_cast<char*>(&text), 0, nullptr);
    std::string result = length && text ? std::string(text, length) : std::string();
    if (text)
        LocalFree(text);
    while (!result.empty() && (result.back() == '\n' || result.back() == '\r' ||
                               result.back() == '.' || result.back() == ' '))
        result.pop_back();
    if (result.empty())
        result = "socket error " + std::to_string(code);
    return result;
}

class Win32PacServer final : public PacServer {
public:
    Win32PacServer(PacScriptSource source, PacServerOptions options)
        : source_(std::move(source)), options_(options), clients_(options_, source_) {
        WSADATA data;
        started_ = WSAStartup(MAKEWORD(2, 2), &data) == 0;

        const HINSTANCE instance = GetModuleHandleA(nullptr);
        WNDCLASSA wc{};
        if (!GetClassInfoA(instance, WindowClass, &wc)) {
            wc.lpfnWndProc = &Win32PacServer::WindowProc;
            wc.hInstance = instance;
            wc.lpszClassName = WindowClass;
            RegisterClassA(&wc);
        }
        window_ = CreateWindowExA(0, WindowClass, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                  instance, nullptr);
        if (window_)
            SetWindowLongPtrA(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    }

    ~Win32PacServer() override {
        close();
        if (window_)
            DestroyWindow(window_);
        if (started_)
            WSACleanup();
    }

    bool listen(std::uint16_t port, std::string& why) override {
        close();
        if (!started_ || !window_) {
            why = "the network functions could not be started";
            return false;
        }
        const SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        if (s == INVALID_SOCKET) {
            why = SocketErrorText(WSAGetLastError());
            return false;
        }
        // Without it another program could bind the same port with SO_REUSEADDR and take
        // the browser's requests.
        BOOL exclusive = TRUE;
        setsockopt(s, SOL_SOCKET, SO_EXCLUSIVEADDRUSE, reinterpret_cast<const char*>(&exclusive),
                   sizeof exclusive);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        address.sin_port = htons(port);
        if (bind(s, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
            ::listen(s, SOMAXCONN) != 0 ||
            WSAAsyncSelect(s, window_, ListenerMessage, FD_ACCEPT) != 0) {
            why = SocketErrorText(WSAGetLastError());
            closesocket(s);
            return false;
        }
        listener_ = s;
        SetTimer(window_, DeadlineTimer, PacDeadlineCheckMs, nullptr);
        return true;
    }

    void close() override {
        if (listener_ != INVALID_SOCKET) {
            closesocket(listener_);
            listener_ = INVALID_SOCKET;
            KillTimer(window_, DeadlineTimer);
        }
        for (const PacConnections::Key s : clients_.keys())
            closesocket(static_cast<SOCKET>(s));
        clients_.clear();
    }

    bool isListening() const override { return listener_ != INVALID_SOCKET; }

    std::uint16_t port() const override {
        sockaddr_in address{};
        return bound(address) ? ntohs(address.sin_port) : 0;
    }

    std::string address() const override {
        sockaddr_in address{};
        char text[INET_ADDRSTRLEN] = "";
        if (!bound(address) || !inet_ntop(AF_INET, &address.sin_addr, text, sizeof text))
            return {};
        return text;
    }

    std::size_t connectionCount() const override { return clients_.size(); }

private:
    bool bound(sockaddr_in& address) const {
        int size = sizeof address;
        return listener_ != INVALID_SOCKET &&
               getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &size) == 0;
    }

    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
        auto* self = reinterpret_cast<Win32PacServer*>(GetWindowLongPtrA(window, GWLP_USERDATA));
        if (self) {
            switch (message) {
            case ListenerMessage:
                self->accept();
                return 0;
            case ClientMessage:
                self->onClient(static_cast<SOCKET>(wParam), WSAGETSELECTEVENT(lParam),
                               WSAGETSELECTERROR(lParam));
                return 0;
            case WM_TIMER:
                if (wParam == DeadlineTimer) {
                    self->checkDeadlines();
                    return 0;
                }
                break;
            }
        }
        return DefWindowProcA(window, message, wParam, lParam);
    }

    void accept() {
        if (listener_ == INVALID_SOCKET)
            return;
        for (;;) {
            const SOCKET s = ::accept(listener_, nullptr, nullptr);
            if (s == INVALID_SOCKET)
                return; // WSAEWOULDBLOCK: all taken; FD_ACCEPT comes again for the next
            std::optional<PacConnections::Key> evict;
            if (!clients_.admit(evict) ||
                WSAAsyncSelect(s, window_, ClientMessage, FD_READ | FD_WRITE | FD_CLOSE) != 0) {
                closesocket(s);
                continue;
            }
            if (evict)
                drop(static_cast<SOCKET>(*evict));
            clients_.add(s, GetTickCount64());
        }
    }

    void onClient(SOCKET s, WORD event, WORD error) {
        PacExchange* exchange = clients_.find(s);
        // A message may still be queued for a socket closed meanwhile.
        if (!exchange)
            return;
        if (error != 0) {
            drop(s);
            return;
        }
        if (event == FD_READ || event == FD_CLOSE) {
            const bool closed = receive(s, *exchange, event == FD_CLOSE);
            if (closed && !exchange->answered()) {
                drop(s);
                return;
            }
        }
        if (exchange->answered())
            send(s, *exchange);
    }

    // Reads what has arrived (everything up to the end when draining); true when the client
    // has closed its side or the connection failed.
    bool receive(SOCKET s, PacExchange& exchange, bool drain) {
        char buffer[4096];
        do {
            const int got = recv(s, buffer, sizeof buffer, 0);
            if (got == 0)
                return true;
            if (got < 0)
                return WSAGetLastError() != WSAEWOULDBLOCK;
            clients_.touch(s, GetTickCount64());
            exchange.receive(std::string_view(buffer, static_cast<std::size_t>(got)));
        } while (drain);
        return false;
    }

    void send(SOCKET s, PacExchange& exchange) {
        while (!exchange.done()) {
            const std::string_view rest = exchange.unsent();
            const int chunk = static_cast<int>(std::min<std::size_t>(rest.size(), 1 << 16));
            const int sent = ::send(s, rest.data(), chunk, 0);
            if (sent < 0) {
                if (WSAGetLastError() != WSAEWOULDBLOCK)
                    drop(s);
                return; // FD_WRITE comes when there is room again
            }
            exchange.markSent(static_cast<std::size_t>(sent));
            clients_.touch(s, GetTickCount64());
        }
        // Everything is with the system: a graceful close still delivers it. Bytes the client
        // sent after its request are read first, since closing over unread bytes resets the
        // connection and can lose the answer.
        char discard[4096];
        for (int i = 0; i < 16 && recv(s, discard, sizeof discard, 0) > 0; ++i) {
        }
        shutdown(s, SD_SEND);
        drop(s);
    }

    void drop(SOCKET s) {
        closesocket(s);
        clients_.remove(s);
    }

    void checkDeadlines() {
        for (const PacConnections::Key s : clients_.expired(GetTickCount64()))
            drop(static_cast<SOCKET>(s));
    }

    PacScriptSource source_;
    PacServerOptions options_;
    bool started_ = false;
    HWND window_ = nullptr;
    SOCKET listener_ = INVALID_SOCKET;
    PacConnections clients_;
};

} // namespace

std::unique_ptr<PacServer> MakePacServer(PacScriptSource source, PacServerOptions options) {
    return std::make_unique<Win32PacServer>(std::move(source), options);
}

} // namespace tarnwick

#include "pacserver/PacHttp.h"

#include <algorithm>
#include <cstdio>

namespace tarnwick {

namespace {

// RFC 9110 token characters: what a method or a header name may consist of.
bool IsTokenChar(unsigned char c) {
    if (c >= '0' && c <= '9')
        return true;
    if ((c | 0x20) >= 'a' && (c | 0x20) <= 'z')
        return true;
    return std::string_view("!#$%&'*+-.^_`|~").find(static_cast<char>(c)) != std::string_view::npos;
}

bool IsToken(std::string_view text) {
    return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) {
        return IsTokenChar(static_cast<unsigned char>(c));
    });
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c | 0x20) : c; };
               return lower(x) == lower(y);
           });
}

std::string_view Trim(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
        text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t'))
        text.remove_suffix(1);
    return text;
}

// Only names of this machine's loopback address: a page that rebinds its own name to
// 127.0.0.1 sends its own name here and must not read the user's rules.
bool IsLoopbackHost(std::string_view host) {
    const std::size_t colon = host.rfind(':');
    if (colon != std::string_view::npos) {
        const std::string_view port = host.substr(colon + 1);
        if (port.empty() || port.size() > 5 ||
            !std::all_of(port.begin(), port.end(), [](char c) { return c >= '0' && c <= '9'; }))
            return false;
        host = host.substr(0, colon);
    }
    return host == "127.0.0.1" || EqualsNoCase(host, "localhost");
}

std::string Head(std::string_view status, std::string_view type, std::size_t length,
                 std::string_view extra = {}) {
    std::string head = "HTTP/1.1 ";
    head += status;
    head += "\r\nContent-Type: ";
    head += type;
    head += "\r\nContent-Length: " + std::to_string(length);
    head += "\r\nCache-Control: no-cache\r\n";
    head += extra;
    head += "Connection: close\r\n\r\n";
    return head;
}

std::string Plain(std::string_view status, std::string_view text, bool withBody,
                  std::string_view extra = {}) {
    const std::string body = std::string(text) + "\n";
    std::string response = Head(status, "text/plain; charset=us-ascii", body.size(), extra);
    if (withBody)
        response += body;
    return response;
}

} // namespace

PacRequestReader::State PacRequestReader::feed(std::string_view bytes) {
    while (state_ == State::Reading && !bytes.empty()) {
        const std::size_t end = bytes.find('\n');
        const std::string_view piece =
            bytes.substr(0, end == std::string_view::npos ? bytes.size() : end + 1);
        bytes.remove_prefix(piece.size());

        // Limits are checked as the bytes come, so an endless line is refused without being
        // held whole.
        const std::size_t total = pending_.size() + piece.size();
        if (!haveRequestLine_ && total > limits_.maxRequestLine + 2) {
            state_ = State::LineTooLong;
            break;
        }
        if (haveRequestLine_ && headerBytes_ + total > limits_.maxHeaderBytes) {
            state_ = State::HeadersTooLarge;
            break;
        }
        pending_ += piece;
        if (pending_.back() != '\n')
            continue;

        std::string line = std::move(pending_);
        pending_.clear();
        if (haveRequestLine_)
            headerBytes_ += line.size();
        line.pop_back();
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (!haveRequestLine_ && line.size() > limits_.maxRequestLine) {
            state_ = State::LineTooLong;
            break;
        }
        if (!takeLine(line))
            state_ = State::Malformed;
    }
    return state_;
}

bool PacRequestReader::takeLine(std::string_view line) {
    if (!haveRequestLine_) {
        // A client may send a blank line before the request (RFC 9112, 2.2).
        if (line.empty())
            return ++blankLines_ <= 2;
        const std::size_t first = line.find(' ');
        const std::size_t second =
            first == std::string_view::npos ? first : line.find(' ', first + 1);
        if (second == std::string_view::npos ||
            line.find(' ', second + 1) != std::string_view::npos)
            return false;
        const std::string_view method = line.substr(0, first);
        const std::string_view target = line.substr(first + 1, second - first - 1);
        const std::string_view version = line.substr(second + 1);
        if (!IsToken(method) || target.empty() ||
            std::any_of(target.begin(), target.end(),
                        [](char c) { return static_cast<unsigned char>(c) <= ' ' || c == 0x7F; }))
            return false;
        if (version.size() != 8 || version.substr(0, 7) != "HTTP/1." || version[7] < '0' ||
            version[7] > '9')
            return false;
        request_.method = method;
        request_.target = target;
        haveRequestLine_ = true;
        return true;
    }
    if (line.empty()) {
        state_ = State::Complete;
        return true;
    }
    const std::size_t colon = line.find(':');
    // A line that starts with white space continues the previous one, a form RFC 9112 lets a
    // server refuse; nobody fetching a script sends it.
    if (colon == std::string_view::npos || !IsToken(line.substr(0, colon)))
        return false;
    if (EqualsNoCase(line.substr(0, colon), "Host")) {
        if (request_.host)
            return false;
        request_.host = std::string(Trim(line.substr(colon + 1)));
    }
    return true;
}

std::string PacResponse(const PacRequest& request, const std::optional<std::string>& script) {
    const bool head = request.method == "HEAD";
    const bool get = request.method == "GET";

    std::string_view target = request.target;
    std::optional<std::string_view> host;
    if (request.host)
        host = *request.host;
    if (target.size() > 7 && EqualsNoCase(target.substr(0, 7), "http://")) {
        // Absolute form: the authority in the target is the host (RFC 9112, 3.2.2).
        target.remove_prefix(7);
        const std::size_t slash = target.find('/');
        host = target.substr(0, slash);
        target = slash == std::string_view::npos ? std::string_view("/") : target.substr(slash);
    }
    if (host && !IsLoopbackHost(*host))
        return Plain("403 Forbidden", "Forbidden", !head);

    const std::string_view path = target.substr(0, target.find('?'));
    if (path != PacServedPath)
        return Plain("404 Not Found", "Not Found", !head);
    if (!get && !head)
        return Plain("405 Method Not Allowed", "Method Not Allowed", true, "Allow: GET, HEAD\r\n");
    if (!script)
        return Plain("404 Not Found", "The script has not been written yet", !head);

    std::string response = Head("200 OK", "application/x-ns-proxy-autoconfig", script->size());
    if (get)
        response += *script;
    return response;
}

std::string PacRefusal(PacRequestReader::State state) {
    switch (state) {
    case PacRequestReader::State::LineTooLong:
        return Plain("414 URI Too Long", "Request line too long", true);
    case PacRequestReader::State::HeadersTooLarge:
        return Plain("431 Request Header Fields Too Large", "Request header fields too large",
                     true);
    default:
        return Plain("400 Bad Request", "Bad Request", true);
    }
}

std::string PacContentTag(std::string_view script) {
    // FNV-1a, 64 bits: not for secrecy, only so that a changed script gets another URL.
    std::uint64_t hash = 0xcbf29ce484222325ULL;
    for (const char c : script) {
        hash ^= static_cast<unsigned char>(c);
        hash *= 0x100000001b3ULL;
    }
    char text[17];
    std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(hash));
    return text;
}

std::string PacHttpUrl(std::uint16_t port, std::string_view script) {
    return "http://127.0.0.1:" + std::to_string(port) + std::string(PacServedPath) +
           "?v=" + PacContentTag(script);
}

} // namespace tarnwick

#include "platform/posix/RegistryFile.h"

#include "rules/Hex.h"

#include <cstdio>
#include <utility>

namespace tarnwick {

namespace {

constexpr std::string_view Header = "REGEDIT4";
constexpr std::string_view Root = "HKEY_CURRENT_USER";
constexpr std::size_t WrapColumn = 76;

bool IsLead(unsigned char c) {
    return c >= 0x81 && c <= 0xFE;
}

bool IsTrail(unsigned char c) {
    return c >= 0x40 && c <= 0xFE && c != 0x7F;
}

bool IsControl(unsigned char c) {
    return c < 0x20 || c == 0x7F;
}

// Walks a code-page text one character at a time; false on a broken double-byte character.
// A trail byte may be "\\", "]" or a letter, so the text is never scanned byte by byte.
template <typename Visit> bool ForEachCharacter(std::string_view text, Visit visit) {
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (IsLead(c)) {
            if (i + 1 >= text.size() || !IsTrail(static_cast<unsigned char>(text[i + 1])))
                return false;
            if (!visit(text.substr(i, 2)))
                return false;
            ++i;
        } else if (!visit(text.substr(i, 1))) {
            return false;
        }
    }
    return true;
}

// `"text"` with \\ and \" escaped, or nothing when the text cannot be written quoted.
std::optional<std::string> Quote(std::string_view text) {
    std::string out = "\"";
    const bool ok = ForEachCharacter(text, [&](std::string_view ch) {
        if (ch.size() == 1) {
            const auto c = static_cast<unsigned char>(ch[0]);
            if ((IsControl(c) && c != '\t') || c == 0xFF)
                return false;
            if (c == '\\' || c == '"')
                out.push_back('\\');
        }
        out.append(ch);
        return true;
    });
    if (!ok)
        return std::nullopt;
    out.push_back('"');
    return out;
}

// Reads a quoted text starting at line[pos] == '"'; pos ends after the closing quote.
bool Unquote(std::string_view line, std::size_t& pos, std::string& out) {
    if (pos >= line.size() || line[pos] != '"')
        return false;
    out.clear();
    for (std::size_t i = pos + 1; i < line.size(); ++i) {
        const auto c = static_cast<unsigned char>(line[i]);
        if (c == '"') {
            pos = i + 1;
            return true;
        }
        if (c == '\\') {
            if (i + 1 >= line.size() || (line[i + 1] != '\\' && line[i + 1] != '"'))
                return false;
            out.push_back(line[++i]);
        } else if (IsLead(c)) {
            if (i + 1 >= line.size() || !IsTrail(static_cast<unsigned char>(line[i + 1])))
                return false;
            out.push_back(line[i]);
            out.push_back(line[++i]);
        } else if ((IsControl(c) && c != '\t') || c == 0xFF) {
            return false;
        } else {
            out.push_back(line[i]);
        }
    }
    return false; // no closing quote
}

bool SameName(std::string_view a, std::string_view b) {
    return a.size() == b.size() && FoldRegistryName(a) == FoldRegistryName(b);
}

std::string_view Trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t'))
        s.remove_suffix(1);
    return s;
}

std::optional<std::uint32_t> ParseHexNumber(std::string_view s) {
    if (s.empty() || s.size() > 8)
        return std::nullopt;
    std::uint32_t n = 0;
    for (char c : s) {
        const int d = HexDigit(c);
        if (d < 0)
            return std::nullopt;
        n = (n << 4) | static_cast<std::uint32_t>(d);
    }
    return n;
}

std::optional<std::string> ParseHexBytes(std::string_view s) {
    std::string bytes;
    s = Trim(s);
    if (s.empty())
        return bytes;
    std::size_t pos = 0;
    while (true) {
        const std::string_view token = Trim(s.substr(pos, s.find(',', pos) - pos));
        if (token.size() != 2 || HexDigit(token[0]) < 0 || HexDigit(token[1]) < 0)
            return std::nullopt;
        bytes.push_back(static_cast<char>(HexDigit(token[0]) * 16 + HexDigit(token[1])));
        const std::size_t comma = s.find(',', pos);
        if (comma == std::string_view::npos)
            return bytes;
        pos = comma + 1;
    }
}

// The data part of a value line: "text", dword:n, hex:bytes or hex(type):bytes.
std::optional<RegistryFileValue> ParseData(std::string_view data) {
    RegistryFileValue value;
    if (!data.empty() && data.front() == '"') {
        std::size_t pos = 0;
        if (!Unquote(data, pos, value.data) || !Trim(data.substr(pos)).empty())
            return std::nullopt;
        value.type = RegistryValueType::String;
        value.data.push_back('\0');
        return value;
    }
    if (data.starts_with("dword:")) {
        const std::optional<std::uint32_t> n = ParseHexNumber(Trim(data.substr(6)));
        if (!n)
            return std::nullopt;
        value.type = RegistryValueType::Dword;
        for (int i = 0; i < 4; ++i)
            value.data.push_back(static_cast<char>((*n >> (8 * i)) & 0xFF));
        return value;
    }
    std::size_t bytesAt;
    if (data.starts_with("hex:")) {
        value.type = RegistryValueType::Binary;
        bytesAt = 4;
    } else if (data.starts_with("hex(")) {
        const std::size_t close = data.find("):");
        if (close == std::string_view::npos)
            return std::nullopt;
        const std::optional<std::uint32_t> type = ParseHexNumber(data.substr(4, close - 4));
        if (!type)
            return std::nullopt;
        value.type = static_cast<RegistryValueType>(*type);
        bytesAt = close + 2;
    } else {
        return std::nullopt;
    }
    std::optional<std::string> bytes = ParseHexBytes(data.substr(bytesAt));
    if (!bytes)
        return std::nullopt;
    value.data = std::move(*bytes);
    return value;
}

std::string FormatData(std::string_view name, RegistryValueType type, std::string_view data) {
    if (type == RegistryValueType::String && !data.empty() && data.find('\0') == data.size() - 1) {
        if (std::optional<std::string> quoted = Quote(data.substr(0, data.size() - 1)))
            return *quoted;
    }
    char buffer[32];
    if (type == RegistryValueType::Dword && data.size() == 4) {
        std::uint32_t n = 0;
        for (int i = 3; i >= 0; --i)
            n = (n << 8) | static_cast<unsigned char>(data[i]);
        std::snprintf(buffer, sizeof buffer, "dword:%08x", n);
        return buffer;
    }
    std::string out;
    if (type == RegistryValueType::Binary) {
        out = "hex:";
    } else {
        std::snprintf(buffer, sizeof buffer, "hex(%x):", static_cast<unsigned>(type));
        out = buffer;
    }
    // Long data is continued on indented lines ending in "\", as regedit does.
    std::size_t column = name.size() + 1 + out.size();
    for (std::size_t i = 0; i < data.size(); ++i) {
        std::snprintf(buffer, sizeof buffer, "%02x", static_cast<unsigned char>(data[i]));
        out += buffer;
        column += 2;
        if (i + 1 < data.size()) {
            out += ',';
            ++column;
            if (column >= WrapColumn) {
                out += "\\\r\n  ";
                column = 2;
            }
        }
    }
    return out;
}

std::string JoinPath(const std::vector<std::string>& parts, std::size_t count) {
    std::string path;
    for (std::size_t i = 0; i < count; ++i) {
        if (i > 0)
            path += '\\';
        path += parts[i];
    }
    return path;
}

} // namespace

std::string FoldRegistryName(std::string_view name) {
    std::string folded(name);
    for (std::size_t i = 0; i < folded.size(); ++i) {
        const auto c = static_cast<unsigned char>(folded[i]);
        if (IsLead(c) && i + 1 < folded.size())
            ++i;
        else if (c >= 'A' && c <= 'Z')
            folded[i] = static_cast<char>(c - 'A' + 'a');
    }
    return folded;
}

std::optional<std::vector<std::string>> SplitKeyPath(std::string_view path) {
    std::vector<std::string> parts(1);
    std::size_t characters = 0; // of the last part
    const bool ok = ForEachCharacter(path, [&](std::string_view ch) {
        if (ch.size() == 1 && ch[0] == '\\') {
            if (parts.size() >= MaxKeyDepth + 1)
                return false; // one more part, and the path is too deep whatever follows
            parts.emplace_back();
            characters = 0;
            return true;
        }
        if (ch.size() == 1 && (IsControl(static_cast<unsigned char>(ch[0])) ||
                               static_cast<unsigned char>(ch[0]) == 0xFF))
            return false;
        if (++characters > MaxKeyNameCharacters)
            return false;
        parts.back().append(ch);
        return true;
    });
    if (!ok)
        return std::nullopt;
    while (!parts.empty() && parts.back().empty())
        parts.pop_back();
    if (parts.size() > MaxKeyDepth)
        return std::nullopt;
    for (const std::string& part : parts) {
        if (part.empty())
            return std::nullopt;
    }
    return parts;
}

const RegistryFileValue* RegistryFileKey::findValue(std::string_view name) const {
    const auto found = index_.find(FoldRegistryName(name));
    return found == index_.end() ? nullptr : &values[found->second];
}

bool RegistryFileKey::setValue(std::string_view name, RegistryValueType type,
                               std::string_view data) {
    if (!Quote(name))
        return false;
    const auto [at, added] = index_.try_emplace(FoldRegistryName(name), values.size());
    if (!added) {
        values[at->second].type = type;
        values[at->second].data = std::string(data);
        return true;
    }
    values.push_back({std::string(name), type, std::string(data)});
    return true;
}

std::optional<std::size_t> RegistryFile::indexOf(std::string_view path) const {
    const auto found = index_.find(FoldRegistryName(path));
    if (found == index_.end())
        return std::nullopt;
    return found->second;
}

const RegistryFileKey* RegistryFile::findKey(std::string_view path) const {
    const std::optional<std::size_t> at = indexOf(path);
    return at ? &keys_[*at] : nullptr;
}

RegistryFileKey* RegistryFile::findKey(std::string_view path) {
    return const_cast<RegistryFileKey*>(std::as_const(*this).findKey(path));
}

RegistryFileKey& RegistryFile::ensureKey(std::string_view path) {
    const std::vector<std::string> parts = SplitKeyPath(path).value_or(std::vector<std::string>{});
    if (parts.empty()) {
        if (RegistryFileKey* root = findKey(""))
            return *root;
        // The root is written first; the indexes behind it move up by one.
        keys_.insert(keys_.begin(), RegistryFileKey{});
        for (auto& entry : index_)
            ++entry.second;
        index_.emplace("", 0);
        return keys_.front();
    }
    // The parents are looked up from the deepest one upwards: in a file that lists parents
    // before children, the first look-up finds the parent, so a parse stays linear.
    const std::string joined = JoinPath(parts, parts.size());
    if (const std::optional<std::size_t> at = indexOf(joined))
        return keys_[*at];
    std::vector<std::size_t> ends; // where each prefix ends in joined
    for (std::size_t n = 0, end = 0; n < parts.size(); ++n) {
        end += (n > 0 ? 1 : 0) + parts[n].size();
        ends.push_back(end);
    }
    std::size_t existing = parts.size() - 1; // parts[0, existing) are there already
    std::optional<std::size_t> parent;
    for (; existing > 0; --existing) {
        parent = indexOf(std::string_view(joined).substr(0, ends[existing - 1]));
        if (parent)
            break;
    }
    for (std::size_t n = existing; n < parts.size(); ++n) {
        // Spelled as the existing parents are, plus the new part.
        std::string spelled = parent ? keys_[*parent].path + "\\" : std::string();
        spelled += parts[n];
        index_.emplace(FoldRegistryName(spelled), keys_.size());
        parent = keys_.size();
        keys_.emplace_back().path = std::move(spelled);
    }
    return keys_.back();
}

std::optional<RegistryFile> RegistryFile::Parse(std::string_view text) {
    if (text.find('\0') != std::string_view::npos)
        return std::nullopt;

    std::vector<std::string_view> lines;
    for (std::size_t pos = 0; pos < text.size();) {
        std::size_t end = text.find('\n', pos);
        if (end == std::string_view::npos)
            end = text.size();
        std::string_view line = text.substr(pos, end - pos);
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        lines.push_back(line);
        pos = end + 1;
    }
    if (lines.empty() || lines.front() != Header)
        return std::nullopt;

    RegistryFile file;
    std::optional<std::size_t> current;
    for (std::size_t i = 1; i < lines.size(); ++i) {
        std::string_view line = Trim(lines[i]);
        if (line.empty() || line.front() == ';')
            continue;

        if (line.front() == '[') {
            if (line.size() < 2 || line.back() != ']')
                return std::nullopt;
            const std::string_view name = line.substr(1, line.size() - 2);
            if (name.size() < Root.size() || !SameName(name.substr(0, Root.size()), Root))
                return std::nullopt;
            std::string_view rest = name.substr(Root.size());
            if (!rest.empty()) {
                if (rest.front() != '\\')
                    return std::nullopt;
                rest.remove_prefix(1);
                // A trailing separator is found character by character: "\" may be the
                // second byte of a double-byte character.
                const std::optional<std::vector<std::string>> parts = SplitKeyPath(rest);
                if (!parts || parts->empty() ||
                    JoinPath(*parts, parts->size()).size() != rest.size())
                    return std::nullopt;
            }
            RegistryFileKey& key = file.ensureKey(rest);
            current = static_cast<std::size_t>(&key - file.keys_.data());
            continue;
        }

        if (!current)
            return std::nullopt;
        std::string name;
        std::size_t pos = 0;
        if (line.front() == '@') {
            pos = 1;
        } else if (!Unquote(line, pos, name)) {
            return std::nullopt;
        }
        std::string_view afterName = Trim(line.substr(pos));
        if (afterName.empty() || afterName.front() != '=')
            return std::nullopt;
        std::string data(Trim(afterName.substr(1)));
        // Continued hex data: "\" at the end, the rest on the next line.
        while (data.starts_with("hex") && !data.empty() && data.back() == '\\') {
            if (++i >= lines.size())
                return std::nullopt;
            data.pop_back();
            data += Trim(lines[i]);
        }
        std::optional<RegistryFileValue> value = ParseData(data);
        if (!value)
            return std::nullopt;
        if (!file.keys_[*current].setValue(name, value->type, value->data))
            return std::nullopt;
    }
    return file;
}

std::string RegistryFile::format() const {
    std::string out(Header);
    out += "\r\n\r\n";
    for (const RegistryFileKey& key : keys_) {
        out += '[';
        out += Root;
        if (!key.path.empty()) {
            out += '\\';
            out += key.path;
        }
        out += "]\r\n";
        for (const RegistryFileValue& value : key.values) {
            const std::string name = value.name.empty() ? "@" : *Quote(value.name);
            out += name;
            out += '=';
            out += FormatData(name, value.type, value.data);
            out += "\r\n";
        }
        out += "\r\n";
    }
    return out;
}

} // namespace tarnwick

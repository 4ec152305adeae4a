#include "rules/IniFile.h"

#include "rules/CodePage.h"

#include <algorithm>

namespace tarnwick {

namespace {

// The profile reader counts Ctrl-Z (end of file in old text files) as a blank.
bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r' || c == 0x1a;
}

std::string_view Trim(std::string_view s) {
    while (!s.empty() && IsBlank(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && IsBlank(s.back()))
        s.remove_suffix(1);
    return s;
}

char Lower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool SameName(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                              [](char x, char y) { return Lower(x) == Lower(y); });
}

std::string Folded(std::string_view s) {
    std::string folded(s);
    for (char& c : folded)
        c = Lower(c);
    return folded;
}

// A string ends at its first zero byte, as the C interfaces see it.
std::string_view UpToZero(std::string_view s) {
    const auto zero = s.find('\0');
    return zero == std::string_view::npos ? s : s.substr(0, zero);
}

} // namespace

IniFile::IniFile(std::string_view text) {
    // Keys before the first section belong to a nameless section that is never listed.
    sections_.push_back(Section{});
    std::size_t pos = 0;
    while (pos < text.size()) {
        std::size_t end = text.find_first_of("\r\n", pos);
        if (end == std::string_view::npos)
            end = text.size();
        std::string_view line = text.substr(pos, end - pos);
        pos = end + 1;

        while (!line.empty() && IsBlank(line.front()))
            line.remove_prefix(1);
        if (line.empty())
            continue;

        if (line.front() == '[') {
            const auto close = line.rfind(']');
            if (close != std::string_view::npos) {
                sections_.push_back(
                    Section{std::string(UpToZero(Trim(line.substr(1, close - 1)))), {}});
                continue;
            }
        }

        line = Trim(line);
        Key key;
        const auto equals = line.find('=');
        if (equals == std::string_view::npos) {
            key.name = std::string(UpToZero(line));
        } else {
            key.name = std::string(UpToZero(Trim(line.substr(0, equals))));
            key.value = std::string(UpToZero(Trim(line.substr(equals + 1))));
            key.hasValue = true;
        }
        sections_.back().keys.push_back(std::move(key));
    }
    // The nameless section comes first, so the empty name finds the keys before any section.
    for (std::size_t i = 0; i < sections_.size(); ++i)
        firstSection_.try_emplace(Folded(sections_[i].name), i);
}

IniFile IniFile::FromFileBytes(std::string bytes) {
    static constexpr std::string_view Utf8Mark = "\xEF\xBB\xBF";
    if (std::string_view(bytes).starts_with(Utf8Mark))
        return IniFile(GbkFromUtf8(std::string_view(bytes).substr(Utf8Mark.size())));
    return IniFile(bytes);
}

std::vector<std::string> IniFile::sectionNames() const {
    std::vector<std::string> names;
    names.reserve(sections_.size());
    for (std::size_t i = 1; i < sections_.size(); ++i)
        if (!sections_[i].name.empty())
            names.push_back(sections_[i].name);
    return names;
}

std::string IniFile::value(std::string_view section, std::string_view key) const {
    section = Trim(section);
    key = Trim(key);
    const auto found = firstSection_.find(Folded(section));
    if (found == firstSection_.end())
        return {};
    // Only the first section of a name is searched, as the profile reader does.
    for (const Key& k : sections_[found->second].keys) {
        if (!SameName(k.name, key))
            continue;
        if (!k.hasValue)
            return {};
        std::string_view v = k.value;
        if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front())
            v = v.substr(1, v.size() - 2);
        return std::string(v);
    }
    return {};
}

} // namespace tarnwick

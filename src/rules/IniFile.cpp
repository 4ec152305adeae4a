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

// A string ends at its first zero byte, as the C interfaces see it.
std::string_view UpToZero(std::string_view s) {
    const auto zero = s.find('\0');
    return zero == std::string_view::npos ? s : s.substr(0, zero);
}

} // namespace

std::size_t IniFile::FoldedHash::operator()(std::string_view name) const {
    std::size_t hash = 14695981039346656037ull;
    for (char c : name)
        hash = (hash ^ static_cast<unsigned char>(Lower(c))) * 1099511628211ull;
    return hash;
}

bool IniFile::FoldedEqual::operator()(std::string_view a, std::string_view b) const {
    return SameName(a, b);
}

IniFile::IniFile(std::string_view text) : IniFile(std::make_shared<const std::string>(text)) {}

IniFile::IniFile(std::shared_ptr<const std::string> shared) : text_(std::move(shared)) {
    const std::string_view text = *text_;
    // Keys before the first section belong to a nameless section that is never listed.
    sections_.push_back(Section{});
    std::size_t pos = 0;
    while (pos < text.size()) {
        std::size_t end = pos;
        while (end < text.size() && text[end] != '\n' && text[end] != '\r')
            ++end;
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
                    Section{UpToZero(Trim(line.substr(1, close - 1))), keys_.size(), 0});
                continue;
            }
        }

        line = Trim(line);
        Key key;
        const auto equals = line.find('=');
        if (equals == std::string_view::npos) {
            key.name = UpToZero(line);
        } else {
            key.name = UpToZero(Trim(line.substr(0, equals)));
            key.value = UpToZero(Trim(line.substr(equals + 1)));
            key.hasValue = true;
        }
        keys_.push_back(key);
        ++sections_.back().keyCount;
    }
    // The nameless section comes first, so the empty name finds the keys before any section.
    firstSection_.reserve(sections_.size());
    for (std::size_t i = 0; i < sections_.size(); ++i) {
        firstSection_.try_emplace(sections_[i].name, i);
        if (i > 0 && !sections_[i].name.empty())
            listed_.push_back(i);
    }
}

IniFile IniFile::FromFileBytes(std::string bytes) {
    static constexpr std::string_view Utf8Mark = "\xEF\xBB\xBF";
    static constexpr std::string_view Utf16LeMark = "\xFF\xFE";
    static constexpr std::string_view Utf16BeMark = "\xFE\xFF";
    const std::string_view view(bytes);
    if (view.starts_with(Utf8Mark))
        return IniFile(
            std::make_shared<const std::string>(GbkFromUtf8(view.substr(Utf8Mark.size()))));
    if (view.starts_with(Utf16LeMark) || view.starts_with(Utf16BeMark))
        return IniFile(std::make_shared<const std::string>(
            GbkFromUtf16(view.substr(2), view.starts_with(Utf16BeMark))));
    return IniFile(std::make_shared<const std::string>(std::move(bytes)));
}

std::vector<std::string> IniFile::sectionNames() const {
    std::vector<std::string> names;
    names.reserve(listed_.size());
    for (std::size_t i : listed_)
        names.emplace_back(sections_[i].name);
    return names;
}

const IniFile::Section* IniFile::firstSectionNamed(std::string_view name) const {
    const auto found = firstSection_.find(Trim(name));
    return found == firstSection_.end() ? nullptr : &sections_[found->second];
}

std::string IniFile::valueIn(const Section& section, std::string_view key) const {
    key = Trim(key);
    // Only the first section of a name is searched, and in it the first key of the name, as
    // the profile reader does.
    for (std::size_t i = section.firstKey; i < section.firstKey + section.keyCount; ++i) {
        const Key& k = keys_[i];
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

std::string IniFile::value(std::string_view section, std::string_view key) const {
    const Section* found = firstSectionNamed(section);
    return found ? valueIn(*found, key) : std::string();
}

std::vector<std::string> IniFile::values(std::size_t index,
                                         const std::vector<std::string>& keys) const {
    std::vector<std::string> values(keys.size());
    if (index >= listed_.size())
        return values;
    // The listed name finds the first section of that name, which may be an earlier one.
    const Section* found = firstSectionNamed(sections_[listed_[index]].name);
    for (std::size_t k = 0; found && k < keys.size(); ++k)
        values[k] = valueIn(*found, keys[k]);
    return values;
}

} // namespace tarnwick

#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace tarnwick {

// An ini text read with the rules of the Windows profile reader: section lines start with "["
// (after blanks) and end at the last "]"; a key ends at the first "=", blanks around section
// names, key names and values are dropped, one pair of enclosing quotes (" or ') is dropped from a
// value, section and key names match without regard to ASCII letter case, and other lines are
// ignored. Unlike the Windows reader, nothing is cut: every section and the whole of every value.
class IniFile {
public:
    explicit IniFile(std::string_view text);

    // The ini text of a file's bytes. An editor may have saved the file as UTF-8 or UTF-16
    // (little- or big-endian) with a byte-order mark; the Windows reader then reads it in that
    // encoding and hands the texts over in the ANSI code page, so it is converted to GBK.
    // Without a mark the bytes stand as they are.
    static IniFile FromFileBytes(std::string bytes);

    // The section names in file order, as written between the brackets (blanks around them
    // dropped, cut at a zero byte). A section with an empty name is not listed; the keys before the
    // first section belong to such a nameless section.
    std::vector<std::string> sectionNames() const;

    // The value of key in the first section of that name, or the empty text. Blanks around the
    // asked names are dropped.
    std::string value(std::string_view section, std::string_view key) const;

    // The number of listed sections, without building their names.
    std::size_t sectionCount() const { return listed_.size(); }

    // The values of keys in the listed section at index (of sectionNames()), as value() gives
    // them; loading asks for every listed section, and this finds each section once.
    std::vector<std::string> values(std::size_t index, const std::vector<std::string>& keys) const;

private:
    struct Key {
        std::string_view name;
        std::string_view value;
        bool hasValue = false;
    };
    struct Section {
        std::string_view name;
        std::size_t firstKey = 0;
        std::size_t keyCount = 0;
    };
    struct FoldedHash {
        std::size_t operator()(std::string_view name) const;
    };
    struct FoldedEqual {
        bool operator()(std::string_view a, std::string_view b) const;
    };

    explicit IniFile(std::shared_ptr<const std::string> text);
    const Section* firstSectionNamed(std::string_view name) const;
    std::string valueIn(const Section& section, std::string_view key) const;

    // The text, shared by copies and never moved, so that the views below stay valid.
    std::shared_ptr<const std::string> text_;
    std::vector<Section> sections_; // [0] holds the keys before the first section
    std::vector<Key> keys_;
    std::vector<std::size_t> listed_; // indexes of the sections with a name
    // Name, without regard to ASCII case -> index of the first section of that name.
    std::unordered_map<std::string_view, std::size_t, FoldedHash, FoldedEqual> firstSection_;
};

} // namespace tarnwick

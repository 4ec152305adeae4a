#include "rules/RuleTable.h"

#include "rules/CodePage.h"

namespace tarnwick {

namespace {

template <std::size_t N> std::array<std::string, N> ToGbk(const std::array<const char*, N>& utf8) {
    std::array<std::string, N> gbk;
    for (std::size_t i = 0; i < N; ++i)
        gbk[i] = GbkFromUtf8(utf8[i]);
    return gbk;
}

const std::string& EmptyText() {
    static const std::string empty;
    return empty;
}

} // namespace

const std::array<std::string, 3>& ColumnTitles() {
    static const auto titles = ToGbk<3>({"网址类型", "网址值", "使用的代理"});
    return titles;
}

const std::array<std::string, 4>& RuleTypeNames() {
    static const auto names =
        ToGbk<4>({"网址(URL),可用通配符\"*\"", "域名,可用通配符\"*\"", "子网", "不能解析的地址"});
    return names;
}

const std::array<std::string, 4>& RuleTypeDefaults() {
    // The fourth type's default is the third type's name, as stored files have it.
    static const auto defaults = ToGbk<4>({"", "", "192.168.0.1;255.255.255.0", "子网"});
    return defaults;
}

std::optional<int> RuleTypeIndex(const std::string& text) {
    const auto& names = RuleTypeNames();
    for (int i = 0; i < static_cast<int>(names.size()); ++i)
        if (names[i] == text)
            return i;
    return std::nullopt;
}

RuleTable::RuleTable() : rows_(5) {
    for (int c = 0; c < ColumnCount; ++c)
        rows_[0][c] = ColumnTitles()[c];
}

const std::string& RuleTable::cell(int column, int row) const {
    if (column < 0 || column >= ColumnCount || row < 0 || row >= rowCount())
        return EmptyText();
    return rows_[row][column];
}

void RuleTable::setCell(int column, int row, std::string text) {
    if (column < 0 || column >= ColumnCount || row < 0 || row >= rowCount())
        return;
    rows_[row][column] = std::move(text);
}

void RuleTable::appendRow() {
    rows_.emplace_back();
}

void RuleTable::notifyRowCount() {
    if (RowCountChanged)
        RowCountChanged();
}

void RuleTable::SelectRuleCell(int column, int row) {
    // The header row is never current, and there is no cell outside the table to select.
    if (column < 0 || column >= ColumnCount || row < 1 || row >= rowCount())
        return;
    typingAllowed_ = column != TypeColumn;

    if (row == rowCount() - 1) {
        appendRow();
        notifyRowCount();
    }

    decideTyping(column, row);

    if (cell(column, 0) == ColumnTitles()[0] && ShowTypeEditor)
        ShowTypeEditor(column, row);

    currentColumn_ = column;
    currentRow_ = row;
}

void RuleTable::decideTyping(int column, int row) {
    if (column == ValueColumn) {
        const std::string& type = cell(TypeColumn, row);
        const bool editable = !type.empty() && type != RuleTypeNames()[3];
        typingAllowed_ = editable;
        editorShownAtOnce_ = editable;
    } else if (column == ProxyColumn) {
        typingAllowed_ = true;
        editorShownAtOnce_ = true;
    }
}

void RuleTable::SetRuleType(int row, std::optional<int> index) {
    if (row < 1 || row >= rowCount())
        return;
    // An index the type editor does not offer counts as no choice.
    const bool known = index && *index >= 0 && *index < static_cast<int>(RuleTypeNames().size());
    setCell(TypeColumn, row, known ? RuleTypeNames()[*index] : std::string());
    if (auto type = RuleTypeIndex(cell(TypeColumn, row)))
        setCell(ValueColumn, row, RuleTypeDefaults()[*type]);
}

void RuleTable::InsertRowAtCurrent() {
    rows_.insert(rows_.begin() + currentRow_, Row{});
    notifyRowCount();
}

void RuleTable::DeleteCurrentRow() {
    if (rowCount() <= 2) {
        // The only data row: empty it rather than leave the header row alone. Typing follows
        // the emptied row, as a selection of it would decide, but the table does not grow.
        rows_[1] = Row{};
        currentRow_ = 1;
        typingAllowed_ = currentColumn_ != TypeColumn;
        decideTyping(currentColumn_, 1);
        return;
    }
    const int row = currentRow_;
    rows_.erase(rows_.begin() + row);
    notifyRowCount();
    if (row >= rowCount())
        SelectRuleCell(currentColumn_, rowCount() - 1);
}

void RuleTable::ensureRowCount(int count) {
    if (count <= rowCount())
        return;
    rows_.resize(count);
    notifyRowCount();
}

} // namespace tarnwick

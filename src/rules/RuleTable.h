#pragma once

#include <array>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace tarnwick {

// The three column titles, the four rule type names and their default values, as GBK bytes.
const std::array<std::string, 3>& ColumnTitles();
const std::array<std::string, 4>& RuleTypeNames();
const std::array<std::string, 4>& RuleTypeDefaults();

// Index of the rule type whose name equals text byte for byte, or nothing.
std::optional<int> RuleTypeIndex(const std::string& text);

// The table of proxy rules: three text columns (type, value, proxy); row 0 holds the column
// titles, every further row one rule. The table also keeps the current cell and the two
// editing flags that the last selection decided.
class RuleTable {
public:
    static constexpr int ColumnCount = 3;
    static constexpr int TypeColumn = 0;
    static constexpr int ValueColumn = 1;
    static constexpr int ProxyColumn = 2;

    RuleTable();

    const std::string& cell(int column, int row) const;
    void setCell(int column, int row, std::string text);
    int rowCount() const { return static_cast<int>(rows_.size()); }

    int currentColumn() const { return currentColumn_; }
    int currentRow() const { return currentRow_; }
    bool typingAllowed() const { return typingAllowed_; }
    bool editorShownAtOnce() const { return editorShownAtOnce_; }

    // Runs before cell (column, row) becomes current; afterwards it is current. A cell of the
    // header row or outside the table is never selected: the call does nothing.
    void SelectRuleCell(int column, int row);
    // Sets the row's type to RuleTypeNames()[index] (or empty) and resets its value. An index
    // outside 0..3 counts as none.
    void SetRuleType(int row, std::optional<int> index);
    void InsertRowAtCurrent();
    // Deleting the only data row leaves one empty data row, current, rather than none.
    void DeleteCurrentRow();

    // Grows the table to at least rowCount rows (never shrinks it); loading uses this so that
    // no rule of the file is left without a row.
    void ensureRowCount(int rowCount);

    // Opens the type editor over a type cell; called by SelectRuleCell before the cell
    // becomes current.
    std::function<void(int column, int row)> ShowTypeEditor;

    // Told after the row count changed (growth, insertion, deletion, loading), so that a view
    // can follow.
    std::function<void()> RowCountChanged;

private:
    using Row = std::array<std::string, ColumnCount>;
    void appendRow();
    // Steps 1 and 3 of a selection: may the cell be typed into, and does its editor open at once.
    void decideTyping(int column, int row);
    void notifyRowCount();

    std::vector<Row> rows_;
    int currentColumn_ = 0;
    int currentRow_ = 1;
    bool typingAllowed_ = true;
    bool editorShownAtOnce_ = false;
};

} // namespace tarnwick

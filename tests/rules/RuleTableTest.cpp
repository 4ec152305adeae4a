#include "rules/RuleTable.h"
#include "rules/CodePage.h"

#include <gtest/gtest.h>

#include <utility>
#include <vector>

using namespace tarnwick;

namespace {

const std::string& Url() {
    return RuleTypeNames()[0];
}
const std::string& Subnet() {
    return RuleTypeNames()[2];
}
const std::string& Unresolvable() {
    return RuleTypeNames()[3];
}

// A table whose rows 1..n hold the rules named by texts: type URL, value text, proxy text + "p".
RuleTable TableWith(const std::vector<std::string>& rules) {
    RuleTable table;
    for (std::size_t i = 0; i < rules.size(); ++i) {
        const int row = static_cast<int>(i) + 1;
        while (table.rowCount() <= row)
            table.InsertRowAtCurrent(); // only to make room; the rows are rewritten below
        table.setCell(0, row, Url());
        table.setCell(1, row, rules[i]);
        table.setCell(2, row, rules[i] + "p");
    }
    return table;
}

// The value cells of rows 1..R-1, "" for an empty row.
std::vector<std::string> Values(const RuleTable& table) {
    std::vector<std::string> values;
    for (int row = 1; row < table.rowCount(); ++row)
        values.push_back(table.cell(1, row));
    return values;
}

} // namespace

TEST(RuleTexts, AreTheProgramsGbkTexts) {
    EXPECT_EQ(ColumnTitles()[0], GbkFromUtf8("网址类型"));
    EXPECT_EQ(ColumnTitles()[1], GbkFromUtf8("网址值"));
    EXPECT_EQ(ColumnTitles()[2], GbkFromUtf8("使用的代理"));
    EXPECT_EQ(RuleTypeNames()[0], GbkFromUtf8("网址(URL),可用通配符\"*\""));
    EXPECT_EQ(RuleTypeNames()[1], GbkFromUtf8("域名,可用通配符\"*\""));
    EXPECT_EQ(RuleTypeNames()[3], GbkFromUtf8("不能解析的地址"));
    // "子网" as GBK bytes, and the fourth type's default is that same text.
    EXPECT_EQ(RuleTypeNames()[2], "\xD7\xD3\xCD\xF8");
    EXPECT_EQ(RuleTypeDefaults()[3], RuleTypeNames()[2]);
    EXPECT_EQ(RuleTypeDefaults()[2], "192.168.0.1;255.255.255.0");
    EXPECT_EQ(RuleTypeDefaults()[0], "");
    EXPECT_EQ(RuleTypeDefaults()[1], "");
}

TEST(RuleTableStart, FiveRowsHeaderAndFlags) {
    RuleTable table;
    EXPECT_EQ(table.rowCount(), 5);
    for (int c = 0; c < 3; ++c)
        EXPECT_EQ(table.cell(c, 0), ColumnTitles()[c]);
    for (int r = 1; r < 5; ++r)
        for (int c = 0; c < 3; ++c)
            EXPECT_EQ(table.cell(c, r), "");
    EXPECT_EQ(table.currentColumn(), 0);
    EXPECT_EQ(table.currentRow(), 1);
    EXPECT_TRUE(table.typingAllowed());
    EXPECT_FALSE(table.editorShownAtOnce());
}

TEST(RuleTableCells, OutsideTheTableReadEmptyAndIgnoreWrites) {
    RuleTable table;
    table.setCell(1, 7, "lost");
    table.setCell(3, 1, "lost");
    table.setCell(-1, 1, "lost");
    EXPECT_EQ(table.rowCount(), 5);
    EXPECT_EQ(table.cell(1, 7), "");
    EXPECT_EQ(table.cell(1, 5), "");
    EXPECT_EQ(table.cell(3, 1), "");
    EXPECT_EQ(table.cell(-1, -1), "");
    table.setCell(1, 4, "kept verbatim  ");
    EXPECT_EQ(table.cell(1, 4), "kept verbatim  ");
}

TEST(RuleTableSelection, LastRowGrowsTheTableOtherRowsDoNot) {
    RuleTable table;
    int told = 0;
    table.RowCountChanged = [&] { ++told; };
    table.SelectRuleCell(2, 3);
    EXPECT_EQ(table.rowCount(), 5);
    EXPECT_EQ(told, 0);
    table.SelectRuleCell(2, 4);
    EXPECT_EQ(table.rowCount(), 6);
    EXPECT_EQ(table.cell(0, 5), "");
    EXPECT_EQ(table.currentRow(), 4);
    table.SelectRuleCell(1, 5); // the new last row grows it again
    EXPECT_EQ(table.rowCount(), 7);
    EXPECT_EQ(table.currentColumn(), 1);
    EXPECT_EQ(table.currentRow(), 5);
    EXPECT_EQ(told, 2);
}

TEST(RuleTableSelection, HeaderRowAndCellsOutsideAreNeverSelected) {
    RuleTable table;
    table.SelectRuleCell(2, 2);
    table.SelectRuleCell(1, 0);
    table.SelectRuleCell(0, 9);
    table.SelectRuleCell(3, 2);
    EXPECT_EQ(table.currentColumn(), 2);
    EXPECT_EQ(table.currentRow(), 2);
    EXPECT_EQ(table.rowCount(), 5);
}

TEST(RuleTableSelection, TypeCellNeverTakesTypingAndOpensTheTypeEditor) {
    RuleTable table;
    std::vector<std::pair<int, int>> opened;
    table.ShowTypeEditor = [&](int c, int r) {
        // The editor opens before the cell becomes current.
        EXPECT_EQ(table.currentRow(), 1);
        opened.emplace_back(c, r);
    };
    table.SelectRuleCell(2, 1); // proxy: typing, editor at once
    opened.clear();
    table.SelectRuleCell(0, 2);
    EXPECT_FALSE(table.typingAllowed());
    EXPECT_TRUE(table.editorShownAtOnce()); // the type column leaves the flag as it was
    ASSERT_EQ(opened.size(), 1u);
    EXPECT_EQ(opened[0], std::make_pair(0, 2));
    EXPECT_EQ(table.currentRow(), 2);

    table.SelectRuleCell(1, 2);
    table.SelectRuleCell(2, 2);
    EXPECT_EQ(opened.size(), 1u); // only the type column opens it
}

TEST(RuleTableSelection, TypeEditorFollowsTheHeaderTitle) {
    // The type editor opens over the column whose header holds the first title.
    RuleTable table;
    int opened = 0;
    table.ShowTypeEditor = [&](int, int) { ++opened; };
    table.setCell(0, 0, "renamed");
    table.SelectRuleCell(0, 1);
    EXPECT_EQ(opened, 0);
    table.setCell(0, 0, ColumnTitles()[0]);
    table.SelectRuleCell(0, 1);
    EXPECT_EQ(opened, 1);
    // Without a hook (an empty function would throw) the selection still happens in full.
    RuleTable withoutHook;
    withoutHook.SelectRuleCell(2, 2);
    ASSERT_TRUE(withoutHook.typingAllowed());
    withoutHook.SelectRuleCell(0, 1);
    EXPECT_FALSE(withoutHook.typingAllowed());
    EXPECT_EQ(withoutHook.currentRow(), 1);
}

TEST(RuleTableSelection, ValueCellTakesTypingOnlyForTheFirstThreeTypes) {
    RuleTable table;
    table.SelectRuleCell(1, 1); // empty type
    EXPECT_FALSE(table.typingAllowed());
    EXPECT_FALSE(table.editorShownAtOnce());

    for (int type = 0; type < 3; ++type) {
        table.SetRuleType(1, type);
        table.SelectRuleCell(1, 1);
        EXPECT_TRUE(table.typingAllowed()) << type;
        EXPECT_TRUE(table.editorShownAtOnce()) << type;
    }
    table.SetRuleType(1, 3);
    table.SelectRuleCell(1, 1);
    EXPECT_FALSE(table.typingAllowed());
    EXPECT_FALSE(table.editorShownAtOnce());

    // A hand-edited type text counts as a type that takes a value.
    table.setCell(0, 2, "hand-edited");
    table.SelectRuleCell(1, 2);
    EXPECT_TRUE(table.typingAllowed());

    table.SelectRuleCell(2, 1);
    EXPECT_TRUE(table.typingAllowed());
    EXPECT_TRUE(table.editorShownAtOnce());
}

TEST(RuleTableSelection, DecisionStandsUntilTheNextSelection) {
    RuleTable table;
    table.SelectRuleCell(1, 2);
    table.SetRuleType(2, 0);
    EXPECT_FALSE(table.typingAllowed());
    table.SelectRuleCell(1, 2);
    EXPECT_TRUE(table.typingAllowed());
}

TEST(RuleTableSetType, WritesNameAndResetsValueButNeverTheProxy) {
    RuleTable table;
    table.setCell(1, 1, "*.example.invalid/*");
    table.setCell(2, 1, "10.0.0.9:80");
    table.SetRuleType(1, 0);
    EXPECT_EQ(table.cell(0, 1), Url());
    EXPECT_EQ(table.cell(1, 1), "");
    EXPECT_EQ(table.cell(2, 1), "10.0.0.9:80");

    table.SetRuleType(1, 2);
    table.setCell(1, 1, "10.1.1.1;255.0.0.0");
    table.SetRuleType(1, 2); // same type again: still reset
    EXPECT_EQ(table.cell(1, 1), "192.168.0.1;255.255.255.0");

    table.SetRuleType(1, 3);
    EXPECT_EQ(table.cell(0, 1), Unresolvable());
    EXPECT_EQ(table.cell(1, 1), Subnet());

    table.setCell(1, 1, "typed");
    table.SetRuleType(1, std::nullopt);
    EXPECT_EQ(table.cell(0, 1), "");
    EXPECT_EQ(table.cell(1, 1), "typed");
    EXPECT_EQ(table.cell(2, 1), "10.0.0.9:80");
}

TEST(RuleTableSetType, NeverTouchesTheHeaderAndTakesUnknownIndexAsNone) {
    RuleTable table;
    table.SetRuleType(0, 1);
    table.SetRuleType(9, 1);
    EXPECT_EQ(table.cell(0, 0), ColumnTitles()[0]);
    EXPECT_EQ(table.cell(1, 0), ColumnTitles()[1]);
    EXPECT_EQ(table.rowCount(), 5);

    table.SetRuleType(1, 2);
    table.SetRuleType(1, 4);
    EXPECT_EQ(table.cell(0, 1), "");
    table.SetRuleType(1, -1);
    EXPECT_EQ(table.cell(0, 1), "");
    EXPECT_EQ(table.cell(1, 1), "192.168.0.1;255.255.255.0");
}

TEST(RuleTableInsert, MovesRulesDownAndKeepsCurrentCellAndFlags) {
    RuleTable table = TableWith({"K", "L", "M", "N"});
    ASSERT_EQ(table.rowCount(), 5);
    table.SelectRuleCell(2, 2);
    int opened = 0;
    table.ShowTypeEditor = [&](int, int) { ++opened; };
    table.InsertRowAtCurrent();
    EXPECT_EQ(table.rowCount(), 6);
    EXPECT_EQ(Values(table), (std::vector<std::string>{"K", "", "L", "M", "N"}));
    EXPECT_EQ(table.cell(0, 2), "");
    EXPECT_EQ(table.cell(2, 2), "");
    EXPECT_EQ(table.cell(2, 3), "Lp");
    EXPECT_EQ(table.currentRow(), 2);
    EXPECT_EQ(table.currentColumn(), 2);
    EXPECT_TRUE(table.editorShownAtOnce());
    EXPECT_EQ(opened, 0);

    table.SelectRuleCell(0, 1);
    table.InsertRowAtCurrent();
    EXPECT_EQ(Values(table), (std::vector<std::string>{"", "K", "", "L", "M", "N"}));
    EXPECT_EQ(table.currentRow(), 1);
    EXPECT_FALSE(table.typingAllowed());
}

TEST(RuleTableDelete, RowAboveOthersMovesThemUp) {
    RuleTable table = TableWith({"K", "L", "M", "N"});
    table.SelectRuleCell(1, 1);
    table.DeleteCurrentRow();
    EXPECT_EQ(table.rowCount(), 4);
    EXPECT_EQ(Values(table), (std::vector<std::string>{"L", "M", "N"}));
    EXPECT_EQ(table.currentRow(), 1);
    EXPECT_EQ(table.cell(2, 1), "Lp");
    // A row gained later by growth is empty: the deleted rule never comes back.
    table.SelectRuleCell(1, 3);
    EXPECT_EQ(table.rowCount(), 5);
    EXPECT_EQ(Values(table), (std::vector<std::string>{"L", "M", "N", ""}));
}

TEST(RuleTableDelete, LastRowSelectsTheRowAboveWhichGrowsAgain) {
    RuleTable table = TableWith({"K", "L", "M", "N"});
    table.SelectRuleCell(1, 1);
    table.DeleteCurrentRow(); // L, M, N in rows 1..3, R = 4
    // Only a deletion can leave the current cell on the last row: delete row 2 of L, M, N.
    table.SelectRuleCell(0, 2);
    table.DeleteCurrentRow(); // L, N; R = 3; current row 2 is now the last row
    ASSERT_EQ(table.rowCount(), 3);
    ASSERT_EQ(table.currentRow(), 2);
    std::vector<std::pair<int, int>> opened;
    table.ShowTypeEditor = [&](int c, int r) { opened.emplace_back(c, r); };
    table.DeleteCurrentRow();
    // R = 2 for a moment; the selection of row 1 (the new last row) grows it back to 3.
    EXPECT_EQ(table.rowCount(), 3);
    EXPECT_EQ(Values(table), (std::vector<std::string>{"L", ""}));
    EXPECT_EQ(table.currentRow(), 1);
    EXPECT_EQ(table.currentColumn(), 0);
    ASSERT_EQ(opened.size(), 1u); // the selection of a type cell opens the type editor
    EXPECT_EQ(opened[0], std::make_pair(0, 1));
}

TEST(RuleTableDelete, SpecifiedExampleOfTheLastRow) {
    // K, L, M, N with current row 1: delete gives L, M, N; then with current row 3 (the last
    // row) delete gives L, M and an empty row, current row 2, R = 4.
    RuleTable table = TableWith({"K", "L", "M", "N"});
    table.SelectRuleCell(2, 1);
    table.DeleteCurrentRow();
    ASSERT_EQ(table.rowCount(), 4);
    table.SelectRuleCell(2, 3); // last row: grows to 5
    table.DeleteCurrentRow();   // not the last row any more: N is gone, no selection
    EXPECT_EQ(table.rowCount(), 4);
    EXPECT_EQ(Values(table), (std::vector<std::string>{"L", "M", ""}));
    EXPECT_EQ(table.currentRow(), 3);
    // The current cell now stands on the last row, without growth; deleting it selects row 2.
    table.DeleteCurrentRow();
    EXPECT_EQ(table.rowCount(), 4);
    EXPECT_EQ(Values(table), (std::vector<std::string>{"L", "M", ""}));
    EXPECT_EQ(table.currentRow(), 2);
}

TEST(RuleTableDelete, RowJustAboveTheLastStaysWithoutSelection) {
    RuleTable table = TableWith({"K", "L", "M", "N"});
    table.SelectRuleCell(1, 2); // value of a URL rule: typing allowed
    table.setCell(0, 4, Unresolvable());
    ASSERT_EQ(table.rowCount(), 5);
    table.SelectRuleCell(1, 3);
    table.DeleteCurrentRow(); // rows 1..3: K, L, N(unresolvable); R = 4, current row 3 = last
    EXPECT_EQ(table.rowCount(), 4);
    EXPECT_EQ(table.currentRow(), 3);
    EXPECT_EQ(table.cell(0, 3), Unresolvable());
    EXPECT_TRUE(table.typingAllowed()); // the flags of the previous selection
}

TEST(RuleTableDelete, OnlyDataRowLeavesOneEmptyCurrentRow) {
    RuleTable table;
    table.SetRuleType(1, 0);
    table.SelectRuleCell(1, 1); // a URL value: typing allowed
    while (table.rowCount() > 2)
        table.DeleteCurrentRow(); // removes row 1 each time, without a selection
    ASSERT_EQ(table.rowCount(), 2);
    ASSERT_EQ(table.currentRow(), 1);
    ASSERT_TRUE(table.typingAllowed());
    table.SetRuleType(1, 0);
    table.setCell(1, 1, "only");
    table.setCell(2, 1, "onlyp");

    int opened = 0;
    table.ShowTypeEditor = [&](int, int) { ++opened; };
    table.DeleteCurrentRow();
    EXPECT_EQ(table.rowCount(), 2);
    EXPECT_EQ(table.currentRow(), 1);
    EXPECT_EQ(table.currentColumn(), 1);
    for (int c = 0; c < 3; ++c) {
        EXPECT_EQ(table.cell(c, 0), ColumnTitles()[c]);
        EXPECT_EQ(table.cell(c, 1), "");
    }
    // The emptied row has no type, so its value cell takes no typing.
    EXPECT_FALSE(table.typingAllowed());
    EXPECT_EQ(opened, 0);

    table.DeleteCurrentRow(); // again: still one empty data row
    EXPECT_EQ(table.rowCount(), 2);
    EXPECT_EQ(table.currentRow(), 1);
    table.SelectRuleCell(2, 1); // and it grows as a last row does
    EXPECT_EQ(table.rowCount(), 3);
}

TEST(RuleTableGrowth, EnsureRowCountOnlyGrows) {
    RuleTable table;
    int told = 0;
    table.RowCountChanged = [&] { ++told; };
    table.ensureRowCount(3);
    EXPECT_EQ(table.rowCount(), 5);
    table.ensureRowCount(12);
    EXPECT_EQ(table.rowCount(), 12);
    EXPECT_EQ(table.cell(2, 11), "");
    EXPECT_EQ(told, 1);
}

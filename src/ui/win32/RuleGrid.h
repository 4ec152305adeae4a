#pragma once

#include <windows.h>

#include <commctrl.h>

#include <functional>
#include <string>

namespace tarnwick {
class RuleTable;
}

namespace tarnwick::win32 {

// The rule table in a ListView in report mode: the header control shows row 0, list item i
// shows table row i + 1. The grid holds no texts of its own: it reads the table (owner data)
// and reports what the user types. The table's current cell is the grid's; the grid draws its
// rectangle itself (custom draw), since a ListView knows only whole rows.
//
// Every move of the current cell that the user makes (click, drag, arrow, page and end keys,
// Tab) runs SelectCell before the cell becomes current; the hook makes it current in the table.
class RuleGrid {
public:
    RuleGrid(HWND parent, HINSTANCE instance, const RuleTable& table, HFONT font, int rowHeight,
             int columnWidth);
    ~RuleGrid();
    RuleGrid(const RuleGrid&) = delete;
    RuleGrid& operator=(const RuleGrid&) = delete;

    HWND Handle() const { return list_; }

    std::function<void(int column, int row)> SelectCell;
    // A click on the cell that is current already.
    std::function<void(int column, int row)> CurrentCellClicked;
    // Whether the current cell's text editor may open now (on a selection, or asked for).
    std::function<bool(bool onSelection)> MayOpenCellEditor;
    // The user changed the text in the cell editor (GBK), at every change.
    std::function<void(int column, int row, const std::string& text)> CellEdited;
    // The cells moved under a control placed over one: scrolling, a column's new width.
    std::function<void()> CellsMoved;
    // A control placed on the grid (the type editor) reports through the grid, its parent.
    std::function<void(HWND control, UINT code)> ChildCommand;

    // The table changed behind the grid's back: its row count, its texts, its current cell.
    void Refresh();
    // Keeps the current cell in view and repaints it.
    void FollowCurrentCell();
    void SetColumnWidth(int width);
    // The font of the cells, the header and the cell editor, and the rows' height (at a new
    // DPI). The grid does not own the font.
    void SetMetrics(HFONT font, int rowHeight);
    int ColumnWidth(int column) const;

    // The cell's rectangle in the grid's client coordinates (column 0 clipped to its column:
    // the ListView gives the whole row there). Empty when the row is not in view.
    RECT CellRect(int column, int row) const;

    // The in-place text editor of the current cell.
    void OpenCellEditor(const std::string* typed = nullptr);
    void CloseCellEditor();
    bool CellEditorOpen() const { return editor_ != nullptr && IsWindowVisible(editor_); }
    HWND CellEditor() const { return editor_; }

    // Answers the ListView's notifications to its parent (WM_NOTIFY); true when handled.
    bool Notify(NMHDR* header, LRESULT& result);

private:
    static LRESULT CALLBACK ListProc(HWND, UINT, WPARAM, LPARAM, UINT_PTR, DWORD_PTR);
    static LRESULT CALLBACK EditorProc(HWND, UINT, WPARAM, LPARAM, UINT_PTR, DWORD_PTR);
    LRESULT OnListMessage(HWND, UINT, WPARAM, LPARAM, bool& handled);
    bool CellAt(POINT point, int& column, int& row) const;
    void ClickCell(int column, int row);
    void MoveBy(int columns, int rows);
    void MoveTo(int column, int row);
    void MoveByKey(WPARAM key, bool control);
    std::string TypedText(UINT message, WPARAM wParam);
    void Select(int column, int row);
    void AfterSelection();
    bool MayOpen(bool onSelection) const {
        return MayOpenCellEditor && MayOpenCellEditor(onSelection);
    }
    void UpdateHeader();
    // Keeps the open cell editor over its cell when the columns move.
    void PlaceCellEditor();

    const RuleTable& table_;
    HWND list_ = nullptr;
    HWND editor_ = nullptr;
    HFONT font_ = nullptr;
    HIMAGELIST rowHeight_ = nullptr;
    int editorColumn_ = -1;
    int editorRow_ = -1;
    bool dragging_ = false;
    // The first half of a character typed in two messages.
    wchar_t pendingUnit_ = 0;
    char pendingLead_ = 0;
    std::string displayText_;
};

} // namespace tarnwick::win32

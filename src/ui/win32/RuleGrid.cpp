#include "ui/win32/RuleGrid.h"

#include "rules/RuleTable.h"
#include "ui/win32/Controls.h"

#include <commctrl.h>
#include <windowsx.h>

#include <algorithm>

namespace tarnwick::win32 {

namespace {
constexpr int Columns = 3;
constexpr UINT WmColumnsMoved = WM_APP + 20;
} // namespace

RuleGrid::RuleGrid(HWND parent, HINSTANCE instance, const RuleTable& table, HFONT font,
                   int rowHeight, int columnWidth)
    : table_(table), font_(font) {
    // The grid owns its row-height list (shared, so the ListView does not destroy it too).
    list_ =
        CreateWindowExA(WS_EX_CLIENTEDGE, WC_LISTVIEWA, "",
                        WS_CHILD | WS_VISIBLE | WS_TABSTOP | WS_CLIPCHILDREN | LVS_REPORT |
                            LVS_OWNERDATA | LVS_SINGLESEL | LVS_NOSORTHEADER | LVS_SHAREIMAGELISTS,
                        0, 0, 100, 100, parent, nullptr, instance, nullptr);
    ListView_SetExtendedListViewStyle(list_, LVS_EX_GRIDLINES | LVS_EX_DOUBLEBUFFER);
    SetMetrics(font, rowHeight);
    for (int c = 0; c < Columns; ++c) {
        LVCOLUMNA column{};
        column.mask = LVCF_WIDTH | LVCF_TEXT;
        column.cx = columnWidth;
        column.pszText = const_cast<char*>("");
        SendMessageA(list_, LVM_INSERTCOLUMNA, static_cast<WPARAM>(c),
                     reinterpret_cast<LPARAM>(&column));
    }
    Subclass(list_, &RuleGrid::ListProc, this);
    Refresh();
}

RuleGrid::~RuleGrid() {
    if (IsWindow(list_))
        DestroyWindow(list_);
    if (rowHeight_)
        ImageList_Destroy(rowHeight_);
}

void RuleGrid::Refresh() {
    const int items = std::max(0, table_.rowCount() - 1);
    if (ListView_GetItemCount(list_) != items)
        ListView_SetItemCountEx(list_, items, LVSICF_NOINVALIDATEALL | LVSICF_NOSCROLL);
    UpdateHeader();
    if (CellEditorOpen()) {
        if (editorRow_ >= table_.rowCount()) {
            CloseCellEditor();
        } else if (WindowText(editor_) != table_.cell(editorColumn_, editorRow_)) {
            const int column = editorColumn_;
            editorColumn_ = -1; // not the user's change
            SetWindowTextA(editor_, table_.cell(column, editorRow_).c_str());
            editorColumn_ = column;
        }
    }
    InvalidateRect(list_, nullptr, FALSE);
}

void RuleGrid::UpdateHeader() {
    for (int c = 0; c < Columns; ++c) {
        char buffer[256] = {};
        LVCOLUMNA column{};
        column.mask = LVCF_TEXT;
        column.pszText = buffer;
        column.cchTextMax = sizeof buffer;
        SendMessageA(list_, LVM_GETCOLUMNA, static_cast<WPARAM>(c),
                     reinterpret_cast<LPARAM>(&column));
        const std::string& title = table_.cell(c, 0);
        if (title == buffer)
            continue;
        column.pszText = const_cast<char*>(title.c_str());
        SendMessageA(list_, LVM_SETCOLUMNA, static_cast<WPARAM>(c),
                     reinterpret_cast<LPARAM>(&column));
    }
}

void RuleGrid::FollowCurrentCell() {
    const int row = table_.currentRow();
    if (row >= 1)
        ListView_EnsureVisible(list_, row - 1, FALSE);
    InvalidateRect(list_, nullptr, FALSE);
}

void RuleGrid::SetColumnWidth(int width) {
    for (int c = 0; c < Columns; ++c)
        ListView_SetColumnWidth(list_, c, width);
    PlaceCellEditor();
}

void RuleGrid::SetMetrics(HFONT font, int rowHeight) {
    font_ = font;
    SendMessageA(list_, WM_SETFONT, reinterpret_cast<WPARAM>(font_), TRUE);
    if (editor_)
        SendMessageA(editor_, WM_SETFONT, reinterpret_cast<WPARAM>(font_), TRUE);
    // A ListView's rows are as high as its small images: a one pixel wide list sets the height.
    HIMAGELIST old = rowHeight_;
    rowHeight_ = ImageList_Create(1, rowHeight - 1, ILC_COLOR, 0, 0);
    ListView_SetImageList(list_, rowHeight_, LVSIL_SMALL);
    if (old)
        ImageList_Destroy(old);
    PlaceCellEditor();
}

void RuleGrid::PlaceCellEditor() {
    if (!editor_ || editorColumn_ < 0)
        return;
    const RECT cell = CellRect(editorColumn_, editorRow_);
    if (!IsRectEmpty(&cell))
        MoveWindow(editor_, cell.left, cell.top, cell.right - cell.left, cell.bottom - cell.top - 1,
                   TRUE);
}

int RuleGrid::ColumnWidth(int column) const {
    return ListView_GetColumnWidth(list_, column);
}

RECT RuleGrid::CellRect(int column, int row) const {
    RECT rect{};
    if (row < 1 || row >= table_.rowCount() || column < 0 || column >= Columns)
        return rect;
    rect.top = column;
    rect.left = LVIR_BOUNDS;
    if (!SendMessageA(list_, LVM_GETSUBITEMRECT, static_cast<WPARAM>(row - 1),
                      reinterpret_cast<LPARAM>(&rect)))
        return RECT{};
    if (column == 0)
        rect.right = rect.left + ColumnWidth(0);
    return rect;
}

bool RuleGrid::CellAt(POINT point, int& column, int& row) const {
    LVHITTESTINFO hit{};
    hit.pt = point;
    if (SendMessageA(list_, LVM_SUBITEMHITTEST, 0, reinterpret_cast<LPARAM>(&hit)) < 0 ||
        hit.iItem < 0 || hit.iSubItem < 0 || hit.iSubItem >= Columns)
        return false;
    column = hit.iSubItem;
    row = hit.iItem + 1;
    return true;
}

void RuleGrid::Select(int column, int row) {
    CloseCellEditor();
    if (SelectCell)
        SelectCell(column, row);
    Refresh();
    FollowCurrentCell();
}

// A selection opens the cell's editor where the table says so (typing allowed, editor at once),
// unless the selection moved the focus elsewhere (the type list).
void RuleGrid::AfterSelection() {
    if (GetFocus() == list_ && MayOpen(true))
        OpenCellEditor();
}

void RuleGrid::ClickCell(int column, int row) {
    if (column == table_.currentColumn() && row == table_.currentRow()) {
        CloseCellEditor();
        if (CurrentCellClicked)
            CurrentCellClicked(column, row);
        Refresh();
        FollowCurrentCell();
        if (GetFocus() == list_ && MayOpen(false))
            OpenCellEditor();
        return;
    }
    Select(column, row);
    AfterSelection();
}

void RuleGrid::MoveBy(int columns, int rows) {
    int column = table_.currentColumn() + columns;
    int row = table_.currentRow() + rows;
    if (columns != 0 && rows == 0) {
        // Tab and Shift+Tab run on into the next or previous row.
        if (column >= Columns) {
            column = 0;
            ++row;
        } else if (column < 0) {
            column = Columns - 1;
            --row;
        }
    }
    if (row < 1 || row >= table_.rowCount())
        return;
    MoveTo(column, row);
}

void RuleGrid::MoveTo(int column, int row) {
    if (table_.rowCount() < 2)
        return;
    column = std::clamp(column, 0, Columns - 1);
    row = std::clamp(row, 1, table_.rowCount() - 1);
    if (column == table_.currentColumn() && row == table_.currentRow())
        return;
    Select(column, row);
    AfterSelection();
}

// The keys that move by a page or to an end, as in the Qt grid: PgUp and PgDn by the rows in
// view, Home and End to the row's first and last cell, with Ctrl to the first and last row.
void RuleGrid::MoveByKey(WPARAM key, bool control) {
    const int page = std::max(1, static_cast<int>(ListView_GetCountPerPage(list_)));
    const int column = table_.currentColumn();
    const int row = table_.currentRow();
    const int lastRow = table_.rowCount() - 1;
    switch (key) {
    case VK_PRIOR:
        MoveTo(column, row - page);
        break;
    case VK_NEXT:
        MoveTo(column, row + page);
        break;
    case VK_HOME:
        MoveTo(0, control ? 1 : row);
        break;
    case VK_END:
        MoveTo(Columns - 1, control ? lastRow : row);
        break;
    default:
        break;
    }
}

// A character typed into a closed cell, as GBK. Input methods hand it over in several ways:
// as one UTF-16 unit (a surrogate pair in two), or, to an ANSI window, as the bytes of the
// ANSI code page, a double-byte character in two messages; WM_IME_CHAR carries a whole one
// (to an ANSI window with its lead byte in the high byte). Empty while a character is not
// whole yet, and for control characters.
std::string RuleGrid::TypedText(UINT message, WPARAM wParam) {
    std::wstring typed;
    if (IsWindowUnicode(list_)) {
        const auto unit = static_cast<wchar_t>(wParam & 0xFFFF);
        if (unit >= 0xD800 && unit <= 0xDBFF && message == WM_CHAR) {
            pendingUnit_ = unit;
            return {};
        }
        if (unit >= 0xDC00 && unit <= 0xDFFF && pendingUnit_ != 0)
            typed.push_back(pendingUnit_);
        pendingUnit_ = 0;
        typed.push_back(unit);
    } else {
        std::string bytes;
        if (message == WM_IME_CHAR && (wParam & 0xFF00) != 0) {
            bytes = {static_cast<char>((wParam >> 8) & 0xFF), static_cast<char>(wParam & 0xFF)};
        } else {
            const auto byte = static_cast<char>(wParam & 0xFF);
            if (pendingLead_ != 0) {
                bytes = {pendingLead_, byte};
                pendingLead_ = 0;
            } else if (message == WM_CHAR && IsDBCSLeadByte(static_cast<BYTE>(byte))) {
                pendingLead_ = byte;
                return {};
            } else {
                bytes = {byte};
            }
        }
        typed.resize(bytes.size());
        typed.resize(static_cast<std::size_t>(
            MultiByteToWideChar(CP_ACP, 0, bytes.data(), static_cast<int>(bytes.size()),
                                typed.data(), static_cast<int>(typed.size()))));
    }
    if (typed.empty() || typed[0] < 0x20 || typed[0] == 0x7f)
        return {};
    // A character that GBK cannot hold becomes one "?", as the ANSI interfaces make it.
    std::string gbk(typed.size() * 2, '\0');
    BOOL unheld = FALSE;
    gbk.resize(static_cast<std::size_t>(
        WideCharToMultiByte(936, WC_NO_BEST_FIT_CHARS, typed.data(), static_cast<int>(typed.size()),
                            gbk.data(), static_cast<int>(gbk.size()), nullptr, &unheld)));
    return unheld ? std::string("?") : gbk;
}

void RuleGrid::OpenCellEditor(const std::string* typed) {
    const int column = table_.currentColumn();
    const int row = table_.currentRow();
    if (row < 1 || row >= table_.rowCount())
        return;
    FollowCurrentCell();
    RECT cell = CellRect(column, row);
    if (IsRectEmpty(&cell))
        return;
    if (!editor_) {
        editor_ = CreateWindowExA(0, WC_EDITA, "", WS_CHILD | WS_BORDER | ES_AUTOHSCROLL, 0, 0, 10,
                                  10, list_, nullptr, nullptr, nullptr);
        SendMessageA(editor_, WM_SETFONT, reinterpret_cast<WPARAM>(font_), FALSE);
        Subclass(editor_, &RuleGrid::EditorProc, this);
    }
    editorColumn_ = -1; // no writes while the text is set
    SetWindowTextA(editor_, typed ? typed->c_str() : table_.cell(column, row).c_str());
    editorColumn_ = column;
    editorRow_ = row;
    if (typed && CellEdited)
        CellEdited(column, row, *typed);
    PlaceCellEditor();
    ShowWindow(editor_, SW_SHOW);
    SetFocus(editor_);
    const int length = GetWindowTextLengthA(editor_);
    SendMessageA(editor_, EM_SETSEL, typed ? length : 0, length);
}

void RuleGrid::CloseCellEditor() {
    if (!CellEditorOpen())
        return;
    editorColumn_ = -1;
    const bool hadFocus = GetFocus() == editor_;
    ShowWindow(editor_, SW_HIDE);
    if (hadFocus)
        SetFocus(list_);
    InvalidateRect(list_, nullptr, FALSE);
}

bool RuleGrid::Notify(NMHDR* header, LRESULT& result) {
    if (header->hwndFrom != list_)
        return false;
    switch (header->code) {
    case LVN_GETDISPINFOA: {
        auto* info = reinterpret_cast<NMLVDISPINFOA*>(header);
        if (info->item.mask & LVIF_TEXT) {
            displayText_ = table_.cell(info->item.iSubItem, info->item.iItem + 1);
            lstrcpynA(info->item.pszText, displayText_.c_str(), info->item.cchTextMax);
        }
        if (info->item.mask & LVIF_IMAGE)
            info->item.iImage = I_IMAGENONE;
        result = 0;
        return true;
    }
    case NM_CUSTOMDRAW: {
        auto* draw = reinterpret_cast<NMLVCUSTOMDRAW*>(header);
        switch (draw->nmcd.dwDrawStage) {
        case CDDS_PREPAINT:
            result = CDRF_NOTIFYITEMDRAW;
            return true;
        case CDDS_ITEMPREPAINT:
            // The ListView's own row highlight stays off: the grid shows one cell as current.
            draw->nmcd.uItemState &= ~(CDIS_SELECTED | CDIS_FOCUS);
            result = CDRF_NOTIFYPOSTPAINT;
            return true;
        case CDDS_ITEMPOSTPAINT: {
            const int row = static_cast<int>(draw->nmcd.dwItemSpec) + 1;
            if (row == table_.currentRow()) {
                RECT cell = CellRect(table_.currentColumn(), row);
                InflateRect(&cell, -1, -1);
                const bool focused = GetFocus() == list_;
                HBRUSH brush =
                    CreateSolidBrush(GetSysColor(focused ? COLOR_HIGHLIGHT : COLOR_BTNSHADOW));
                FrameRect(draw->nmcd.hdc, &cell, brush);
                InflateRect(&cell, -1, -1);
                FrameRect(draw->nmcd.hdc, &cell, brush);
                DeleteObject(brush);
            }
            result = CDRF_DODEFAULT;
            return true;
        }
        default:
            result = CDRF_DODEFAULT;
            return true;
        }
    }
    default:
        return false;
    }
}

LRESULT CALLBACK RuleGrid::ListProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                                    UINT_PTR, DWORD_PTR data) {
    bool handled = false;
    const LRESULT result =
        reinterpret_cast<RuleGrid*>(data)->OnListMessage(window, message, wParam, lParam, handled);
    return handled ? result : DefSubclassProc(window, message, wParam, lParam);
}

LRESULT RuleGrid::OnListMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                                bool& handled) {
    handled = true;
    switch (message) {
    case WM_GETDLGCODE:
        // Arrow keys, Tab and Enter belong to the grid, as in a string grid.
        return DLGC_WANTALLKEYS | DLGC_WANTARROWS | DLGC_WANTCHARS | DLGC_WANTTAB;
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK: {
        // The focus first: an open type editor commits for its own row before the click selects.
        if (GetFocus() != window)
            SetFocus(window);
        int column = 0, row = 0;
        if (CellAt(POINT{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)}, column, row)) {
            ClickCell(column, row);
            dragging_ = true;
            SetCapture(window);
        }
        return 0;
    }
    case WM_MOUSEMOVE:
        if (dragging_ && (wParam & MK_LBUTTON)) {
            int column = 0, row = 0;
            // Into the last row too, which grows the table as any selection of it does.
            if (CellAt(POINT{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)}, column, row) &&
                (column != table_.currentColumn() || row != table_.currentRow()))
                Select(column, row);
        }
        return 0;
    case WM_LBUTTONUP:
    case WM_CAPTURECHANGED:
        if (dragging_) {
            dragging_ = false;
            if (message == WM_LBUTTONUP)
                ReleaseCapture();
        }
        return 0;
    case WM_RBUTTONDOWN:
    case WM_RBUTTONUP:
        return 0;
    case WM_KEYDOWN: {
        const bool shift = GetKeyState(VK_SHIFT) < 0;
        switch (wParam) {
        case VK_UP:
            MoveBy(0, -1);
            return 0;
        case VK_DOWN:
            MoveBy(0, 1);
            return 0;
        case VK_LEFT:
            MoveBy(-1, 0);
            return 0;
        case VK_RIGHT:
            MoveBy(1, 0);
            return 0;
        case VK_TAB:
            MoveBy(shift ? -1 : 1, 0);
            return 0;
        case VK_F2:
        case VK_RETURN:
            if (MayOpen(false))
                OpenCellEditor();
            return 0;
        case VK_PRIOR:
        case VK_NEXT:
        case VK_HOME:
        case VK_END:
            MoveByKey(wParam, GetKeyState(VK_CONTROL) < 0);
            return 0;
        default:
            break;
        }
        handled = false;
        return 0;
    }
    case WM_CHAR:
    case WM_IME_CHAR: {
        // Typing into a cell starts its editor with the typed character. WM_IME_CHAR is
        // answered here, so the default processing makes no second WM_CHAR of it.
        const std::string typed = TypedText(message, wParam);
        if (!typed.empty() && MayOpen(false))
            OpenCellEditor(&typed);
        return 0;
    }
    case WM_SETFOCUS:
    case WM_KILLFOCUS:
        InvalidateRect(window, nullptr, FALSE);
        handled = false;
        return 0;
    case WM_COMMAND: {
        const auto control = reinterpret_cast<HWND>(lParam);
        const UINT code = HIWORD(wParam);
        if (control && control == editor_) {
            if (code == EN_CHANGE && editorColumn_ >= 0 && editorRow_ < table_.rowCount()) {
                if (CellEdited)
                    CellEdited(editorColumn_, editorRow_, WindowText(editor_));
                ListView_RedrawItems(list_, editorRow_ - 1, editorRow_ - 1);
            } else if (code == EN_KILLFOCUS) {
                CloseCellEditor();
            }
            return 0;
        }
        if (control && ChildCommand)
            ChildCommand(control, code);
        return 0;
    }
    case WM_VSCROLL:
    case WM_HSCROLL:
    case WM_MOUSEWHEEL: {
        CloseCellEditor();
        const LRESULT result = DefSubclassProc(window, message, wParam, lParam);
        if (CellsMoved)
            CellsMoved();
        return result;
    }
    case WM_NOTIFY: {
        // The header's column widths: a control placed over a cell follows.
        const auto* header = reinterpret_cast<NMHDR*>(lParam);
        const LRESULT result = DefSubclassProc(window, message, wParam, lParam);
        // The ListView takes the new width only after the header has told it, so the
        // controls over cells move once this notification is through.
        if (header->code == HDN_ITEMCHANGEDA || header->code == HDN_ITEMCHANGEDW)
            PostMessageA(window, WmColumnsMoved, 0, 0);
        return result;
    }
    case WmColumnsMoved:
        PlaceCellEditor();
        if (CellsMoved)
            CellsMoved();
        return 0;
    default:
        handled = false;
        return 0;
    }
}

LRESULT CALLBACK RuleGrid::EditorProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                                      UINT_PTR, DWORD_PTR data) {
    auto* grid = reinterpret_cast<RuleGrid*>(data);
    switch (message) {
    case WM_GETDLGCODE:
        return DLGC_WANTALLKEYS | DefSubclassProc(window, message, wParam, lParam);
    case WM_KEYDOWN:
        switch (wParam) {
        case VK_RETURN:
        case VK_ESCAPE:
            grid->CloseCellEditor();
            return 0;
        case VK_UP:
        case VK_DOWN:
        case VK_PRIOR:
        case VK_NEXT:
        case VK_TAB:
            // The grid moves on; the text has reached the table already.
            grid->CloseCellEditor();
            SendMessageA(grid->list_, WM_KEYDOWN, wParam, lParam);
            return 0;
        default:
            break;
        }
        break;
    case WM_CHAR:
        if (wParam == '\r' || wParam == 0x1b || wParam == '\t')
            return 0;
        break;
    default:
        break;
    }
    return DefSubclassProc(window, message, wParam, lParam);
}

} // namespace tarnwick::win32

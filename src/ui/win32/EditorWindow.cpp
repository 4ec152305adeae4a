#include "forms/ErrorBox.h"
#include "forms/setParamUnit.h"
#include "rules/CodePage.h"
#include "ui/win32/Controls.h"
#include "ui/win32/Resources.h"
#include "ui/win32/Views.h"

#include <algorithm>

namespace tarnwick::win32 {

namespace {

enum : UINT {
    IdToolButtonInsert = 1001,
    IdToolButtonDelete,
    // Not IDOK and IDCANCEL: Enter and Escape close nothing.
    IdButtonOK = 1101,
    IdButtonCancle,
    IdLabel1,
    IdComboBox1,
    IdLabelTestUrl,
    IdEditTestUrl,
    IdButtonTest,
    IdLabelTestResult,
    // A pick in the open list commits once the list has closed.
    WmCommitPick = WM_APP + 1,
    // Tasks posted from other threads are waiting.
    WmRunPosted,
};

// The layout's texts, converted to GBK once.
struct Texts {
    std::string caption = GbkFromUtf8("设置参数");
    std::string hintInsert = GbkFromUtf8("插入一行");
    std::string hintDelete = GbkFromUtf8("删除当前行");
    std::string ok = GbkFromUtf8("确定");
    std::string cancel = GbkFromUtf8("取消");
    std::string note = GbkFromUtf8("注意：新设置的参数只对过后的启动的IE有效。");
    std::string testUrl = GbkFromUtf8("测试网址：");
    std::string test = GbkFromUtf8("测试");
};
const Texts& Text() {
    static const Texts texts;
    return texts;
}

constexpr int Panel2Height = 49;
// The tester's row and result line; the window is this much taller, so the grid keeps its rows.
constexpr int TestPanelHeight = 58;
constexpr int TestMargin = 8;
constexpr int TestRowTop = 6;
constexpr int TestRowHeight = 24;
constexpr int TestLabelWidth = 72;
constexpr int TestButtonWidth = 81;
constexpr int TestResultTop = 36;
constexpr int TestResultHeight = 16;
constexpr int ToolBarHeight = 33;
constexpr int RowHeight = 24;
constexpr int ComboItemHeight = 13;

// Enter in the tester's edit presses 测试 (a single-line edit would only beep).
LRESULT CALLBACK TestUrlEditProc(HWND edit, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR,
                                 DWORD_PTR) {
    if (message == WM_KEYDOWN && wParam == VK_RETURN) {
        PostMessageA(GetParent(edit), WM_COMMAND, MAKEWPARAM(IdButtonTest, BN_CLICKED), 0);
        return 0;
    }
    if (message == WM_CHAR && (wParam == '\r' || wParam == '\n'))
        return 0;
    if (message == WM_GETDLGCODE && wParam == VK_RETURN)
        return DLGC_WANTALLKEYS | DefSubclassProc(edit, message, wParam, lParam);
    return DefSubclassProc(edit, message, wParam, lParam);
}

} // namespace

EditorWindow::EditorWindow(ApplicationWindows& app, TsetParamForm& form) : app_(app), form_(form) {
    font_ = CreateFormFont(11);
    HWND owner = app_.Main() ? app_.Main()->Hwnd() : nullptr;
    // Outer size 543 x 241 at 192, 172, and the tester's row: a sizeable dialog without a
    // minimise box.
    CreateForm(
        "TsetParamForm", Text().caption.c_str(),
        WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_THICKFRAME | WS_MAXIMIZEBOX | WS_CLIPCHILDREN,
        WS_EX_DLGMODALFRAME | WS_EX_CONTROLPARENT, 192, 172, 543, 241 + TestPanelHeight, owner);
    CreateComponents();
    created_ = true;
    Layout();
}

EditorWindow::~EditorWindow() {
    // Destroying the editor may activate its owner: that is no activation by the user.
    if (app_.Main() && IsWindowVisible(app_.Main()->Hwnd()))
        app_.SetActiveForm(app_.Main()->Hwnd());
    app_.Forget(this);
    StringGrid1.reset();
    if (IsWindow(hwnd_))
        DestroyWindow(hwnd_);
    if (ImageList1)
        ImageList_Destroy(ImageList1);
    if (font_)
        DeleteObject(font_);
}

void EditorWindow::CreateComponents() {
    InitCommonControlsOnce();
    HINSTANCE instance = app_.Instance();
    ToolBar1 = CreateWindowExA(0, TOOLBARCLASSNAMEA, "",
                               WS_CHILD | WS_VISIBLE | TBSTYLE_FLAT | TBSTYLE_TOOLTIPS |
                                   CCS_NODIVIDER | CCS_NORESIZE | CCS_NOPARENTALIGN,
                               0, 0, 535, ToolBarHeight, hwnd_, nullptr, instance, nullptr);
    SendMessageA(ToolBar1, TB_BUTTONSTRUCTSIZE, sizeof(TBBUTTON), 0);
    ImageList1 = CreateIconImageList(instance, 20, {IDI_INSERT, IDI_DELETE});
    SendMessageA(ToolBar1, TB_SETIMAGELIST, 0, reinterpret_cast<LPARAM>(ImageList1));
    SendMessageA(ToolBar1, TB_SETBITMAPSIZE, 0, MAKELPARAM(20, 20));
    TBBUTTON buttons[] = {
        {0, IdToolButtonInsert, TBSTATE_ENABLED, BTNS_BUTTON, {}, 0, 0},
        {1, IdToolButtonDelete, TBSTATE_ENABLED, BTNS_BUTTON, {}, 0, 0},
    };
    SendMessageA(ToolBar1, TB_ADDBUTTONSA, std::size(buttons), reinterpret_cast<LPARAM>(buttons));
    SendMessageA(ToolBar1, TB_SETBUTTONSIZE, 0, MAKELPARAM(27, 26));
    app_.AddTooltip(reinterpret_cast<HWND>(SendMessageA(ToolBar1, TB_GETTOOLTIPS, 0, 0)));

    StringGrid1 = std::make_unique<RuleGrid>(hwnd_, instance, form_.Table(), font_, RowHeight);
    RuleGrid& grid = *StringGrid1;
    grid.SelectCell = [this](int column, int row) {
        Guarded([&] { form_.StringGrid1SelectCell(column, row); });
    };
    grid.CurrentCellClicked = [this](int column, int row) {
        Guarded([&] { form_.CurrentCellClicked(column, row); });
    };
    grid.MayOpenCellEditor = [this](bool onSelection) {
        return form_.MayOpenCellEditor(onSelection);
    };
    grid.CellEdited = [this](int column, int row, const std::string& text) {
        Guarded([&] { form_.CellEdited(column, row, text); });
    };
    grid.ChildCommand = [this](HWND control, UINT code) {
        if (control == ComboBox1)
            TypeListCommand(code);
    };
    grid.CellsMoved = [this] { PlaceTypeList(); };

    // The type list lives on the grid, so it scrolls with its cell; its notifications reach
    // the grid, which hands them on.
    ComboBox1 = CreateWindowExA(
        0, WC_COMBOBOXA, "", WS_CHILD | WS_VSCROLL | CBS_DROPDOWNLIST | CBS_HASSTRINGS, 0, 0, 170,
        120, grid.Handle(), reinterpret_cast<HMENU>(static_cast<UINT_PTR>(IdComboBox1)), instance,
        nullptr);
    SendMessageA(ComboBox1, WM_SETFONT, reinterpret_cast<WPARAM>(font_), FALSE);
    SendMessageA(ComboBox1, CB_SETITEMHEIGHT, 0, ComboItemHeight);
    SendMessageA(ComboBox1, CB_SETITEMHEIGHT, static_cast<WPARAM>(-1), RowHeight - 8);

    // Tab order: the grid, the tester's edit and button, then ButtonCancle, then ButtonOK.
    LabelTestUrl = CreateWindowExA(0, WC_STATICA, Text().testUrl.c_str(), WS_CHILD | WS_VISIBLE, 0,
                                   0, TestLabelWidth, 13, hwnd_,
                                   reinterpret_cast<HMENU>(IdLabelTestUrl), instance, nullptr);
    EditTestUrl = CreateWindowExA(
        WS_EX_CLIENTEDGE, WC_EDITA, "", WS_CHILD | WS_VISIBLE | WS_TABSTOP | ES_AUTOHSCROLL, 0, 0,
        300, TestRowHeight, hwnd_, reinterpret_cast<HMENU>(IdEditTestUrl), instance, nullptr);
    SetWindowSubclass(EditTestUrl, TestUrlEditProc, 0, 0);
    ButtonTest = CreateWindowExA(0, WC_BUTTONA, Text().test.c_str(),
                                 WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON, 0, 0,
                                 TestButtonWidth, TestRowHeight, hwnd_,
                                 reinterpret_cast<HMENU>(IdButtonTest), instance, nullptr);
    LabelTestResult = CreateWindowExA(
        0, WC_STATICA, "", WS_CHILD | WS_VISIBLE | SS_NOPREFIX | SS_ENDELLIPSIS, 0, 0, 500,
        TestResultHeight, hwnd_, reinterpret_cast<HMENU>(IdLabelTestResult), instance, nullptr);
    for (HWND control : {LabelTestUrl, EditTestUrl, ButtonTest, LabelTestResult})
        SendMessageA(control, WM_SETFONT, reinterpret_cast<WPARAM>(font_), FALSE);

    ButtonCancle = CreateWindowExA(
        0, WC_BUTTONA, Text().cancel.c_str(), WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON, 0,
        0, 81, 33, hwnd_, reinterpret_cast<HMENU>(IdButtonCancle), instance, nullptr);
    ButtonOK = CreateWindowExA(0, WC_BUTTONA, Text().ok.c_str(),
                               WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON, 0, 0, 81, 33,
                               hwnd_, reinterpret_cast<HMENU>(IdButtonOK), instance, nullptr);
    Label1 = CreateWindowExA(0, WC_STATICA, Text().note.c_str(), WS_CHILD | WS_VISIBLE, 0, 0, 270,
                             13, hwnd_, reinterpret_cast<HMENU>(IdLabel1), instance, nullptr);
    for (HWND control : {ButtonCancle, ButtonOK, Label1})
        SendMessageA(control, WM_SETFONT, reinterpret_cast<WPARAM>(font_), FALSE);
}

// Panel1 fills the client area above Panel2 (49 high): the toolbar on top, the grid below it.
void EditorWindow::Layout() {
    if (!created_)
        return;
    RECT client;
    GetClientRect(hwnd_, &client);
    const int width = client.right;
    const int panel1Height =
        std::max(0, static_cast<int>(client.bottom) - Panel2Height - TestPanelHeight);
    MoveWindow(ToolBar1, 0, 0, width, ToolBarHeight, TRUE);
    MoveWindow(StringGrid1->Handle(), 0, ToolBarHeight, width,
               std::max(0, panel1Height - ToolBarHeight), TRUE);
    // The tester's row: label, edit across the window, button at the right; the result below.
    const int testTop = panel1Height;
    MoveWindow(LabelTestUrl, TestMargin, testTop + TestRowTop + 5, TestLabelWidth, 14, TRUE);
    const int editLeft = TestMargin + TestLabelWidth + 4;
    const int buttonLeft = std::max(editLeft, width - TestMargin - TestButtonWidth);
    MoveWindow(EditTestUrl, editLeft, testTop + TestRowTop, std::max(0, buttonLeft - 6 - editLeft),
               TestRowHeight, TRUE);
    MoveWindow(ButtonTest, buttonLeft, testTop + TestRowTop, TestButtonWidth, TestRowHeight, TRUE);
    MoveWindow(LabelTestResult, TestMargin, testTop + TestResultTop,
               std::max(0, width - 2 * TestMargin), TestResultHeight, TRUE);
    const int panel2Top = panel1Height + TestPanelHeight;
    MoveWindow(ButtonOK, 16, panel2Top + 8, 81, 33, TRUE);
    MoveWindow(ButtonCancle, 120, panel2Top + 8, 81, 33, TRUE);
    MoveWindow(Label1, 256, panel2Top + 16, std::max(0, width - 256), 13, TRUE);
    PlaceTypeList();
}

template <typename F> void EditorWindow::Guarded(F&& f) {
    RunGuarded(this, std::forward<F>(f));
}

void EditorWindow::Run(void (TsetParamForm::*handler)()) {
    form_.Handle(handler);
}

void EditorWindow::SetNormalState() {
    if (!IsZoomed(hwnd_) && !IsIconic(hwnd_))
        return;
    // A hidden window keeps its maximised state until it is shown: it is shown normal then.
    if (!IsWindowVisible(hwnd_)) {
        showNormal_ = true;
        return;
    }
    WINDOWPLACEMENT placement{};
    placement.length = sizeof placement;
    GetWindowPlacement(hwnd_, &placement);
    placement.showCmd = SW_SHOWNORMAL;
    placement.flags = 0;
    SetWindowPlacement(hwnd_, &placement);
}

void EditorWindow::RunModal(FormView* owner) {
    if (modal_)
        return;
    modal_ = true;
    modalEnded_ = false;
    modalOwner_ = FormWindow(owner);
    if (modalOwner_ && IsWindowVisible(modalOwner_))
        EnableWindow(modalOwner_, FALSE);
    else
        modalOwner_ = nullptr;
    ShowWindow(hwnd_, showNormal_ ? SW_SHOWNORMAL : SW_SHOW);
    showNormal_ = false;
    SetForegroundWindow(hwnd_);
    Run(&TsetParamForm::FormActivate);
    MSG message;
    while (!modalEnded_) {
        const BOOL got = GetMessageA(&message, nullptr, 0, 0);
        if (got == 0) {
            // The program is ending: the outer loop must see the quit request too.
            PostQuitMessage(static_cast<int>(message.wParam));
            break;
        }
        if (got < 0)
            break;
        app_.Dispatch(message);
    }
    if (!modalEnded_)
        EndModal();
    modal_ = false;
}

void EditorWindow::EndModal() {
    if (!modal_ || modalEnded_)
        return;
    modalEnded_ = true;
    // The owner first, so the focus goes straight back to it.
    if (modalOwner_)
        EnableWindow(modalOwner_, TRUE);
    if (modalOwner_ && IsWindowVisible(modalOwner_))
        app_.SetActiveForm(modalOwner_);
    ShowWindow(hwnd_, SW_HIDE);
    modalOwner_ = nullptr;
    PostMessageA(hwnd_, WM_NULL, 0, 0);
}

void EditorWindow::RefreshTexts() {
    StringGrid1->Refresh();
}

void EditorWindow::FollowRowCount() {
    StringGrid1->Refresh();
    PlaceTypeList();
}

void EditorWindow::FollowCurrentCell() {
    StringGrid1->FollowCurrentCell();
    PlaceTypeList();
}

void EditorWindow::CloseCellEditor() {
    StringGrid1->CloseCellEditor();
}

int EditorWindow::GridWidth() const {
    RECT rect;
    GetWindowRect(StringGrid1->Handle(), &rect);
    return rect.right - rect.left;
}

void EditorWindow::SetColumnWidths(int width) {
    StringGrid1->SetColumnWidth(width);
    PlaceTypeList();
}

void EditorWindow::FocusGrid() {
    SetFocus(StringGrid1->Handle());
}

// The grid, the type list while it is shown (it lives on the grid), the tester's edit and
// button, ButtonCancle, ButtonOK.
std::vector<HWND> EditorWindow::TabOrder() const {
    return {StringGrid1->Handle(), ComboBox1, EditTestUrl, ButtonTest, ButtonCancle, ButtonOK};
}

std::string EditorWindow::TestUrlText() const {
    std::string text(static_cast<std::size_t>(GetWindowTextLengthA(EditTestUrl)) + 1, '\0');
    text.resize(static_cast<std::size_t>(
        GetWindowTextA(EditTestUrl, text.data(), static_cast<int>(text.size()))));
    return text;
}

void EditorWindow::SetTestResult(const std::string& text) {
    SetWindowTextA(LabelTestResult, text.c_str());
}

void EditorWindow::PostFromAnyThread(std::function<void()> task) {
    std::lock_guard<std::mutex> lock(postedMutex_);
    posted_.push_back(std::move(task));
    PostMessageA(hwnd_, WmRunPosted, 0, 0);
}

void EditorWindow::SetTypeListEntries(const std::vector<std::string>& entries) {
    SendMessageA(ComboBox1, CB_RESETCONTENT, 0, 0);
    for (const std::string& entry : entries)
        SendMessageA(ComboBox1, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(entry.c_str()));
}

int EditorWindow::TypeListSelection() const {
    return static_cast<int>(SendMessageA(ComboBox1, CB_GETCURSEL, 0, 0));
}

void EditorWindow::SetTypeListSelection(int index) {
    SendMessageA(ComboBox1, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
}

void EditorWindow::ShowTypeList(int column, int row) {
    typeListColumn_ = column;
    typeListRow_ = row;
    StringGrid1->CloseCellEditor();
    PlaceTypeList();
    ShowWindow(ComboBox1, SW_SHOW);
    SetFocus(ComboBox1);
}

void EditorWindow::HideTypeList() {
    if (SendMessageA(ComboBox1, CB_GETDROPPEDSTATE, 0, 0))
        SendMessageA(ComboBox1, CB_SHOWDROPDOWN, FALSE, 0);
    ShowWindow(ComboBox1, SW_HIDE);
}

// Over its cell, one pixel in from the cell's left and top edges, the cell's size; the part
// that would cover the header (the cell scrolled away) is cut off.
void EditorWindow::PlaceTypeList() {
    if (!ComboBox1 || !StringGrid1)
        return;
    const RECT cell = StringGrid1->CellRect(typeListColumn_, typeListRow_);
    const int width = static_cast<int>(cell.right - cell.left);
    const int height = static_cast<int>(cell.bottom - cell.top);
    const int listHeight = height + 4 * ComboItemHeight + 4;
    MoveWindow(ComboBox1, cell.left + 1, cell.top + 1, std::max(width, 1), listHeight, TRUE);
    HWND header = reinterpret_cast<HWND>(SendMessageA(StringGrid1->Handle(), LVM_GETHEADER, 0, 0));
    RECT headerRect{};
    if (header && IsWindowVisible(header))
        GetWindowRect(header, &headerRect);
    const auto headerHeight = headerRect.bottom - headerRect.top;
    RECT client;
    GetClientRect(StringGrid1->Handle(), &client);
    const int top = static_cast<int>(cell.top) + 1;
    const int visibleTop = std::max(0, static_cast<int>(headerHeight) - top);
    const int visibleBottom = std::max(visibleTop, static_cast<int>(client.bottom) - top);
    if (IsRectEmpty(&cell)) {
        SetWindowRgn(ComboBox1, CreateRectRgn(0, 0, 0, 0), TRUE);
    } else {
        SetWindowRgn(
            ComboBox1,
            CreateRectRgn(0, visibleTop, std::max(width, 1), std::min(visibleBottom, height)),
            TRUE);
    }
}

void EditorWindow::TypeListCommand(UINT code) {
    switch (code) {
    case CBN_SELCHANGE:
        if (SendMessageA(ComboBox1, CB_GETDROPPEDSTATE, 0, 0))
            PostMessageA(hwnd_, WmCommitPick, 0, 0);
        else
            Run(&TsetParamForm::ComboBox1Change);
        break;
    case CBN_KILLFOCUS: {
        // Only a list that is open loses the focus; one that goes to another program is
        // not left (the focus comes back to it).
        HWND focus = GetFocus();
        if (IsWindowVisible(ComboBox1) && focus != nullptr && focus != ComboBox1 &&
            !IsChild(ComboBox1, focus))
            Run(&TsetParamForm::ComboBox1Exit);
        break;
    }
    default:
        break;
    }
}

LRESULT EditorWindow::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_SIZE:
        Layout();
        if (created_)
            Run(&TsetParamForm::FormResize);
        return 0;
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case IdToolButtonInsert:
            Run(&TsetParamForm::ToolButtonInsertClick);
            return 0;
        case IdToolButtonDelete:
            Run(&TsetParamForm::ToolButtonDeleteClick);
            return 0;
        case IdButtonOK:
            if (HIWORD(wParam) == BN_CLICKED)
                Run(&TsetParamForm::ButtonOKClick);
            return 0;
        case IdButtonCancle:
            if (HIWORD(wParam) == BN_CLICKED)
                Run(&TsetParamForm::ButtonCancleClick);
            return 0;
        case IdButtonTest:
            if (HIWORD(wParam) == BN_CLICKED)
                Run(&TsetParamForm::ButtonTestClick);
            return 0;
        default:
            return 0;
        }
    case WmRunPosted: {
        std::deque<std::function<void()>> tasks;
        {
            std::lock_guard<std::mutex> lock(postedMutex_);
            tasks.swap(posted_);
        }
        for (auto& task : tasks)
            task();
        return 0;
    }
    case WmCommitPick:
        if (IsWindowVisible(ComboBox1))
            Run(&TsetParamForm::ComboBox1Change);
        return 0;
    case WM_NOTIFY: {
        auto* header = reinterpret_cast<NMHDR*>(lParam);
        LRESULT result = 0;
        if (StringGrid1 && StringGrid1->Notify(header, result))
            return result;
        if (header->code == TTN_GETDISPINFOA || header->code == TTN_GETDISPINFOW) {
            const char* hint = header->idFrom == IdToolButtonInsert   ? Text().hintInsert.c_str()
                               : header->idFrom == IdToolButtonDelete ? Text().hintDelete.c_str()
                                                                      : nullptr;
            if (!hint)
                break;
            if (header->code == TTN_GETDISPINFOA) {
                reinterpret_cast<NMTTDISPINFOA*>(header)->lpszText = const_cast<char*>(hint);
            } else {
                auto* info = reinterpret_cast<NMTTDISPINFOW*>(header);
                MultiByteToWideChar(936, 0, hint, -1, info->szText, std::size(info->szText));
                info->lpszText = info->szText;
            }
            return 0;
        }
        break;
    }
    case WM_ACTIVATE:
        if (LOWORD(wParam) != WA_INACTIVE)
            app_.SetActiveForm(hwnd_);
        if (FollowActivation(wParam))
            return 0;
        break;
    case WM_CTLCOLORSTATIC:
        SetBkColor(reinterpret_cast<HDC>(wParam), GetSysColor(COLOR_BTNFACE));
        return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
    case WM_CLOSE:
        Run(&TsetParamForm::ButtonCancleClick);
        return 0;
    default:
        break;
    }
    return DefWindowProcA(hwnd_, message, wParam, lParam);
}

} // namespace tarnwick::win32

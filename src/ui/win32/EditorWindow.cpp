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

const ControlLayout& Component(const char* name) {
    return SetParamFormLayout()[name];
}

// The type list's entries, at 96 dpi.
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
    HWND owner = app_.Main() ? app_.Main()->Hwnd() : nullptr;
    // A sizeable dialog without a minimise box.
    CreateForm("TsetParamForm", SetParamFormLayout(),
               WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_THICKFRAME | WS_MAXIMIZEBOX |
                   WS_CLIPCHILDREN,
               WS_EX_DLGMODALFRAME | WS_EX_CONTROLPARENT, owner);
    oldDpi_ = dpi_;
}

EditorWindow::~EditorWindow() {
    // Destroying the editor may activate its owner: that is no activation by the user.
    if (app_.Main() && IsWindowVisible(app_.Main()->Hwnd()))
        TheProgramActivation().HandBackTo(app_.Main());
    TheProgramActivation().Forget(this);
    app_.Forget(this);
    StringGrid1.reset();
    if (IsWindow(hwnd_))
        DestroyWindow(hwnd_);
    if (ImageList1)
        ImageList_Destroy(ImageList1);
    if (font_)
        DeleteObject(font_);
}

// Most starts never open the editor: its controls are made when it is first shown, or when the
// behaviour first needs one. What the behaviour told the view before then is applied here.
void EditorWindow::EnsureComponents() {
    if (created_)
        return;
    font_ = CreateFormFont(dpi_);
    oldDpi_ = dpi_;
    CreateComponents();
    created_ = true;
    for (const std::string& entry : typeListEntries_)
        SendMessageA(ComboBox1, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(entry.c_str()));
    SetWindowTextA(LabelTestResult, testResult_.c_str());
    ApplyDpi();
}

void EditorWindow::CreateComponents() {
    InitCommonControlsOnce();
    HINSTANCE instance = app_.Instance();
    ToolBar1 = CreateWindowExA(0, TOOLBARCLASSNAMEA, "",
                               WS_CHILD | WS_VISIBLE | TBSTYLE_FLAT | TBSTYLE_TOOLTIPS |
                                   CCS_NODIVIDER | CCS_NORESIZE | CCS_NOPARENTALIGN,
                               0, 0, 0, 0, hwnd_, nullptr, instance, nullptr);
    SendMessageA(ToolBar1, TB_BUTTONSTRUCTSIZE, sizeof(TBBUTTON), 0);
    TBBUTTON buttons[] = {
        {0, IdToolButtonInsert, TBSTATE_ENABLED, BTNS_BUTTON, {}, 0, 0},
        {1, IdToolButtonDelete, TBSTATE_ENABLED, BTNS_BUTTON, {}, 0, 0},
    };
    SendMessageA(ToolBar1, TB_ADDBUTTONSA, std::size(buttons), reinterpret_cast<LPARAM>(buttons));
    app_.AddTooltip(reinterpret_cast<HWND>(SendMessageA(ToolBar1, TB_GETTOOLTIPS, 0, 0)));

    StringGrid1 = std::make_unique<RuleGrid>(hwnd_, instance, form_.Table(), font_,
                                             Scale(Component("RowHeight").height),
                                             Scale(Component("ColumnWidth").width));
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
        0, WC_COMBOBOXA, "", WS_CHILD | WS_VSCROLL | CBS_DROPDOWNLIST | CBS_HASSTRINGS, 0, 0, 0, 0,
        grid.Handle(), reinterpret_cast<HMENU>(static_cast<UINT_PTR>(IdComboBox1)), instance,
        nullptr);

    // Created in tab order (the grid, the tester's edit and button, ButtonCancle, ButtonOK);
    // TabOrder() follows the layout.
    const auto make = [&](const char* name, const char* kind, DWORD style, UINT id) {
        return CreateWindowExA(
            0, kind, Component(name).caption.c_str(), WS_CHILD | WS_VISIBLE | style, 0, 0, 0, 0,
            hwnd_, reinterpret_cast<HMENU>(static_cast<UINT_PTR>(id)), instance, nullptr);
    };
    // The tester's row; Enter in its edit presses 测试.
    LabelTestUrl = make("LabelTestUrl", WC_STATICA, SS_CENTERIMAGE, IdLabelTestUrl);
    EditTestUrl = CreateWindowExA(WS_EX_CLIENTEDGE, WC_EDITA, "",
                                  WS_CHILD | WS_VISIBLE | WS_TABSTOP | ES_AUTOHSCROLL, 0, 0, 0, 0,
                                  hwnd_, reinterpret_cast<HMENU>(IdEditTestUrl), instance, nullptr);
    SetWindowSubclass(EditTestUrl, TestUrlEditProc, 0, 0);
    ButtonTest = make("ButtonTest", WC_BUTTONA, WS_TABSTOP | BS_PUSHBUTTON, IdButtonTest);
    LabelTestResult =
        make("LabelTestResult", WC_STATICA, SS_NOPREFIX | SS_ENDELLIPSIS, IdLabelTestResult);
    ButtonCancle = make("ButtonCancle", WC_BUTTONA, WS_TABSTOP | BS_PUSHBUTTON, IdButtonCancle);
    ButtonOK = make("ButtonOK", WC_BUTTONA, WS_TABSTOP | BS_PUSHBUTTON, IdButtonOK);
    Label1 = make("Label1", WC_STATICA, 0, IdLabel1);
}

void EditorWindow::ApplyDpi() {
    if (!created_)
        return;
    HFONT oldFont = font_;
    font_ = CreateFormFont(dpi_);
    HIMAGELIST oldImages = ImageList1;
    const int picture = Scale(20);
    ImageList1 = CreateIconImageList(app_.Instance(), picture, {IDI_INSERT, IDI_DELETE});
    SendMessageA(ToolBar1, TB_SETIMAGELIST, 0, reinterpret_cast<LPARAM>(ImageList1));
    SendMessageA(ToolBar1, TB_SETBITMAPSIZE, 0, MAKELPARAM(picture, picture));
    const ControlLayout& button = Component("ToolButtonInsert");
    SendMessageA(ToolBar1, TB_SETBUTTONSIZE, 0,
                 MAKELPARAM(Scale(button.width), Scale(button.height)));
    if (oldImages)
        ImageList_Destroy(oldImages);

    const int columnWidth = StringGrid1->ColumnWidth(0);
    StringGrid1->SetMetrics(font_, Scale(Component("RowHeight").height));
    SendMessageA(ComboBox1, WM_SETFONT, reinterpret_cast<WPARAM>(font_), TRUE);
    SendMessageA(ComboBox1, CB_SETITEMHEIGHT, 0, Scale(ComboItemHeight));
    SendMessageA(ComboBox1, CB_SETITEMHEIGHT, static_cast<WPARAM>(-1),
                 Scale(Component("RowHeight").height) - Scale(8));
    for (HWND control :
         {ButtonCancle, ButtonOK, Label1, LabelTestUrl, EditTestUrl, ButtonTest, LabelTestResult})
        SendMessageA(control, WM_SETFONT, reinterpret_cast<WPARAM>(font_), TRUE);
    if (oldFont) {
        // Columns keep their share of the grid at the new DPI.
        if (oldDpi_ != dpi_)
            StringGrid1->SetColumnWidth(MulDiv(columnWidth, dpi_, oldDpi_));
        DeleteObject(oldFont);
    }
    oldDpi_ = dpi_;
    Layout();
}

// Panel1 fills the client area above Panel2 (49 high): the toolbar on top, the grid below it.
void EditorWindow::Layout() {
    if (!created_)
        return;
    RECT client;
    GetClientRect(hwnd_, &client);
    const int width = client.right;
    const int toolBarHeight = Scale(Component("ToolBar1").height);
    const int panel2Height = Scale(Component("Panel2").height);
    const int testHeight = Scale(Component("PanelTest").height);
    const int panel1Height =
        std::max(0, static_cast<int>(client.bottom) - panel2Height - testHeight);
    MoveWindow(ToolBar1, 0, 0, width, toolBarHeight, TRUE);
    MoveWindow(StringGrid1->Handle(), 0, toolBarHeight, width,
               std::max(0, panel1Height - toolBarHeight), TRUE);
    // Edges scaled, not sizes: neighbours that touch at 96 dpi never overlap. A control that
    // reaches the layout's right edge (less a margin) reaches the window's.
    const int layoutWidth = SetParamFormLayout().clientWidth;
    const auto place = [&](HWND control, const char* name, int areaTop, int right = -1) {
        const ControlLayout& at = Component(name);
        const int left = Scale(at.left);
        if (right < 0)
            right = Scale(at.left + at.width);
        MoveWindow(control, left, areaTop + Scale(at.top), std::max(0, right - left),
                   Scale(at.top + at.height) - Scale(at.top), TRUE);
    };
    const auto rightMargin = [&](const char* name) {
        const ControlLayout& at = Component(name);
        return width - Scale(layoutWidth - at.left - at.width);
    };
    // The tester's row: the button keeps to the right edge, the edit fills the gap before it.
    const ControlLayout& button = Component("ButtonTest");
    const ControlLayout& edit = Component("EditTestUrl");
    const int buttonRight = std::max(rightMargin("ButtonTest"), Scale(button.left + button.width));
    const int buttonLeft = buttonRight - (Scale(button.left + button.width) - Scale(button.left));
    place(LabelTestUrl, "LabelTestUrl", panel1Height);
    place(EditTestUrl, "EditTestUrl", panel1Height,
          buttonLeft - (Scale(button.left) - Scale(edit.left + edit.width)));
    MoveWindow(ButtonTest, buttonLeft, panel1Height + Scale(button.top), buttonRight - buttonLeft,
               Scale(button.top + button.height) - Scale(button.top), TRUE);
    place(LabelTestResult, "LabelTestResult", panel1Height, rightMargin("LabelTestResult"));
    // Panel2's components; the note takes the width that is left.
    const int panel2Top = panel1Height + testHeight;
    place(ButtonOK, "ButtonOK", panel2Top);
    place(ButtonCancle, "ButtonCancle", panel2Top);
    place(Label1, "Label1", panel2Top, width);
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
    EnsureComponents();
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
    if (modalOwner_ && IsWindowVisible(modalOwner_) && app_.Main() &&
        app_.Main()->Hwnd() == modalOwner_)
        TheProgramActivation().HandBackTo(app_.Main());
    ShowWindow(hwnd_, SW_HIDE);
    modalOwner_ = nullptr;
    PostMessageA(hwnd_, WM_NULL, 0, 0);
}

// Before the controls exist there is nothing to follow: a grid made later reads the table as
// it is then.
void EditorWindow::RefreshTexts() {
    if (!created_)
        return;
    StringGrid1->Refresh();
}

void EditorWindow::FollowRowCount() {
    if (!created_)
        return;
    StringGrid1->Refresh();
    PlaceTypeList();
}

void EditorWindow::FollowCurrentCell() {
    if (!created_)
        return;
    StringGrid1->FollowCurrentCell();
    PlaceTypeList();
}

void EditorWindow::CloseCellEditor() {
    if (!created_)
        return;
    StringGrid1->CloseCellEditor();
}

// The behaviour reckons in the layout's pixels (96 dpi), as the layout does: the scroll bar's
// allowance it keeps is scaled with the rest.
int EditorWindow::GridWidth() const {
    EnsureComponents();
    RECT rect;
    GetWindowRect(StringGrid1->Handle(), &rect);
    return MulDiv(rect.right - rect.left, 96, dpi_);
}

void EditorWindow::SetColumnWidths(int width) {
    EnsureComponents();
    StringGrid1->SetColumnWidth(Scale(width));
    PlaceTypeList();
}

void EditorWindow::FocusGrid() {
    EnsureComponents();
    SetFocus(StringGrid1->Handle());
}

// The grid, the type list while it is shown (it lives on the grid), the tester's edit and
// button, ButtonCancle, ButtonOK.
std::vector<HWND> EditorWindow::TabOrder() const {
    std::vector<HWND> order;
    if (!created_)
        return order;
    for (const std::string& name : SetParamFormLayout().TabOrder())
        order.push_back(name == "StringGrid1"    ? StringGrid1->Handle()
                        : name == "ComboBox1"    ? ComboBox1
                        : name == "EditTestUrl"  ? EditTestUrl
                        : name == "ButtonTest"   ? ButtonTest
                        : name == "ButtonCancle" ? ButtonCancle
                        : name == "ButtonOK"     ? ButtonOK
                                                 : nullptr);
    return order;
}

std::string EditorWindow::TestUrlText() const {
    if (!created_)
        return {};
    std::string text(static_cast<std::size_t>(GetWindowTextLengthA(EditTestUrl)) + 1, '\0');
    text.resize(static_cast<std::size_t>(
        GetWindowTextA(EditTestUrl, text.data(), static_cast<int>(text.size()))));
    return text;
}

void EditorWindow::SetTestResult(const std::string& text) {
    testResult_ = text;
    if (created_)
        SetWindowTextA(LabelTestResult, text.c_str());
}

void EditorWindow::PostFromAnyThread(std::function<void()> task) {
    std::lock_guard<std::mutex> lock(postedMutex_);
    posted_.push_back(std::move(task));
    PostMessageA(hwnd_, WmRunPosted, 0, 0);
}

void EditorWindow::SetTypeListEntries(const std::vector<std::string>& entries) {
    typeListEntries_ = entries;
    if (!created_)
        return;
    SendMessageA(ComboBox1, CB_RESETCONTENT, 0, 0);
    for (const std::string& entry : entries)
        SendMessageA(ComboBox1, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(entry.c_str()));
}

int EditorWindow::TypeListSelection() const {
    EnsureComponents();
    return static_cast<int>(SendMessageA(ComboBox1, CB_GETCURSEL, 0, 0));
}

void EditorWindow::SetTypeListSelection(int index) {
    EnsureComponents();
    SendMessageA(ComboBox1, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
}

void EditorWindow::ShowTypeList(int column, int row) {
    EnsureComponents();
    typeListColumn_ = column;
    typeListRow_ = row;
    StringGrid1->CloseCellEditor();
    PlaceTypeList();
    ShowWindow(ComboBox1, SW_SHOW);
    SetFocus(ComboBox1);
}

void EditorWindow::HideTypeList() {
    if (!created_)
        return;
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
    const int listHeight = height + 4 * Scale(ComboItemHeight) + 4;
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
    case WM_SHOWWINDOW:
        // Before the window appears, whoever shows it.
        if (wParam)
            EnsureComponents();
        break;
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
            const char* hint = header->idFrom == IdToolButtonInsert
                                   ? Component("ToolButtonInsert").caption.c_str()
                               : header->idFrom == IdToolButtonDelete
                                   ? Component("ToolButtonDelete").caption.c_str()
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
            TheProgramActivation().Activated(this);
        if (FollowActivation(wParam))
            return 0;
        break;
    case WM_CTLCOLORSTATIC:
        SetBkColor(reinterpret_cast<HDC>(wParam), GetSysColor(COLOR_BTNFACE));
        return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
    case WM_DPICHANGED:
        FollowDpiChange(wParam, lParam);
        return 0;
    case WM_CLOSE:
        Run(&TsetParamForm::ButtonCancleClick);
        return 0;
    default:
        break;
    }
    return DefWindowProcA(hwnd_, message, wParam, lParam);
}

} // namespace tarnwick::win32

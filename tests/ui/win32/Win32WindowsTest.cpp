// The Win32 windows' own wiring and geometry. The rule editor: the ListView shows table row 0
// in its header and rows 1.. as items; the type list sits over its cell; the controls placed on
// the grid report through it (a child of a ListView notifies the ListView, not the window).
// The whole program's windows: one taskbar window, minimising into the notification area.
#include "FakeRegistry.h"
#include "forms/Application.h"
#include "forms/ErrorBox.h"
#include "forms/mainUnit.h"
#include "forms/setParamUnit.h"
#include "platform/StartAtLogin.h"
#include "platform/win32/TrayWin32.h"
#include "rules/CodePage.h"
#include "rules/RuleFile.h"
#include "rules/RuleTable.h"
#include "trayicon/NotifyIcon.h"
#include "ui/win32/Controls.h"
#include "ui/win32/Views.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <commctrl.h>

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

namespace tarnwick::win32 {
namespace {

// As the program is (its manifest and its entry make it so): windows get the DPI of their
// monitor, nothing is stretched by the system.
const bool dpiAware = (MakeDpiAware(), true);

std::string TempFolder() {
    char path[MAX_PATH] = {};
    GetTempPathA(MAX_PATH, path);
    return path;
}

class Win32EditorTest : public ::testing::Test {
protected:
    void SetUp() override {
        windows_ = std::make_unique<ApplicationWindows>(GetModuleHandleA(nullptr), tray_);
        form_ = std::make_unique<TsetParamForm>(
            [this](TsetParamForm& form) { return windows_->CreateSetParamFormView(form); });
        editor_ = windows_->Editor();
        ASSERT_NE(editor_, nullptr);
        const std::string folder = TempFolder();
        form_->setRuleFilePath(folder + "tarnwick-ui-win32-no-such-file.ini");
        form_->setPacFilePath(folder + "tarnwick-ui-win32.pac");
        // Opened as RunModal opens it, without its loop.
        ShowWindow(editor_->Hwnd(), SW_SHOW);
        form_->FormActivate();
        Pump();
    }
    void TearDown() override {
        form_.reset();
        windows_.reset();
    }

    static void Pump() {
        MSG message;
        for (int i = 0; i < 200 && PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE); ++i) {
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
    }
    HWND Grid() const { return editor_->StringGrid1->Handle(); }
    const RuleTable& Table() const { return form_->Table(); }
    // What the ListView shows in a cell (it asks the table through owner data).
    std::string ItemText(int item, int column) const {
        char buffer[256] = {};
        LVITEMA lvItem{};
        lvItem.iSubItem = column;
        lvItem.pszText = buffer;
        lvItem.cchTextMax = sizeof buffer;
        SendMessageA(Grid(), LVM_GETITEMTEXTA, static_cast<WPARAM>(item),
                     reinterpret_cast<LPARAM>(&lvItem));
        return buffer;
    }
    std::string HeaderText(int column) const {
        char buffer[256] = {};
        HDITEMA hdItem{};
        hdItem.mask = HDI_TEXT;
        hdItem.pszText = buffer;
        hdItem.cchTextMax = sizeof buffer;
        auto header = reinterpret_cast<HWND>(SendMessageA(Grid(), LVM_GETHEADER, 0, 0));
        SendMessageA(header, HDM_GETITEMA, static_cast<WPARAM>(column),
                     reinterpret_cast<LPARAM>(&hdItem));
        return buffer;
    }
    // A selection as a click on the cell makes it.
    void Click(int column, int row) {
        const RECT cell = editor_->StringGrid1->CellRect(column, row);
        SendMessageA(Grid(), WM_LBUTTONDOWN, MK_LBUTTON,
                     MAKELPARAM((cell.left + cell.right) / 2, (cell.top + cell.bottom) / 2));
        SendMessageA(Grid(), WM_LBUTTONUP, 0,
                     MAKELPARAM((cell.left + cell.right) / 2, (cell.top + cell.bottom) / 2));
        Pump();
    }
    // A key as the message loop hands it on to the focused control, with Shift and Ctrl held
    // as given.
    void Key(WPARAM key, bool shift = false, bool control = false) {
        BYTE keys[256];
        GetKeyboardState(keys);
        BYTE held[256];
        std::copy(std::begin(keys), std::end(keys), std::begin(held));
        held[VK_SHIFT] = shift ? 0x80 : 0;
        held[VK_CONTROL] = control ? 0x80 : 0;
        SetKeyboardState(held);
        MSG message{GetFocus(), WM_KEYDOWN, key, 0, 0, {}};
        windows_->Dispatch(message);
        SetKeyboardState(keys);
        Pump();
    }
    // The proxy cell of row 1 current, its editor closed, the grid focused.
    void CloseProxyCell() {
        Click(2, 1);
        SendMessageA(editor_->StringGrid1->CellEditor(), WM_KEYDOWN, VK_RETURN, 0);
        Pump();
        ASSERT_FALSE(editor_->StringGrid1->CellEditorOpen());
        ASSERT_EQ(GetFocus(), Grid());
    }
    RECT ChildRect(HWND child) const {
        RECT rect;
        GetWindowRect(child, &rect);
        MapWindowPoints(HWND_DESKTOP, Grid(), reinterpret_cast<POINT*>(&rect), 2);
        return rect;
    }

    Win32TrayPlatform tray_;
    std::unique_ptr<ApplicationWindows> windows_;
    std::unique_ptr<TsetParamForm> form_;
    EditorWindow* editor_ = nullptr;
};

TEST_F(Win32EditorTest, HeaderShowsRowZeroAndItemsShowTheDataRows) {
    for (int c = 0; c < 3; ++c)
        EXPECT_EQ(HeaderText(c), ColumnTitles()[static_cast<std::size_t>(c)]) << "column " << c;
    EXPECT_EQ(ListView_GetItemCount(Grid()), Table().rowCount() - 1);

    Click(0, 2);
    SendMessageA(editor_->ComboBox1, CB_SETCURSEL, 2, 0);
    SendMessageA(Grid(), WM_COMMAND, MAKEWPARAM(0, CBN_SELCHANGE),
                 reinterpret_cast<LPARAM>(editor_->ComboBox1));
    Pump();
    // Item 1 is table row 2, with the subnet type and its default value.
    EXPECT_EQ(ItemText(1, 0), RuleTypeNames()[2]);
    EXPECT_EQ(ItemText(1, 1), RuleTypeDefaults()[2]);
    EXPECT_EQ(ItemText(0, 0), "");
}

TEST_F(Win32EditorTest, CellRectanglesAreCutToTheirColumn) {
    // The ListView gives the whole row for column 0; the grid cuts it to the column.
    const RECT first = editor_->StringGrid1->CellRect(0, 1);
    const RECT second = editor_->StringGrid1->CellRect(1, 1);
    EXPECT_EQ(first.right - first.left, ListView_GetColumnWidth(Grid(), 0));
    EXPECT_EQ(first.right, second.left);
    EXPECT_EQ(second.right - second.left, ListView_GetColumnWidth(Grid(), 1));
    // Rows are 24 pixels high and row 1 starts below the header.
    EXPECT_EQ(first.bottom - first.top, 24);
    const RECT below = editor_->StringGrid1->CellRect(0, 2);
    EXPECT_EQ(below.top, first.bottom);
    auto header = reinterpret_cast<HWND>(SendMessageA(Grid(), LVM_GETHEADER, 0, 0));
    RECT headerRect;
    GetClientRect(header, &headerRect);
    EXPECT_GE(first.top, headerRect.bottom);
}

TEST_F(Win32EditorTest, TypeListOpensOverItsCellAndFollowsAResize) {
    Click(0, 3);
    ASSERT_TRUE(form_->TypeEditorOpen());
    ASSERT_TRUE(IsWindowVisible(editor_->ComboBox1));
    RECT cell = editor_->StringGrid1->CellRect(0, 3);
    RECT list = ChildRect(editor_->ComboBox1);
    EXPECT_EQ(list.left, cell.left + 1);
    EXPECT_EQ(list.top, cell.top + 1);
    EXPECT_EQ(list.right - list.left, cell.right - cell.left);

    // A wider window: the columns widen and the list stays over its cell.
    SetWindowPos(editor_->Hwnd(), nullptr, 0, 0, 800, 300, SWP_NOMOVE | SWP_NOZORDER);
    Pump();
    cell = editor_->StringGrid1->CellRect(0, 3);
    list = ChildRect(editor_->ComboBox1);
    EXPECT_EQ(ListView_GetColumnWidth(Grid(), 0), (editor_->GridWidth() - 25) / 3);
    EXPECT_EQ(list.left, cell.left + 1);
    EXPECT_EQ(list.right - list.left, cell.right - cell.left);
}

TEST_F(Win32EditorTest, CellEditorFollowsColumnAndWindowResizes) {
    Click(2, 2);
    HWND cellEditor = editor_->StringGrid1->CellEditor();
    ASSERT_NE(cellEditor, nullptr);
    ASSERT_TRUE(IsWindowVisible(cellEditor));
    const auto expectOverItsCell = [&](const char* after) {
        const RECT cell = editor_->StringGrid1->CellRect(2, 2);
        const RECT placed = ChildRect(cellEditor);
        EXPECT_EQ(placed.left, cell.left) << after;
        EXPECT_EQ(placed.top, cell.top) << after;
        EXPECT_EQ(placed.right, cell.right) << after;
    };
    expectOverItsCell("opening");

    // A column border dragged: the header takes the new width and reports it.
    auto header = reinterpret_cast<HWND>(SendMessageA(Grid(), LVM_GETHEADER, 0, 0));
    HDITEMA width{};
    width.mask = HDI_WIDTH;
    width.cxy = 100;
    SendMessageA(header, HDM_SETITEMA, 0, reinterpret_cast<LPARAM>(&width));
    Pump();
    ASSERT_TRUE(IsWindowVisible(cellEditor));
    expectOverItsCell("a narrower first column");

    // A wider window widens every column.
    SetWindowPos(editor_->Hwnd(), nullptr, 0, 0, 800, 300, SWP_NOMOVE | SWP_NOZORDER);
    Pump();
    ASSERT_TRUE(IsWindowVisible(cellEditor));
    expectOverItsCell("a wider window");
}

// "中" reaches a closed cell as GBK D6 D0 whichever way the input method hands it over.
TEST_F(Win32EditorTest, CharactersReachAClosedCellAsGbk) {
    struct Typing {
        const char* how;
        std::function<void(HWND grid)> type;
        std::string expected;
    };
    const std::vector<Typing> typings = {
        {"WM_CHAR of U+4E2D", [](HWND grid) { SendMessageW(grid, WM_CHAR, 0x4E2D, 0); },
         "\xD6\xD0"},
        {"WM_CHAR as two DBCS bytes",
         [](HWND grid) {
             SendMessageA(grid, WM_CHAR, 0xD6, 0);
             SendMessageA(grid, WM_CHAR, 0xD0, 0);
         },
         "\xD6\xD0"},
        {"WM_IME_CHAR of U+4E2D", [](HWND grid) { SendMessageW(grid, WM_IME_CHAR, 0x4E2D, 0); },
         "\xD6\xD0"},
        {"WM_IME_CHAR as a DBCS pair",
         [](HWND grid) { SendMessageA(grid, WM_IME_CHAR, 0xD6D0, 0); }, "\xD6\xD0"},
        {"a surrogate pair GBK cannot hold",
         [](HWND grid) {
             SendMessageW(grid, WM_CHAR, 0xD83D, 0);
             SendMessageW(grid, WM_CHAR, 0xDE00, 0);
         },
         "?"},
        {"a key event",
         [](HWND) {
             INPUT keys[2] = {};
             for (INPUT& key : keys) {
                 key.type = INPUT_KEYBOARD;
                 key.ki.wScan = 0x4E2D;
                 key.ki.dwFlags = KEYEVENTF_UNICODE;
             }
             keys[1].ki.dwFlags |= KEYEVENTF_KEYUP;
             SendInput(2, keys, sizeof(INPUT));
         },
         "\xD6\xD0"},
    };
    // A rule of the host type, which the rule file keeps.
    Click(0, 1);
    SendMessageA(editor_->ComboBox1, CB_SETCURSEL, 1, 0);
    SendMessageA(Grid(), WM_COMMAND, MAKEWPARAM(0, CBN_SELCHANGE),
                 reinterpret_cast<LPARAM>(editor_->ComboBox1));
    Pump();
    SetForegroundWindow(editor_->Hwnd());
    for (const Typing& typing : typings) {
        CloseProxyCell();
        typing.type(Grid());
        Pump();
        EXPECT_EQ(Table().cell(2, 1), typing.expected) << typing.how;
        EXPECT_TRUE(editor_->StringGrid1->CellEditorOpen()) << typing.how;
    }

    // And so into the rule file.
    const std::string ruleFile = TempFolder() + "tarnwick-ui-win32-typed.ini";
    form_->setRuleFilePath(ruleFile);
    form_->ButtonOKClick();
    std::string bytes(4096, '\0');
    HANDLE file = CreateFileA(ruleFile.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                              OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    DWORD read = 0;
    ReadFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr);
    CloseHandle(file);
    DeleteFileA(ruleFile.c_str());
    bytes.resize(read);
    EXPECT_NE(bytes.find("col2=\xD6\xD0\r\n"), std::string::npos) << bytes;
}

TEST_F(Win32EditorTest, PageAndEndKeysMoveTheCurrentCellAsInTheQtGrid) {
    for (int i = 0; i < 15; ++i)
        form_->ToolButtonInsertClick();
    Pump();
    CloseProxyCell();
    const int page = static_cast<int>(ListView_GetCountPerPage(Grid()));
    ASSERT_GE(page, 2);
    Key(VK_NEXT);
    EXPECT_EQ(Table().currentRow(), 1 + page);
    EXPECT_EQ(Table().currentColumn(), 2);
    Key(VK_PRIOR);
    Key(VK_PRIOR); // no further than the first row
    EXPECT_EQ(Table().currentRow(), 1);

    Key(VK_DOWN);
    // The proxy cell's editor has opened; Home and End are the editor's then.
    Key(VK_HOME);
    EXPECT_EQ(Table().currentColumn(), 2);
    SetFocus(Grid());
    Key(VK_HOME);
    EXPECT_EQ(Table().currentRow(), 2);
    EXPECT_EQ(Table().currentColumn(), 0);
    SetFocus(Grid());
    Key(VK_END);
    EXPECT_EQ(Table().currentRow(), 2);
    EXPECT_EQ(Table().currentColumn(), 2);

    const int lastRow = Table().rowCount() - 1;
    SetFocus(Grid());
    Key(VK_END, false, true);
    EXPECT_EQ(Table().currentRow(), lastRow);
    EXPECT_EQ(Table().currentColumn(), 2);
    SetFocus(Grid());
    Key(VK_NEXT); // no further than the last row (which may have grown the table by one)
    EXPECT_LE(Table().currentRow(), Table().rowCount() - 1);
    SetFocus(Grid());
    Key(VK_HOME, false, true);
    EXPECT_EQ(Table().currentRow(), 1);
    EXPECT_EQ(Table().currentColumn(), 0);
}

TEST_F(Win32EditorTest, TabRunsThroughTheWindowInBothDirections) {
    SetFocus(editor_->ButtonOK);
    Key(VK_TAB, true);
    EXPECT_EQ(GetFocus(), editor_->ButtonCancle);
    Key(VK_TAB, true);
    EXPECT_EQ(GetFocus(), editor_->ButtonTest);
    Key(VK_TAB, true);
    EXPECT_EQ(GetFocus(), editor_->EditTestUrl);
    Key(VK_TAB, true);
    EXPECT_EQ(GetFocus(), Grid());
    SetFocus(editor_->ButtonOK);
    Key(VK_TAB);
    EXPECT_EQ(GetFocus(), Grid()) << "Tab from the last control goes round to the first";

    // Leaving the open type list either way commits it, and the commit gives the focus to
    // the grid (not to OK, which Shift+Tab once reached).
    for (const bool backwards : {true, false}) {
        Click(0, 2);
        ASSERT_EQ(GetFocus(), editor_->ComboBox1);
        Key(VK_TAB, backwards);
        EXPECT_EQ(GetFocus(), Grid()) << backwards;
        EXPECT_FALSE(form_->TypeEditorOpen()) << backwards;
    }
}

TEST_F(Win32EditorTest, TesterRowLiesBetweenGridAndButtonsAndAnswersEnterAndItsButton) {
    // The host rule first: neither address needs a name lookup.
    RuleTable rules;
    rules.SetRuleType(1, 1);
    rules.setCell(1, 1, "*.invalid");
    rules.setCell(2, 1, "10.0.0.3:80");
    rules.SetRuleType(2, 2);
    rules.setCell(1, 2, "192.168.5.1;255.255.255.0");
    rules.setCell(2, 2, "10.0.0.2:3128");
    const std::string path = TempFolder() + "tarnwick-ui-win32-tester.ini";
    SaveRules(rules, path);
    form_->setRuleFilePath(path);
    form_->FormActivate();
    Pump();

    // The window grew by the tester's row: the grid keeps the height it had.
    RECT client;
    GetClientRect(editor_->Hwnd(), &client);
    const auto rectOf = [&](HWND control) {
        RECT rect;
        GetWindowRect(control, &rect);
        MapWindowPoints(HWND_DESKTOP, editor_->Hwnd(), reinterpret_cast<POINT*>(&rect), 2);
        return rect;
    };
    EXPECT_EQ(rectOf(Grid()).bottom - rectOf(Grid()).top, client.bottom - 49 - 58 - 33);
    EXPECT_GE(rectOf(editor_->EditTestUrl).top, rectOf(Grid()).bottom);
    EXPECT_LT(rectOf(editor_->EditTestUrl).right, rectOf(editor_->ButtonTest).left);
    EXPECT_GE(rectOf(editor_->LabelTestResult).top, rectOf(editor_->EditTestUrl).bottom);
    EXPECT_LE(rectOf(editor_->LabelTestResult).bottom, rectOf(editor_->ButtonOK).top);

    const auto result = [&] {
        char text[256] = {};
        GetWindowTextA(editor_->LabelTestResult, text, sizeof text);
        return std::string(text);
    };
    SetWindowTextA(editor_->EditTestUrl, "http://192.168.5.20/");
    SetFocus(editor_->EditTestUrl);
    Key(VK_RETURN);
    EXPECT_EQ(result(), GbkFromUtf8("第 2 条规则：PROXY 10.0.0.2:3128"));
    EXPECT_EQ(Table().currentRow(), 2);
    EXPECT_TRUE(IsWindowVisible(editor_->Hwnd()));

    SetWindowTextA(editor_->EditTestUrl, "www.a.invalid");
    SendMessageA(editor_->ButtonTest, BM_CLICK, 0, 0);
    Pump();
    EXPECT_EQ(result(), GbkFromUtf8("第 1 条规则：PROXY 10.0.0.3:80"));
    EXPECT_EQ(Table().currentRow(), 1);
    DeleteFileA(path.c_str());
}

TEST_F(Win32EditorTest, FocusComesBackToItsControlAfterAnotherProgram) {
    HWND other = CreateWindowExA(0, WC_STATICA, "another program", WS_POPUP | WS_VISIBLE, 600, 400,
                                 100, 50, nullptr, nullptr, nullptr, nullptr);
    for (HWND control : {editor_->ButtonCancle, Grid()}) {
        SetForegroundWindow(editor_->Hwnd());
        SetFocus(control);
        Pump();
        SetForegroundWindow(other);
        Pump();
        ASSERT_NE(GetFocus(), control);
        SetForegroundWindow(editor_->Hwnd());
        Pump();
        EXPECT_EQ(GetFocus(), control);
    }
    DestroyWindow(other);
}

// The type list and the cell editor are children of the ListView: their notifications must
// still reach the behaviour.
TEST_F(Win32EditorTest, ControlsOnTheGridReportThroughIt) {
    Click(0, 1);
    ASSERT_TRUE(form_->TypeEditorOpen());
    // A Down key in the closed list moves to the first entry and commits it.
    SendMessageA(editor_->ComboBox1, WM_KEYDOWN, VK_DOWN, 0);
    Pump();
    EXPECT_FALSE(form_->TypeEditorOpen());
    EXPECT_FALSE(IsWindowVisible(editor_->ComboBox1));
    EXPECT_EQ(Table().cell(0, 1), RuleTypeNames()[0]);

    // The proxy cell opens its editor at once; typed text reaches the table at each change.
    Click(2, 1);
    HWND cellEditor = editor_->StringGrid1->CellEditor();
    ASSERT_NE(cellEditor, nullptr);
    ASSERT_TRUE(IsWindowVisible(cellEditor));
    for (char c : std::string("10.0.0.9:80"))
        SendMessageA(cellEditor, WM_CHAR, static_cast<WPARAM>(c), 0);
    EXPECT_EQ(Table().cell(2, 1), "10.0.0.9:80");
    EXPECT_EQ(ItemText(0, 2), "10.0.0.9:80");
}

TEST_F(Win32EditorTest, ADragIntoTheLastRowGrowsTheTableAsInTheQtGrid) {
    const int lastRow = Table().rowCount() - 1;
    const auto centre = [this](int row) {
        const RECT cell = editor_->StringGrid1->CellRect(1, row);
        return MAKELPARAM((cell.left + cell.right) / 2, (cell.top + cell.bottom) / 2);
    };
    const LPARAM at = centre(lastRow);
    SendMessageA(Grid(), WM_LBUTTONDOWN, MK_LBUTTON, centre(1));
    SendMessageA(Grid(), WM_MOUSEMOVE, MK_LBUTTON, at);
    SendMessageA(Grid(), WM_LBUTTONUP, 0, at);
    Pump();
    EXPECT_EQ(Table().currentRow(), lastRow);
    EXPECT_EQ(Table().rowCount(), lastRow + 2);
    EXPECT_EQ(ListView_GetItemCount(Grid()), Table().rowCount() - 1);
}

TEST_F(Win32EditorTest, KeysMoveTheCurrentCellThroughTheSelectionHook) {
    Click(2, 1);
    SetFocus(Grid());
    Pump();
    SendMessageA(Grid(), WM_KEYDOWN, VK_DOWN, 0);
    EXPECT_EQ(Table().currentRow(), 2);
    EXPECT_EQ(Table().currentColumn(), 2);
    // Tab runs on into the next row's type cell, which opens the type list (a selection).
    SetFocus(Grid());
    SendMessageA(Grid(), WM_KEYDOWN, VK_TAB, 0);
    Pump();
    EXPECT_EQ(Table().currentRow(), 3);
    EXPECT_EQ(Table().currentColumn(), 0);
    EXPECT_TRUE(form_->TypeEditorOpen());
    // Selecting row 3 grew the table to keep a row below the current one.
    EXPECT_EQ(ListView_GetItemCount(Grid()), Table().rowCount() - 1);
}

// ---------------------------------------------------------------------------------------
// The program's windows, started as the entry starts them, with the real notification area

class Win32ProgramTest : public ::testing::Test {
protected:
    struct NoStartAtLogin : StartAtLogin {
        bool IsOn() override { return false; }
        void SetOn(bool) override {}
    };

    void SetUp() override {
        windows_ = std::make_unique<ApplicationWindows>(GetModuleHandleA(nullptr), tray_);
        // A failure is recorded, not shown in a box nobody would answer.
        SetErrorPresenter([this](FormView*, const std::string& text) { errors_.push_back(text); });
        folder_ = TempFolder() + "tarnwick-ui-win32-program\\";
        CreateDirectoryA(folder_.c_str(), nullptr);
        DeleteFileA((folder_ + "configData.ini").c_str());
        ApplicationServices services;
        services.tray = &tray_;
        services.registry = test::FakeRegistry(hive_);
        services.executableFolder = folder_;
        services.startAtLogin = std::make_shared<NoStartAtLogin>();
        services.desktopProxy = [] { return DesktopProxyStores(); };
        app_ = std::make_unique<TApplication>(*windows_, std::move(services));
        app_->Initialize();
        app_->SetTitle("Tarnwick");
        app_->CreateMainForm();
        app_->CreateSetParamForm();
        app_->ShowMainFormAtStart();
        Pump();
    }
    void TearDown() override {
        app_->DestroyForms();
        app_.reset();
        windows_.reset();
        EXPECT_EQ(errors_, std::vector<std::string>{});
    }

    static void Pump() {
        MSG message;
        for (int i = 0; i < 500 && PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE); ++i) {
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
    }
    // The program's windows that are on the screen as top-level windows (taskbar, Alt-Tab).
    static std::vector<HWND> VisibleTopLevelWindows() {
        std::vector<HWND> found;
        EnumWindows(
            [](HWND window, LPARAM data) -> BOOL {
                DWORD process = 0;
                GetWindowThreadProcessId(window, &process);
                if (process == GetCurrentProcessId() && IsWindowVisible(window))
                    reinterpret_cast<std::vector<HWND>*>(data)->push_back(window);
                return TRUE;
            },
            reinterpret_cast<LPARAM>(&found));
        return found;
    }
    HWND Main() const { return windows_->Main()->Hwnd(); }
    HWND Editor() const { return windows_->Editor()->Hwnd(); }
    TMainForm& MainForm() { return *app_->MainForm(); }

    Win32TrayPlatform tray_;
    test::FakeHive hive_;
    std::string folder_;
    std::vector<std::string> errors_;
    std::unique_ptr<ApplicationWindows> windows_;
    std::unique_ptr<TApplication> app_;
};

TEST_F(Win32ProgramTest, OnlyTheMainWindowIsOnTheScreen) {
    EXPECT_EQ(VisibleTopLevelWindows(), std::vector<HWND>{Main()});
    // Showing it again from the tray menu brings no second window along.
    MainForm().Handle(&TMainForm::MMainInterfaceClick);
    Pump();
    EXPECT_EQ(VisibleTopLevelWindows(), std::vector<HWND>{Main()});

    // The close box hides it, and nothing of the program is left in the taskbar.
    SendMessageA(Main(), WM_CLOSE, 0, 0);
    Pump();
    EXPECT_EQ(VisibleTopLevelWindows(), std::vector<HWND>{});
    MainForm().Handle(&TMainForm::MMainInterfaceClick);
    Pump();
    EXPECT_EQ(VisibleTopLevelWindows(), std::vector<HWND>{Main()});
}

// The start makes the editor's window and runs its FormCreate, but no control: they are made
// when the window is first shown, with what the behaviour told the window before.
TEST_F(Win32ProgramTest, TheEditorsControlsAreMadeAtItsFirstShowing) {
    EditorWindow& editor = *windows_->Editor();
    EXPECT_EQ(GetWindow(Editor(), GW_CHILD), nullptr);
    EXPECT_EQ(editor.ComboBox1, nullptr);
    editor.SetTestResult("before");
    ShowWindow(Editor(), SW_SHOWNOACTIVATE);
    ASSERT_NE(editor.ComboBox1, nullptr);
    EXPECT_EQ(SendMessageA(editor.ComboBox1, CB_GETCOUNT, 0, 0), 4);
    char entry[64] = {};
    SendMessageA(editor.ComboBox1, CB_GETLBTEXT, 3, reinterpret_cast<LPARAM>(entry));
    EXPECT_EQ(std::string(entry), RuleTypeNames()[3]);
    EXPECT_EQ(WindowText(editor.LabelTestResult), "before");
    ShowWindow(Editor(), SW_HIDE);

    // The opening shows them laid out over the whole window; it clears the result line.
    std::string result = "unset";
    RECT grid{};
    windows_->Post([&] {
        result = WindowText(editor.LabelTestResult);
        GetClientRect(editor.StringGrid1->Handle(), &grid);
        app_->SetParamForm()->ButtonCancleClick();
    });
    MainForm().Handle(&TMainForm::ToolButtonSetClick);
    EXPECT_EQ(result, "");
    EXPECT_GT(grid.right, ScaleToDpi(500, editor.Dpi()));
    EXPECT_GT(grid.bottom, ScaleToDpi(100, editor.Dpi()));
}

TEST_F(Win32ProgramTest, AnEditorClosedMaximisedOpensAtItsNormalSize) {
    RECT normal;
    GetWindowRect(Editor(), &normal);
    bool zoomedWhenOpened = true;
    RECT opened{};
    // Each opening runs its modal loop; the posted task acts inside it, then cancels.
    windows_->Post([&] {
        // At once: without a window manager on the test's display, Wine takes a maximised
        // state back once the X server has answered.
        SendMessageA(Editor(), WM_SYSCOMMAND, SC_MAXIMIZE, 0);
        app_->SetParamForm()->ButtonCancleClick();
    });
    MainForm().Handle(&TMainForm::ToolButtonSetClick);
    ASSERT_FALSE(IsWindowVisible(Editor()));
    ASSERT_TRUE(IsZoomed(Editor())) << "the window manager refused to maximise the editor";

    windows_->Post([&] {
        zoomedWhenOpened = IsZoomed(Editor()) != FALSE;
        GetWindowRect(Editor(), &opened);
        app_->SetParamForm()->ButtonCancleClick();
    });
    MainForm().Handle(&TMainForm::ToolButtonSetClick);
    EXPECT_FALSE(zoomedWhenOpened);
    EXPECT_EQ(opened.right - opened.left, normal.right - normal.left);
    EXPECT_EQ(opened.bottom - opened.top, normal.bottom - normal.top);
}

// Enter and Space press the focused button, through the editor's own message loop.
TEST_F(Win32ProgramTest, EnterAndSpacePressTheFocusedButton) {
    DeleteFileA((folder_ + "IETarnwick.pac").c_str());
    const auto press = [](HWND button, WPARAM key) {
        SetFocus(button);
        PostMessageA(button, WM_KEYDOWN, key, 0);
        PostMessageA(button, WM_KEYUP, key, 0xC0000001);
    };
    // Opens the editor, presses the key on the button, and reports whether that closed it
    // (else the editor is cancelled a while later, so that the test goes on).
    static TsetParamForm* editor = nullptr;
    static bool stillOpen = false;
    editor = app_->SetParamForm();
    const auto closedBy = [&](HWND EditorWindow::*button, WPARAM key) {
        stillOpen = false;
        windows_->Post([&] { press(windows_->Editor()->*button, key); });
        const UINT_PTR timer = SetTimer(nullptr, 0, 3000, [](HWND, UINT, UINT_PTR, DWORD) {
            stillOpen = true;
            editor->ButtonCancleClick();
        });
        MainForm().Handle(&TMainForm::ToolButtonSetClick);
        KillTimer(nullptr, timer);
        return !stillOpen;
    };
    EXPECT_TRUE(closedBy(&EditorWindow::ButtonCancle, VK_SPACE));
    EXPECT_EQ(GetFileAttributesA((folder_ + "IETarnwick.pac").c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_TRUE(closedBy(&EditorWindow::ButtonOK, VK_RETURN));
    EXPECT_NE(GetFileAttributesA((folder_ + "IETarnwick.pac").c_str()), INVALID_FILE_ATTRIBUTES);

    // Space ticks a focused check box of the main window.
    HWND startHidden = windows_->Main()->CheckBoxes[0];
    press(startHidden, VK_SPACE);
    Pump();
    EXPECT_TRUE(windows_->Main()->Checked(MainCheckBox::StartHidden));
}

TEST_F(Win32ProgramTest, MinimisingGoesToTheNotificationAreaAndTheMenuBringsItBack) {
    ASSERT_TRUE(MainForm().NotifyIcon().MinimizeToTray()) << "the icon was not accepted";
    SetWindowPos(Main(), nullptr, 150, 120, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    RECT before;
    GetWindowRect(Main(), &before);

    for (const char* how : {"minimise command", "ShowWindow"}) {
        if (std::string(how) == "ShowWindow")
            ShowWindow(Main(), SW_MINIMIZE);
        else
            SendMessageA(Main(), WM_SYSCOMMAND, SC_MINIMIZE, 0);
        Pump();
        EXPECT_FALSE(IsWindowVisible(Main())) << how;
        EXPECT_EQ(VisibleTopLevelWindows(), std::vector<HWND>{}) << how;
        EXPECT_TRUE(MainForm().NotifyIcon().IconVisible()) << how;

        // "主界面": back where it was, neither minimised nor hidden, the one window.
        MainForm().Handle(&TMainForm::MMainInterfaceClick);
        Pump();
        EXPECT_TRUE(IsWindowVisible(Main())) << how;
        EXPECT_FALSE(IsIconic(Main())) << how;
        RECT after;
        GetWindowRect(Main(), &after);
        EXPECT_TRUE(EqualRect(&before, &after)) << how << ": " << after.left << "," << after.top;
        EXPECT_EQ(VisibleTopLevelWindows(), std::vector<HWND>{Main()}) << how;
    }
}

// The windows at the display's DPI; ctest runs this group again with Wine's LogPixels at 144
// and 192 (TARNWICK_TEST_DPI names it). Client sizes and text follow the DPI within 2 pixels,
// every control lies inside its window and none overlaps another, the texts fit their
// controls and the grid's columns fit the grid.
class Win32ScalingTest : public Win32ProgramTest {
protected:
    static int DisplayDpi() {
        HDC screen = GetDC(nullptr);
        const int dpi = GetDeviceCaps(screen, LOGPIXELSY);
        ReleaseDC(nullptr, screen);
        return dpi;
    }
    static SIZE ClientSize(HWND window) {
        RECT client;
        GetClientRect(window, &client);
        return SIZE{client.right, client.bottom};
    }
    static HFONT FontOf(HWND control) {
        return reinterpret_cast<HFONT>(SendMessageA(control, WM_GETFONT, 0, 0));
    }
    static SIZE TextSize(HWND control) {
        const std::string text = WindowText(control);
        HDC dc = GetDC(control);
        HGDIOBJ old = SelectObject(dc, FontOf(control));
        SIZE size{};
        GetTextExtentPoint32A(dc, text.c_str(), static_cast<int>(text.size()), &size);
        SelectObject(dc, old);
        ReleaseDC(control, dc);
        return size;
    }
    // The window's visible controls (its direct children) in its client coordinates.
    static std::vector<std::pair<HWND, RECT>> Controls(HWND window) {
        std::vector<std::pair<HWND, RECT>> found;
        for (HWND child = GetWindow(window, GW_CHILD); child;
             child = GetWindow(child, GW_HWNDNEXT)) {
            if (!IsWindowVisible(child))
                continue;
            RECT rect;
            GetWindowRect(child, &rect);
            MapWindowPoints(nullptr, window, reinterpret_cast<POINT*>(&rect), 2);
            found.emplace_back(child, rect);
        }
        return found;
    }
    static void ExpectLaidOut(HWND window, const char* which) {
        const auto controls = Controls(window);
        EXPECT_GE(controls.size(), 4u) << which;
        const SIZE client = ClientSize(window);
        for (std::size_t i = 0; i < controls.size(); ++i) {
            const RECT& a = controls[i].second;
            EXPECT_TRUE(a.left >= 0 && a.top >= 0 && a.right <= client.cx && a.bottom <= client.cy)
                << which << ": " << WindowText(controls[i].first) << " leaves the window";
            for (std::size_t j = i + 1; j < controls.size(); ++j) {
                RECT both;
                EXPECT_FALSE(IntersectRect(&both, &a, &controls[j].second))
                    << which << ": " << WindowText(controls[i].first) << " overlaps "
                    << WindowText(controls[j].first);
            }
        }
    }
    void ExpectNear(int actual, int at96, int dpi, const std::string& what) {
        EXPECT_NEAR(actual, at96 * dpi / 96.0, 2.0) << what << " at " << dpi << " dpi";
    }
    // The main window's and the open editor's geometry at dpi.
    void ExpectScaled(int dpi) {
        const SIZE main = ClientSize(Main());
        ExpectNear(main.cx, MainFormLayout().clientWidth, dpi, "main window width");
        ExpectNear(main.cy, MainFormLayout().clientHeight, dpi, "main window height");
        ExpectLaidOut(Main(), "main window");
        MainWindow& view = *windows_->Main();
        // The layout's text is 13 pixels high at 96 dpi (its labels are that high).
        ExpectNear(TextHeight(FontOf(view.Label1)), 13, dpi, "the link's text");
        for (HWND box : view.CheckBoxes) {
            ExpectNear(TextHeight(FontOf(box)), 13, dpi, WindowText(box));
            RECT rect;
            GetClientRect(box, &rect);
            EXPECT_LE(TextSize(box).cx + SystemMetric(SM_CXMENUCHECK, dpi), rect.right)
                << WindowText(box) << " is cut off at " << dpi << " dpi";
        }
        RECT button;
        SendMessageA(view.ToolBar1, TB_GETITEMRECT, 0, reinterpret_cast<LPARAM>(&button));
        ExpectNear(button.bottom - button.top, MainFormLayout()["ToolButtonSet"].height, dpi,
                   "a tool button's height");

        const SIZE editor = ClientSize(Editor());
        ExpectNear(editor.cx, SetParamFormLayout().clientWidth, dpi, "editor width");
        ExpectNear(editor.cy, SetParamFormLayout().clientHeight, dpi, "editor height");
        ExpectLaidOut(Editor(), "editor");
        EditorWindow& edit = *windows_->Editor();
        ExpectNear(TextHeight(FontOf(edit.ButtonOK)), 13, dpi, "the buttons' text");
        RECT note;
        GetClientRect(edit.Label1, &note);
        EXPECT_LE(TextSize(edit.Label1).cx, note.right) << "the note is cut off at " << dpi;
        HWND grid = edit.StringGrid1->Handle();
        RECT row{};
        ListView_GetItemRect(grid, 0, &row, LVIR_BOUNDS);
        ExpectNear(row.bottom - row.top, SetParamFormLayout()["RowHeight"].height, dpi,
                   "the grid's rows");
        RECT gridClient;
        GetClientRect(grid, &gridClient);
        int columns = 0;
        for (int c = 0; c < 3; ++c)
            columns += ListView_GetColumnWidth(grid, c);
        EXPECT_LE(columns, gridClient.right) << "the columns need a scroll bar at " << dpi;
    }
    void OpenEditor() {
        // As RunModal opens it, without its loop.
        ShowWindow(Editor(), SW_SHOWNORMAL);
        app_->SetParamForm()->FormActivate();
        Pump();
    }
};

TEST_F(Win32ScalingTest, WindowsFollowTheDisplaysDpi) {
    const int dpi = DisplayDpi();
    if (const char* asked = std::getenv("TARNWICK_TEST_DPI")) {
        ASSERT_EQ(dpi, std::atoi(asked)) << "Wine's LogPixels did not take";
    }
    EXPECT_EQ(windows_->Main()->Dpi(), dpi);
    OpenEditor();
    ExpectScaled(dpi);
}

// A window moved to a monitor of another DPI. The system's frame stays the display's here, so
// the suggested rectangle is the one that gives the client area its size at the new DPI. The
// DPIs keep the editor on a 1024 pixel wide screen.
TEST_F(Win32ScalingTest, AChangedDpiRelaysBothWindows) {
    OpenEditor();
    const int start = windows_->Main()->Dpi();
    for (int dpi : {144, 120, start}) {
        for (HWND window : {Main(), Editor()}) {
            const FormLayout& layout = window == Main() ? MainFormLayout() : SetParamFormLayout();
            RECT suggested;
            GetWindowRect(window, &suggested);
            const SIZE client = ClientSize(window);
            suggested.right += ScaleToDpi(layout.clientWidth, dpi) - client.cx;
            suggested.bottom += ScaleToDpi(layout.clientHeight, dpi) - client.cy;
            SendMessageA(window, WM_DPICHANGED, MAKEWPARAM(dpi, dpi),
                         reinterpret_cast<LPARAM>(&suggested));
        }
        Pump();
        SCOPED_TRACE(dpi);
        EXPECT_EQ(windows_->Main()->Dpi(), dpi);
        EXPECT_EQ(windows_->Editor()->Dpi(), dpi);
        ExpectScaled(dpi);
    }
}

} // namespace
} // namespace tarnwick::win32

#include "forms/ErrorBox.h"
#include "forms/mainUnit.h"
#include "platform/win32/TrayWin32.h"
#include "rules/CodePage.h"
#include "ui/win32/Controls.h"
#include "ui/win32/Resources.h"
#include "ui/win32/Views.h"

#include <shellapi.h>
#include <windowsx.h>

namespace tarnwick::win32 {

namespace {

enum : UINT {
    IdToolButtonSet = 1001,
    IdToolButtonSwitch,
    IdToolButtonHelp,
    IdToolButtonExit,
    IdMMainInterface = 2001,
    IdMSetting,
    IdMSwitch,
    IdMExit,
    IdLabel1 = 3001,
    IdCheckBoxFirst = 3100,
};

const std::string& Caption(const char* name) {
    return MainFormLayout()[name].caption;
}

} // namespace

// ---------------------------------------------------------------------------------------
// The tray menu

PopupMenu::PopupMenu(Win32TrayPlatform& platform, HWND commandWindow,
                     const std::vector<Item>& items)
    : platform_(platform), commandWindow_(commandWindow), menu_(CreatePopupMenu()) {
    for (const Item& item : items) {
        if (item.id == 0)
            AppendMenuA(menu_, MF_SEPARATOR, 0, nullptr);
        else
            AppendMenuA(menu_, MF_STRING, item.id, item.caption.c_str());
        ids_.push_back(item.id);
    }
}

PopupMenu::~PopupMenu() {
    DestroyMenu(menu_);
}

void PopupMenu::ClickItem(int index) {
    if (index >= 0 && index < ItemCount() && ids_[static_cast<std::size_t>(index)] != 0)
        PostMessageA(commandWindow_, WM_COMMAND, ids_[static_cast<std::size_t>(index)], 0);
}

void PopupMenu::Popup(TrayPoint at) {
    // The component has made the application window the foreground window, so a click
    // anywhere else closes the menu; it posts the null message after the menu is gone.
    auto owner = reinterpret_cast<HWND>(platform_.ApplicationWindow());
    if (!owner)
        owner = commandWindow_;
    const UINT id = static_cast<UINT>(TrackPopupMenuEx(
        menu_, TPM_RETURNCMD | TPM_NONOTIFY | TPM_RIGHTBUTTON | TPM_LEFTALIGN | TPM_BOTTOMALIGN,
        at.x, at.y, owner, nullptr));
    if (id != 0)
        PostMessageA(commandWindow_, WM_COMMAND, id, 0);
}

std::string PopupMenu::Caption(UINT id) const {
    char buffer[256] = {};
    GetMenuStringA(menu_, id, buffer, sizeof buffer, MF_BYCOMMAND);
    return buffer;
}

void PopupMenu::SetCaption(UINT id, const std::string& caption) {
    ModifyMenuA(menu_, id, MF_BYCOMMAND | MF_STRING, id, caption.c_str());
}

// ---------------------------------------------------------------------------------------
// The main window

MainWindow::MainWindow(ApplicationWindows& app, TMainForm& form) : app_(app), form_(form) {
    HINSTANCE instance = app_.Instance();
    // The notification area shows small icons at the system's DPI.
    const int trayIcon = GetSystemMetrics(SM_CXSMICON);
    emblemOn16_ = LoadIconSized(instance, IDI_APPLICATION_ICON, trayIcon);
    emblemOff16_ = LoadIconSized(instance, IDI_EMBLEM_OFF, trayIcon);
    ImageList1 = std::make_unique<Win32IconList>(std::vector<IconHandle>{
        reinterpret_cast<IconHandle>(emblemOn16_), reinterpret_cast<IconHandle>(emblemOff16_)});
    background_ = GetSysColorBrush(COLOR_BTNFACE);

    // Minimise box, no maximise box, a sizeable border.
    CreateForm("TMainForm", MainFormLayout(),
               WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_THICKFRAME |
                   WS_CLIPCHILDREN,
               0, nullptr);
    // What the icon needs comes first; the window's own icons, fonts and controls follow
    // once it has been requested (the window is shown only after that).
    PopupMenu1 = std::make_unique<PopupMenu>(app_.Tray(), hwnd_,
                                             std::vector<PopupMenu::Item>{
                                                 {IdMMainInterface, Caption("MMainInterface")},
                                                 {IdMSetting, Caption("MSetting")},
                                                 {0, {}},
                                                 {IdMSwitch, Caption("MSwitch")},
                                                 {0, {}},
                                                 {IdMExit, Caption("MExit")},
                                             });
}

void MainWindow::NotifyIconLoaded() {
    if (!ToolBar1)
        CreateComponents();
}

MainWindow::~MainWindow() {
    TheProgramActivation().Forget(this);
    app_.Forget(this);
    if (IsWindow(hwnd_))
        DestroyWindow(hwnd_);
    PopupMenu1.reset();
    if (ImageList2)
        ImageList_Destroy(ImageList2);
    for (HGDIOBJ object : {static_cast<HGDIOBJ>(font_), static_cast<HGDIOBJ>(linkFont_),
                           static_cast<HGDIOBJ>(linkHoverFont_)})
        if (object)
            DeleteObject(object);
    for (HICON icon : {emblemOn16_, emblemOff16_, smallIcon_, bigIcon_})
        if (icon)
            DestroyIcon(icon);
}

void MainWindow::CreateComponents() {
    HINSTANCE instance = app_.Instance();
    InitCommonControlsOnce();
    ToolBar1 = CreateWindowExA(0, TOOLBARCLASSNAMEA, "",
                               WS_CHILD | WS_VISIBLE | TBSTYLE_FLAT | TBSTYLE_TOOLTIPS |
                                   CCS_NODIVIDER | CCS_NORESIZE | CCS_NOPARENTALIGN,
                               0, 0, 0, 0, hwnd_, nullptr, instance, nullptr);
    SendMessageA(ToolBar1, TB_BUTTONSTRUCTSIZE, sizeof(TBBUTTON), 0);
    TBBUTTON buttons[] = {
        {0, IdToolButtonSet, TBSTATE_ENABLED, BTNS_BUTTON, {}, 0, 0},
        {3, IdToolButtonSwitch, TBSTATE_ENABLED, BTNS_CHECK, {}, 0, 0},
        {2, IdToolButtonHelp, TBSTATE_ENABLED, BTNS_BUTTON, {}, 0, 0},
        {MainFormLayout()["ToolButton2"].width, 0, 0, BTNS_SEP, {}, 0, 0},
        {1, IdToolButtonExit, TBSTATE_ENABLED, BTNS_BUTTON, {}, 0, 0},
    };
    SendMessageA(ToolBar1, TB_ADDBUTTONSA, std::size(buttons), reinterpret_cast<LPARAM>(buttons));
    app_.AddTooltip(reinterpret_cast<HWND>(SendMessageA(ToolBar1, TB_GETTOOLTIPS, 0, 0)));

    // The feedback link, blue.
    Label1 =
        CreateWindowExA(0, WC_STATICA, Caption("Label1").c_str(), WS_CHILD | WS_VISIBLE | SS_NOTIFY,
                        0, 0, 0, 0, hwnd_, reinterpret_cast<HMENU>(IdLabel1), instance, nullptr);
    Subclass(Label1, &MainWindow::LabelProc, this);

    UINT id = IdCheckBoxFirst;
    for (const CheckBoxLayout& layout : MainCheckBoxes())
        CheckBoxes.push_back(CreateWindowExA(
            0, WC_BUTTONA, layout.caption.c_str(),
            WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_AUTOCHECKBOX, 0, 0, 0, 0, hwnd_,
            reinterpret_cast<HMENU>(static_cast<UINT_PTR>(id++)), instance, nullptr));
    ApplyDpi();
}

void MainWindow::ApplyDpi() {
    if (!ToolBar1)
        return;
    HINSTANCE instance = app_.Instance();
    const FormLayout& layout = MainFormLayout();
    const auto place = [this](HWND control, const ControlLayout& at) {
        // Edges scaled, not sizes: neighbours that touch at 96 dpi still touch, never overlap.
        MoveWindow(control, Scale(at.left), Scale(at.top),
                   Scale(at.left + at.width) - Scale(at.left),
                   Scale(at.top + at.height) - Scale(at.top), TRUE);
    };

    // The window's icons at the sizes the system draws them at this DPI.
    for (HICON icon : {smallIcon_, bigIcon_})
        if (icon)
            DestroyIcon(icon);
    smallIcon_ = LoadIconSized(instance, IDI_APPLICATION_ICON, SystemMetric(SM_CXSMICON, dpi_));
    bigIcon_ = LoadIconSized(instance, IDI_APPLICATION_ICON, SystemMetric(SM_CXICON, dpi_));
    SendMessageA(hwnd_, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(smallIcon_));
    SendMessageA(hwnd_, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(bigIcon_));

    HFONT oldFonts[] = {font_, linkFont_, linkHoverFont_};
    font_ = CreateFormFont(dpi_);
    linkFont_ = CreateFormFont(dpi_);
    linkHoverFont_ = CreateFormFont(dpi_, true);

    // Buttons 39 x 38 with 32 x 32 pictures, scaled.
    HIMAGELIST oldImages = ImageList2;
    const int picture = Scale(32);
    ImageList2 =
        CreateIconImageList(instance, picture, {IDI_SETTINGS, IDI_EXIT, IDI_HELP, IDI_SWITCH});
    SendMessageA(ToolBar1, TB_SETIMAGELIST, 0, reinterpret_cast<LPARAM>(ImageList2));
    SendMessageA(ToolBar1, TB_SETBITMAPSIZE, 0, MAKELPARAM(picture, picture));
    const ControlLayout& button = layout["ToolButtonSet"];
    SendMessageA(ToolBar1, TB_SETBUTTONSIZE, 0,
                 MAKELPARAM(Scale(button.width), Scale(button.height)));
    TBBUTTONINFOA separator{};
    separator.cbSize = sizeof separator;
    separator.dwMask = TBIF_BYINDEX | TBIF_SIZE;
    separator.cx = static_cast<WORD>(Scale(layout["ToolButton2"].width));
    SendMessageA(ToolBar1, TB_SETBUTTONINFOA, 3, reinterpret_cast<LPARAM>(&separator));
    SendMessageA(ToolBar1, TB_AUTOSIZE, 0, 0);
    place(ToolBar1, layout["ToolBar1"]);
    if (oldImages)
        ImageList_Destroy(oldImages);

    place(Label1, layout["Label1"]);
    SendMessageA(Label1, WM_SETFONT,
                 reinterpret_cast<WPARAM>(pointerOverLabel_ ? linkHoverFont_ : linkFont_), TRUE);
    for (std::size_t i = 0; i < CheckBoxes.size(); ++i) {
        place(CheckBoxes[i], layout[MainCheckBoxes()[i].name]);
        SendMessageA(CheckBoxes[i], WM_SETFONT, reinterpret_cast<WPARAM>(font_), TRUE);
    }
    for (HFONT font : oldFonts)
        if (font)
            DeleteObject(font);
}

std::unique_ptr<TrayIconImage> MainWindow::StoredIcon() {
    auto icon = std::make_unique<Win32IconImage>();
    icon->SetIcon(reinterpret_cast<IconHandle>(emblemOn16_));
    return icon;
}

void MainWindow::RegisterAsMainForm() {
    app_.Tray().SetMainForm(reinterpret_cast<WindowHandle>(hwnd_));
}

bool MainWindow::SwitchButtonDown() const {
    return SendMessageA(ToolBar1, TB_ISBUTTONCHECKED, IdToolButtonSwitch, 0) != 0;
}

void MainWindow::SetSwitchButtonDown(bool down) {
    NotifyIconLoaded();
    SendMessageA(ToolBar1, TB_CHECKBUTTON, IdToolButtonSwitch, MAKELPARAM(down ? TRUE : FALSE, 0));
}

std::string MainWindow::SwitchItemCaption() const {
    return PopupMenu1->Caption(IdMSwitch);
}

void MainWindow::SetSwitchItemCaption(const std::string& caption) {
    PopupMenu1->SetCaption(IdMSwitch, caption);
}

// The box's place in MainCheckBoxes(), which is its place in CheckBoxes; the ids need not
// be numbered in table order.
std::size_t BoxIndex(MainCheckBox box) {
    const auto& boxes = MainCheckBoxes();
    std::size_t index = 0;
    while (index < boxes.size() && boxes[index].id != box)
        ++index;
    return index;
}

bool MainWindow::Checked(MainCheckBox box) const {
    const auto index = BoxIndex(box);
    return index < CheckBoxes.size() &&
           SendMessageA(CheckBoxes[index], BM_GETCHECK, 0, 0) == BST_CHECKED;
}

void MainWindow::SetChecked(MainCheckBox box, bool checked) {
    NotifyIconLoaded();
    const auto index = BoxIndex(box);
    if (index < CheckBoxes.size())
        SendMessageA(CheckBoxes[index], BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);
}

void MainWindow::SetLinkUnderlined(bool underlined) {
    SendMessageA(Label1, WM_SETFONT,
                 reinterpret_cast<WPARAM>(underlined ? linkHoverFont_ : linkFont_), TRUE);
}

void MainWindow::OpenWithShell(const std::string& target, ShellTarget) {
    ShellExecuteA(hwnd_, nullptr, target.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
}

void MainWindow::Run(void (TMainForm::*handler)()) {
    form_.Handle(handler);
}

bool MainWindow::Tooltip(NMHDR* header) {
    const char* hint = nullptr;
    switch (header->idFrom) {
    case IdToolButtonSet:
        hint = Caption("ToolButtonSet").c_str();
        break;
    case IdToolButtonSwitch:
        hint = Caption("ToolButtonSwitch").c_str();
        break;
    case IdToolButtonHelp:
        hint = Caption("ToolButtonHelp").c_str();
        break;
    case IdToolButtonExit:
        hint = Caption("ToolButtonExit").c_str();
        break;
    default:
        return false;
    }
    if (header->code == TTN_GETDISPINFOA) {
        auto* info = reinterpret_cast<NMTTDISPINFOA*>(header);
        info->lpszText = const_cast<char*>(hint);
        info->hinst = nullptr;
    } else {
        // A Unicode tooltip control: the hint converted from GBK.
        auto* info = reinterpret_cast<NMTTDISPINFOW*>(header);
        MultiByteToWideChar(936, 0, hint, -1, info->szText, std::size(info->szText));
        info->lpszText = info->szText;
        info->hinst = nullptr;
    }
    return true;
}

LRESULT CALLBACK MainWindow::LabelProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                                       UINT_PTR, DWORD_PTR data) {
    auto* self = reinterpret_cast<MainWindow*>(data);
    switch (message) {
    case WM_MOUSEMOVE:
        if (!self->pointerOverLabel_) {
            self->pointerOverLabel_ = true;
            TRACKMOUSEEVENT track{sizeof track, TME_LEAVE, window, 0};
            TrackMouseEvent(&track);
            self->Run(&TMainForm::Label1MouseEnter);
        }
        break;
    case WM_MOUSELEAVE:
        self->pointerOverLabel_ = false;
        self->Run(&TMainForm::Label1MouseLeave);
        return 0;
    case WM_LBUTTONUP: {
        RECT client;
        GetClientRect(window, &client);
        if (PtInRect(&client, POINT{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)}))
            self->Run(&TMainForm::Label1Click);
        return 0;
    }
    default:
        break;
    }
    return DefSubclassProc(window, message, wParam, lParam);
}

LRESULT MainWindow::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_COMMAND: {
        const UINT id = LOWORD(wParam);
        switch (id) {
        case IdToolButtonSet:
            Run(&TMainForm::ToolButtonSetClick);
            return 0;
        case IdToolButtonSwitch:
            Run(&TMainForm::ToolButtonSwitchClick);
            return 0;
        case IdToolButtonHelp:
            Run(&TMainForm::ToolButtonHelpClick);
            return 0;
        case IdToolButtonExit:
            Run(&TMainForm::ToolButtonExitClick);
            return 0;
        case IdMMainInterface:
            Run(&TMainForm::MMainInterfaceClick);
            return 0;
        case IdMSetting:
            Run(&TMainForm::MSettingClick);
            return 0;
        case IdMSwitch:
            Run(&TMainForm::MSwitchClick);
            return 0;
        case IdMExit:
            Run(&TMainForm::MExitClick);
            return 0;
        default:
            break;
        }
        if (id >= IdCheckBoxFirst && id < IdCheckBoxFirst + CheckBoxes.size() &&
            HIWORD(wParam) == BN_CLICKED) {
            const MainCheckBox box = MainCheckBoxes()[id - IdCheckBoxFirst].id;
            RunGuarded(this, [this, box] { form_.CheckBoxClick(box); });
            return 0;
        }
        break;
    }
    case WM_NOTIFY: {
        auto* header = reinterpret_cast<NMHDR*>(lParam);
        if ((header->code == TTN_GETDISPINFOA || header->code == TTN_GETDISPINFOW) &&
            Tooltip(header))
            return 0;
        break;
    }
    case WM_CTLCOLORSTATIC: {
        auto dc = reinterpret_cast<HDC>(wParam);
        // The link is blue, the check box's text black, both on the button face.
        SetTextColor(dc, reinterpret_cast<HWND>(lParam) == Label1 ? RGB(0, 0, 255) : RGB(0, 0, 0));
        SetBkColor(dc, GetSysColor(COLOR_BTNFACE));
        return reinterpret_cast<LRESULT>(background_);
    }
    case WM_ACTIVATE:
        // The program's active window changes to this one: not when it comes back from
        // another program, nor when the modal editor hands the focus back.
        if (LOWORD(wParam) != WA_INACTIVE && TheProgramActivation().Activated(this))
            Run(&TMainForm::FormActivate);
        if (FollowActivation(wParam))
            return 0;
        break;
    case WM_SIZE:
        // The main window carries the application's taskbar button, so minimising it is
        // minimising the application: the tray component hears it on the application window.
        if (wParam == SIZE_MINIMIZED)
            if (auto application = reinterpret_cast<HWND>(app_.Tray().ApplicationWindow()))
                SendMessageA(application, WM_SIZE, wParam, lParam);
        break;
    case WM_DPICHANGED:
        FollowDpiChange(wParam, lParam);
        return 0;
    case WM_CLOSE:
        Run(&TMainForm::FormClose);
        return 0;
    case WM_QUERYENDSESSION:
        return TRUE;
    case WM_ENDSESSION:
        if (wParam)
            app_.EndSession();
        return 0;
    default:
        break;
    }
    return DefWindowProcA(hwnd_, message, wParam, lParam);
}

} // namespace tarnwick::win32

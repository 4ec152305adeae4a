#pragma once

#include "forms/FormLayouts.h"
#include "forms/FormViews.h"
#include "ui/win32/RuleGrid.h"

#include <windows.h>

#include <commctrl.h>

#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace tarnwick {
class Win32TrayPlatform;
}

namespace tarnwick::win32 {

class ApplicationWindows;

// A top-level window of the program: the FormView operations over its HWND.
class Form {
public:
    virtual ~Form() = default;
    HWND Hwnd() const { return hwnd_; }

protected:
    void FormShow();
    void FormHide() { ShowWindow(hwnd_, SW_HIDE); }
    bool FormVisible() const { return IsWindowVisible(hwnd_) != FALSE; }
    bool FormMinimized() const { return IsIconic(hwnd_) != FALSE; }
    void FormShowMinimized() { ShowWindow(hwnd_, SW_SHOWMINIMIZED); }
    void FormShowNormal() { ShowWindow(hwnd_, SW_SHOWNORMAL); }
    void FormBringToFront();

    // Registers the class once and creates the window with this object behind it, at the
    // layout's place and client size, both scaled to the DPI the window is shown at.
    void CreateForm(const char* className, const FormLayout& layout, DWORD style, DWORD exStyle,
                    HWND owner);
    // A length of the layout at the window's DPI.
    int Scale(int length) const { return ScaleToDpi(length, dpi_); }
    // The window's DPI changed (moved to another monitor, or the user's scaling changed):
    // fonts, pictures and controls are made anew for it, and the window takes the place the
    // system suggests.
    void FollowDpiChange(WPARAM wParam, LPARAM lParam);
    // Fonts, pictures, and every control's place and size for the window's DPI.
    virtual void ApplyDpi() = 0;
    virtual LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) = 0;
    static LRESULT CALLBACK StaticProc(HWND, UINT, WPARAM, LPARAM);
    // WM_ACTIVATE: notes the control that has the focus when the window goes inactive, and
    // gives it back when the window is active again. True when it did (the default
    // processing would move the focus to the window itself).
    bool FollowActivation(WPARAM wParam);

    HWND hwnd_ = nullptr;
    int dpi_ = 96;

public:
    int Dpi() const { return dpi_; }
    // The controls that take the focus, in tab order.
    virtual std::vector<HWND> TabOrder() const = 0;
    // Tab, Shift+Tab and Enter as the dialog keys of this window: Tab moves the focus along
    // the tab order unless the focused control takes Tab itself; Enter presses a focused push
    // button. True when the key was used so.
    bool DialogKey(const MSG& message);

private:
    HWND focusedControl_ = nullptr;
};

// Registers the common controls' window classes, the first time only: not before the icon
// has been requested, since the main window's controls are made after that.
void InitCommonControlsOnce();

// The window behind a FormView of this front end (null for another one's).
HWND FormWindow(FormView* view);

// The tray menu PopupMenu1 as the notification-area component sees it: a real popup menu.
// A chosen item runs after the menu has closed, from the message loop.
class PopupMenu final : public TrayPopupMenu {
public:
    struct Item {
        UINT id;             // 0: a separator line
        std::string caption; // GBK
    };
    PopupMenu(Win32TrayPlatform& platform, HWND commandWindow, const std::vector<Item>& items);
    ~PopupMenu() override;

    bool AutoPopup() const override { return true; }
    void SetPopupComponent(void*) override {}
    int ItemCount() const override { return static_cast<int>(ids_.size()); }
    bool ItemIsDefault(int) const override { return false; }
    void ClickItem(int index) override;
    void Popup(TrayPoint at) override;

    HMENU Handle() const { return menu_; }
    std::string Caption(UINT id) const;
    void SetCaption(UINT id, const std::string& caption);

private:
    Win32TrayPlatform& platform_;
    HWND commandWindow_;
    HMENU menu_;
    std::vector<UINT> ids_;
};

class MainWindow final : public Form, public MainFormView {
public:
    MainWindow(ApplicationWindows& app, TMainForm& form);
    ~MainWindow() override;

    void Show() override {
        NotifyIconLoaded();
        FormShow();
    }
    void Hide() override { FormHide(); }
    bool Visible() const override { return FormVisible(); }
    bool Minimized() const override { return FormMinimized(); }
    void ShowMinimized() override {
        NotifyIconLoaded();
        FormShowMinimized();
    }
    void ShowNormal() override {
        NotifyIconLoaded();
        FormShowNormal();
    }
    void BringToFront() override { FormBringToFront(); }

    WindowHandle TrayWindow() override { return reinterpret_cast<WindowHandle>(hwnd_); }
    TrayImageList& TrayIconList() override { return *ImageList1; }
    std::unique_ptr<TrayIconImage> StoredIcon() override;
    TrayPopupMenu& TrayMenu() override { return *PopupMenu1; }
    void NotifyIconLoaded() override;
    void RegisterAsMainForm() override;

    bool SwitchButtonDown() const override;
    void SetSwitchButtonDown(bool down) override;
    std::string SwitchItemCaption() const override;
    void SetSwitchItemCaption(const std::string& caption) override;
    bool Checked(MainCheckBox box) const override;
    void SetChecked(MainCheckBox box, bool checked) override;
    void SetLinkUnderlined(bool underlined) override;
    void OpenWithShell(const std::string& target, ShellTarget kind) override;
    std::vector<HWND> TabOrder() const override { return CheckBoxes; }

    // The components, named as in the window's layout.
    HWND ToolBar1 = nullptr;
    HWND Label1 = nullptr;
    std::vector<HWND> CheckBoxes; // one per MainCheckBoxes() entry
    HIMAGELIST ImageList2 = nullptr;
    // 16 x 16: 0 the emblem in blue (switch on), 1 in grey (switch off).
    std::unique_ptr<TrayImageList> ImageList1;
    std::unique_ptr<PopupMenu> PopupMenu1;

private:
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;
    static LRESULT CALLBACK LabelProc(HWND, UINT, WPARAM, LPARAM, UINT_PTR, DWORD_PTR);
    void CreateComponents();
    void ApplyDpi() override;
    void Run(void (TMainForm::*handler)());
    bool Tooltip(NMHDR* header);

    ApplicationWindows& app_;
    TMainForm& form_;
    HFONT font_ = nullptr;
    HFONT linkFont_ = nullptr;
    HFONT linkHoverFont_ = nullptr;
    HBRUSH background_ = nullptr;
    HICON emblemOn16_ = nullptr;
    HICON emblemOff16_ = nullptr;
    HICON smallIcon_ = nullptr;
    HICON bigIcon_ = nullptr;
    bool pointerOverLabel_ = false;
};

// The window exists from the start; its controls are made when it is first shown (or first
// needed), and stay null until then.
class EditorWindow final : public Form, public SetParamFormView {
public:
    EditorWindow(ApplicationWindows& app, TsetParamForm& form);
    ~EditorWindow() override;

    void Show() override { FormShow(); }
    void Hide() override { FormHide(); }
    bool Visible() const override { return FormVisible(); }
    bool Minimized() const override { return FormMinimized(); }
    void ShowMinimized() override { FormShowMinimized(); }
    void ShowNormal() override { FormShowNormal(); }
    void BringToFront() override { FormBringToFront(); }

    void SetNormalState() override;
    void RunModal(FormView* owner) override;
    void EndModal() override;

    void RefreshTexts() override;
    void FollowRowCount() override;
    void FollowCurrentCell() override;
    void CloseCellEditor() override;
    int GridWidth() const override;
    void SetColumnWidths(int width) override;
    void FocusGrid() override;

    void SetTypeListEntries(const std::vector<std::string>& entries) override;
    int TypeListSelection() const override;
    void SetTypeListSelection(int index) override;
    void ShowTypeList(int column, int row) override;
    void HideTypeList() override;
    std::string TestUrlText() const override;
    void SetTestResult(const std::string& text) override;
    void PostFromAnyThread(std::function<void()> task) override;
    std::vector<HWND> TabOrder() const override;

    // The components, named as in the window's layout (the panels are areas, not windows).
    HWND ToolBar1 = nullptr;
    std::unique_ptr<RuleGrid> StringGrid1;
    HWND ComboBox1 = nullptr;
    HWND ButtonOK = nullptr;
    HWND ButtonCancle = nullptr;
    HWND Label1 = nullptr;
    // The rule tester, between the grid and the buttons.
    HWND LabelTestUrl = nullptr;
    HWND EditTestUrl = nullptr;
    HWND ButtonTest = nullptr;
    HWND LabelTestResult = nullptr;
    HIMAGELIST ImageList1 = nullptr;

    bool InModalRun() const { return modal_; }

private:
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;
    void EnsureComponents();
    void EnsureComponents() const { const_cast<EditorWindow*>(this)->EnsureComponents(); }
    void CreateComponents();
    void ApplyDpi() override;
    void Layout();
    void PlaceTypeList();
    void TypeListCommand(UINT code);
    void Run(void (TsetParamForm::*handler)());
    template <typename F> void Guarded(F&& f);

    ApplicationWindows& app_;
    TsetParamForm& form_;
    HFONT font_ = nullptr;
    int typeListColumn_ = 0;
    int typeListRow_ = 0;
    bool modal_ = false;
    bool modalEnded_ = false;
    HWND modalOwner_ = nullptr;
    bool created_ = false;
    // What the controls show once made: the type list's entries and the result line (GBK).
    std::vector<std::string> typeListEntries_;
    std::string testResult_;
    bool showNormal_ = false; // SetNormalState while hidden
    int oldDpi_ = 96;         // the DPI the columns' widths were made for
    // Tasks from other threads (the tester's lookups), run from this window's messages.
    std::mutex postedMutex_;
    std::deque<std::function<void()>> posted_;
};

// What the windows share: the instance, the tray platform, the hint settings, the message
// loop and the tasks posted to it, and the end of the session.
class ApplicationWindows final : public ApplicationView {
public:
    ApplicationWindows(HINSTANCE instance, Win32TrayPlatform& tray);
    ~ApplicationWindows() override;

    void ApplyHints(int pauseMilliseconds, bool show) override;
    void SetTitle(const std::string& title) override;
    void WatchTheEnd(std::function<void()> onEnd) override { onEnd_ = std::move(onEnd); }
    std::unique_ptr<MainFormView> CreateMainFormView(TMainForm& form) override;
    std::unique_ptr<SetParamFormView> CreateSetParamFormView(TsetParamForm& form) override;
    int RunMessageLoop() override;
    void QuitMessageLoop() override;
    void Post(std::function<void()> task) override;

    HINSTANCE Instance() const { return instance_; }
    Win32TrayPlatform& Tray() { return tray_; }
    MainWindow* Main() const { return main_; }
    EditorWindow* Editor() const { return editor_; }
    void Forget(const Form* form);
    // A tooltip control of a window: takes the hint settings now and whenever they change.
    void AddTooltip(HWND tooltip);
    // The end of the Windows session: the program ends now, in the order Exit gives.
    void EndSession();
    // What ends the session's program after the windows have gone (set by the entry).
    std::function<void()> OnSessionEnded;
    // Runs one message through the dialog keys of the window it belongs to, then dispatches it.
    void Dispatch(MSG& message);
    void RunPostedTasks();

private:
    static LRESULT CALLBACK TaskProc(HWND, UINT, WPARAM, LPARAM);

    HINSTANCE instance_;
    Win32TrayPlatform& tray_;
    HWND taskWindow_ = nullptr;
    std::deque<std::function<void()>> tasks_;
    std::vector<HWND> tooltips_;
    int hintPause_ = 500;
    bool showHints_ = true;
    std::function<void()> onEnd_;
    MainWindow* main_ = nullptr;
    EditorWindow* editor_ = nullptr;
    bool ending_ = false;
};

} // namespace tarnwick::win32

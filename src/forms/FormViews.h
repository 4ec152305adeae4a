#pragma once

// What the windows' behaviour (TMainForm, TsetParamForm, TApplication) needs from a front end.
// Each front end implements these small interfaces over its own widgets and keeps only
// widgets, layout, painting and event plumbing; everything a window *does* lives in the
// behaviour, once. Texts cross these interfaces as GBK bytes: a Qt front end converts them, a
// Win32 one hands them to the ANSI API unchanged. No toolkit and no OS header is included here.

#include "trayicon/TrayPlatform.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace tarnwick {

class TMainForm;
class TsetParamForm;

// A top-level window as the behaviour sees it.
class FormView {
public:
    virtual ~FormView() = default;

    // Shows the window as it was (a minimised window stays minimised) / hides it.
    virtual void Show() = 0;
    virtual void Hide() = 0;
    virtual bool Visible() const = 0;
    virtual bool Minimized() const = 0;
    // Shows it minimised (in the taskbar) / shows it neither minimised nor maximised.
    virtual void ShowMinimized() = 0;
    virtual void ShowNormal() = 0;
    // Raises it above the other windows and makes it the active window.
    virtual void BringToFront() = 0;
};

// The main window's check boxes, one preference each. The front ends create one box per entry
// of MainCheckBoxes(), so adding a box is one enumerator and one table entry here, plus what
// the behaviour does with it.
enum class MainCheckBox : int {
    StartHidden = 0,
    ServePac = 1,
    StartAtLogin = 2,
};

struct CheckBoxLayout {
    MainCheckBox id;
    // The component's name (and the Qt objectName).
    std::string name;
    // GBK bytes.
    std::string caption;
    // Client coordinates and size in the layout's pixels (96 dpi).
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
};

// Every check box of the main window, in creation (and tab) order.
const std::vector<CheckBoxLayout>& MainCheckBoxes();

// What the shell is asked to open: a document (a local path, GBK bytes) or a URL.
enum class ShellTarget { Document, Url };

// The main window: toolbar (rule editor, switch, help, exit), the feedback link Label1, the
// check boxes, and the pieces the notification-area icon NotifyIcon1 is built from.
//
// Event plumbing the front end owes (each call through TMainForm::Handle or RunGuarded):
//   the window becomes active              -> FormActivate
//   its close button / close request       -> FormClose (the window must not close itself)
//   ToolButtonSet, ToolButtonSwitch, ToolButtonHelp, ToolButtonExit clicked
//                                          -> ToolButtonSetClick, ToolButtonSwitchClick, ...
//                                             (the switch button toggles its own pressed state
//                                             before the handler runs, as a two-state button)
//   tray menu items MMainInterface, MSetting, MSwitch, MExit chosen -> their ...Click handlers
//   pointer enters / leaves Label1, left click released on it
//                                          -> Label1MouseEnter / Label1MouseLeave / Label1Click
//   the user toggles a check box           -> CheckBoxClick(id)
class MainFormView : public FormView {
public:
    // --- the notification-area icon's parts; each lives as long as the view ---
    // The window that owns the icon, as the tray platform knows it.
    virtual WindowHandle TrayWindow() = 0;
    // ImageList1 (16 x 16): 0 the emblem in blue (switch on), 1 in grey (switch off).
    virtual TrayImageList& TrayIconList() = 0;
    // A new icon object holding the icon stored with the layout (the blue emblem).
    virtual std::unique_ptr<TrayIconImage> StoredIcon() = 0;
    // PopupMenu1 (the tray menu: MMainInterface, MSetting, -, MSwitch, -, MExit).
    virtual TrayPopupMenu& TrayMenu() = 0;
    // Called once the icon has been requested, before FormCreate: a front end that queues
    // requests to its display may send them now, so the desktop docks the icon early.
    virtual void NotifyIconLoaded() {}
    // Tells the tray platform that this is the application's main window (once created).
    virtual void RegisterAsMainForm() = 0;

    // --- components ---
    // ToolButtonSwitch's pressed state (pressed = switch off); setting it is no click.
    virtual bool SwitchButtonDown() const = 0;
    virtual void SetSwitchButtonDown(bool down) = 0;
    // MSwitch's caption (GBK), as the menu holds it (a front end may have added a suffix).
    virtual std::string SwitchItemCaption() const = 0;
    virtual void SetSwitchItemCaption(const std::string& caption) = 0;
    // A check box's state; setting it is no click.
    virtual bool Checked(MainCheckBox box) const = 0;
    virtual void SetChecked(MainCheckBox box, bool checked) = 0;
    // Label1's font: underlined while the pointer is over it.
    virtual void SetLinkUnderlined(bool underlined) = 0;
    // Opens target with the shell's default action, parent window this one, normal show;
    // the result is ignored (a missing help file reports nothing).
    virtual void OpenWithShell(const std::string& target, ShellTarget kind) = 0;
};

// The rule editor: toolbar (insert, delete), the grid StringGrid1 showing the editor's
// RuleTable (row 0 is the header), the type list ComboBox1, ButtonOK, ButtonCancle, the note.
//
// The grid reads its texts from TsetParamForm::Table(); it keeps no texts of its own.
// Event plumbing the front end owes:
//   the window is opened by RunModal (not when the user merely comes back to it from another
//   window of the program)               -> FormActivate
//   its size changed                       -> FormResize
//   a cell is about to become current (click, drag, keys, Tab; not the moves the behaviour
//   asks for with FollowCurrentCell)       -> StringGrid1SelectCell(column, row)
//   a click on the cell that already is current -> CurrentCellClicked(column, row)
//   a cell editor may open: ask MayOpenCellEditor(onSelection) first
//   the user changed a cell editor's text  -> CellEdited(column, row, text) at every change;
//                                             never for a text the user did not change
//   the user changed the type list's entry (picked one, or moved with the keyboard)
//                                          -> ComboBox1Change
//   the type list lost the keyboard focus (not to its own drop-down, not to another
//   application)                           -> ComboBox1Exit
//   ToolButtonInsert, ToolButtonDelete, ButtonOK, ButtonCancle clicked -> their handlers
//   ButtonTest clicked, or Enter in EditTestUrl -> ButtonTestClick
//   the close box                          -> ButtonCancleClick
// Enter and Escape close nothing; the toolbar buttons never take the focus.
class SetParamFormView : public FormView {
public:
    // Neither maximised nor minimised.
    virtual void SetNormalState() = 0;
    // Shows the window modally and returns when EndModal was called. owner is the window it
    // is modal to, or null: modal to no window (the notification area's icon and windows
    // shown later stay usable).
    virtual void RunModal(FormView* owner) = 0;
    // Ends the modal run and hides the window (the result is not used).
    virtual void EndModal() = 0;

    // --- the grid ---
    // The table's texts changed (header included): show them again. An open cell editor
    // shows its cell's new text.
    virtual void RefreshTexts() = 0;
    // The table's row count changed: rows come and go at the end. Any move of the current
    // cell this causes in the grid is no selection.
    virtual void FollowRowCount() = 0;
    // Makes the table's current cell the grid's current cell, without a selection.
    virtual void FollowCurrentCell() = 0;
    // Closes the current cell's text editor (its text has reached the table already).
    virtual void CloseCellEditor() = 0;
    // The grid's width in pixels, and all three columns' width.
    virtual int GridWidth() const = 0;
    virtual void SetColumnWidths(int width) = 0;
    virtual void FocusGrid() = 0;

    // --- the type list ---
    // Entries (GBK), replacing the old ones; the selection becomes none.
    virtual void SetTypeListEntries(const std::vector<std::string>& entries) = 0;
    // The selected entry's index, -1 for none.
    virtual int TypeListSelection() const = 0;
    virtual void SetTypeListSelection(int index) = 0;
    // Places the list over the grid's cell (left and top one pixel in from the cell's edges,
    // the cell's size), shows it and gives it the keyboard focus; it stays over its cell while
    // the grid scrolls.
    virtual void ShowTypeList(int column, int row) = 0;
    virtual void HideTypeList() = 0;

    // --- the rule tester ---
    // The address in EditTestUrl (GBK).
    virtual std::string TestUrlText() const = 0;
    // LabelTestResult's text (GBK).
    virtual void SetTestResult(const std::string& text) = 0;
    // Runs task from this window's message loop. Callable from any thread; a task posted
    // while the view is being destroyed, or after, never runs.
    virtual void PostFromAnyThread(std::function<void()> task) = 0;
};

// What the application object needs from the toolkit.
class ApplicationView {
public:
    virtual ~ApplicationView() = default;

    // Tooltips: delay in milliseconds, on or off.
    virtual void ApplyHints(int pauseMilliseconds, bool show) = 0;
    // The taskbar text and the caption of message boxes (GBK).
    virtual void SetTitle(const std::string& title) = 0;
    // Closing the last window must not end the message loop; the end of the desktop session
    // (and, where the OS has them, SIGTERM, SIGINT, SIGHUP) calls onEnd from the loop.
    virtual void WatchTheEnd(std::function<void()> onEnd) = 0;

    // The two windows' views, built for their behaviour objects (which outlive nothing: the
    // behaviour object owns its view and destroys it last).
    virtual std::unique_ptr<MainFormView> CreateMainFormView(TMainForm& form) = 0;
    virtual std::unique_ptr<SetParamFormView> CreateSetParamFormView(TsetParamForm& form) = 0;

    // Runs the message loop until QuitMessageLoop; returns the exit code.
    virtual int RunMessageLoop() = 0;
    virtual void QuitMessageLoop() = 0;
    // Runs task from the message loop once it gets there.
    virtual void Post(std::function<void()> task) = 0;
};

} // namespace tarnwick

#pragma once

// A front end without a toolkit for the windows' behaviour: every view records what the
// behaviour asked of it, and the test plays the user by calling the handlers the way a front
// end's event plumbing would.

#include "FakeTray.h"
#include "forms/FormViews.h"

#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

namespace tarnwick::fake {

// The window state both fake windows keep, behind the calls every window view takes.
template <class View> class FakeWindow : public View {
public:
    void Show() override { visible = true; }
    void Hide() override { visible = false; }
    bool Visible() const override { return visible; }
    bool Minimized() const override { return minimized; }
    void ShowMinimized() override { visible = minimized = true; }
    void ShowNormal() override {
        visible = true;
        minimized = maximized = false;
    }
    void BringToFront() override { ++broughtToFront; }

    bool visible = false;
    bool minimized = false;
    bool maximized = false;
    int broughtToFront = 0;
};

class FakeMainForm : public FakeWindow<MainFormView> {
public:
    FakeMainForm(TMainForm& form, FakeTrayPlatform& tray);

    // The user clicks the two-state switch button (it toggles before the handler runs).
    void ClickSwitch();

    WindowHandle TrayWindow() override { return window; }
    TrayImageList& TrayIconList() override { return images; }
    std::unique_ptr<TrayIconImage> StoredIcon() override;
    TrayPopupMenu& TrayMenu() override { return menu; }
    void RegisterAsMainForm() override;
    bool SwitchButtonDown() const override { return switchDown; }
    void SetSwitchButtonDown(bool down) override { switchDown = down; }
    std::string SwitchItemCaption() const override { return switchCaption; }
    void SetSwitchItemCaption(const std::string& caption) override { switchCaption = caption; }
    bool Checked(MainCheckBox box) const override;
    void SetChecked(MainCheckBox box, bool checked) override { boxes[box] = checked; }
    void SetLinkUnderlined(bool underlined) override { linkUnderlined = underlined; }
    void OpenWithShell(const std::string& target, ShellTarget kind) override {
        opened.emplace_back(target, kind);
    }

    TMainForm& form;
    FakeTrayPlatform& tray;
    WindowHandle window;
    FakeImageList images{2, 100};
    FakePopupMenu menu;
    bool switchDown = false;
    std::string switchCaption; // GBK
    std::map<MainCheckBox, bool> boxes;
    bool linkUnderlined = false;
    std::vector<std::pair<std::string, ShellTarget>> opened;
};

class FakeSetParamForm : public FakeWindow<SetParamFormView> {
public:
    enum class Focus { None, Grid, TypeList };

    explicit FakeSetParamForm(TsetParamForm& form) : form(form) {}

    // --- the user ---
    // Opens the window as its modal run does, without a loop.
    void Open();
    // A click on a grid cell: the open type list loses the focus first, then the cell is
    // selected (or, when it is current already, clicked again).
    void Click(int column, int row);
    // Types text into the current cell, character by character, when its editor may open.
    void Type(const std::string& text);
    // Picks a type list entry.
    void Pick(int index);

    void SetNormalState() override { minimized = maximized = false; }
    void RunModal(FormView* owner) override;
    void EndModal() override { visible = false; }
    void RefreshTexts() override { ++refreshes; }
    void FollowRowCount() override { ++rowCountChanges; }
    void FollowCurrentCell() override;
    void CloseCellEditor() override { ++cellEditorCloses; }
    int GridWidth() const override { return gridWidth; }
    void SetColumnWidths(int width) override { columnWidth = width; }
    void FocusGrid() override { focus = Focus::Grid; }
    void SetTypeListEntries(const std::vector<std::string>& entries) override;
    int TypeListSelection() const override { return typeSelection; }
    void SetTypeListSelection(int index) override { typeSelection = index; }
    void ShowTypeList(int column, int row) override;
    void HideTypeList() override { typeListShown = false; }
    std::string TestUrlText() const override { return testUrl; }
    void SetTestResult(const std::string& text) override { testResult = text; }
    void PostFromAnyThread(std::function<void()> task) override;
    // Runs the tasks posted from other threads once one is there; false when none came
    // within ten seconds.
    bool RunPostedTasks();

    TsetParamForm& form;
    std::string testUrl;
    std::string testResult;
    std::mutex postedMutex;
    std::condition_variable postedReady;
    std::deque<std::function<void()>> posted;
    // The grid's current cell as the grid shows it.
    int currentColumn = 0;
    int currentRow = 1;
    int gridWidth = 535;
    int columnWidth = 170;
    Focus focus = Focus::None;
    std::vector<std::string> typeEntries;
    int typeSelection = -1;
    bool typeListShown = false;
    std::pair<int, int> typeListCell{-1, -1};
    int refreshes = 0;
    int rowCountChanges = 0;
    int cellEditorCloses = 0;
    // Modal runs: the owner each was modal to; whileOpen runs inside each.
    std::vector<FormView*> modalOwners;
    std::function<void()> whileOpen;
};

class FakeFrontEnd : public ApplicationView {
public:
    explicit FakeFrontEnd(FakeTrayPlatform& tray) : tray(tray) {}

    void ApplyHints(int pause, bool show) override {
        hintPause = pause;
        hintsShown = show;
    }
    void SetTitle(const std::string& text) override { title = text; }
    void WatchTheEnd(std::function<void()> onEnd) override { endOfSession = std::move(onEnd); }
    std::unique_ptr<MainFormView> CreateMainFormView(TMainForm& form) override;
    std::unique_ptr<SetParamFormView> CreateSetParamFormView(TsetParamForm& form) override;
    // Runs the posted tasks and then whileRunning, until the loop is asked to quit.
    int RunMessageLoop() override;
    void QuitMessageLoop() override { ++quits; }
    void Post(std::function<void()> task) override { posted.push_back(std::move(task)); }
    // Runs what was posted so far.
    void RunPosted();

    FakeTrayPlatform& tray;
    int hintPause = 0;
    bool hintsShown = false;
    std::string title;
    std::function<void()> endOfSession;
    std::deque<std::function<void()>> posted;
    std::function<void()> whileRunning;
    int loops = 0;
    int quits = 0;
    FakeMainForm* mainForm = nullptr;
    FakeSetParamForm* setParamForm = nullptr;
};

} // namespace tarnwick::fake

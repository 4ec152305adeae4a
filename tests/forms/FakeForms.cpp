#include "FakeForms.h"

#include "forms/mainUnit.h"
#include "forms/setParamUnit.h"

namespace tarnwick::fake {

FakeMainForm::FakeMainForm(TMainForm& form, FakeTrayPlatform& tray)
    : form(form), tray(tray), window(tray.CreateWindow()) {}

void FakeMainForm::ClickSwitch() {
    switchDown = !switchDown;
    form.Handle(&TMainForm::ToolButtonSwitchClick);
}

std::unique_ptr<TrayIconImage> FakeMainForm::StoredIcon() {
    return std::make_unique<FakeIconImage>(7);
}

void FakeMainForm::RegisterAsMainForm() {
    tray.mainForm = window;
}

bool FakeMainForm::Checked(MainCheckBox box) const {
    const auto found = boxes.find(box);
    return found != boxes.end() && found->second;
}

void FakeSetParamForm::Open() {
    visible = true;
    form.Handle(&TsetParamForm::FormActivate);
}

void FakeSetParamForm::RunModal(FormView* owner) {
    modalOwners.push_back(owner);
    Open();
    // A copy: the body may replace itself.
    if (const auto body = whileOpen)
        body();
}

void FakeSetParamForm::Click(int column, int row) {
    if (focus == Focus::TypeList)
        form.Handle(&TsetParamForm::ComboBox1Exit);
    focus = Focus::Grid;
    if (column == currentColumn && row == currentRow) {
        form.CurrentCellClicked(column, row);
        return;
    }
    form.StringGrid1SelectCell(column, row);
    if (row >= 1 && row < form.Table().rowCount()) {
        currentColumn = column;
        currentRow = row;
    }
}

void FakeSetParamForm::Type(const std::string& text) {
    if (focus != Focus::Grid || !form.MayOpenCellEditor(false))
        return;
    std::string cell = form.Table().cell(currentColumn, currentRow);
    for (char c : text) {
        cell += c;
        form.CellEdited(currentColumn, currentRow, cell);
    }
}

void FakeSetParamForm::Pick(int index) {
    typeSelection = index;
    form.Handle(&TsetParamForm::ComboBox1Change);
}

void FakeSetParamForm::FollowCurrentCell() {
    currentColumn = form.Table().currentColumn();
    currentRow = form.Table().currentRow();
}

void FakeSetParamForm::SetTypeListEntries(const std::vector<std::string>& entries) {
    typeEntries = entries;
    typeSelection = -1;
}

void FakeSetParamForm::ShowTypeList(int column, int row) {
    typeListShown = true;
    typeListCell = {column, row};
    focus = Focus::TypeList;
}

std::unique_ptr<MainFormView> FakeFrontEnd::CreateMainFormView(TMainForm& form) {
    auto view = std::make_unique<FakeMainForm>(form, tray);
    mainForm = view.get();
    return view;
}

std::unique_ptr<SetParamFormView> FakeFrontEnd::CreateSetParamFormView(TsetParamForm& form) {
    auto view = std::make_unique<FakeSetParamForm>(form);
    setParamForm = view.get();
    return view;
}

int FakeFrontEnd::RunMessageLoop() {
    ++loops;
    const int quitsBefore = quits;
    RunPosted();
    if (const auto body = whileRunning; body && quits == quitsBefore)
        body();
    return 0;
}

void FakeFrontEnd::RunPosted() {
    while (!posted.empty()) {
        auto task = std::move(posted.front());
        posted.pop_front();
        task();
    }
}

void FakeSetParamForm::PostFromAnyThread(std::function<void()> task) {
    std::lock_guard<std::mutex> lock(postedMutex);
    posted.push_back(std::move(task));
    postedReady.notify_all();
}

bool FakeSetParamForm::RunPostedTasks() {
    std::deque<std::function<void()>> tasks;
    {
        std::unique_lock<std::mutex> lock(postedMutex);
        if (!postedReady.wait_for(lock, std::chrono::seconds(10), [&] { return !posted.empty(); }))
            return false;
        tasks.swap(posted);
    }
    for (auto& task : tasks)
        task();
    return true;
}

} // namespace tarnwick::fake

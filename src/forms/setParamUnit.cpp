#include "forms/setParamUnit.h"

#include "forms/ErrorBox.h"
#include "platform/HostNames.h"
#include "rules/CodePage.h"
#include "rules/PacScript.h"
#include "rules/RuleFile.h"
#include "rules/TextFile.h"

#include <condition_variable>
#include <mutex>
#include <optional>
#include <thread>

namespace tarnwick {

// Where lookup threads deliver their answers. The window detaches itself when it goes; an
// answer that arrives later finds no one and is dropped.
struct TsetParamForm::LookupMailbox : std::enable_shared_from_this<LookupMailbox> {
    std::mutex mutex;
    TsetParamForm* form = nullptr;

    void deliver(unsigned test, HostLookup answer, bool timedOut) {
        std::lock_guard<std::mutex> lock(mutex);
        if (!form)
            return;
        form->view_->PostFromAnyThread([self = shared_from_this(), test, answer, timedOut] {
            if (TsetParamForm* target = self->form)
                RunGuarded(target->view_.get(),
                           [&] { target->lookupDone(test, answer, timedOut); });
        });
    }
};

TsetParamForm::TsetParamForm(const ViewFactory& makeView) : resolve_(ResolveIpv4) {
    view_ = makeView(*this);
    table_.ShowTypeEditor = [this](int column, int row) { ShowTypeEditor(column, row); };
    table_.RowCountChanged = [this] { view_->FollowRowCount(); };
    Handle(&TsetParamForm::FormCreate);
}

TsetParamForm::~TsetParamForm() {
    // The view goes first, while the table it shows still exists, and without calling back
    // into this half-destroyed window.
    typeEditorOpen_ = false;
    if (mailbox_) {
        std::lock_guard<std::mutex> lock(mailbox_->mutex);
        mailbox_->form = nullptr;
    }
    table_.ShowTypeEditor = nullptr;
    table_.RowCountChanged = nullptr;
    view_.reset();
}

void TsetParamForm::Handle(void (TsetParamForm::*handler)()) noexcept {
    // A view that reports events while it is being built finds no window to report them to.
    if (!view_)
        return;
    RunGuarded(view_.get(), [this, handler] { (this->*handler)(); });
}

void TsetParamForm::Execute(FormView* owner) {
    // Every opening starts at normal size, also when a second one is refused.
    view_->SetNormalState();
    if (view_->Visible())
        return;
    view_->RunModal(owner);
}

void TsetParamForm::Cancel() {
    if (view_->Visible())
        view_->EndModal();
}

void TsetParamForm::FormCreate() {
    // The text tables are filled once, here; the type list offers the rule types.
    (void)ColumnTitles();
    (void)RuleTypeDefaults();
    fillTypeList();
    view_->FollowCurrentCell();
}

void TsetParamForm::fillTypeList() {
    const auto& names = RuleTypeNames();
    view_->SetTypeListEntries(std::vector<std::string>(names.begin(), names.end()));
}

void TsetParamForm::FormActivate() {
    // A result, or a pending lookup, belongs to the table of the last opening.
    ++testNumber_;
    view_->SetTestResult("");

    for (int c = 0; c < RuleTable::ColumnCount; ++c)
        table_.setCell(c, 0, ColumnTitles()[c]);
    view_->RefreshTexts();

    moveCurrentCell(table_.currentColumn(), 1);
    moveCurrentCell(RuleTable::ValueColumn, 1);

    view_->FocusGrid();
    // While the window is not yet active the focus change sends no events; an open type
    // list loses the focus all the same.
    if (typeEditorOpen_)
        ComboBox1Exit();

    fillTypeList();

    LoadRules(table_, ruleFilePath_);
    view_->FollowRowCount();
    view_->RefreshTexts();
}

void TsetParamForm::FormResize() {
    view_->SetColumnWidths((view_->GridWidth() - 25) / 3);
}

void TsetParamForm::StringGrid1SelectCell(int column, int row) {
    // A selection elsewhere ends an open type list as losing the focus would.
    if (typeEditorOpen_ && (column != typeEditorColumn_ || row != typeEditorRow_))
        commitTypeEditor(false);
    table_.SelectRuleCell(column, row);
}

void TsetParamForm::CurrentCellClicked(int column, int row) {
    // Where typing is allowed, the click is the cell editor's; elsewhere it selects again.
    if (!table_.typingAllowed())
        StringGrid1SelectCell(column, row);
}

bool TsetParamForm::MayOpenCellEditor(bool onSelection) const {
    if (editorsHeld_ || !table_.typingAllowed())
        return false;
    return !onSelection || table_.editorShownAtOnce();
}

void TsetParamForm::CellEdited(int column, int row, std::string text) {
    if (row < 1 || row >= table_.rowCount() || column < 0 || column >= RuleTable::ColumnCount)
        return;
    if (text != table_.cell(column, row))
        table_.setCell(column, row, std::move(text));
}

void TsetParamForm::ShowTypeEditor(int column, int row) {
    if (table_.cell(column, 0) != ColumnTitles()[0])
        return;
    typeEditorColumn_ = column;
    typeEditorRow_ = row;
    typeEditorOpen_ = true;
    const std::optional<int> type = RuleTypeIndex(table_.cell(column, row));
    view_->SetTypeListSelection(-1);
    view_->SetTypeListSelection(type.value_or(-1));
    view_->ShowTypeList(column, row);
}

void TsetParamForm::ComboBox1Change() {
    commitTypeEditor(true);
}

void TsetParamForm::ComboBox1Exit() {
    commitTypeEditor(false);
}

void TsetParamForm::commitTypeEditor(bool userPick) {
    if (!typeEditorOpen_)
        return;
    typeEditorOpen_ = false;
    const int row = typeEditorRow_;
    const int entry = view_->TypeListSelection();
    const std::optional<int> type = entry >= 0 ? std::optional<int>(entry) : std::nullopt;
    // Merely passing through a type cell keeps its rule: without a pick by the user, a type
    // the cell already holds is not set again (which would reset the value).
    const bool unchanged =
        !userPick && type && *type < static_cast<int>(RuleTypeNames().size()) &&
        table_.cell(RuleTable::TypeColumn, row) == RuleTypeNames()[static_cast<std::size_t>(*type)];
    if (!unchanged) {
        table_.SetRuleType(row, type);
        view_->RefreshTexts();
    }
    // The focus goes first, so that hiding the list moves it nowhere else.
    view_->FocusGrid();
    view_->HideTypeList();
}

void TsetParamForm::moveCurrentCell(int column, int row) {
    if (column == table_.currentColumn() && row == table_.currentRow())
        return;
    StringGrid1SelectCell(column, row);
    view_->FollowCurrentCell();
}

// A toolbar command commits the entry the open list shows, as a pick would: the list keeps
// the focus while the button is clicked, so this is not a mere pass through the cell.
void TsetParamForm::ToolButtonInsertClick() {
    commitTypeEditor(true);
    InsertRowAtCurrent();
}

void TsetParamForm::ToolButtonDeleteClick() {
    commitTypeEditor(true);
    DeleteCurrentRow();
}

void TsetParamForm::InsertRowAtCurrent() {
    reshape(&RuleTable::InsertRowAtCurrent);
}

void TsetParamForm::DeleteCurrentRow() {
    // A deletion of the last row selects the row above it, which may open its type list.
    reshape(&RuleTable::DeleteCurrentRow);
}

void TsetParamForm::reshape(void (RuleTable::*operation)()) {
    view_->CloseCellEditor();
    // No cell editor opens on the rows while they move; the grid follows afterwards.
    {
        struct Hold {
            bool& held;
            explicit Hold(bool& h) : held(h) { held = true; }
            ~Hold() { held = false; }
        } hold(editorsHeld_);
        (table_.*operation)();
    }
    view_->RefreshTexts();
    view_->FollowCurrentCell();
}

void TsetParamForm::ButtonOKClick() {
    const std::string script = BuildPacScript(table_);
    WriteTextFile(pacFilePath_, script);
    SaveRules(table_, ruleFilePath_);
    view_->EndModal();
}

void TsetParamForm::ButtonCancleClick() {
    view_->EndModal();
}

void TsetParamForm::setNameResolver(NameResolver resolve, std::chrono::milliseconds limit) {
    resolve_ = std::move(resolve);
    lookupLimit_ = limit;
}

void TsetParamForm::ButtonTestClick() {
    // The button took the focus: an open type list ends as losing it would.
    commitTypeEditor(false);
    ++testNumber_;
    testLookup_.reset();
    lookupTimedOut_ = false;
    view_->SetTestResult("");
    const std::string text = view_->TestUrlText();
    if (text.find_first_not_of(" \t") == std::string::npos)
        return;
    testAddress_ = ParseTestAddress(text);
    showTestVerdict();
}

void TsetParamForm::showTestVerdict() {
    class Known : public HostResolver {
    public:
        explicit Known(const std::optional<HostLookup>& answer) : answer_(answer) {}
        HostLookup Lookup(const std::string&) override { return answer_.value_or(HostLookup{}); }

    private:
        const std::optional<HostLookup>& answer_;
    } known(testLookup_);

    // Throws what OK would throw; the guard shows it and nothing is selected.
    const RuleVerdict verdict = EvaluateRules(table_, testAddress_, known);
    const auto rowText = [&] { return GbkFromUtf8("第 ") + std::to_string(verdict.row); };
    std::string result;
    switch (verdict.kind) {
    case RuleVerdict::Kind::NeedsLookup:
        view_->SetTestResult(GbkFromUtf8("正在解析 ") + testAddress_.host + GbkFromUtf8("…"));
        startLookup();
        return;
    case RuleVerdict::Kind::Undecided:
        moveCurrentCell(RuleTable::ValueColumn, verdict.row);
        result = rowText() + GbkFromUtf8(" 条规则的模式含有浏览器当作正则表达式的字符，无法判断");
        break;
    case RuleVerdict::Kind::Rule:
        moveCurrentCell(RuleTable::ValueColumn, verdict.row);
        result = rowText() + GbkFromUtf8(" 条规则：PROXY ") + verdict.proxy;
        break;
    case RuleVerdict::Kind::Direct:
        result = GbkFromUtf8("没有规则匹配：DIRECT");
        break;
    }
    if (lookupTimedOut_)
        result += GbkFromUtf8("（") + testAddress_.host + GbkFromUtf8(" 在 ") +
                  std::to_string((lookupLimit_.count() + 999) / 1000) +
                  GbkFromUtf8(" 秒内未解析，按不能解析的地址计）");
    view_->SetTestResult(result);
}

void TsetParamForm::startLookup() {
    if (!mailbox_) {
        mailbox_ = std::make_shared<LookupMailbox>();
        mailbox_->form = this;
    }
    struct Outcome {
        std::mutex mutex;
        std::condition_variable done;
        bool finished = false;
        std::optional<std::uint32_t> address;
    };
    // The lookup itself cannot be cut short: it runs on in a thread of its own, and the waiter
    // answers after the limit whether it has finished or not.
    auto outcome = std::make_shared<Outcome>();
    std::thread([outcome, resolve = resolve_, host = testAddress_.host] {
        std::optional<std::uint32_t> address = resolve(host);
        std::lock_guard<std::mutex> lock(outcome->mutex);
        outcome->address = address;
        outcome->finished = true;
        outcome->done.notify_all();
    }).detach();
    std::thread([outcome, mailbox = mailbox_, test = testNumber_, limit = lookupLimit_] {
        std::unique_lock<std::mutex> lock(outcome->mutex);
        const bool finished =
            outcome->done.wait_for(lock, limit, [&] { return outcome->finished; });
        const HostLookup answer = finished && outcome->address
                                      ? HostLookup{HostLookup::State::Resolved, *outcome->address}
                                      : HostLookup{HostLookup::State::Unresolvable};
        lock.unlock();
        mailbox->deliver(test, answer, !finished);
    }).detach();
}

void TsetParamForm::lookupDone(unsigned test, HostLookup answer, bool timedOut) {
    if (test != testNumber_ || !view_->Visible())
        return; // a later test, or the window's closing, replaced this one
    testLookup_ = answer;
    lookupTimedOut_ = timedOut;
    showTestVerdict();
}

} // namespace tarnwick

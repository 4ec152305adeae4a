#pragma once

#include "forms/FormViews.h"
#include "rules/RuleTable.h"
#include "rules/RuleTester.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace tarnwick {

// The rule editor's behaviour: the rule table with the type list as the type column's editor;
// OK writes the PAC file and the rule file. Created once, hidden, and opened modally as often
// as the user asks; every opening reloads the rule file.
//
// The handlers may throw; a front end calls them through Handle (or RunGuarded), never bare.
class TsetParamForm {
public:
    using ViewFactory = std::function<std::unique_ptr<SetParamFormView>(TsetParamForm&)>;

    // Builds the view (makeView) and runs FormCreate; a failure is shown.
    explicit TsetParamForm(const ViewFactory& makeView);
    ~TsetParamForm();
    TsetParamForm(const TsetParamForm&) = delete;
    TsetParamForm& operator=(const TsetParamForm&) = delete;

    SetParamFormView& View() { return *view_; }
    const SetParamFormView& View() const { return *view_; }
    // The table the grid shows; the grid writes to it only through CellEdited.
    const RuleTable& Table() const { return table_; }

    // Where OK writes the PAC script and where the rules are loaded from and saved to.
    void setPacFilePath(const std::string& path) { pacFilePath_ = path; }
    void setRuleFilePath(const std::string& path) { ruleFilePath_ = path; }
    const std::string& pacFilePath() const { return pacFilePath_; }
    const std::string& ruleFilePath() const { return ruleFilePath_; }

    // Opens the window modally over owner (null: modal to no window) unless it is open
    // already, in which case nothing happens: a second modal run never starts. Returns when
    // the window closes. Every opening starts at normal size.
    void Execute(FormView* owner);
    // Ends an open window's modal run as Cancel does: nothing is written.
    void Cancel();

    // Runs a handler through the guard: a failure is shown in the error box over this window.
    void Handle(void (TsetParamForm::*handler)()) noexcept;

    // --- event handlers, named after their component and event ---
    void FormActivate();
    void FormResize();
    void StringGrid1SelectCell(int column, int row);
    void ComboBox1Change();
    void ComboBox1Exit();
    void ToolButtonInsertClick();
    void ToolButtonDeleteClick();
    void ButtonOKClick();
    void ButtonCancleClick();
    // Evaluates the table as it stands (unsaved edits included) for EditTestUrl's address:
    // the deciding row becomes current and LabelTestResult says what the browser does.
    void ButtonTestClick();

    // The tester's name resolution: a blocking lookup, run off the GUI thread, and the time
    // after which a host counts as unresolvable. The system's resolver and 3 s by default.
    using NameResolver = std::function<std::optional<std::uint32_t>(const std::string& host)>;
    void setNameResolver(NameResolver resolve, std::chrono::milliseconds limit);

    // --- the grid's plumbing ---
    // A click on the cell that is current already: while typing is not allowed there, it is
    // selected again (which reopens the type list over a type cell).
    void CurrentCellClicked(int column, int row);
    // Whether the current cell's text editor may open now: on its selection (onSelection) or
    // by a click, a key or a double click.
    bool MayOpenCellEditor(bool onSelection) const;
    // The user changed the text in a cell's editor (GBK). Only the user's changes come here:
    // a text that merely passes through an editor is never written back, so bytes that are
    // not valid GBK survive.
    void CellEdited(int column, int row, std::string text);
    // Whether the type list is open (shown over its cell).
    bool TypeEditorOpen() const { return typeEditorOpen_; }

private:
    void FormCreate();
    void ShowTypeEditor(int column, int row);
    void InsertRowAtCurrent();
    void DeleteCurrentRow();

    // The commit of the type list; userPick says whether the user chose its entry.
    void commitTypeEditor(bool userPick);
    void fillTypeList();
    // A move of the current cell by the program: a selection when it changes the cell.
    void moveCurrentCell(int column, int row);
    void reshape(void (RuleTable::*operation)());
    // Shows the verdict for testAddress_ with what is known of its host; starts the lookup
    // when a rule needs it.
    void showTestVerdict();
    void startLookup();
    void lookupDone(unsigned test, HostLookup answer, bool timedOut);

    RuleTable table_;
    std::unique_ptr<SetParamFormView> view_;
    std::string pacFilePath_;
    std::string ruleFilePath_;
    // The cell the open type list was opened for.
    int typeEditorColumn_ = 0;
    int typeEditorRow_ = 0;
    bool typeEditorOpen_ = false;
    // No cell editor opens while the table is being reshaped.
    bool editorsHeld_ = false;

    // The rule tester. Every test has a number; a lookup's answer counts only for the test
    // that asked for it, so a second test replaces a pending one.
    struct LookupMailbox;
    NameResolver resolve_;
    std::chrono::milliseconds lookupLimit_{3000};
    TestAddress testAddress_;
    unsigned testNumber_ = 0;
    std::optional<HostLookup> testLookup_;
    bool lookupTimedOut_ = false;
    // Made at the first lookup; lookup threads hold it, so it outlives this window.
    std::shared_ptr<LookupMailbox> mailbox_;
};

} // namespace tarnwick

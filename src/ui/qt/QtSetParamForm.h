#pragma once

#include "rules/RuleTable.h"

#include <QDialog>
#include <QIcon>
#include <QList>

#include <optional>
#include <string>

class QComboBox;
class QLabel;
class QPushButton;
class QToolBar;
class QToolButton;

namespace tarnwick {

class RuleGridModel;
class RuleGridView;
class RuleSelectionModel;

// The rule editor: the rule table in a grid with a drop-down list as the type column's
// editor; OK writes the PAC file and the rule file. Created once, hidden, and opened modally
// (exec()) as often as the user asks; every opening reloads the rule file.
class TsetParamForm : public QDialog {
    Q_OBJECT
public:
    explicit TsetParamForm(QWidget* parent = nullptr);
    ~TsetParamForm() override;

    // Where OK writes the PAC script and where the rules are loaded from and saved to. The
    // caller names both, normally in the executable's folder.
    void setPacFilePath(const std::string& path) { pacFilePath_ = path; }
    void setRuleFilePath(const std::string& path) { ruleFilePath_ = path; }
    const std::string& pacFilePath() const { return pacFilePath_; }
    const std::string& ruleFilePath() const { return ruleFilePath_; }

    // Neither maximised nor minimised, as before each opening.
    void setNormalState();
    // Ends the window's modal run as Cancel does: nothing is written.
    void cancel();

    // The components, named as in the window's layout (their objectName is the same).
    QWidget* Panel1 = nullptr;
    QToolBar* ToolBar1 = nullptr;
    QToolButton* ToolButtonInsert = nullptr;
    QToolButton* ToolButtonDelete = nullptr;
    RuleGridView* StringGrid1 = nullptr;
    QComboBox* ComboBox1 = nullptr;
    QWidget* Panel2 = nullptr;
    QPushButton* ButtonOK = nullptr;
    QPushButton* ButtonCancle = nullptr;
    QLabel* Label1 = nullptr;
    // Image 0 inserts, image 1 deletes; 20 x 20 pixels.
    QList<QIcon> ImageList1;

protected:
    void showEvent(QShowEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void FormCreate();
    void FormActivate();
    void FormResize();
    void StringGrid1SelectCell(int column, int row);
    void ComboBox1Change();
    void ComboBox1Exit();
    void ToolButtonInsertClick();
    void ToolButtonDeleteClick();
    void ButtonOKClick();
    void ButtonCancleClick();

    void ShowTypeEditor(int column, int row);
    void InsertRowAtCurrent();
    void DeleteCurrentRow();

    bool typeEditorOpen() const;
    // The commit of the type editor; userPick says whether the user changed its entry.
    void commitTypeEditor(bool userPick);
    void placeTypeEditor();
    // Makes the table's current cell the grid's current cell, without a selection.
    void followCurrentCell();
    void followRowCount();
    // A move of the current cell by the program: a selection when it changes the cell.
    void moveCurrentCell(int column, int row);
    void layoutComponents();
    void createComponents();

    RuleTable table_;
    RuleGridModel* model_ = nullptr;
    RuleSelectionModel* selection_ = nullptr;
    std::string pacFilePath_;
    std::string ruleFilePath_;
    // The row the open type editor was opened for.
    int typeEditorRow_ = 0;
    int typeEditorColumn_ = 0;
    bool typeEditorOpen_ = false;
};

} // namespace tarnwick

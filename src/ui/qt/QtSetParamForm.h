#pragma once

#include "forms/FormViews.h"
#include "ui/qt/QtFormView.h"

#include <QDialog>
#include <QIcon>
#include <QList>
#include <QString>
#include <QStringList>

#include <memory>

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QToolBar;
class QToolButton;

namespace tarnwick {

class RuleGridModel;
class RuleGridView;
class RuleSelectionModel;
class TsetParamForm;

// The rule editor's widgets: the grid over the editor's rule table, the drop-down list that
// edits the type column, the toolbar and the two buttons. What they do is TsetParamForm's.
// The window exists from the start; its components are made when it is first shown (or first
// needed), and stay null until then.
class QtSetParamForm : public QtFormView<QDialog, SetParamFormView> {
    Q_OBJECT
public:
    explicit QtSetParamForm(TsetParamForm& form);
    ~QtSetParamForm() override;

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
    // The rule tester, between the grid and the bottom panel.
    QWidget* PanelTest = nullptr;
    QLabel* LabelTestUrl = nullptr;
    QLineEdit* EditTestUrl = nullptr;
    QPushButton* ButtonTest = nullptr;
    QLabel* LabelTestResult = nullptr;
    // Image 0 inserts, image 1 deletes; 20 x 20 pixels.
    QList<QIcon> ImageList1;

    TsetParamForm& Form() const { return form_; }

    // SetParamFormView
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

    void setVisible(bool visible) override;

protected:
    bool event(QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void placeTypeList();
    void layoutComponents();
    void createComponents();
    void ensureComponents();
    void fillTypeList();
    void ensureComponents() const { const_cast<QtSetParamForm*>(this)->ensureComponents(); }

    TsetParamForm& form_;
    RuleGridModel* model_ = nullptr;
    RuleSelectionModel* selection_ = nullptr;
    // The cell the shown type list belongs to.
    int typeListColumn_ = 0;
    int typeListRow_ = 0;
    // What the components show once made: the type list's entries and the result line.
    QStringList typeListEntries_;
    QString testResult_;
    // The window the modal run was opened over, while it runs.
    FormView* modalOwner_ = nullptr;
};

// The widgets behind a rule editor's behaviour (a rule editor of this front end).
QtSetParamForm& WidgetOf(TsetParamForm& form);

// A rule editor with this front end's widgets, on its own (the program's own comes from the
// application object).
std::unique_ptr<TsetParamForm> NewQtSetParamForm();

} // namespace tarnwick

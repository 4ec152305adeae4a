#pragma once

#include "forms/FormViews.h"
#include "ui/qt/QtFormView.h"

#include <QIcon>
#include <QWidget>

#include <map>
#include <memory>
#include <vector>

class QAction;
class QCheckBox;
class QLabel;
class QMenu;
class QToolBar;
class QToolButton;

namespace tarnwick {

class QtPopupMenu;
struct QtServices;
class TMainForm;
class TrayImageList;

// The main window's widgets: toolbar (rule editor, proxy switch, help, exit), the feedback
// link, the check boxes and the tray menu. What they do is TMainForm's.
class QtMainForm : public QtFormView<QWidget, MainFormView> {
    Q_OBJECT
public:
    QtMainForm(TMainForm& form, const QtServices& services);
    ~QtMainForm() override;

    // The components, named as in the window's layout (their objectName is the same).
    QLabel* Label1 = nullptr;
    QToolBar* ToolBar1 = nullptr;
    QToolButton* ToolButtonSet = nullptr;
    QToolButton* ToolButtonSwitch = nullptr;
    QToolButton* ToolButtonHelp = nullptr;
    QWidget* ToolButton2 = nullptr; // the separator
    QToolButton* ToolButtonExit = nullptr;
    QCheckBox* CheckBoxStartHidden = nullptr;
    QCheckBox* CheckBoxStartAtLogin = nullptr;
    // 16 x 16: 0 the emblem in blue (switch on), 1 in grey (switch off).
    std::vector<QIcon> ImageList1Icons;
    // 32 x 32: 0 rule editor, 1 exit, 2 help, 3 switch.
    std::vector<QIcon> ImageList2;
    QMenu* PopupMenu1 = nullptr;
    QAction* MMainInterface = nullptr;
    QAction* MSetting = nullptr;
    QAction* N2 = nullptr;
    QAction* MSwitch = nullptr;
    QAction* N4 = nullptr;
    QAction* MExit = nullptr;

    QCheckBox* CheckBox(MainCheckBox box) const { return checkBoxes_.at(box); }

    // MainFormView
    WindowHandle TrayWindow() override;
    TrayImageList& TrayIconList() override { return *imageList1_; }
    std::unique_ptr<TrayIconImage> StoredIcon() override;
    TrayPopupMenu& TrayMenu() override;
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

protected:
    bool event(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void createComponents();

    TMainForm& form_;
    const QtServices& services_;
    std::unique_ptr<TrayImageList> imageList1_;
    std::unique_ptr<QtPopupMenu> popupMenu1Items_; // the tray component's view of PopupMenu1
    std::map<MainCheckBox, QCheckBox*> checkBoxes_;
    bool textFitted_ = false;
};

// The widgets behind the main window's behaviour (a main window of this front end).
QtMainForm& WidgetOf(TMainForm& form);

} // namespace tarnwick

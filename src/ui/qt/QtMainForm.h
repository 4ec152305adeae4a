#pragma once

#include <QIcon>
#include <QWidget>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class QAction;
class QCheckBox;
class QLabel;
class QMenu;
class QToolBar;
class QToolButton;
class QUrl;

namespace tarnwick {

class TApplication;
class TNotifyIcon;
class TrayImageList;
class TrayPopupMenu;

// Set once by the main window's creation (GBK bytes): where the PAC file is and its URL, and
// the tray menu's two captions of the switch item.
extern std::string PacFilePath;
extern std::string PacFileUrl;
extern std::string DisableCaption;
extern std::string EnableCaption;

// The main window: toolbar (rule editor, proxy switch, help, exit), the feedback link and the
// start-hidden check box. It owns the notification-area icon and the tray menu, lives as long
// as the program, and its close button only hides it.
class TMainForm : public QWidget {
    Q_OBJECT
public:
    explicit TMainForm(TApplication& application, QWidget* parent = nullptr);
    ~TMainForm() override;

    // The components, named as in the window's layout (their objectName is the same).
    QLabel* Label1 = nullptr;
    QToolBar* ToolBar1 = nullptr;
    QToolButton* ToolButtonSet = nullptr;
    QToolButton* ToolButtonSwitch = nullptr;
    QToolButton* ToolButtonHelp = nullptr;
    QWidget* ToolButton2 = nullptr; // the separator
    QToolButton* ToolButtonExit = nullptr;
    QCheckBox* CheckBoxStartHidden = nullptr;
    // 16 x 16: 0 the emblem in blue (switch on), 1 in grey (switch off).
    std::vector<QIcon> ImageList1Icons;
    std::unique_ptr<TrayImageList> ImageList1;
    // 32 x 32: 0 rule editor, 1 exit, 2 help, 3 switch.
    std::vector<QIcon> ImageList2;
    QMenu* PopupMenu1 = nullptr;
    QAction* MMainInterface = nullptr;
    QAction* MSetting = nullptr;
    QAction* N2 = nullptr;
    QAction* MSwitch = nullptr;
    QAction* N4 = nullptr;
    QAction* MExit = nullptr;
    std::unique_ptr<TrayPopupMenu> PopupMenu1Items; // the tray component's view of PopupMenu1
    std::unique_ptr<TNotifyIcon> NotifyIcon1;

    // The help file (GBK bytes), set at creation.
    std::string HelpFile;
    // The window's record of the switch: 1 while it is on, 0 while it is off.
    std::uint8_t ProxyEnabled = 0;

    // False when the desktop refused the icon: there is no notification area to hide into.
    bool NotificationAreaAvailable() const { return trayAccepted_; }

protected:
    bool event(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    class MainNotifyIcon;

    void FormCreate();
    void FormActivate();
    void FormClose(); // the close action is always "none": the window hides instead
    void FormDestroy();
    void NotifyIcon1Startup(bool& ShowMainForm);
    void ToolButtonSetClick();
    void MSettingClick();
    void ToolButtonSwitchClick();
    void MSwitchClick();
    void ToolButtonHelpClick();
    void ToolButtonExitClick();
    void MExitClick();
    void MMainInterfaceClick();
    void Label1Click();
    void Label1MouseEnter();
    void Label1MouseLeave();

    void ShowSwitchState(bool on);
    void ApplyProxySwitch(bool on);
    std::string ReadSetting(const std::string& name);
    void WriteSetting(const std::string& name, const std::string& value);

    void createComponents();
    void loadNotifyIcon();
    void openWithShell(const QUrl& url);
    void setMenuCaption(QAction* item, const std::string& gbkCaption);

    TApplication& application_;
    std::string ruleFilePath_;
    bool trayAccepted_ = false;
    bool activatedBefore_ = false;
    bool textFitted_ = false;
};

} // namespace tarnwick

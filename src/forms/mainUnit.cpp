#include "forms/mainUnit.h"

#include "forms/Application.h"
#include "forms/ErrorBox.h"
#include "forms/GbkText.h"
#include "forms/setParamUnit.h"
#include "platform/qt/QtTray.h"
#include "proxyconfig/ProxySwitch.h"
#include "proxyconfig/Settings.h"
#include "rules/CodePage.h"
#include "trayicon/NotifyIcon.h"

#include <QAction>
#include <QCheckBox>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QLabel>
#include <QLayout>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QSignalBlocker>
#include <QSvgRenderer>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QUrl>
#include <QWindow>
#include <QtGui/qtguiglobal.h>

#include <algorithm>
#include <exception>

#if QT_CONFIG(xcb)
#include <QtGui/qguiapplication_platform.h>
#include <xcb/xcb.h>
#endif

// The window's pictures sit in a static library; its resources must be registered by name.
static void InitMainResources() {
    Q_INIT_RESOURCE(mainUnit);
}

namespace tarnwick {

std::string PacFilePath;
std::string PacFileUrl;
std::string DisableCaption;
std::string EnableCaption;

namespace {

const char* const StartHidden = "startHidden";
const char* const FeedbackAddress = "mailto:feedback@tarnwick.invalid";
#ifdef _WIN32
const char* const HelpFileName = "Help\\help.chm";
#else
const char* const HelpFileName = "Help/help.chm";
#endif

// One picture of the window's artwork, drawn at each size a toolkit may ask for.
QIcon Artwork(const char* name, std::initializer_list<int> sizes) {
    QSvgRenderer renderer(QStringLiteral(":/main/%1.svg").arg(QLatin1String(name)));
    QIcon icon;
    for (int size : sizes) {
        QPixmap pixmap(size, size);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        renderer.render(&painter);
        painter.end();
        icon.addPixmap(pixmap);
    }
    return icon;
}

// Sends the requests queued for the X server without running the message loop (which
// would run handlers while the window is still being built). Elsewhere there is no queue.
void FlushToDisplay() {
#if QT_CONFIG(xcb)
    if (auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>())
        if (xcb_connection_t* connection = x11->connection())
            xcb_flush(connection);
#endif
}

} // namespace

// NotifyIcon1, which also notes whether the desktop ever accepted the icon.
class TMainForm::MainNotifyIcon : public TNotifyIcon {
public:
    MainNotifyIcon(TMainForm& form, TrayPlatform& platform, WindowHandle owner)
        : TNotifyIcon(platform, owner), form_(form) {}

    bool AddTrayIcon() override {
        const bool added = TNotifyIcon::AddTrayIcon();
        if (added && !form_.trayAccepted_) {
            // A notification area that appears after the start is one to hide into.
            form_.trayAccepted_ = true;
            SetMinimizeToTray(true);
        }
        return added;
    }

private:
    TMainForm& form_;
};

TMainForm::TMainForm(TApplication& application, QWidget* parent)
    : QWidget(parent), application_(application) {
    InitMainResources();
    createComponents();
    loadNotifyIcon();
    // The creation handler runs once the whole layout is loaded; its failure is shown and
    // the window is created all the same.
    RunGuarded(this, [this] { FormCreate(); });
}

TMainForm::~TMainForm() {
    RunGuarded(this, [this] { FormDestroy(); });
    // The icon leaves the notification area before the menu and the images it refers to go.
    NotifyIcon1.reset();
    PopupMenu1Items.reset();
    ImageList1.reset();
}

void TMainForm::createComponents() {
    setObjectName(QStringLiteral("MainForm"));
    setWindowTitle(QStringLiteral("Tarnwick"));
    // System menu and minimise only; the border stays resizable.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint);
    // The layout's outer size is 346 x 222 at 224, 146; the client area is what Windows'
    // sizeable frame leaves of it.
    move(224, 146);
    resize(338, 188);

    QFont font;
    // The layout's face where it exists, else a sans face every Linux desktop has; the CJK
    // captions fall back to a font that holds them.
    font.setFamilies({QStringLiteral("MS Sans Serif"), QStringLiteral("Microsoft Sans Serif"),
                      QStringLiteral("Liberation Sans"), QStringLiteral("DejaVu Sans"),
                      QStringLiteral("WenQuanYi Micro Hei")});
    font.setPixelSize(11);
    font.setStyleStrategy(QFont::PreferNoShaping);
    setFont(font);
    QPalette colours = palette();
    colours.setColor(QPalette::Window, colours.color(QPalette::Button));
    colours.setColor(QPalette::WindowText, Qt::blue);
    setPalette(colours);
    setAutoFillBackground(true);

    ImageList1Icons = {Artwork("emblem-on", {16, 22, 24, 32, 48, 64}),
                       Artwork("emblem-off", {16, 22, 24, 32, 48, 64})};
    ImageList1 = application_.Services().tray.imageList(ImageList1Icons);
    ImageList2 = {Artwork("settings", {32, 64}), Artwork("exit", {32, 64}),
                  Artwork("help", {32, 64}), Artwork("switch", {32, 64})};
    setWindowIcon(ImageList1Icons[0]);

    ToolBar1 = new QToolBar(this);
    ToolBar1->setObjectName(QStringLiteral("ToolBar1"));
    ToolBar1->setGeometry(0, 0, 338, 49);
    ToolBar1->setMovable(false);
    ToolBar1->setFloatable(false);
    ToolBar1->setIconSize(QSize(32, 32));
    ToolBar1->setToolButtonStyle(Qt::ToolButtonIconOnly);
    ToolBar1->layout()->setSpacing(0);
    ToolBar1->layout()->setContentsMargins(0, 0, 0, 0);
    const auto addButton = [this](const char* name, int image, const char* hint) {
        auto* button = new QToolButton(ToolBar1);
        button->setObjectName(QLatin1String(name));
        button->setFixedSize(39, 38);
        button->setIconSize(QSize(32, 32));
        button->setIcon(ImageList2[static_cast<std::size_t>(image)]);
        button->setToolTip(QString::fromUtf8(hint));
        button->setAutoRaise(true);
        button->setFocusPolicy(Qt::NoFocus);
        ToolBar1->addWidget(button);
        return button;
    };
    ToolButtonSet = addButton("ToolButtonSet", 0, "设置");
    ToolButtonSwitch = addButton("ToolButtonSwitch", 3, "禁用IETarnwick");
    ToolButtonSwitch->setCheckable(true);
    ToolButtonHelp = addButton("ToolButtonHelp", 2, "帮助");
    ToolButton2 = new QWidget(ToolBar1);
    ToolButton2->setObjectName(QStringLiteral("ToolButton2"));
    ToolButton2->setFixedSize(8, 38);
    ToolBar1->addWidget(ToolButton2);
    ToolButtonExit = addButton("ToolButtonExit", 1, "退出");

    Label1 = new QLabel(QStringLiteral("发送意见给作者。"), this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setGeometry(112, 88, 96, 13);
    Label1->installEventFilter(this);

    CheckBoxStartHidden = new QCheckBox(QStringLiteral("程序启动时隐藏此窗体"), this);
    CheckBoxStartHidden->setObjectName(QStringLiteral("CheckBoxStartHidden"));
    CheckBoxStartHidden->setGeometry(96, 136, 161, 25);
    QPalette black = CheckBoxStartHidden->palette();
    black.setColor(QPalette::WindowText, Qt::black);
    black.setColor(QPalette::ButtonText, Qt::black);
    CheckBoxStartHidden->setPalette(black);

    PopupMenu1 = new QMenu(this);
    PopupMenu1->setObjectName(QStringLiteral("PopupMenu1"));
    const auto addItem = [this](const char* name, const char* caption) {
        QAction* item = PopupMenu1->addAction(QString::fromUtf8(caption));
        item->setObjectName(QLatin1String(name));
        return item;
    };
    MMainInterface = addItem("MMainInterface", "主界面");
    MSetting = addItem("MSetting", "设置");
    N2 = PopupMenu1->addSeparator();
    N2->setObjectName(QStringLiteral("N2"));
    MSwitch = addItem("MSwitch", "禁用");
    N4 = PopupMenu1->addSeparator();
    N4->setObjectName(QStringLiteral("N4"));
    MExit = addItem("MExit", "退出");
    PopupMenu1Items = std::make_unique<QtPopupMenu>(PopupMenu1);

    const auto guarded = [this](void (TMainForm::*handler)()) {
        return [this, handler] { RunGuarded(this, [this, handler] { (this->*handler)(); }); };
    };
    connect(ToolButtonSet, &QToolButton::clicked, this, guarded(&TMainForm::ToolButtonSetClick));
    connect(ToolButtonHelp, &QToolButton::clicked, this, guarded(&TMainForm::ToolButtonHelpClick));
    connect(ToolButtonExit, &QToolButton::clicked, this, guarded(&TMainForm::ToolButtonExitClick));
    connect(ToolButtonSwitch, &QToolButton::clicked, this,
            guarded(&TMainForm::ToolButtonSwitchClick));
    connect(MMainInterface, &QAction::triggered, this, guarded(&TMainForm::MMainInterfaceClick));
    connect(MSetting, &QAction::triggered, this, guarded(&TMainForm::MSettingClick));
    connect(MSwitch, &QAction::triggered, this, guarded(&TMainForm::MSwitchClick));
    connect(MExit, &QAction::triggered, this, guarded(&TMainForm::MExitClick));
}

void TMainForm::loadNotifyIcon() {
    const TrayBinding& tray = application_.Services().tray;
    NotifyIcon1 = std::make_unique<MainNotifyIcon>(*this, *tray.platform, tray.window(this));
    // The stored properties, in the order of the component's property list; the stored
    // IconVisible adds the icon with the stored image.
    NotifyIcon1->SetCycleInterval(0);
    NotifyIcon1->SetIcon(*tray.iconImage(ImageList1Icons[0]));
    NotifyIcon1->SetIconVisible(true);
    NotifyIcon1->SetIconIndex(0);
    NotifyIcon1->SetMinimizeToTray(true);
    NotifyIcon1->OnStartup = [this](TNotifyIcon*, bool& ShowMainForm) {
        try {
            NotifyIcon1Startup(ShowMainForm);
        } catch (...) {
            // The window is shown, and the failure with it once the message loop runs. The
            // first activation would only read the same failure again: the user hears it once.
            ShowMainForm = true;
            activatedBefore_ = true;
            QTimer::singleShot(0, this, [this, failure = std::current_exception()] {
                try {
                    std::rethrow_exception(failure);
                } catch (...) {
                    ShowCurrentException(this);
                }
            });
        }
    };
    // References to other components are resolved at the end of loading.
    NotifyIcon1->SetIconList(ImageList1.get());
    NotifyIcon1->SetPopupMenu(PopupMenu1Items.get());
    NotifyIcon1->Loaded();
    // Without a notification area, minimising must not hide the window into nothing.
    if (!trayAccepted_)
        NotifyIcon1->SetMinimizeToTray(false);
    // Hand the icon to the notification area now rather than when the message loop first
    // runs: the desktop embeds it while the rest of the program is being built.
    FlushToDisplay();
}

// ---------------------------------------------------------------------------------------
// The window's own events

bool TMainForm::event(QEvent* event) {
    if (event->type() == QEvent::WindowActivate)
        RunGuarded(this, [this] { FormActivate(); });
    if (event->type() == QEvent::Show && !textFitted_) {
        // The layout's sizes were made for its own font; the fallback face may need a pixel
        // more. Measured at the first showing, so that loading the CJK face does not delay
        // the icon at start.
        textFitted_ = true;
        for (QWidget* text :
             {static_cast<QWidget*>(Label1), static_cast<QWidget*>(CheckBoxStartHidden)})
            text->resize(text->size().expandedTo(text->sizeHint()));
    }
    return QWidget::event(event);
}

void TMainForm::closeEvent(QCloseEvent* event) {
    event->ignore();
    RunGuarded(this, [this] { FormClose(); });
}

bool TMainForm::eventFilter(QObject* watched, QEvent* event) {
    if (watched == Label1) {
        switch (event->type()) {
        case QEvent::Enter:
            RunGuarded(this, [this] { Label1MouseEnter(); });
            break;
        case QEvent::Leave:
            RunGuarded(this, [this] { Label1MouseLeave(); });
            break;
        case QEvent::MouseButtonRelease: {
            const auto* mouse = static_cast<QMouseEvent*>(event);
            if (mouse->button() == Qt::LeftButton &&
                Label1->rect().contains(mouse->position().toPoint()))
                RunGuarded(this, [this] { Label1Click(); });
            break;
        }
        default:
            break;
        }
    }
    return QWidget::eventFilter(watched, event);
}

// ---------------------------------------------------------------------------------------
// Handlers

void TMainForm::NotifyIcon1Startup(bool& ShowMainForm) {
    const bool hidden = ReadSetting(StartHidden) == "true";
    // The box shows the stored preference from the start, so that a run in which the window
    // is never shown saves it unchanged.
    if (hidden)
        CheckBoxStartHidden->setChecked(true);
    // Hidden only where there is a notification area to come back from.
    if (hidden && trayAccepted_)
        ShowMainForm = false;
}

void TMainForm::FormCreate() {
    const std::string& folder = application_.Services().executableFolder;
    PacFilePath = folder + "IETarnwick.pac";
    PacFileUrl = "file://" + PacFilePath;
    ruleFilePath_ = folder + "configData.ini";
    HelpFile = application_.Services().helpFolder + HelpFileName;
    DisableCaption = GbkFromUtf8("禁用");
    EnableCaption = GbkFromUtf8("启用");
    ProxyEnabled = 1;
    ApplyProxySwitch(true);
    ShowSwitchState(true);
}

void TMainForm::FormActivate() {
    setMenuCaption(MSwitch, ProxyEnabled == 1 ? DisableCaption : EnableCaption);
    // Only the first activation reads the stored value; later ones leave the box as the
    // user set it.
    if (activatedBefore_)
        return;
    activatedBefore_ = true;
    if (ReadSetting(StartHidden) == "true")
        CheckBoxStartHidden->setChecked(true);
}

void TMainForm::FormClose() {
    if (trayAccepted_)
        hide();
    else
        showMinimized(); // no notification area to come back from: stay in the taskbar
}

void TMainForm::FormDestroy() {
    WriteSetting(StartHidden, CheckBoxStartHidden->isChecked() ? "true" : "false");
}

void TMainForm::ToolButtonSetClick() {
    TsetParamForm* editor = application_.SetParamForm();
    if (!editor)
        return;
    editor->setPacFilePath(PacFilePath);
    editor->setRuleFilePath(ruleFilePath_);
    editor->setNormalState();
    // A second modal run never starts.
    if (editor->isVisible())
        return;
    // Modal to the windows that are visible now, as the editor's modal run has always been:
    // the notification area's icon and a main window shown later from its menu stay usable.
    editor->setWindowModality(Qt::WindowModal);
    editor->winId();
    editor->windowHandle()->setTransientParent(isVisible() ? windowHandle() : nullptr);
    editor->exec();
}

void TMainForm::MSettingClick() {
    ToolButtonSetClick();
}

void TMainForm::ToolButtonSwitchClick() {
    // The click has toggled the button already: pressed means off.
    const bool on = !ToolButtonSwitch->isChecked();
    try {
        ApplyProxySwitch(on);
    } catch (...) {
        // The switch did not move: the button goes back to the state it really is in.
        const QSignalBlocker quiet(ToolButtonSwitch);
        ToolButtonSwitch->setChecked(ProxyEnabled == 0);
        throw;
    }
    ShowSwitchState(on);
}

void TMainForm::MSwitchClick() {
    const std::string caption = ToGbk(MSwitch->text());
    const bool turnOff = caption.compare(0, DisableCaption.size(), DisableCaption) == 0;
    ApplyProxySwitch(!turnOff);
    ShowSwitchState(!turnOff);
}

void TMainForm::ToolButtonHelpClick() {
    openWithShell(QUrl::fromLocalFile(QString::fromLocal8Bit(HelpFile)));
}

void TMainForm::ToolButtonExitClick() {
    application_.Terminate();
}

void TMainForm::MExitClick() {
    application_.Terminate();
}

void TMainForm::MMainInterfaceClick() {
    if (isMinimized())
        showNormal();
    else
        show();
    raise();
    activateWindow();
}

void TMainForm::Label1Click() {
    openWithShell(QUrl(QString::fromLatin1(FeedbackAddress)));
}

void TMainForm::Label1MouseEnter() {
    QFont font = Label1->font();
    font.setUnderline(true);
    Label1->setFont(font);
}

void TMainForm::Label1MouseLeave() {
    QFont font = Label1->font();
    font.setUnderline(false);
    Label1->setFont(font);
}

// ---------------------------------------------------------------------------------------
// Private operations

void TMainForm::ShowSwitchState(bool on) {
    {
        // Setting the button from here is no click.
        const QSignalBlocker quiet(ToolButtonSwitch);
        ToolButtonSwitch->setChecked(!on);
    }
    setMenuCaption(MSwitch, on ? DisableCaption : EnableCaption);
    NotifyIcon1->SetIconIndex(on ? 0 : 1);
    ProxyEnabled = on ? 1 : 0;
}

void TMainForm::ApplyProxySwitch(bool on) {
    tarnwick::ApplyProxySwitch(application_.Services().registry, on, PacFileUrl);
}

std::string TMainForm::ReadSetting(const std::string& name) {
    return tarnwick::ReadSetting(application_.Services().registry, name);
}

void TMainForm::WriteSetting(const std::string& name, const std::string& value) {
    tarnwick::WriteSetting(application_.Services().registry, name, value);
}

void TMainForm::openWithShell(const QUrl& url) {
    // The desktop's answer is not looked at: a missing help file reports nothing.
    application_.Services().openUrl(url);
}

void TMainForm::setMenuCaption(QAction* item, const std::string& gbkCaption) {
    item->setText(FromGbk(gbkCaption));
}

} // namespace tarnwick

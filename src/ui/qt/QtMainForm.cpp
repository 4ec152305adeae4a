#include "ui/qt/QtMainForm.h"

#include "forms/ErrorBox.h"
#include "forms/FormLayouts.h"
#include "forms/mainUnit.h"
#include "platform/qt/QtTray.h"
#include "ui/qt/GbkText.h"
#include "ui/qt/Pictures.h"
#include "ui/qt/QtFrontEnd.h"

#include <QAction>
#include <QCheckBox>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QLabel>
#include <QLayout>
#include <QMenu>
#include <QMouseEvent>
#include <QSignalBlocker>
#include <QToolBar>
#include <QToolButton>
#include <QUrl>
#include <QtGui/qtguiglobal.h>

#if QT_CONFIG(xcb)
#include <QtGui/qguiapplication_platform.h>
#include <xcb/xcb.h>
#endif

// The window's pictures sit in a static library; its resources must be registered by name.
static void InitMainResources() {
    Q_INIT_RESOURCE(mainUnit);
    Q_INIT_RESOURCE(toolBar);
}

namespace tarnwick {

namespace {

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

QtMainForm::QtMainForm(TMainForm& form, const QtServices& services)
    : form_(form), services_(services) {
    InitMainResources();
    createComponents();
}

QtMainForm::~QtMainForm() {
    TheProgramActivation().Forget(this);
    // The tray component's view of the menu goes before the menu itself.
    popupMenu1Items_.reset();
}

void QtMainForm::createComponents() {
    const FormLayout& layout = MainFormLayout();
    const auto place = [&layout](QWidget* widget, const char* name) {
        const ControlLayout& at = layout[name];
        widget->setObjectName(QLatin1String(name));
        widget->setGeometry(at.left, at.top, at.width, at.height);
    };
    const auto caption = [&layout](const char* name) { return FromGbk(layout[name].caption); };
    setObjectName(QString::fromStdString(layout.name));
    setWindowTitle(FromGbk(layout.caption));
    // System menu and minimise only; the border stays resizable.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint);
    move(layout.left, layout.top);
    resize(layout.clientWidth, layout.clientHeight);

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

    const auto emblem = {16, 22, 24, 32, 44, 48, 64};
    ImageList1Icons = {Picture(QStringLiteral(":/main/emblem-on"), emblem),
                       Picture(QStringLiteral(":/main/emblem-off"), emblem)};
    imageList1_ = services_.tray.imageList(ImageList1Icons);
    ImageList2 = {Picture(QStringLiteral(":/toolbar/settings"), {32, 64}),
                  Picture(QStringLiteral(":/toolbar/exit"), {32, 64}),
                  Picture(QStringLiteral(":/toolbar/help"), {32, 64}),
                  Picture(QStringLiteral(":/toolbar/switch"), {32, 64})};
    setWindowIcon(ImageList1Icons[0]);

    ToolBar1 = new QToolBar(this);
    place(ToolBar1, "ToolBar1");
    ToolBar1->setMovable(false);
    ToolBar1->setFloatable(false);
    ToolBar1->setIconSize(QSize(32, 32));
    ToolBar1->setToolButtonStyle(Qt::ToolButtonIconOnly);
    ToolBar1->layout()->setSpacing(0);
    ToolBar1->layout()->setContentsMargins(0, 0, 0, 0);
    const auto addButton = [&](const char* name, int image) {
        auto* button = new QToolButton(ToolBar1);
        button->setObjectName(QLatin1String(name));
        button->setFixedSize(layout[name].width, layout[name].height);
        button->setIconSize(QSize(32, 32));
        button->setIcon(ImageList2[static_cast<std::size_t>(image)]);
        button->setToolTip(caption(name));
        button->setAutoRaise(true);
        button->setFocusPolicy(Qt::NoFocus);
        ToolBar1->addWidget(button);
        return button;
    };
    ToolButtonSet = addButton("ToolButtonSet", 0);
    ToolButtonSwitch = addButton("ToolButtonSwitch", 3);
    ToolButtonSwitch->setCheckable(true);
    ToolButtonHelp = addButton("ToolButtonHelp", 2);
    ToolButton2 = new QWidget(ToolBar1);
    ToolButton2->setObjectName(QStringLiteral("ToolButton2"));
    ToolButton2->setFixedSize(layout["ToolButton2"].width, layout["ToolButton2"].height);
    ToolBar1->addWidget(ToolButton2);
    ToolButtonExit = addButton("ToolButtonExit", 1);

    Label1 = new QLabel(caption("Label1"), this);
    place(Label1, "Label1");
    Label1->installEventFilter(this);

    QWidget* previous = nullptr;
    for (const CheckBoxLayout& boxLayout : MainCheckBoxes()) {
        auto* box = new QCheckBox(FromGbk(boxLayout.caption), this);
        place(box, boxLayout.name.c_str());
        // The boxes are the window's tab order, in the table's order.
        if (previous)
            setTabOrder(previous, box);
        previous = box;
        QPalette black = box->palette();
        black.setColor(QPalette::WindowText, Qt::black);
        black.setColor(QPalette::ButtonText, Qt::black);
        box->setPalette(black);
        const MainCheckBox id = boxLayout.id;
        connect(box, &QCheckBox::clicked, this,
                [this, id] { RunGuarded(this, [this, id] { form_.CheckBoxClick(id); }); });
        checkBoxes_[id] = box;
    }
    CheckBoxStartHidden = checkBoxes_.at(MainCheckBox::StartHidden);
    CheckBoxStartAtLogin = checkBoxes_.at(MainCheckBox::StartAtLogin);

    PopupMenu1 = new QMenu(this);
    PopupMenu1->setObjectName(QStringLiteral("PopupMenu1"));
    const auto addItem = [&](const char* name) {
        QAction* item = PopupMenu1->addAction(caption(name));
        item->setObjectName(QLatin1String(name));
        return item;
    };
    MMainInterface = addItem("MMainInterface");
    MSetting = addItem("MSetting");
    N2 = PopupMenu1->addSeparator();
    N2->setObjectName(QStringLiteral("N2"));
    MSwitch = addItem("MSwitch");
    N4 = PopupMenu1->addSeparator();
    N4->setObjectName(QStringLiteral("N4"));
    MExit = addItem("MExit");
    popupMenu1Items_ = std::make_unique<QtPopupMenu>(PopupMenu1);

    const auto handler = [this](void (TMainForm::*handler)()) {
        return [this, handler] { form_.Handle(handler); };
    };
    connect(ToolButtonSet, &QToolButton::clicked, this, handler(&TMainForm::ToolButtonSetClick));
    connect(ToolButtonHelp, &QToolButton::clicked, this, handler(&TMainForm::ToolButtonHelpClick));
    connect(ToolButtonExit, &QToolButton::clicked, this, handler(&TMainForm::ToolButtonExitClick));
    connect(ToolButtonSwitch, &QToolButton::clicked, this,
            handler(&TMainForm::ToolButtonSwitchClick));
    connect(MMainInterface, &QAction::triggered, this, handler(&TMainForm::MMainInterfaceClick));
    connect(MSetting, &QAction::triggered, this, handler(&TMainForm::MSettingClick));
    connect(MSwitch, &QAction::triggered, this, handler(&TMainForm::MSwitchClick));
    connect(MExit, &QAction::triggered, this, handler(&TMainForm::MExitClick));
}

// ---------------------------------------------------------------------------------------
// The window's own events

bool QtMainForm::event(QEvent* event) {
    if (event->type() == QEvent::WindowActivate && TheProgramActivation().Activated(this))
        form_.Handle(&TMainForm::FormActivate);
    if (event->type() == QEvent::Show && !textFitted_) {
        // The layout's sizes were made for its own font; the fallback face may need a pixel
        // more. Measured at the first showing, so that loading the CJK face does not delay
        // the icon at start.
        textFitted_ = true;
        Label1->resize(Label1->size().expandedTo(Label1->sizeHint()));
        for (const auto& [id, box] : checkBoxes_)
            box->resize(box->size().expandedTo(box->sizeHint()));
    }
    return QWidget::event(event);
}

void QtMainForm::closeEvent(QCloseEvent* event) {
    event->ignore();
    form_.Handle(&TMainForm::FormClose);
}

void QtMainForm::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    // The toolbar spans the window, whatever its width.
    if (ToolBar1)
        ToolBar1->resize(width(), ToolBar1->height());
}

bool QtMainForm::eventFilter(QObject* watched, QEvent* event) {
    if (watched == Label1) {
        switch (event->type()) {
        case QEvent::Enter:
            form_.Handle(&TMainForm::Label1MouseEnter);
            break;
        case QEvent::Leave:
            form_.Handle(&TMainForm::Label1MouseLeave);
            break;
        case QEvent::MouseButtonRelease: {
            const auto* mouse = static_cast<QMouseEvent*>(event);
            if (mouse->button() == Qt::LeftButton &&
                Label1->rect().contains(mouse->position().toPoint()))
                form_.Handle(&TMainForm::Label1Click);
            break;
        }
        default:
            break;
        }
    }
    return QWidget::eventFilter(watched, event);
}

// ---------------------------------------------------------------------------------------
// MainFormView

WindowHandle QtMainForm::TrayWindow() {
    return services_.tray.window(this);
}

std::unique_ptr<TrayIconImage> QtMainForm::StoredIcon() {
    return services_.tray.iconImage(ImageList1Icons[0]);
}

TrayPopupMenu& QtMainForm::TrayMenu() {
    return *popupMenu1Items_;
}

void QtMainForm::NotifyIconLoaded() {
    // Hand the icon to the notification area now rather than when the message loop first
    // runs: the desktop embeds it while the rest of the program is being built.
    FlushToDisplay();
}

void QtMainForm::RegisterAsMainForm() {
    if (services_.tray.registerMainForm)
        services_.tray.registerMainForm(this);
}

bool QtMainForm::SwitchButtonDown() const {
    return ToolButtonSwitch->isChecked();
}

void QtMainForm::SetSwitchButtonDown(bool down) {
    // Setting the button from here is no click.
    const QSignalBlocker quiet(ToolButtonSwitch);
    ToolButtonSwitch->setChecked(down);
}

std::string QtMainForm::SwitchItemCaption() const {
    return ToGbk(MSwitch->text());
}

void QtMainForm::SetSwitchItemCaption(const std::string& caption) {
    MSwitch->setText(FromGbk(caption));
}

bool QtMainForm::Checked(MainCheckBox box) const {
    return checkBoxes_.at(box)->isChecked();
}

void QtMainForm::SetChecked(MainCheckBox box, bool checked) {
    checkBoxes_.at(box)->setChecked(checked);
}

void QtMainForm::SetLinkUnderlined(bool underlined) {
    QFont font = Label1->font();
    font.setUnderline(underlined);
    Label1->setFont(font);
}

void QtMainForm::OpenWithShell(const std::string& target, ShellTarget kind) {
    // The desktop's answer is not looked at: a missing help file reports nothing.
    const QUrl url = kind == ShellTarget::Document
                         ? QUrl::fromLocalFile(QString::fromLocal8Bit(target))
                         : QUrl(FromGbk(target));
    services_.openUrl(url);
}

QtMainForm& WidgetOf(TMainForm& form) {
    return static_cast<QtMainForm&>(form.View());
}

} // namespace tarnwick

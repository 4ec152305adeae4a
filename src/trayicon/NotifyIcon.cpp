#include "trayicon/NotifyIcon.h"

#include <algorithm>
#include <cstring>

namespace tarnwick {

namespace {
constexpr std::uint32_t ExitPollInterval = 20;
constexpr std::size_t MaxHintLength = 255;
} // namespace

// ---------------------------------------------------------------------------------------
// TTrayIconHandler

TTrayIconHandler& TTrayIconHandler::Acquire(TrayPlatform& platform) {
    if (!platform.trayIconHandler_)
        platform.trayIconHandler_ = new TTrayIconHandler(platform);
    ++platform.trayIconHandler_->refCount_;
    return *platform.trayIconHandler_;
}

TTrayIconHandler::TTrayIconHandler(TrayPlatform& platform) : platform_(platform) {
    window_ = platform_.CreateTrayHandlerWindow(*this);
    taskbarCreatedMessage_ = platform_.RegisterTaskbarCreatedMessage();
}

TTrayIconHandler::~TTrayIconHandler() {
    if (window_ != NoWindow)
        platform_.DestroyHiddenWindow(window_);
}

void TTrayIconHandler::Release() {
    if (refCount_ > 0)
        --refCount_;
    if (refCount_ == 0) {
        platform_.trayIconHandler_ = nullptr;
        delete this;
    }
}

std::uint32_t TTrayIconHandler::Register(TNotifyIcon* icon) {
    if (!freeIds_.empty()) {
        const std::uint32_t id = freeIds_.back();
        freeIds_.pop_back();
        slots_[id - 1] = icon;
        return id;
    }
    slots_.push_back(icon);
    return static_cast<std::uint32_t>(slots_.size());
}

void TTrayIconHandler::Unregister(std::uint32_t id) {
    if (id == 0 || id > slots_.size())
        return;
    slots_[id - 1] = nullptr;
    freeIds_.push_back(id);
}

void TTrayIconHandler::TrayNotification(std::uint32_t iconId, std::uint32_t kind) {
    // The identifier is a slot number: a notification still queued for an icon that is gone
    // finds an empty slot instead of a freed object.
    if (iconId == 0 || iconId > slots_.size())
        return;
    if (TNotifyIcon* icon = slots_[iconId - 1])
        icon->HandleNotification(kind);
}

// ---------------------------------------------------------------------------------------
// TNotifyIcon: life

TNotifyIcon::TNotifyIcon(TrayPlatform& platform, WindowHandle owner)
    : platform_(platform), owner_(owner), handler_(TTrayIconHandler::Acquire(platform)) {
    iconId_ = handler_.Register(this);

    icon_ = platform_.CreateIconImage();
    icon_->OnChange = [this] { UpdateTrayIcon(); };

    iconRecord_.cbSize = TrayIconRecord::AnsiRecordSize;
    iconRecord_.hWnd = handler_.Window();
    iconRecord_.uID = iconId_;
    iconRecord_.uFlags =
        TrayIconRecord::FlagMessage | TrayIconRecord::FlagIcon | TrayIconRecord::FlagTip;
    iconRecord_.uCallbackMessage = msg::TrayCallback;

    cycleTimer_ = std::make_unique<TTickTimer>(platform_, this, &TNotifyIcon::CycleTick);
    clickTimer_ = std::make_unique<TTickTimer>(platform_, this, &TNotifyIcon::ClickTick);
    exitTimer_ = std::make_unique<TTickTimer>(platform_, this, &TNotifyIcon::ExitTick);
    cursorOutside_ = true;

    SetDesignPreview(designPreview_);

    if (!Designing()) {
        applicationFilter_ =
            platform_.InstallFilter(platform_.ApplicationWindow(),
                                    [this](const WindowMessage& m) { ApplicationFilter(m); });
        if (owner_ != NoWindow)
            ownerFilter_ =
                platform_.InstallFilter(owner_, [this](const WindowMessage& m) { OwnerFilter(m); });
    }
}

TNotifyIcon::~TNotifyIcon() {
    // The filters come out and the shared handler is released even when a step before fails;
    // a destructor cannot pass the failure on.
    try {
        SetIconVisible(false);
        SetDesignPreview(false);
        platform_.SetTrayMenu(handler_.Window(), iconId_, nullptr);
        cycleTimer_.reset();
        clickTimer_.reset();
        exitTimer_.reset();
    } catch (...) {
    }
    try {
        if (icon_)
            icon_->OnChange = nullptr;
        icon_.reset();
    } catch (...) {
    }
    applicationFilter_.reset();
    ownerFilter_.reset();
    handler_.Unregister(iconId_);
    handler_.Release();
}

void TNotifyIcon::Loaded() {
    if (owner_ != NoWindow && !Designing()) {
        bool showMainForm = true;
        if (OnStartup)
            OnStartup(this, showMainForm);
        if (!showMainForm) {
            platform_.SetShowMainForm(false);
            HideMainWindow();
        }
    }
    UpdateTrayIcon();
    SetIconVisible(iconVisible_);
    SetCycleIcons(cycleIcons_);
    SetWantEnterExitEvents(wantEnterExitEvents_);
}

void TNotifyIcon::Notification(const void* component, TOperation operation) {
    if (operation != TOperation::opRemove || component == nullptr)
        return;
    if (component == iconList_)
        SetIconList(nullptr);
    if (component == popupMenu_)
        SetPopupMenu(nullptr);
}

// ---------------------------------------------------------------------------------------
// Properties

void TNotifyIcon::SetPopupMenu(TrayPopupMenu* value) {
    popupMenu_ = value;
    platform_.SetTrayMenu(handler_.Window(), iconId_, value);
}

void TNotifyIcon::SetDesignPreview(bool value) {
    designPreview_ = value;
    previewChange_ = true;
    if (Designing() && icon_->Empty() && UseStockDesignIcon())
        platform_.LoadStockLogoIcon(*icon_);
    if (value)
        AddTrayIcon();
    else
        RemoveTrayIcon();
    previewChange_ = false;
}

void TNotifyIcon::SetIconList(TrayImageList* value) {
    iconList_ = value;
    SetIconIndex(0);
}

void TNotifyIcon::SetCycleIcons(bool value) {
    cycleIcons_ = value;
    if (value) {
        SetIconIndex(0);
        cycleTimer_->Start(cycleInterval_);
    } else {
        cycleTimer_->Stop();
    }
}

void TNotifyIcon::SetCycleInterval(std::uint32_t value) {
    cycleInterval_ = value;
    SetCycleIcons(cycleIcons_);
}

void TNotifyIcon::SetHint(const std::string& value) {
    hint_ = value.substr(0, MaxHintLength);
    UpdateTrayIcon();
}

void TNotifyIcon::SetShowHint(bool value) {
    showHint_ = value;
    UpdateTrayIcon();
}

void TNotifyIcon::SetIcon(const TrayIconImage& value) {
    // The copy itself is not reported; one update follows instead.
    auto report = std::move(icon_->OnChange);
    icon_->OnChange = nullptr;
    icon_->Assign(value);
    icon_->OnChange = std::move(report);
    UpdateTrayIcon();
}

void TNotifyIcon::SetIconVisible(bool value) {
    if (value)
        AddTrayIcon();
    else
        RemoveTrayIcon();
}

void TNotifyIcon::SetIconIndex(std::int32_t value) {
    if (iconList_) {
        const int count = iconList_->Count();
        iconIndex_ = value >= count ? count - 1 : value;
        if (iconIndex_ >= 0 && iconIndex_ < count)
            iconList_->GetIcon(iconIndex_, *icon_);
        else
            icon_->Clear();
    } else {
        iconIndex_ = 0;
    }
    UpdateTrayIcon();
}

void TNotifyIcon::SetWantEnterExitEvents(bool value) {
    wantEnterExitEvents_ = value;
    if (value)
        exitTimer_->Start(ExitPollInterval);
    else
        exitTimer_->Stop();
}

// ---------------------------------------------------------------------------------------
// Requests

bool TNotifyIcon::PrepareIconRecord() {
    if (Designing() && !previewChange_ && !designPreview_)
        return false;
    iconRecord_.hIcon = icon_ ? icon_->Handle() : 0;
    std::memset(iconRecord_.szTip, 0, sizeof iconRecord_.szTip);
    if (!hint_.empty() && showHint_) {
        const std::size_t n = std::min(hint_.size(), TrayIconRecord::TipSize - 1);
        std::memcpy(iconRecord_.szTip, hint_.data(), n);
    }
    return true;
}

bool TNotifyIcon::AddTrayIcon() {
    if (!previewChange_)
        iconVisible_ = true;
    if (Designing() && !previewChange_)
        return false;
    if (!PrepareIconRecord())
        return false;
    return platform_.NotifyIcon(TrayRequest::Add, iconRecord_);
}

bool TNotifyIcon::RemoveTrayIcon() {
    if (!previewChange_)
        iconVisible_ = false;
    if (Designing() && !previewChange_)
        return false;
    if (!PrepareIconRecord())
        return false;
    return platform_.NotifyIcon(TrayRequest::Delete, iconRecord_);
}

bool TNotifyIcon::UpdateTrayIcon() {
    if (!PrepareIconRecord())
        return false;
    return platform_.NotifyIcon(TrayRequest::Modify, iconRecord_);
}

// ---------------------------------------------------------------------------------------
// Notifications

void TNotifyIcon::HandleNotification(std::uint32_t kind) {
    switch (kind) {
    case msg::BalloonHide:
        if (OnBalloonHintHide)
            OnBalloonHintHide(this);
        return;
    case msg::BalloonTimeout:
        if (OnBalloonHintTimeout)
            OnBalloonHintTimeout(this);
        return;
    case msg::BalloonUserClick:
        if (OnBalloonHintClick)
            OnBalloonHintClick(this);
        return;
    case msg::MouseMove:
    case msg::LButtonDown:
    case msg::LButtonUp:
    case msg::LButtonDblClk:
    case msg::RButtonDown:
    case msg::RButtonUp:
    case msg::MButtonDown:
    case msg::MButtonUp:
        if (enabled_)
            MouseButtonRow(kind);
        return;
    default:
        return;
    }
}

void TNotifyIcon::MouseButtonRow(std::uint32_t kind) {
    const TShiftState keys = platform_.KeyState();
    const TrayPoint pos = platform_.CursorPos().value_or(TrayPoint{});
    switch (kind) {
    case msg::MouseMove:
        if (wantEnterExitEvents_ && cursorOutside_) {
            DoMouseEnter();
            cursorOutside_ = false;
        }
        DoMouseMove(keys, pos.x, pos.y);
        lastCursorPos_ = pos;
        break;
    case msg::LButtonDown:
        if (OnDblClick)
            clickTimer_->Start(platform_.DoubleClickTime());
        DoMouseDown(TMouseButton::mbLeft, keys | ssLeft, pos.x, pos.y);
        leftButtonDown_ = true;
        if (leftPopup_)
            ShowPopupAtCursor();
        break;
    case msg::LButtonUp:
        if (leftButtonDown_)
            clickPending_ = true;
        if (leftButtonDown_ && !clickTimer_->Active()) {
            leftButtonDown_ = false;
            clickPending_ = false;
            DoClick();
        }
        leftButtonDown_ = false;
        DoMouseUp(TMouseButton::mbLeft, keys | ssLeft, pos.x, pos.y);
        break;
    case msg::LButtonDblClk:
        clickPending_ = false;
        dblClickSeen_ = true;
        DoDblClick();
        DefaultMenuItemClick();
        break;
    case msg::RButtonDown:
        DoMouseDown(TMouseButton::mbRight, keys | ssRight, pos.x, pos.y);
        ShowPopupAtCursor();
        break;
    case msg::RButtonUp:
        DoMouseUp(TMouseButton::mbRight, keys | ssRight, pos.x, pos.y);
        break;
    case msg::MButtonDown:
        DoMouseDown(TMouseButton::mbMiddle, keys | ssMiddle, pos.x, pos.y);
        break;
    case msg::MButtonUp:
        DoMouseUp(TMouseButton::mbMiddle, keys | ssMiddle, pos.x, pos.y);
        break;
    default:
        break;
    }
}

void TNotifyIcon::DefaultMenuItemClick() {
    if (!popupMenu_ || !popupMenu_->AutoPopup() || leftPopup_)
        return;
    int item = -1;
    for (int i = popupMenu_->ItemCount() - 1; i >= 0; --i)
        if (popupMenu_->ItemIsDefault(i))
            item = i;
    if (item >= 0)
        popupMenu_->ClickItem(item);
}

void TNotifyIcon::ShowPopupAtCursor() {
    if (!popupMenu_ || !popupMenu_->AutoPopup())
        return;
    const std::optional<TrayPoint> pos = platform_.CursorPos();
    if (!pos)
        return;
    platform_.SetForegroundWindow(platform_.ApplicationWindow());
    platform_.ProcessMessages();
    // Pending messages may have taken the menu away.
    if (!popupMenu_)
        return;
    popupMenu_->SetPopupComponent(this);
    popupMenu_->Popup(*pos);
    if (owner_ != NoWindow)
        platform_.PostNullMessage(owner_);
}

// ---------------------------------------------------------------------------------------
// Timers

void TNotifyIcon::ClickTick(void* data) {
    auto* self = static_cast<TNotifyIcon*>(data);
    self->clickTimer_->Stop();
    const bool click = !self->dblClickSeen_ && self->clickPending_;
    if (click)
        self->clickPending_ = false;
    self->dblClickSeen_ = false;
    // Last, since an OnClick handler may free the component.
    if (click)
        self->DoClick();
}

void TNotifyIcon::CycleTick(void* data) {
    auto* self = static_cast<TNotifyIcon*>(data);
    if (!self->iconList_)
        return;
    const int count = self->iconList_->Count();
    if (self->iconIndex_ >= 0 && self->iconIndex_ < count)
        self->iconList_->GetIcon(self->iconIndex_, *self->icon_);
    self->DoCycle();
    if (!self->iconList_)
        return;
    const int last = self->iconList_->Count() - 1;
    self->SetIconIndex(self->iconIndex_ < last ? self->iconIndex_ + 1 : 0);
}

void TNotifyIcon::ExitTick(void* data) {
    auto* self = static_cast<TNotifyIcon*>(data);
    if (self->cursorOutside_)
        return;
    const std::optional<TrayPoint> pos = self->platform_.CursorPos();
    if (!pos)
        return;
    if (*pos != self->lastCursorPos_) {
        self->cursorOutside_ = true;
        self->DoMouseExit();
    }
}

// ---------------------------------------------------------------------------------------
// Windows

void TNotifyIcon::HideMainWindow() {
    const WindowHandle mainForm = platform_.MainFormWindow();
    if (owner_ == NoWindow || mainForm == NoWindow)
        return;
    platform_.SetWindowVisible(mainForm, false);
    platform_.ShowWindow(platform_.ApplicationWindow(), ShowCommand::Hide);
}

void TNotifyIcon::ApplicationFilter(const WindowMessage& m) {
    if (m.message == msg::Size && m.wParam == msg::SizeMinimized) {
        if (minimizeToTray_)
            DoMinimize();
        return;
    }
    const std::uint32_t taskbarCreated = handler_.TaskbarCreatedMessage();
    if (taskbarCreated != 0 && m.message == taskbarCreated) {
        if (iconVisible_)
            AddTrayIcon();
        return;
    }
    if (m.message == msg::WindowPosChanged && startupPending_ &&
        platform_.MainFormWindow() != NoWindow) {
        if (platform_.MainFormIsMdiFrame()) {
            bool showMainForm = true;
            if (OnStartup)
                OnStartup(this, showMainForm);
            if (!showMainForm)
                platform_.ShowWindow(platform_.ApplicationWindow(), ShowCommand::Hide);
        }
        startupPending_ = false;
    }
}

void TNotifyIcon::OwnerFilter(const WindowMessage& m) {
    if (m.message == msg::ShowWindow && m.wParam == 1 && m.lParam == 0) {
        const WindowHandle application = platform_.ApplicationWindow();
        platform_.ShowWindow(application, ShowCommand::Restore);
        platform_.SetForegroundWindow(application);
        platform_.SetForegroundWindow(owner_);
        return;
    }
    if (m.message == msg::Activate) {
        const std::uintptr_t state = m.wParam & 0xFFFF;
        if (state != msg::Active && state != msg::ActiveByClick)
            return;
        const auto active = platform_.ActiveControl();
        if (!active || active->control == NoWindow)
            return;
        const WindowHandle top = active->parent != NoWindow ? active->parent : active->control;
        if (top != static_cast<WindowHandle>(m.lParam))
            platform_.SetFocus(active->control);
    }
}

// ---------------------------------------------------------------------------------------
// Events

void TNotifyIcon::DoClick() {
    if (OnClick)
        OnClick(this);
}

void TNotifyIcon::DoDblClick() {
    if (OnDblClick)
        OnDblClick(this);
}

void TNotifyIcon::DoCycle() {
    const int count = iconList_ ? iconList_->Count() : 0;
    const std::int32_t next = iconIndex_ >= count - 1 ? 0 : iconIndex_ + 1;
    if (OnCycle)
        OnCycle(this, next);
}

void TNotifyIcon::DoMouseDown(TMouseButton Button, TShiftState Shift, std::int32_t X,
                              std::int32_t Y) {
    if (OnMouseDown)
        OnMouseDown(this, Button, Shift, X, Y);
}

void TNotifyIcon::DoMouseUp(TMouseButton Button, TShiftState Shift, std::int32_t X,
                            std::int32_t Y) {
    if (OnMouseUp)
        OnMouseUp(this, Button, Shift, X, Y);
}

void TNotifyIcon::DoMouseMove(TShiftState Shift, std::int32_t X, std::int32_t Y) {
    if (OnMouseMove)
        OnMouseMove(this, Shift, X, Y);
}

void TNotifyIcon::DoMouseEnter() {
    if (OnMouseEnter)
        OnMouseEnter(this);
}

void TNotifyIcon::DoMouseExit() {
    if (OnMouseExit)
        OnMouseExit(this);
}

void TNotifyIcon::DoMinimize() {
    HideMainWindow();
    SetIconVisible(true);
}

} // namespace tarnwick

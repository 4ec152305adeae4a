#include "FakeTray.h"

#include <algorithm>
#include <stdexcept>

namespace tarnwick::fake {

namespace {
// What the shell does with a timer interval below its minimum.
constexpr std::uint32_t MinimumTimerInterval = 10;
} // namespace

void FakeIconImage::Assign(const TrayIconImage& other) {
    const auto* fake = dynamic_cast<const FakeIconImage*>(&other);
    if (!fake)
        throw std::logic_error("FakeIconImage::Assign: not a fake icon");
    picture_ = fake->picture_;
    ++changes;
    Changed();
}

void FakeIconImage::Clear() {
    picture_ = 0;
    ++changes;
    Changed();
}

void FakeIconImage::SetPicture(IconHandle picture) {
    picture_ = picture;
    ++changes;
    Changed();
}

void FakeImageList::GetIcon(int index, TrayIconImage& icon) const {
    if (index < 0 || index >= count_)
        throw std::out_of_range("FakeImageList::GetIcon: index out of range");
    icon.Assign(FakeIconImage(Picture(index)));
}

FakePopupMenu::Item& FakePopupMenu::AddItem(std::string caption, bool isDefault) {
    items.push_back(Item{std::move(caption), isDefault, 0, nullptr});
    return items.back();
}

bool FakePopupMenu::ItemIsDefault(int index) const {
    return items.at(static_cast<std::size_t>(index)).isDefault;
}

void FakePopupMenu::ClickItem(int index) {
    Item& item = items.at(static_cast<std::size_t>(index));
    ++item.clicks;
    if (item.onClick)
        item.onClick();
}

void FakePopupMenu::Popup(TrayPoint at) {
    popups.push_back(at);
    if (whileOpen)
        whileOpen();
}

// ---------------------------------------------------------------------------------------

class FakeTrayPlatform::FakeFilter : public WindowFilter {
public:
    FakeFilter(FakeTrayPlatform& platform, int serial) : platform_(platform), serial_(serial) {}
    ~FakeFilter() override {
        auto& list = platform_.filters;
        list.erase(std::remove_if(list.begin(), list.end(),
                                  [this](const Filter& f) { return f.serial == serial_; }),
                   list.end());
    }

private:
    FakeTrayPlatform& platform_;
    int serial_;
};

FakeTrayPlatform::FakeTrayPlatform() {
    applicationWindow = CreateWindow();
}

FakeTrayPlatform::~FakeTrayPlatform() = default;

bool FakeTrayPlatform::NotifyIcon(TrayRequest request, const TrayIconRecord& record) {
    const auto key = std::make_pair(record.hWnd, record.uID);
    bool accepted = false;
    switch (request) {
    case TrayRequest::Add:
        accepted = trayAvailable && !icons.contains(key);
        if (accepted)
            icons[key] = record;
        break;
    case TrayRequest::Modify:
        accepted = icons.contains(key);
        if (accepted)
            icons[key] = record;
        break;
    case TrayRequest::Delete:
        accepted = icons.erase(key) > 0;
        break;
    }
    requests.push_back(Request{request, record, accepted});
    return accepted;
}

WindowHandle FakeTrayPlatform::CreateTrayHandlerWindow(TrayNotificationSink& sink) {
    const WindowHandle w = nextWindow++;
    trayWindows[w] = &sink;
    hiddenWindows.push_back(w);
    return w;
}

WindowHandle FakeTrayPlatform::CreateTimerWindow(TimerSink& sink) {
    const WindowHandle w = nextWindow++;
    timerWindows[w] = &sink;
    hiddenWindows.push_back(w);
    return w;
}

void FakeTrayPlatform::DestroyHiddenWindow(WindowHandle window) {
    trayWindows.erase(window);
    timerWindows.erase(window);
    std::erase(hiddenWindows, window);
    std::erase_if(timers, [window](const auto& t) { return t.first.first == window; });
}

bool FakeTrayPlatform::SetTimer(WindowHandle window, std::uintptr_t id, std::uint32_t interval) {
    if (refuseTimers || !timerWindows.contains(window))
        return false;
    const std::uint32_t step = std::max(interval, MinimumTimerInterval);
    timers[{window, id}] = Timer{window, id, interval, now + step};
    return true;
}

bool FakeTrayPlatform::KillTimer(WindowHandle window, std::uintptr_t id) {
    return timers.erase({window, id}) > 0;
}

void FakeTrayPlatform::ProcessMessages() {
    calls.push_back("process-messages");
}

void FakeTrayPlatform::SetWindowVisible(WindowHandle window, bool isVisible) {
    visible[window] = isVisible;
    calls.push_back("visible " + std::to_string(window) + (isVisible ? " 1" : " 0"));
}

void FakeTrayPlatform::ShowWindow(WindowHandle window, ShowCommand command) {
    if (command == ShowCommand::Hide) {
        visible[window] = false;
        calls.push_back("hide " + std::to_string(window));
    } else {
        visible[window] = true;
        minimized[window] = false;
        calls.push_back("restore " + std::to_string(window));
    }
}

bool FakeTrayPlatform::SetForegroundWindow(WindowHandle window) {
    calls.push_back("foreground " + std::to_string(window));
    return true;
}

void FakeTrayPlatform::PostNullMessage(WindowHandle window) {
    calls.push_back("post-null " + std::to_string(window));
}

void FakeTrayPlatform::SetFocus(WindowHandle window) {
    calls.push_back("focus " + std::to_string(window));
}

std::unique_ptr<WindowFilter> FakeTrayPlatform::InstallFilter(WindowHandle window,
                                                              WindowFilterProc filter) {
    const int serial = nextFilter++;
    filters.push_back(Filter{window, serial, std::move(filter)});
    return std::make_unique<FakeFilter>(*this, serial);
}

std::unique_ptr<TrayIconImage> FakeTrayPlatform::CreateIconImage() {
    return std::make_unique<FakeIconImage>();
}

WindowHandle FakeTrayPlatform::CreateWindow() {
    const WindowHandle w = nextWindow++;
    visible[w] = true;
    minimized[w] = false;
    return w;
}

void FakeTrayPlatform::SendMessage(WindowHandle window, WindowMessage message) {
    if (message.message == msg::Size && message.wParam == msg::SizeMinimized)
        minimized[window] = true;
    // Newest filter first, as with chained window procedures. A filter may take itself or
    // others out while it runs, so the list is copied by serial first.
    std::vector<int> serials;
    for (auto it = filters.rbegin(); it != filters.rend(); ++it)
        if (it->window == window)
            serials.push_back(it->serial);
    for (int serial : serials) {
        auto it = std::find_if(filters.begin(), filters.end(),
                               [serial](const Filter& f) { return f.serial == serial; });
        if (it == filters.end())
            continue;
        WindowFilterProc proc = it->proc;
        proc(message);
    }
}

void FakeTrayPlatform::Notify(std::uint32_t iconId, std::uint32_t kind) {
    // The notification area sends to the window named in the icon's record.
    for (const auto& [key, record] : icons) {
        if (key.second == iconId) {
            auto sink = trayWindows.find(record.hWnd);
            if (sink != trayWindows.end())
                sink->second->TrayNotification(iconId, kind);
            return;
        }
    }
    // An icon that is not shown cannot be clicked; still let a test reach the handler.
    if (!trayWindows.empty())
        trayWindows.begin()->second->TrayNotification(iconId, kind);
}

void FakeTrayPlatform::BroadcastTaskbarCreated() {
    icons.clear();
    SendMessage(applicationWindow, WindowMessage{taskbarCreatedMessage, 0, 0});
}

void FakeTrayPlatform::Advance(std::uint32_t milliseconds) {
    const std::uint64_t end = now + milliseconds;
    for (;;) {
        auto next = timers.end();
        for (auto it = timers.begin(); it != timers.end(); ++it)
            if (it->second.due <= end &&
                (next == timers.end() || it->second.due < next->second.due))
                next = it;
        if (next == timers.end())
            break;
        Timer& t = next->second;
        now = t.due;
        t.due += std::max(t.interval, MinimumTimerInterval);
        const WindowHandle window = t.window;
        const std::uintptr_t id = t.id;
        auto sink = timerWindows.find(window);
        if (sink != timerWindows.end())
            sink->second->TimerTick(id);
    }
    now = end;
}

std::vector<TrayRequest> FakeTrayPlatform::RequestKinds() const {
    std::vector<TrayRequest> kinds;
    for (const Request& r : requests)
        kinds.push_back(r.request);
    return kinds;
}

const TrayIconRecord* FakeTrayPlatform::ShownIcon(std::uint32_t iconId) const {
    for (const auto& [key, record] : icons)
        if (key.second == iconId)
            return &record;
    return nullptr;
}

std::vector<FakeTrayPlatform::Timer> FakeTrayPlatform::RunningTimers() const {
    std::vector<Timer> running;
    for (const auto& [key, timer] : timers)
        running.push_back(timer);
    return running;
}

std::size_t FakeTrayPlatform::FilterCount(WindowHandle window) const {
    return static_cast<std::size_t>(std::count_if(
        filters.begin(), filters.end(), [window](const Filter& f) { return f.window == window; }));
}

bool FakeTrayPlatform::Visible(WindowHandle window) const {
    auto it = visible.find(window);
    return it != visible.end() && it->second;
}

bool FakeTrayPlatform::Minimized(WindowHandle window) const {
    auto it = minimized.find(window);
    return it != minimized.end() && it->second;
}

} // namespace tarnwick::fake

#pragma once

#include "forms/FormViews.h"

namespace tarnwick {

// A Qt top-level window as the behaviour sees it: what every window view answers the same
// way, once for both windows.
template <typename Widget, typename View> class QtFormView : public Widget, public View {
public:
    using Widget::Widget;

    void Show() override { this->show(); }
    void Hide() override { this->hide(); }
    bool Visible() const override { return this->isVisible(); }
    bool Minimized() const override { return this->isMinimized(); }
    void ShowMinimized() override { this->showMinimized(); }
    void ShowNormal() override { this->showNormal(); }
    void BringToFront() override {
        this->raise();
        this->activateWindow();
    }
};

} // namespace tarnwick

#include "forms/FormViews.h"

#include "rules/CodePage.h"

namespace tarnwick {

const std::vector<CheckBoxLayout>& MainCheckBoxes() {
    // Filled at first use: the captions are converted to GBK once.
    static const std::vector<CheckBoxLayout> boxes = {
        {MainCheckBox::StartHidden, "CheckBoxStartHidden", GbkFromUtf8("程序启动时隐藏此窗体"), 96,
         136, 161, 25},
        // Its caption is too long to start under the first box's and still fit the window.
        {MainCheckBox::ServePac, "CheckBoxServePac",
         GbkFromUtf8("通过本机 HTTP 提供脚本 (Chrome、Edge 需要)"), 24, 161, 306, 25},
        // Kept by the desktop, not in the program's settings (see StartAtLogin).
        {MainCheckBox::StartAtLogin, "CheckBoxStartAtLogin", GbkFromUtf8("登录时自动启动"), 96, 186,
         161, 25},
    };
    return boxes;
}

ProgramActivation& TheProgramActivation() {
    static ProgramActivation activation;
    return activation;
}

} // namespace tarnwick

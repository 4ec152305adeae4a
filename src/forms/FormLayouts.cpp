#include "forms/FormLayouts.h"

#include "forms/FormViews.h"
#include "rules/CodePage.h"

#include <algorithm>
#include <stdexcept>

namespace tarnwick {

const ControlLayout& FormLayout::operator[](std::string_view name) const {
    for (const ControlLayout& control : controls)
        if (control.name == name)
            return control;
    throw std::logic_error("no component " + std::string(name) + " in " + this->name);
}

std::vector<std::string> FormLayout::TabOrder() const {
    std::vector<const ControlLayout*> stops;
    for (const ControlLayout& control : controls)
        if (control.tabOrder >= 0)
            stops.push_back(&control);
    std::stable_sort(stops.begin(), stops.end(),
                     [](const auto* a, const auto* b) { return a->tabOrder < b->tabOrder; });
    std::vector<std::string> names;
    for (const ControlLayout* control : stops)
        names.push_back(control->name);
    return names;
}

namespace {

FormLayout MakeMainFormLayout() {
    // Outer size 346 x 222 at 224, 146 with a sizeable frame: a client area of 338 x 188.
    FormLayout form{"MainForm", "Tarnwick", 224, 146, 338, 188, {}};
    auto add = [&form](const char* name, const char* utf8, int left, int top, int width, int height,
                       int tab = -1) {
        form.controls.push_back({name, GbkFromUtf8(utf8), left, top, width, height, tab, {}});
    };
    // Buttons 39 x 38 with 32 x 32 pictures; ToolButton2 is the 8 pixel separator.
    add("ToolBar1", "", 0, 0, 338, 49);
    add("ToolButtonSet", "设置", 0, 0, 39, 38);
    add("ToolButtonSwitch", "禁用IETarnwick", 39, 0, 39, 38);
    add("ToolButtonHelp", "帮助", 78, 0, 39, 38);
    add("ToolButton2", "", 117, 0, 8, 38);
    add("ToolButtonExit", "退出", 125, 0, 39, 38);
    add("Label1", "发送意见给作者。", 112, 88, 96, 13);
    int tab = 0;
    for (const CheckBoxLayout& box : MainCheckBoxes()) {
        form.controls.push_back(
            {box.name, box.caption, box.left, box.top, box.width, box.height, tab++, {}});
        // Boxes below the layout's last row make the window taller.
        form.clientHeight = std::max(form.clientHeight, box.top + box.height + 3);
    }
    // The tray menu's items: captions only.
    add("MMainInterface", "主界面", 0, 0, 0, 0);
    add("MSetting", "设置", 0, 0, 0, 0);
    add("MSwitch", "禁用", 0, 0, 0, 0);
    add("MExit", "退出", 0, 0, 0, 0);
    return form;
}

FormLayout MakeSetParamFormLayout() {
    // Outer size 543 x 241 at 192, 172 (a client area of 535 x 207), taller by the tester's
    // panel, so that the grid keeps its rows.
    FormLayout form{"setParamForm", GbkFromUtf8("设置参数"), 192, 172, 535, 207 + 58, {}};
    auto add = [&form](const char* name, const char* utf8, int left, int top, int width, int height,
                       int tab, const char* parent) {
        form.controls.push_back({name, GbkFromUtf8(utf8), left, top, width, height, tab, parent});
    };
    add("Panel1", "", 0, 0, 535, 158, -1, "");
    add("PanelTest", "", 0, 158, 535, 58, -1, "");
    add("Panel2", "", 0, 216, 535, 49, -1, "");
    add("ToolBar1", "", 0, 0, 535, 33, -1, "Panel1");
    add("ToolButtonInsert", "插入一行", 0, 0, 27, 26, -1, "ToolBar1");
    add("ToolButtonDelete", "删除当前行", 27, 0, 27, 26, -1, "ToolBar1");
    add("StringGrid1", "", 0, 33, 535, 125, 0, "Panel1");
    // Over the current cell when shown; its place comes from the cell.
    add("ComboBox1", "", 0, 0, 170, 24, 1, "StringGrid1");
    // The tester: the edit takes the width between the label and the button, which keeps to
    // the right edge; the result line spans the panel.
    add("LabelTestUrl", "测试网址：", 8, 6, 72, 26, -1, "PanelTest");
    add("EditTestUrl", "", 84, 6, 356, 26, 2, "PanelTest");
    add("ButtonTest", "测试", 446, 6, 81, 26, 3, "PanelTest");
    add("LabelTestResult", "", 8, 36, 519, 18, -1, "PanelTest");
    add("ButtonOK", "确定", 16, 8, 81, 33, 5, "Panel2");
    add("ButtonCancle", "取消", 120, 8, 81, 33, 4, "Panel2");
    add("Label1", "注意：新设置的参数只对过后的启动的IE有效。", 256, 16, 270, 13, -1, "Panel2");
    // The grid's metrics.
    add("RowHeight", "", 0, 0, 0, 24, -1, "StringGrid1");
    add("ColumnWidth", "", 0, 0, 170, 0, -1, "StringGrid1");
    return form;
}

} // namespace

const FormLayout& MainFormLayout() {
    // Filled at first use: the captions are converted to GBK once.
    static const FormLayout layout = MakeMainFormLayout();
    return layout;
}

const FormLayout& SetParamFormLayout() {
    static const FormLayout layout = MakeSetParamFormLayout();
    return layout;
}

} // namespace tarnwick

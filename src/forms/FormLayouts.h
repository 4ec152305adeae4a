#pragma once

// The two windows' layout, written once: every component's name, caption, place and size in
// the layout's pixels (96 dpi), and the order the keyboard visits them. Both front ends build
// their windows from these tables: the Win32 one scales them by the window's DPI, the Qt one
// leaves scaling to Qt. No toolkit and no OS header.

#include <string>
#include <string_view>
#include <vector>

namespace tarnwick {

struct ControlLayout {
    // The component's name (the Qt objectName).
    std::string name;
    // GBK bytes: the caption, or a tool button's hint.
    std::string caption;
    // Within its parent area's client coordinates (the window's for the main window; Panel1
    // or Panel2 for the editor's components, which are named by `parent`).
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
    // Its place in the window's tab order, -1 when the keyboard never stops on it.
    int tabOrder = -1;
    std::string parent;
};

struct FormLayout {
    std::string name;
    std::string caption; // GBK
    // The outer place the window opens at, and its client size.
    int left = 0;
    int top = 0;
    int clientWidth = 0;
    int clientHeight = 0;
    std::vector<ControlLayout> controls;

    // The component of that name; a programming error (it throws) when there is none.
    const ControlLayout& operator[](std::string_view name) const;
    // The names of the components the keyboard visits, in tab order.
    std::vector<std::string> TabOrder() const;
};

// The main window: ToolBar1 and its buttons, Label1, the check boxes (from MainCheckBoxes()),
// and the tray menu's items (captions only). Its client height fits the last check box.
const FormLayout& MainFormLayout();

// The rule editor. Panel2 keeps its height at the bottom with the tester's PanelTest above
// it, Panel1 takes the rest; the grid fills Panel1 below ToolBar1, which spans it. The grid's row
// height and column width are the entries "RowHeight" and "ColumnWidth" (their height and width).
const FormLayout& SetParamFormLayout();

// A length of the layout at a DPI, rounded to the nearest pixel.
constexpr int ScaleToDpi(int length, int dpi) {
    const long long scaled = static_cast<long long>(length) * dpi;
    return static_cast<int>(scaled >= 0 ? (scaled + 48) / 96 : -((-scaled + 48) / 96));
}

} // namespace tarnwick

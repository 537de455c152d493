#pragma once

#include "framework/Controls.h"

#include <QColor>
#include <QRect>
#include <vector>

// The main window as tables: its controls, which it walks to build itself, and
// the bindings of their events to its handlers.
namespace zorv {

class PwrSupWindow;

enum class ControlKind { PushButton, TextArea, Serial, PopupMenu, StaticText, CheckBox, Timer };

// One control of the main window as it is laid out.
struct ControlSpec {
    const char* name;
    ControlKind kind;
    QRect geometry;     // empty for the non-visual controls
    int tabIndex;       // -1 for the non-visual controls
    const char* text;   // caption, text, or rows separated by carriage returns
    bool lockedToAllEdges = false;
    QColor textColor = Qt::black;
    bool enabled = true;
    const char* helpTag = "";
    int timerPeriod = 0;
};

// The window's 20 controls, in creation order.
const std::vector<ControlSpec>& controlTable();

// An event of a control bound to the window's handler of that name.
struct EventBinding {
    const char* control;
    Event event;
    void (PwrSupWindow::*handler)();
    const char* handlerName;
};

const std::vector<EventBinding>& eventBindings();

} // namespace zorv

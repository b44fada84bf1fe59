#pragma once

#include "engine/NotifyEvents.h"

// Window messages of the user interface itself, numbered after the events
// the engine and the windows share so that none collides with them.
enum UiMessage : unsigned {
    // The splitter's layout: wParam the size type, lParam two RECTs (the
    // panes left and right of the bar, inclusive).
    MessageSplitterLayout = EventRunEnded + 1,
    // A pane shows what arrived since it last drew: posted behind the events
    // waiting in the queue, so a burst of them is shown once.
    MessagePaneFlush,
    // A window's target has events waiting (WindowTarget::Deliver).
    MessageTargetWake,
};

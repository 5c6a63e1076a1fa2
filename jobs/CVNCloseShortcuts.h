// The keys that close a plain window of the program (a log window, the
// preferences): Escape and the platform's close shortcut (Ctrl+W).
#pragma once

class QWidget;

// Makes Escape and QKeySequence::Close close `window` while it is active. The
// shortcuts belong to `window`. Main thread.
void CVNAddCloseShortcuts(QWidget* window);

// Helpers for the job tests: running the event loop until a condition holds,
// and saving screenshots of windows.
#pragma once

#include <QString>
#include <QWidget>
#include <functional>

// Processes events until `done` holds or `timeoutMs` passes; returns `done()`.
bool CVNSpinUntil(const std::function<bool()>& done, int timeoutMs = 20000);

// Renders `widget` and saves it as <name>.png under the screenshot folder; returns the path.
QString CVNSaveScreenshot(QWidget* widget, const QString& name);

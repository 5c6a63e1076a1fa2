// Helpers for the application tests: a scratch preferences store, running the
// event loop until a condition holds, and saving screenshots of windows.
#pragma once

#include <QString>
#include <QVariantMap>
#include <QWidget>
#include <functional>

// Installs a new, empty preferences store in a temporary file as the
// application's store, with `registered` as its registered defaults.
void CVNUseScratchUserDefaults(const QVariantMap& registered = {});

// Processes events until `done` holds or `timeoutMs` passes; returns `done()`.
bool CVNSpinUntil(const std::function<bool()>& done, int timeoutMs = 5000);

// Renders `widget` and saves it as <name>.png under the screenshot folder; returns the path.
QString CVNSaveScreenshot(QWidget* widget, const QString& name);

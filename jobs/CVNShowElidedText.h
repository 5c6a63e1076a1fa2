// Puts a text that may be too long for its label in the label: cut in the
// middle, where paths and names say least, whole in the tool tip and to
// screen readers.
#pragma once

#include <QString>

class QLabel;

// Shows `text` in `label`, cut to the label's width but never to less than
// `minimumWidth` pixels (a label not laid out yet has no width of its own).
void CVNShowElidedText(QLabel* label, const QString& text, int minimumWidth);

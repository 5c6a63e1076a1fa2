// The log and tile icons, looked up by their resource names ("box.png", ...).
#pragma once

#include <QPixmap>
#include <QString>

// The embedded image of that name; a null pixmap for an unknown name.
QPixmap CVNImageNamed(const QString& name);

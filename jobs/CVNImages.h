// The log and tile icons and the application icon, looked up by their resource
// names ("box.png", ..., "corvana.png"). Pixmaps belong to the main thread.
#pragma once

#include <QIcon>
#include <QPixmap>
#include <QString>

// The embedded image of that name, at double size on a high-density screen;
// a null pixmap for an unknown name. Main thread only.
QPixmap CVNImageNamed(const QString& name);

// The image of that name at every size the build made, for views that scale.
// Main thread only.
QIcon CVNIconNamed(const QString& name);

// The resource path of the image of that name (":/images/box.png").
QString CVNImagePath(const QString& name);

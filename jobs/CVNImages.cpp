#include "jobs/CVNImages.h"

QPixmap CVNImageNamed(const QString& name) { return QPixmap(QStringLiteral(":/images/") + name); }

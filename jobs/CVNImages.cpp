#include "jobs/CVNImages.h"

#include <QFile>
#include <QGuiApplication>

namespace {

// "box.png" -> ":/images/box@2x.png"
QString DoubleSizePath(const QString& name) {
  QString path = CVNImagePath(name);
  const qsizetype dot = path.lastIndexOf(u'.');
  return dot > 0 ? path.insert(dot, QStringLiteral("@2x")) : path + QStringLiteral("@2x");
}

}  // namespace

QString CVNImagePath(const QString& name) { return QStringLiteral(":/images/") + name; }

QPixmap CVNImageNamed(const QString& name) {
  if (qGuiApp && qGuiApp->devicePixelRatio() > 1.0) {
    // The reader takes the ratio 2 from the "@2x" in the name.
    QPixmap large(DoubleSizePath(name));
    if (!large.isNull()) return large;
  }
  return QPixmap(CVNImagePath(name));
}

QIcon CVNIconNamed(const QString& name) {
  QIcon icon;
  if (!QFile::exists(CVNImagePath(name))) return icon;
  icon.addFile(CVNImagePath(name));
  if (QFile::exists(DoubleSizePath(name))) icon.addFile(DoubleSizePath(name));
  return icon;
}

#include "AppTestSupport.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QPixmap>
#include <QSettings>
#include <QTemporaryDir>
#include <QThread>
#include <memory>

#include "app/CVNUserDefaults.h"

void CVNUseScratchUserDefaults(const QVariantMap& registered) {
  static QTemporaryDir folder;
  static int next = 0;
  const QString path = folder.filePath(QStringLiteral("defaults-%1.ini").arg(++next));
  auto defaults =
      std::make_unique<CVNUserDefaults>(std::make_unique<QSettings>(path, QSettings::IniFormat));
  defaults->registerDefaults(registered);
  CVNUserDefaults::setStandardUserDefaults(std::move(defaults));
}

bool CVNSpinUntil(const std::function<bool()>& done, int timeoutMs) {
  QDeadlineTimer deadline(timeoutMs);
  while (!done()) {
    if (deadline.hasExpired()) return false;
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    QThread::msleep(1);
  }
  return true;
}

QString CVNSaveScreenshot(QWidget* widget, const QString& name) {
  QDir().mkpath(QStringLiteral(CORVANA_SCREENSHOT_DIR));
  const QString path = QStringLiteral(CORVANA_SCREENSHOT_DIR "/") + name + QStringLiteral(".png");
  widget->grab().save(path);
  return path;
}

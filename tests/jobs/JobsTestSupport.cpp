#include "JobsTestSupport.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QPixmap>
#include <QThread>

bool CVNSpinUntil(const std::function<bool()>& done, int timeoutMs) {
  QDeadlineTimer deadline(timeoutMs);
  while (!done()) {
    if (deadline.hasExpired()) return false;
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

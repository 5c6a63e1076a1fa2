#include "jobs/CVNMainThread.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QThread>

bool CVNIsMainThread() {
  QCoreApplication* app = QCoreApplication::instance();
  return app && QThread::currentThread() == app->thread();
}

void CVNPostToMainThread(std::function<void()> block) {
  // Queued calls to one receiver are delivered in the order posted.
  QMetaObject::invokeMethod(QCoreApplication::instance(), std::move(block), Qt::QueuedConnection);
}

void CVNPerformOnMainThreadAndWait(std::function<void()> block) {
  if (CVNIsMainThread()) {
    block();
    return;
  }
  QMetaObject::invokeMethod(QCoreApplication::instance(), std::move(block),
                            Qt::BlockingQueuedConnection);
}

#include "jobs/CVNMainThread.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QThread>

bool CVNIsMainThread() {
  QCoreApplication* app = QCoreApplication::instance();
  return app && QThread::currentThread() == app->thread();
}

void CVNPostToMainThread(std::function<void()> block) {
  CVNPostToMainThread(QCoreApplication::instance(), std::move(block));
}

void CVNPostToMainThread(QObject* context, std::function<void()> block) {
  // Every queued call goes to the one event queue of the main thread, whatever
  // its receiver, and is delivered in the order posted; a receiver's destruction
  // removes its own pending calls.
  QMetaObject::invokeMethod(context, std::move(block), Qt::QueuedConnection);
}

void CVNPerformOnMainThreadAndWait(std::function<void()> block) {
  if (CVNIsMainThread()) {
    block();
    return;
  }
  QMetaObject::invokeMethod(QCoreApplication::instance(), std::move(block),
                            Qt::BlockingQueuedConnection);
}

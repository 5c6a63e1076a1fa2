#include "jobs/CVNOperationQueue.h"

#include <QCoreApplication>
#include <QPointer>
#include <QRunnable>
#include <algorithm>

#include "jobs/CVNMainThread.h"
#include "jobs/CVNOperation.h"

CVNOperationQueue::CVNOperationQueue(int maxConcurrentOperationCount, QObject* parent)
    : QObject(parent) {
  pool_.setMaxThreadCount(maxConcurrentOperationCount);
}

CVNOperationQueue::~CVNOperationQueue() {
  destroying_ = true;
  cancelAllOperations();
  // A running job may be blocked on the main thread (execute, determine): waiting
  // for the pool alone would deadlock with it.
  while (!pool_.waitForDone(5)) QCoreApplication::sendPostedEvents(nullptr, QEvent::MetaCall);
}

void CVNOperationQueue::addOperation(std::shared_ptr<CVNOperation> operation) {
  CVNOperation* job = operation.get();
  operations_.push_back(std::move(operation));
  // QThreadPool takes tasks of equal priority in the order queued.
  pool_.start(QRunnable::create([self = QPointer<CVNOperationQueue>(this), job] {
    job->start();
    // Posted after every block the job posted, so the job outlives them all.
    CVNPostToMainThread([self, job] {
      if (self) self->operationDidEnd(job);
    });
  }));
}

void CVNOperationQueue::cancelAllOperations() {
  // Last first: a slot freed by a cancelled running job must not start a
  // waiting one whose cancellation has not been set yet.
  for (auto it = operations_.rbegin(); it != operations_.rend(); ++it) (*it)->cancel();
}

void CVNOperationQueue::operationDidEnd(CVNOperation* operation) {
  if (destroying_) return;
  auto found = std::find_if(operations_.begin(), operations_.end(),
                            [operation](const auto& held) { return held.get() == operation; });
  if (found != operations_.end()) operations_.erase(found);
  if (operations_.empty()) emit didDrain();
}

// Runs jobs on worker threads of its own, at most N at once, the rest waiting in
// the order added. Lives on the main thread and never blocks it.
#pragma once

#include <QObject>
#include <QThreadPool>
#include <memory>
#include <vector>

class CVNOperation;

class CVNOperationQueue : public QObject {
  Q_OBJECT
 public:
  explicit CVNOperationQueue(int maxConcurrentOperationCount, QObject* parent = nullptr);
  // Cancels what is left and waits for the running jobs, serving the calls they
  // make on the main thread meanwhile. didDrain is not emitted any more.
  ~CVNOperationQueue() override;

  // Queues `operation`; the queue holds it until it has finished. Main thread.
  void addOperation(std::shared_ptr<CVNOperation> operation);
  // The jobs waiting or running, in the order added.
  const std::vector<std::shared_ptr<CVNOperation>>& operations() const { return operations_; }
  // Cancels every job: waiting ones finish without running as the queue takes them up.
  void cancelAllOperations();

 signals:
  // A job has left the queue and none is left. Main thread.
  void didDrain();

 private:
  void operationDidEnd(CVNOperation* operation);

  QThreadPool pool_;
  bool destroying_ = false;
  std::vector<std::shared_ptr<CVNOperation>> operations_;
};

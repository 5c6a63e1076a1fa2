#include "app/CVNOperationsController.h"

#include "jobs/CVNOperation.h"

CVNOperationsController::CVNOperationsController(QObject* parent) : QObject(parent) {}

void CVNOperationsController::addObject(std::shared_ptr<CVNOperation> operation) {
  operations_.push_back(std::move(operation));
  emit objectInserted(count() - 1);
}

void CVNOperationsController::removeObjectAtArrangedObjectIndex(int index) {
  Q_ASSERT(index >= 0 && index < count());
  emit objectAboutToBeRemoved(index);
  // Held until the signal has gone out, so a tile never outlives its job.
  std::shared_ptr<CVNOperation> removed = std::move(operations_[static_cast<size_t>(index)]);
  operations_.erase(operations_.begin() + index);
  emit objectRemoved(index);
}

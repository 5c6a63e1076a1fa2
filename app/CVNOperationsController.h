// The job list the main window shows: every job put into service, in the order
// added, until the clear action takes the finished ones away. Main thread only.
#pragma once

#include <QObject>
#include <memory>
#include <vector>

class CVNOperation;

class CVNOperationsController : public QObject {
  Q_OBJECT
 public:
  explicit CVNOperationsController(QObject* parent = nullptr);

  // The jobs in the order added. The list keeps each job alive while it holds it.
  const std::vector<std::shared_ptr<CVNOperation>>& arrangedObjects() const { return operations_; }
  int count() const { return static_cast<int>(operations_.size()); }

  // Appends `operation` at the end.
  void addObject(std::shared_ptr<CVNOperation> operation);
  // Removes the entry at `index` (0 <= index < count()).
  void removeObjectAtArrangedObjectIndex(int index);

 signals:
  // The entry now at `index` was added.
  void objectInserted(int index);
  // The entry at `index` is about to go; it is still in the list.
  void objectAboutToBeRemoved(int index);
  // The entry that was at `index` has gone.
  void objectRemoved(int index);

 private:
  std::vector<std::shared_ptr<CVNOperation>> operations_;
};

// The main window's job list as a column of tiles, one per entry of the job
// list in its order, with a hint inviting a drop while the list is empty.
#pragma once

#include <QPointer>
#include <QWidget>
#include <vector>

#include "app/CVNOperationsController.h"

class CVNCollectionViewItem;
class QLabel;
class QVBoxLayout;

class CVNCollectionView : public QWidget {
  Q_OBJECT
 public:
  explicit CVNCollectionView(QWidget* parent = nullptr);

  // Shows one tile per entry of `content` from now on; tiles show their
  // confirmations on `itemWindow`.
  void setContent(CVNOperationsController* content, QWidget* itemWindow);

  // The tiles in list order.
  const std::vector<CVNCollectionViewItem*>& items() const { return items_; }
  // The hint shown while the list is empty.
  QLabel* emptyHint() const { return emptyHint_; }

 protected:
  void changeEvent(QEvent* event) override;

 private:
  void insertItem(int index);
  void removeItem(int index);
  void updateEmptyHint();

  QPointer<CVNOperationsController> content_;
  QPointer<QWidget> itemWindow_;
  QVBoxLayout* layout_;
  QLabel* emptyHint_;
  std::vector<CVNCollectionViewItem*> items_;
};

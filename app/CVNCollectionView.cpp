#include "app/CVNCollectionView.h"

#include <QEvent>
#include <QLabel>
#include <QVBoxLayout>

#include "app/CVNCollectionViewItem.h"
#include "app/CVNOperationsController.h"
#include "jobs/CVNLocalization.h"

CVNCollectionView::CVNCollectionView(QWidget* parent)
    : QWidget(parent), layout_(new QVBoxLayout(this)), emptyHint_(new QLabel(this)) {
  layout_->setContentsMargins(6, 6, 6, 6);
  layout_->setSpacing(6);
  emptyHint_->setAlignment(Qt::AlignCenter);
  emptyHint_->setWordWrap(true);
  // The hint fits itself to the list, never the list to the hint.
  emptyHint_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Ignored);
  emptyHint_->setContentsMargins(12, 0, 12, 0);
  emptyHint_->setEnabled(false);  // drawn in the palette's quiet colour
  emptyHint_->setText(CVNLocalizedString("メインウインドウ:ヒント:ドロップ"));
  layout_->addWidget(emptyHint_, 1);
  layout_->addStretch(0);
}

void CVNCollectionView::setContent(CVNOperationsController* content, QWidget* itemWindow) {
  content_ = content;
  itemWindow_ = itemWindow;
  connect(content, &CVNOperationsController::objectInserted, this, &CVNCollectionView::insertItem);
  connect(content, &CVNOperationsController::objectAboutToBeRemoved, this,
          &CVNCollectionView::removeItem);
  for (int i = 0; i < content->count(); ++i) insertItem(i);
  updateEmptyHint();
}

void CVNCollectionView::insertItem(int index) {
  auto* item = new CVNCollectionViewItem(content_->arrangedObjects()[static_cast<size_t>(index)],
                                         itemWindow_, this);
  // The hint sits at layout position 0.
  layout_->insertWidget(index + 1, item);
  items_.insert(items_.begin() + index, item);
  updateEmptyHint();
}

void CVNCollectionView::removeItem(int index) {
  CVNCollectionViewItem* item = items_[static_cast<size_t>(index)];
  items_.erase(items_.begin() + index);
  // An open confirmation ends as "No" before its tile goes.
  item->endCancelAlert();
  layout_->removeWidget(item);
  delete item;
  updateEmptyHint();
}

void CVNCollectionView::updateEmptyHint() {
  emptyHint_->setVisible(items_.empty());
  layout_->setStretch(layout_->count() - 1, items_.empty() ? 0 : 1);
}

void CVNCollectionView::changeEvent(QEvent* event) {
  if (event->type() == QEvent::LanguageChange) {
    emptyHint_->setText(CVNLocalizedString("メインウインドウ:ヒント:ドロップ"));
  }
  QWidget::changeEvent(event);
}

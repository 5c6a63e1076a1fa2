#include "app/CVNArrayController.h"

#include <QComboBox>
#include <utility>

CVNArrayController::CVNArrayController(QObject* parent) : QAbstractListModel(parent) {}

void CVNArrayController::setContent(CVNOptionTable rows) {
  beginResetModel();
  rows_ = std::move(rows);
  endResetModel();
  // A reset leaves bound combo boxes without a current row: emit even when the
  // index stays the same, so that they show the selection again.
  selectionIndex_ = rows_.isEmpty() ? -1 : 0;
  emit selectionIndexChanged();
}

void CVNArrayController::setSelectionIndex(int index) {
  if (index < 0 || index >= rows_.size()) index = -1;
  if (index == selectionIndex_) return;
  selectionIndex_ = index;
  emit selectionIndexChanged();
}

QVariant CVNArrayController::selection(const QString& key) const {
  if (selectionIndex_ < 0) return {};
  return rows_[selectionIndex_].value(key);
}

bool CVNArrayController::selectFirstRow(const QString& key, const QVariant& value) {
  for (int i = 0; i < rows_.size(); ++i) {
    // QVariant compares numbers of different types by value.
    if (rows_[i].value(key) == value) {
      setSelectionIndex(i);
      return true;
    }
  }
  return false;
}

void CVNArrayController::bindComboBox(QComboBox* comboBox) {
  comboBox->setModel(this);
  comboBox->setCurrentIndex(selectionIndex_);
  connect(comboBox, &QComboBox::currentIndexChanged, this, &CVNArrayController::setSelectionIndex);
  connect(this, &CVNArrayController::selectionIndexChanged, comboBox, [this, comboBox] {
    if (comboBox->currentIndex() != selectionIndex_) comboBox->setCurrentIndex(selectionIndex_);
  });
}

int CVNArrayController::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

QVariant CVNArrayController::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= rows_.size()) return {};
  if (role == Qt::DisplayRole || role == Qt::ToolTipRole)
    return rows_[index.row()].value(QStringLiteral("title"));
  return {};
}

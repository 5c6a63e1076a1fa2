#include "jobs/CVNLogModel.h"

#include <iterator>

#include "jobs/CVNImages.h"

CVNLogModel::CVNLogModel(QObject* parent) : QAbstractListModel(parent) {}

void CVNLogModel::appendRow(CVNLogRow row) {
  const int at = count();
  beginInsertRows(QModelIndex(), at, at);
  rows_.push_back(std::move(row));
  endInsertRows();
}

void CVNLogModel::appendRows(std::vector<CVNLogRow> rows) {
  if (rows.empty()) return;
  const int at = count();
  beginInsertRows(QModelIndex(), at, at + static_cast<int>(rows.size()) - 1);
  rows_.insert(rows_.end(), std::make_move_iterator(rows.begin()),
               std::make_move_iterator(rows.end()));
  endInsertRows();
}

int CVNLogModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : count();
}

QVariant CVNLogModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= count()) return {};
  const CVNLogRow& r = row(index.row());
  switch (role) {
    case Qt::DisplayRole:
    case MessageRole:
      return r.message;
    case Qt::DecorationRole:
      return CVNImageNamed(r.iconName);
    case IconNameRole:
      return r.iconName;
    case MessageKeyRole:
      return r.messageKey;
    case ArgumentRole:
      return r.argument ? QVariant(*r.argument) : QVariant();
    case Qt::ToolTipRole:
      // The argument may be elided in the view; its whole text is one hover away.
      return r.argument && !r.argument->isEmpty() ? QVariant(*r.argument) : QVariant();
    default:
      return {};
  }
}

QHash<int, QByteArray> CVNLogModel::roleNames() const {
  return {{IconNameRole, "icon"}, {MessageRole, "message"}, {ArgumentRole, "path1"}};
}

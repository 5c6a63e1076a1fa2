#include "jobs/CVNLogModel.h"

#include "jobs/CVNImages.h"

CVNLogModel::CVNLogModel(QObject* parent) : QAbstractListModel(parent) {}

void CVNLogModel::appendRow(CVNLogRow row) {
  const int at = count();
  beginInsertRows(QModelIndex(), at, at);
  rows_.push_back(std::move(row));
  endInsertRows();
}

int CVNLogModel::rowCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : count(); }

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
    default:
      return {};
  }
}

QHash<int, QByteArray> CVNLogModel::roleNames() const {
  return {{IconNameRole, "icon"}, {MessageRole, "message"}, {ArgumentRole, "path1"}};
}

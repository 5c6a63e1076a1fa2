#include "jobs/CVNLogModel.h"

#include "jobs/CVNImages.h"

CVNLogModel::CVNLogModel(QObject* parent) : QAbstractListModel(parent) {}

uint32_t CVNLogModel::kindIndexOf(CVNLogRow& row) {
  // Rows come in runs of one kind: the last kind answers most of them.
  if (!rows_.empty()) {
    const uint32_t last = rows_.back().kind & ~kNoArgument;
    if (kinds_[last].messageKey == row.messageKey && kinds_[last].iconName == row.iconName)
      return last;
  }
  auto key = std::make_pair(row.iconName, row.messageKey);
  auto found = kindIndexes_.constFind(key);
  if (found != kindIndexes_.constEnd()) return *found;
  const auto kind = static_cast<uint32_t>(kinds_.size());
  kinds_.push_back({std::move(row.iconName), std::move(row.messageKey), std::move(row.message)});
  kindIndexes_.insert(std::move(key), kind);
  return kind;
}

void CVNLogModel::store(CVNLogRow& row) {
  StoredRow stored{arguments_.size(), 0, kindIndexOf(row)};
  if (row.argument) {
    stored.argumentLength = static_cast<uint32_t>(row.argument->size());
    arguments_.append(reinterpret_cast<const char16_t*>(row.argument->utf16()),
                      static_cast<size_t>(row.argument->size()));
  } else {
    stored.kind |= kNoArgument;
  }
  rows_.push_back(stored);
}

void CVNLogModel::appendRow(CVNLogRow row) {
  const int at = count();
  beginInsertRows(QModelIndex(), at, at);
  store(row);
  endInsertRows();
}

void CVNLogModel::appendRows(std::vector<CVNLogRow> rows) {
  if (rows.empty()) return;
  const int at = count();
  beginInsertRows(QModelIndex(), at, at + static_cast<int>(rows.size()) - 1);
  for (CVNLogRow& row : rows) store(row);
  endInsertRows();
}

std::optional<QString> CVNLogModel::argumentOf(const StoredRow& row) const {
  if (row.kind & kNoArgument) return std::nullopt;
  return QString(reinterpret_cast<const QChar*>(arguments_.data() + row.argumentStart),
                 static_cast<qsizetype>(row.argumentLength));
}

CVNLogRow CVNLogModel::row(int index) const {
  const StoredRow& stored = rows_[static_cast<size_t>(index)];
  const Kind& kind = kindOf(stored);
  return {kind.iconName, kind.messageKey, kind.message, argumentOf(stored)};
}

const QString& CVNLogModel::messageAt(int index) const {
  return kindOf(rows_[static_cast<size_t>(index)]).message;
}

int CVNLogModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : count();
}

QVariant CVNLogModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= count()) return {};
  const StoredRow& stored = rows_[static_cast<size_t>(index.row())];
  const Kind& kind = kindOf(stored);
  switch (role) {
    case Qt::DisplayRole:
    case MessageRole:
      return kind.message;
    case Qt::DecorationRole:
      return CVNImageNamed(kind.iconName);
    case IconNameRole:
      return kind.iconName;
    case MessageKeyRole:
      return kind.messageKey;
    case ArgumentRole: {
      const std::optional<QString> argument = argumentOf(stored);
      return argument ? QVariant(*argument) : QVariant();
    }
    case Qt::ToolTipRole: {
      // The argument may be elided in the view; its whole text is one hover away.
      const std::optional<QString> argument = argumentOf(stored);
      return argument && !argument->isEmpty() ? QVariant(*argument) : QVariant();
    }
    default:
      return {};
  }
}

QHash<int, QByteArray> CVNLogModel::roleNames() const {
  return {{IconNameRole, "icon"}, {MessageRole, "message"}, {ArgumentRole, "path1"}};
}

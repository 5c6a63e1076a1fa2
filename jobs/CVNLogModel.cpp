#include "jobs/CVNLogModel.h"

#include "jobs/CVNImages.h"

void CVNLogBatch::append(uint32_t kind, const std::optional<QString>& argument) {
  if (!argument) {
    rows.push_back({kind, kNoArgument});
    return;
  }
  rows.push_back({kind, static_cast<uint32_t>(argument->size())});
  arguments.append(reinterpret_cast<const char16_t*>(argument->utf16()),
                   static_cast<size_t>(argument->size()));
}

CVNLogModel::CVNLogModel(QObject* parent) : QAbstractListModel(parent) {}

uint32_t CVNLogModel::kindIndexOf(const CVNLogRow& row) {
  auto key = std::make_pair(row.iconName, row.messageKey);
  auto found = kindIndexes_.constFind(key);
  if (found != kindIndexes_.constEnd()) return *found;
  const auto kind = static_cast<uint32_t>(kinds_.size());
  kinds_.push_back({row.iconName, row.messageKey, row.message});
  kindIndexes_.insert(std::move(key), kind);
  return kind;
}

void CVNLogModel::appendRow(CVNLogRow row) {
  const int at = count();
  beginInsertRows(QModelIndex(), at, at);
  StoredRow stored{arguments_.size(), 0, kindIndexOf(row)};
  if (row.argument) {
    stored.argumentLength = static_cast<uint32_t>(row.argument->size());
    arguments_.append(reinterpret_cast<const char16_t*>(row.argument->utf16()),
                      stored.argumentLength);
  } else {
    stored.kind |= kNoArgument;
  }
  rows_.push_back(stored);
  endInsertRows();
}

void CVNLogModel::appendRows(const CVNLogBatch& batch) {
  if (batch.rows.empty()) return;
  // Each kind of the batch is looked up once, not once per row.
  constexpr uint32_t kUnknown = 0xFFFFFFFFu;
  std::vector<uint32_t> kinds(batch.kinds.size(), kUnknown);
  const int at = count();
  beginInsertRows(QModelIndex(), at, at + static_cast<int>(batch.rows.size()) - 1);
  uint64_t argumentStart = arguments_.size();
  arguments_.append(batch.arguments.data(), batch.arguments.size());
  for (const CVNLogBatch::Row& row : batch.rows) {
    uint32_t& kind = kinds[row.kind];
    if (kind == kUnknown) kind = kindIndexOf(batch.kinds[row.kind]);
    if (row.argumentLength == CVNLogBatch::kNoArgument) {
      rows_.push_back({argumentStart, 0, kind | kNoArgument});
    } else {
      rows_.push_back({argumentStart, row.argumentLength, kind});
      argumentStart += row.argumentLength;
    }
  }
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

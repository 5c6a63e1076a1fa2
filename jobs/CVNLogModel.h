// The rows a job has logged, in logging order: icon name, message key, localised
// message and an optional argument. Appended to on the main thread only.
#pragma once

#include <QAbstractListModel>
#include <QHash>
#include <QString>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "jobs/CVNPagedArray.h"

struct CVNLogRow {
  QString iconName;
  QString messageKey;
  QString message;  // the localised text of messageKey
  std::optional<QString> argument;
};

// Rows on their way to a model, a few words each: a row is the index of its
// kind (icon, key and message, shared by its rows) and the length of its
// argument; the arguments lie back to back in one buffer.
struct CVNLogBatch {
  static constexpr uint32_t kNoArgument = 0xFFFFFFFFu;
  struct Row {
    uint32_t kind;            // index into kinds
    uint32_t argumentLength;  // kNoArgument when the row has none
  };
  std::vector<CVNLogRow> kinds;  // their arguments unused
  CVNPagedArray<Row> rows;
  CVNPagedArray<char16_t> arguments;

  void append(uint32_t kind, const std::optional<QString>& argument);
};

class CVNLogModel : public QAbstractListModel {
  Q_OBJECT
 public:
  enum Role {
    IconNameRole = Qt::UserRole + 1,
    MessageKeyRole,
    MessageRole,
    ArgumentRole,  // the argument's text; an invalid QVariant when the row has none
  };

  explicit CVNLogModel(QObject* parent = nullptr);

  // Appends one row. Main thread only.
  void appendRow(CVNLogRow row);
  // Appends the rows of `batch` in their order, as one insertion. Main thread only.
  void appendRows(const CVNLogBatch& batch);

  // The row at `index`, rebuilt from what the model keeps.
  CVNLogRow row(int index) const;
  // The localised message of the row at `index`, without rebuilding the row.
  const QString& messageAt(int index) const;
  int count() const { return static_cast<int>(rows_.size()); }

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QHash<int, QByteArray> roleNames() const override;

 private:
  // What rows share: each distinct icon and key, with the message of its first row.
  struct Kind {
    QString iconName;
    QString messageKey;
    QString message;
  };
  // A row keeps only the index of its kind and where its argument lies in arguments_.
  struct StoredRow {
    uint64_t argumentStart;
    uint32_t argumentLength;
    uint32_t kind;  // kNoArgument set when the row has no argument
  };
  static constexpr uint32_t kNoArgument = 0x80000000u;

  // The index of the kind of `row` (its argument aside), added when it is new.
  uint32_t kindIndexOf(const CVNLogRow& row);
  const Kind& kindOf(const StoredRow& row) const { return kinds_[row.kind & ~kNoArgument]; }
  std::optional<QString> argumentOf(const StoredRow& row) const;

  std::vector<Kind> kinds_;
  QHash<std::pair<QString, QString>, uint32_t> kindIndexes_;
  CVNPagedArray<StoredRow> rows_;
  // Every argument, back to back: one allocation for all rows instead of one each.
  CVNPagedArray<char16_t> arguments_;
};

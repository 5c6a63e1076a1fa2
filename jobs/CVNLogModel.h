// The rows a job has logged, in logging order: icon name, message key, localised
// message and an optional argument. Appended to on the main thread only.
#pragma once

#include <QAbstractListModel>
#include <QString>
#include <optional>
#include <vector>

struct CVNLogRow {
  QString iconName;
  QString messageKey;
  QString message;  // the localised text of messageKey
  std::optional<QString> argument;
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
  // Appends `rows` in their order, as one insertion. Main thread only.
  void appendRows(std::vector<CVNLogRow> rows);

  const CVNLogRow& row(int index) const { return rows_[static_cast<size_t>(index)]; }
  int count() const { return static_cast<int>(rows_.size()); }

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QHash<int, QByteArray> roleNames() const override;

 private:
  std::vector<CVNLogRow> rows_;
};

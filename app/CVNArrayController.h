// An option table with one selected row, offered by a combo box: the model of
// its rows' titles and the selection, kept in step with the box both ways.
#pragma once

#include <QAbstractListModel>
#include <QVariant>

#include "app/CVNOptionTables.h"

class QComboBox;

class CVNArrayController : public QAbstractListModel {
  Q_OBJECT
  Q_PROPERTY(
      int selectionIndex READ selectionIndex WRITE setSelectionIndex NOTIFY selectionIndexChanged)

 public:
  explicit CVNArrayController(QObject* parent = nullptr);

  // Replaces the rows and selects the first one (none when there are none).
  void setContent(CVNOptionTable rows);
  const CVNOptionTable& content() const { return rows_; }

  // The selected row, or -1 for none.
  int selectionIndex() const { return selectionIndex_; }
  // An index outside the rows selects none.
  void setSelectionIndex(int index);
  // The selected row's value under `key`; invalid when nothing is selected.
  QVariant selection(const QString& key) const;
  // Selects the first row whose value under `key` equals `value` (numbers compare
  // by value whatever their type). Returns false, leaving the selection as it
  // was, when no row does.
  bool selectFirstRow(const QString& key, const QVariant& value);

  // Shows the rows' titles in `comboBox` and keeps its current row and the
  // selection equal, whichever of the two changes.
  void bindComboBox(QComboBox* comboBox);

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  // The "title" for the display and tool-tip roles.
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;

 signals:
  void selectionIndexChanged();

 private:
  CVNOptionTable rows_;
  int selectionIndex_ = -1;
};

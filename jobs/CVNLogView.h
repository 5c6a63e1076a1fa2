// The list of a job's log rows: icon, message and argument in aligned columns.
// Usable as a promoted widget in the jobs' interface files.
#pragma once

#include <QHash>
#include <QListView>
#include <QTimer>

class CVNLogView : public QListView {
  Q_OBJECT
 public:
  explicit CVNLogView(QWidget* parent = nullptr);

  // Shows the rows of `model` (a CVNLogModel, or any model with its roles) and
  // keeps showing the newest as long as the user stays at the bottom; shown
  // again, or for the first time, it is at the bottom unless the user had
  // scrolled away.
  void setModel(QAbstractItemModel* model) override;

  // Width of the message column: the widest message seen so far.
  int messageColumnWidth() const { return messageColumnWidth_; }

 protected:
  void changeEvent(QEvent* event) override;
  void showEvent(QShowEvent* event) override;
  void hideEvent(QHideEvent* event) override;

 private:
  void rowsAboutToBeAdded();
  void rowsAdded(int first, int last);
  void measureMessages(int first, int last);
  void remeasure();
  bool isAtBottom() const;

  // Widths of the distinct messages, so that each row costs one look-up.
  QHash<QString, int> messageWidths_;
  int messageColumnWidth_ = 0;
  bool followPending_ = false;
  // Whether to follow the bottom once shown: the view had left it there when
  // hidden, or was never shown.
  bool followsWhenShown_ = true;
  // Follows the bottom once per burst of rows rather than once per row.
  QTimer followTimer_;
  QList<QMetaObject::Connection> modelConnections_;
};

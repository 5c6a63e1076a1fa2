// The log window of every job: a top-level window listing the job's rows.
#pragma once

#include <QWidget>

class CVNLogView;
class QAbstractItemModel;

class CVNLogWindow : public QWidget {
  Q_OBJECT
 public:
  // Lists the rows of `model`, which must outlive the window.
  explicit CVNLogWindow(QAbstractItemModel* model, QWidget* parent = nullptr);

  CVNLogView* logView() const { return view_; }

 private:
  CVNLogView* view_;
};

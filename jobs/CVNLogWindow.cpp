#include "jobs/CVNLogWindow.h"

#include <QVBoxLayout>

#include "jobs/CVNLogView.h"

CVNLogWindow::CVNLogWindow(QAbstractItemModel* model, QWidget* parent)
    : QWidget(parent, Qt::Window), view_(new CVNLogView(this)) {
  // Rows are picked as in any list: with Shift and Ctrl, several at once.
  view_->setSelectionMode(QAbstractItemView::ExtendedSelection);
  view_->setModel(model);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(view_);
  resize(640, 360);
}

// One job's tile in the main window's list: shows the job's status, result and
// progress as they change, and offers to cancel the running job (after asking),
// to reveal its output and to show its log.
#pragma once

#include <QFrame>
#include <QMetaObject>
#include <QPointer>
#include <memory>

#include "app/CVNYesNoAlert.h"

class CVNOperation;
class QAbstractButton;
class QTimer;
namespace Ui {
class CVNCollectionViewItem;
}

class CVNCollectionViewItem : public QFrame {
  Q_OBJECT
 public:
  // A tile for `representedObject` whose confirmation shows on `window`. Main thread.
  CVNCollectionViewItem(std::shared_ptr<CVNOperation> representedObject, QWidget* window,
                        QWidget* parent = nullptr);
  // Ends an open confirmation as "No" first.
  ~CVNCollectionViewItem() override;

  const std::shared_ptr<CVNOperation>& representedObject() const { return operation_; }
  QWidget* window() const { return window_; }

  // The open confirmation, or null.
  CVNYesNoAlert* cancelAlert() const { return cancelAlert_; }

  // The controls, for the window's keyboard order and for tests.
  QAbstractButton* cancelButton() const;
  QAbstractButton* showInFinderButton() const;
  QAbstractButton* showDetailButton() const;

 public slots:
  // Asks whether to cancel the running job; nothing for a waiting or finished one.
  void cancel();
  // Reveals the job's output in the file manager.
  void showInFinder();
  // Shows or hides the job's log window.
  void showDetail();
  // Closes an open confirmation as "No", leaving the job alone.
  void endCancelAlert();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void cancelAlertDidEnd(bool confirmed);
  void updateStatus();
  void updateResult();
  void updateProgress();
  void updateAsyncArrows();
  void updateControls();
  void paintAsyncArrows();

  std::unique_ptr<Ui::CVNCollectionViewItem> ui_;
  std::shared_ptr<CVNOperation> operation_;
  QPointer<QWidget> window_;
  QPointer<CVNYesNoAlert> cancelAlert_;
  QMetaObject::Connection didFinishConnection_;
  QTimer* arrowsTimer_;
  int arrowsPhase_ = 0;
};

// The program's Yes/No confirmation: a warning with a title and a message, "No"
// first and the default (also on Escape), "Yes" second. Used for quitting and
// for cancelling a job.
#pragma once

#include <QMessageBox>

class QAbstractButton;

class CVNYesNoAlert : public QMessageBox {
  Q_OBJECT
 public:
  // Texts from the localisation keys `titleKey` and `messageKey`. Not shown yet;
  // the caller picks the modality.
  CVNYesNoAlert(const char* titleKey, const char* messageKey, QWidget* parent = nullptr);

  QAbstractButton* noButton() const { return noButton_; }
  QAbstractButton* yesButton() const { return yesButton_; }
  // True once the alert has ended through "Yes".
  bool isConfirmed() const { return clickedButton() == yesButton_; }

 private:
  QAbstractButton* noButton_;
  QAbstractButton* yesButton_;
};

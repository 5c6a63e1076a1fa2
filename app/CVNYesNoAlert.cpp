#include "app/CVNYesNoAlert.h"

#include <QPushButton>

#include "jobs/CVNLocalization.h"

CVNYesNoAlert::CVNYesNoAlert(const char* titleKey, const char* messageKey, QWidget* parent)
    : QMessageBox(parent) {
  setIcon(QMessageBox::Warning);
  setWindowTitle(QStringLiteral("Corvana"));
  setText(CVNLocalizedString(titleKey));
  setInformativeText(CVNLocalizedString(messageKey));
  // Wide enough that a sentence does not break after every few words.
  setStyleSheet(QStringLiteral(
      "QLabel#qt_msgbox_label, QLabel#qt_msgbox_informativelabel { min-width: 22em; }"));
  QPushButton* no = addButton(CVNLocalizedString("No"), QMessageBox::RejectRole);
  yesButton_ = addButton(CVNLocalizedString("Yes"), QMessageBox::AcceptRole);
  noButton_ = no;
  setDefaultButton(no);
  setEscapeButton(no);
}

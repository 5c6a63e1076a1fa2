// The preferences window: edits the nine registered preferences, showing the
// application controller's option tables by their titles. Every change is
// stored at once, and values stored elsewhere show while it is open.
#pragma once

#include <QWidget>
#include <memory>
#include <utility>
#include <vector>

class CVNAppController;
class CVNPreferencesBinding;
class QCheckBox;
class QComboBox;
namespace Ui {
class CVNPreferencesWindow;
}

class CVNPreferencesWindow : public QWidget {
  Q_OBJECT
 public:
  // A hidden window whose combo boxes list `controller`'s value tables.
  explicit CVNPreferencesWindow(CVNAppController* controller, QWidget* parent = nullptr);
  ~CVNPreferencesWindow() override;

  // Shows the stored values, then brings the window to the front.
  void showWindow();
  // Reads every control's value back from the store, storing nothing.
  void revert();

  QComboBox* compressionComboBox() const;
  QComboBox* windowsLanguageComboBox() const;
  QComboBox* characterEscapingComboBox() const;
  // The check box that edits `key`, or null.
  QCheckBox* checkBoxForKey(const QString& key) const;

 private:
  std::unique_ptr<Ui::CVNPreferencesWindow> ui_;
  CVNPreferencesBinding* binding_;
  // The check boxes by the key they edit.
  std::vector<std::pair<const char*, QCheckBox*>> checkBoxes_;
};

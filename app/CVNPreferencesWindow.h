// The preferences window: edits the nine registered preferences, showing the
// application controller's option tables by their titles. Every change is
// stored at once.
#pragma once

#include <QWidget>
#include <memory>

class CVNAppController;
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
  // Reads every control's value back from the store.
  void revert();

  QComboBox* compressionComboBox() const;
  QComboBox* windowsLanguageComboBox() const;
  QComboBox* characterEscapingComboBox() const;
  // The check box that edits `key`, or null.
  QCheckBox* checkBoxForKey(const QString& key) const;

 private:
  struct ChoiceBinding {
    QComboBox* comboBox;
    const char* key;
    const char* valueKey;  // the table rows' value that the key stores
  };
  struct CheckBinding {
    QCheckBox* checkBox;
    const char* key;
    bool storesInteger;  // 1 or 0; else a Boolean
  };

  std::unique_ptr<Ui::CVNPreferencesWindow> ui_;
  std::vector<ChoiceBinding> choices_;
  std::vector<CheckBinding> checks_;
  bool reverting_ = false;
};

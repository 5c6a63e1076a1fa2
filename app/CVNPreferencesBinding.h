// Ties preference controls to the preferences store for every window that edits
// them: one label per key, changes stored at once, values stored elsewhere shown.
#pragma once

#include <QObject>
#include <QString>
#include <vector>

#include "app/CVNOptionTables.h"

class QCheckBox;
class QComboBox;
class QLabel;

class CVNPreferencesBinding : public QObject {
  Q_OBJECT
 public:
  // Binds nothing yet; follows the application's store as it is now. Main thread.
  explicit CVNPreferencesBinding(QObject* parent = nullptr);

  // `comboBox` offers `rows` by their titles and `label` names it; picking a row
  // stores the row's value under `key`, one of "DefaultCompression",
  // "DefaultWindowsLanguage" and "DefaultCharacterEscaping". A stored value that
  // no row has shows as no row.
  void bindComboBox(const char* key, QComboBox* comboBox, QLabel* label,
                    const CVNOptionTable& rows);
  // `checkBox`, named after `key` (any other registered preference), stores on
  // and off under it: 1 and 0 for the "ReportsOnlyWarnings..." and extraction
  // keys, which count as on only at 1, and a Boolean for the two others.
  void bindCheckBox(const char* key, QCheckBox* checkBox);

  // Shows every stored value again. Showing stores nothing, so that a registered
  // default is not written by looking at it.
  void revert();

  // The label text of `key`'s control, the same wherever it is edited.
  static QString labelForKey(const char* key);

 private:
  struct Binding {
    QString key;
    QComboBox* comboBox = nullptr;  // or
    QCheckBox* checkBox = nullptr;
    bool storesInteger = false;
  };

  void show(const Binding& binding);

  std::vector<Binding> bindings_;
  // Set while controls are filled from the store.
  bool reverting_ = false;
};

// The main interface loaded over a scratch preferences store, with quitting
// counted instead of ending the test program, and small archives to feed it.
#pragma once

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QLabel>
#include <QMainWindow>
#include <QMessageBox>
#include <QPushButton>
#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "AppTestSupport.h"
#include "HeldOperation.h"
#include "app/CVNAppController.h"
#include "app/CVNCollectionView.h"
#include "app/CVNCollectionViewItem.h"
#include "app/CVNMainMenu.h"
#include "app/CVNOperationsController.h"
#include "app/CVNUserDefaults.h"
#include "jobs/CVNLocalization.h"
#include "jobs/CVNOperationQueue.h"
#include "support/TestSupport.h"
#include "support/TestZipArchive.h"

class AppTest : public ::testing::Test {
 protected:
  void SetUp() override {
    CVNUseScratchUserDefaults(CVNAppController::registeredDefaults());
    menu_ = CVNMainMenu::load();
    controller()->setTerminationHandler([this] {
      ++terminations_;
      queueEmptyAtTermination_ = controller()->operationQueue()->operations().empty();
    });
  }

  void TearDown() override {
    for (QWidget* w : QApplication::topLevelWidgets()) {
      if (auto* dialog = qobject_cast<QDialog*>(w); dialog && dialog->isVisible()) dialog->reject();
    }
    for (const auto& held : held_) held->release();
    menu_.reset();
    CVNSpinUntil([] { return false; }, 20);
  }

  CVNAppController* controller() const { return menu_->appController(); }
  CVNOperationsController* list() const { return menu_->operationsController(); }
  std::shared_ptr<CVNOperation> job(int index) const {
    return list()->arrangedObjects()[static_cast<size_t>(index)];
  }

  // A held job put into service through the controller.
  std::shared_ptr<HeldOperation> addHeld(const QString& name = QStringLiteral("/tmp/held")) {
    auto held = std::make_shared<HeldOperation>(name);
    held_.push_back(held);
    controller()->addOperation(held);
    return held;
  }

  // Writes an archive of stored entries; `damaged` spoils the data of the first.
  std::string writeZip(const std::string& name,
                       const std::vector<std::pair<std::string, std::string>>& entries,
                       bool damaged = false) {
    corvana_test::TestZipBuilder builder;
    for (const auto& [entry, data] : entries) builder.add(entry, data);
    corvana_test::Bytes bytes = builder.archive();
    if (damaged) {
      const std::string& data = entries.front().second;
      auto at = std::search(bytes.begin(), bytes.end(), data.begin(), data.end());
      if (at != bytes.end()) *at ^= 0x20;
    }
    const std::string path = dir_ / name;
    corvana_test::writeFile(path, bytes);
    return path;
  }
  std::string writeText(const std::string& name, const std::string& text = "not an archive") {
    const std::string path = dir_ / name;
    corvana_test::writeFile(path, text);
    return path;
  }

  // Every listed job has finished and the main thread has run all it posted.
  bool allFinished() const {
    for (const auto& operation : list()->arrangedObjects()) {
      if (!operation->isFinished()) return false;
    }
    return controller()->operationQueue()->operations().empty();
  }

  // The visible settings sheet, or null.
  static QDialog* visibleSheet() {
    for (QWidget* w : QApplication::allWidgets()) {
      auto* dialog = qobject_cast<QDialog*>(w);
      if (dialog && dialog->isVisible() && !qobject_cast<QMessageBox*>(dialog)) return dialog;
    }
    return nullptr;
  }

  static QAbstractButton* buttonNamed(QMessageBox* box, const char* key) {
    for (QAbstractButton* button : box->buttons()) {
      if (button->text() == CVNLocalizedString(key)) return button;
    }
    return nullptr;
  }

  corvana_test::TempDir dir_;
  std::unique_ptr<CVNMainMenu> menu_;
  std::vector<std::shared_ptr<HeldOperation>> held_;
  int terminations_ = 0;
  bool queueEmptyAtTermination_ = false;
};

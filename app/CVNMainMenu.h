// The main interface: the main window with its job list and drop target, the
// menu, the preferences window and the application controller, connected to
// each other as one unit. Owns them all.
#pragma once

#include <QMainWindow>
#include <memory>

class CVNAppController;
class CVNCollectionView;
class CVNDraggableScrollView;
class CVNOperationsController;
class CVNPreferencesWindow;
class QAction;
class QPushButton;
namespace Ui {
class MainMenu;
}

class CVNMainMenu {
 public:
  // Builds every object, connects outlets and actions, then runs the
  // controller's awakeFromNib (which shows the window). Needs a QApplication.
  static std::unique_ptr<CVNMainMenu> load();
  // The controller goes first: it drains the jobs while the window still exists.
  ~CVNMainMenu();

  CVNAppController* appController() const { return appController_.get(); }
  QMainWindow* window() const { return window_.get(); }
  CVNOperationsController* operationsController() const { return operationsController_.get(); }
  CVNDraggableScrollView* collectionScrollView() const;
  CVNCollectionView* collectionView() const;
  CVNPreferencesWindow* preferencesWindow() const { return preferencesWindow_.get(); }
  QPushButton* clearButton() const;
  QAction* clearAction() const;
  QAction* quitAction() const;
  QAction* preferencesAction() const;
  QAction* checkForUpdatesAction() const;

 private:
  CVNMainMenu();

  std::unique_ptr<Ui::MainMenu> ui_;
  std::unique_ptr<QMainWindow> window_;
  std::unique_ptr<CVNOperationsController> operationsController_;
  std::unique_ptr<CVNPreferencesWindow> preferencesWindow_;
  std::unique_ptr<CVNAppController> appController_;
};

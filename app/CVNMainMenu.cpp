#include "app/CVNMainMenu.h"

#include <QAction>
#include <QPushButton>

#include "app/CVNAppController.h"
#include "app/CVNCollectionView.h"
#include "app/CVNDraggableScrollView.h"
#include "app/CVNOperationsController.h"
#include "app/CVNPreferencesWindow.h"
#include "jobs/CVNImages.h"
#include "jobs/CVNLocalization.h"
#include "ui_MainMenu.h"

CVNMainMenu::CVNMainMenu() : ui_(std::make_unique<Ui::MainMenu>()) {}

CVNMainMenu::~CVNMainMenu() {
  appController_.reset();
  preferencesWindow_.reset();
}

std::unique_ptr<CVNMainMenu> CVNMainMenu::load() {
  CVNAppController::initialize();
  std::unique_ptr<CVNMainMenu> menu(new CVNMainMenu());
  menu->window_ = std::make_unique<QMainWindow>();
  QMainWindow* window = menu->window_.get();
  Ui::MainMenu& ui = *menu->ui_;
  ui.setupUi(window);
  window->setWindowTitle(QStringLiteral("Corvana"));
  window->setWindowIcon(CVNImageNamed(QStringLiteral("corvana.png")));
  ui.fileMenu->setTitle(CVNLocalizedString("メニュー:ファイル"));
  ui.editMenu->setTitle(CVNLocalizedString("メニュー:編集"));
  ui.helpMenu->setTitle(CVNLocalizedString("メニュー:ヘルプ"));
  ui.clearAction->setText(CVNLocalizedString("メニュー:項目:クリア"));
  ui.clearButton->setText(CVNLocalizedString("メインウインドウ:ボタン:クリア"));
  ui.quitAction->setText(CVNLocalizedString("メニュー:項目:終了"));
  ui.preferencesAction->setText(CVNLocalizedString("メニュー:項目:環境設定..."));
  ui.checkForUpdatesAction->setText(CVNLocalizedString("メニュー:項目:アップデートを確認..."));

  menu->operationsController_ = std::make_unique<CVNOperationsController>();
  menu->appController_ = std::make_unique<CVNAppController>();
  CVNAppController* controller = menu->appController_.get();
  menu->preferencesWindow_ = std::make_unique<CVNPreferencesWindow>(controller);

  // Outlets.
  controller->setWindow(window);
  controller->setOperationsController(menu->operationsController_.get());
  controller->setCollectionView(ui.collectionScrollView);
  ui.collectionScrollView->setAppController(controller);
  ui.collectionView->setContent(menu->operationsController_.get(), window);

  // Actions.
  QObject::connect(ui.clearAction, &QAction::triggered, controller,
                   &CVNAppController::clearAllOperations);
  QObject::connect(ui.clearButton, &QPushButton::clicked, controller,
                   &CVNAppController::clearAllOperations);
  // Quitting is asked for from every window of the program, not only the main one.
  ui.quitAction->setShortcutContext(Qt::ApplicationShortcut);
  QObject::connect(ui.quitAction, &QAction::triggered, controller, &CVNAppController::terminate);
  QObject::connect(ui.checkForUpdatesAction, &QAction::triggered, controller,
                   &CVNAppController::checkForUpdates);
  CVNPreferencesWindow* preferences = menu->preferencesWindow_.get();
  QObject::connect(ui.preferencesAction, &QAction::triggered, preferences,
                   &CVNPreferencesWindow::showWindow);

  controller->awakeFromNib();
  return menu;
}

CVNDraggableScrollView* CVNMainMenu::collectionScrollView() const {
  return ui_->collectionScrollView;
}
CVNCollectionView* CVNMainMenu::collectionView() const { return ui_->collectionView; }
QPushButton* CVNMainMenu::clearButton() const { return ui_->clearButton; }
QAction* CVNMainMenu::clearAction() const { return ui_->clearAction; }
QAction* CVNMainMenu::quitAction() const { return ui_->quitAction; }
QAction* CVNMainMenu::preferencesAction() const { return ui_->preferencesAction; }
QAction* CVNMainMenu::checkForUpdatesAction() const { return ui_->checkForUpdatesAction; }

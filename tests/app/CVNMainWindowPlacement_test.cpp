// Where the main window opens, on a primary screen whose free area does not
// start at 0,0 (a second monitor to its left). Runs on the offscreen platform
// with the screens of offscreen_screens.json.
#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QMainWindow>
#include <QScreen>

#include "AppTestFixture.h"

namespace {

TEST_F(AppTest, MainWindowOpensCentredOnThePrimaryScreensFreeArea) {
  const QScreen* screen = QGuiApplication::primaryScreen();
  ASSERT_NE(screen, nullptr);
  const QRect available = screen->availableGeometry();
  ASSERT_EQ(available, QRect(1280, 200, 1600, 900))
      << "run with QT_QPA_PLATFORM=offscreen:configfile=tests/app/offscreen_screens.json";
  const QRect frame = menu_->window()->frameGeometry();
  EXPECT_EQ(frame.center().x(), available.center().x()) << frame.x();
  EXPECT_EQ(frame.center().y(), available.center().y()) << frame.y();
}

}  // namespace

// One QApplication per test program, on the offscreen platform unless the
// environment names another. The preferences live in a scratch store for the
// whole run, never in the user's own.
#include <gtest/gtest.h>

#include <QApplication>
#include <QStandardPaths>

#include "AppTestSupport.h"
#include "jobs/CVNLocalization.h"

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QStandardPaths::setTestModeEnabled(true);
  QApplication app(argc, argv);
  CVNInstallLocalization(QStringLiteral("en"));
  CVNUseScratchUserDefaults();
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}

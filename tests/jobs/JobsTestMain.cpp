// One QApplication per test program, on the offscreen platform unless the
// environment names another (xvfb-run for a real X server).
#include <gtest/gtest.h>

#include <QApplication>
#include <clocale>

#include "jobs/CVNLocalization.h"

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  CVNInstallLocalization(QStringLiteral("en"));
  // The C library's texts in English too, whatever the environment says.
  std::setlocale(LC_MESSAGES, "C");
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}

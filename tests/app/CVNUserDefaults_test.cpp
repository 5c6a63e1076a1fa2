#include "app/CVNUserDefaults.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <memory>

namespace {

std::unique_ptr<CVNUserDefaults> StoreAt(const QString& path) {
  return std::make_unique<CVNUserDefaults>(std::make_unique<QSettings>(path, QSettings::IniFormat));
}

// What the reads give, both for the value as set and for the value read back
// from the file (where QSettings hands every value back as text).
TEST(CVNUserDefaults, ReadsNumbersAndBooleansStoredOrRegistered) {
  struct Case {
    const char* name;
    QVariant registered;  // invalid: none
    QVariant stored;      // invalid: none
    int64_t integer;
    bool boolean;
  };
  const std::vector<Case> cases = {
      {"missing", {}, {}, 0, false},
      {"registered only", -1, {}, -1, true},
      {"stored over registered", -1, 5, 5, true},
      {"stored zero over registered one", 1, 0, 0, false},
      {"Boolean true", {}, true, 1, true},
      {"Boolean false", {}, false, 0, false},
      {"64-bit", {}, qint64(1) << 40, qint64(1) << 40, true},
      {"negative", {}, qint64(-1), -1, true},
      {"fraction", {}, 2.75, 2, true},
      {"text number", {}, QStringLiteral("932"), 932, true},
      {"unreadable text", {}, QStringLiteral("abc"), 0, false},
  };
  QTemporaryDir folder;
  int n = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const QString path = folder.filePath(QStringLiteral("%1.ini").arg(++n));
    {
      auto defaults = StoreAt(path);
      if (c.registered.isValid()) defaults->registerDefaults({{QStringLiteral("k"), c.registered}});
      if (c.stored.isValid()) defaults->setObject(c.stored, QStringLiteral("k"));
      EXPECT_EQ(defaults->integerForKey(QStringLiteral("k")), c.integer);
      EXPECT_EQ(defaults->boolForKey(QStringLiteral("k")), c.boolean);
    }
    auto reread = StoreAt(path);
    if (c.registered.isValid()) reread->registerDefaults({{QStringLiteral("k"), c.registered}});
    EXPECT_EQ(reread->integerForKey(QStringLiteral("k")), c.integer) << "read back";
    EXPECT_EQ(reread->boolForKey(QStringLiteral("k")), c.boolean) << "read back";
  }
}

TEST(CVNUserDefaults, RegisteredValuesAnswerAgainAfterRemovalAndAreNeverStored) {
  QTemporaryDir folder;
  auto defaults = StoreAt(folder.filePath(QStringLiteral("d.ini")));
  defaults->registerDefaults({{QStringLiteral("DefaultCharacterEscaping"), 9u}});
  defaults->registerDefaults({{QStringLiteral("DefaultCompression"), -1}});
  EXPECT_EQ(defaults->unsignedIntegerForKey(QStringLiteral("DefaultCharacterEscaping")), 9u);
  EXPECT_FALSE(defaults->settings().contains(QStringLiteral("DefaultCharacterEscaping")));
  defaults->setObject(1, QStringLiteral("DefaultCharacterEscaping"));
  EXPECT_EQ(defaults->unsignedIntegerForKey(QStringLiteral("DefaultCharacterEscaping")), 1u);
  defaults->removeObjectForKey(QStringLiteral("DefaultCharacterEscaping"));
  EXPECT_EQ(defaults->unsignedIntegerForKey(QStringLiteral("DefaultCharacterEscaping")), 9u);
  EXPECT_EQ(defaults->integerForKey(QStringLiteral("DefaultCompression")), -1);
}

}  // namespace

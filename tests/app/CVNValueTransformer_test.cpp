#include "app/CVNValueTransformer.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>

#include "app/CVNArchiveEmptyFolderValueTransformer.h"
#include "app/CVNArchiveIndividuallyValueTransformer.h"
#include "app/CVNIsFilledValueTransformer.h"
#include "jobs/CVNLocalization.h"

namespace {

struct Case {
  const char* name;
  std::function<std::unique_ptr<CVNValueTransformer>()> make;
  QVariant value;
  QVariant expected;
};

TEST(CVNValueTransformer, TransformsAbsentAndPresentValues) {
  const auto individually = [] {
    return std::make_unique<CVNArchiveIndividuallyValueTransformer>();
  };
  const auto emptyFolder = [] { return std::make_unique<CVNArchiveEmptyFolderValueTransformer>(); };
  const auto isFilled = [] { return std::make_unique<CVNIsFilledValueTransformer>(); };
  const QVariant yes = CVNLocalizedString("Yes");
  const QVariant no = CVNLocalizedString("No");
  const std::vector<Case> cases = {
      {"individually absent", individually, QVariant(), no},
      {"individually true", individually, true, yes},
      {"individually false", individually, false, no},
      {"individually number", individually, 1, yes},
      {"empty folder absent", emptyFolder, QVariant(), no},
      {"empty folder true", emptyFolder, true, yes},
      {"empty folder false", emptyFolder, false, no},
      {"filled absent", isFilled, QVariant(), false},
      {"filled null text", isFilled, QString(), false},
      {"filled empty text", isFilled, QStringLiteral(""), false},
      {"filled one character", isFilled, QStringLiteral("x"), true},
      {"filled Japanese", isFilled, QStringLiteral("日本"), true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const QVariant result = c.make()->transformedValue(c.value);
    EXPECT_EQ(result, c.expected);
    EXPECT_EQ(result.typeId(), c.expected.typeId());
  }
  EXPECT_FALSE(CVNValueTransformer::allowsReverseTransformation());
}

TEST(CVNValueTransformer, LooksYesAndNoUpAtEachCall) {
  CVNArchiveIndividuallyValueTransformer transformer;
  CVNInstallLocalization(QStringLiteral("ja"));
  const QString japanese = transformer.transformedValue(true).toString();
  EXPECT_EQ(japanese, CVNLocalizedString("Yes"));
  CVNInstallLocalization(QStringLiteral("en"));
  EXPECT_EQ(transformer.transformedValue(true).toString(), CVNLocalizedString("Yes"));
  EXPECT_NE(transformer.transformedValue(true).toString(), japanese);
}

}  // namespace

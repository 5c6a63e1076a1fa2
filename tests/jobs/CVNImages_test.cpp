// The images are built into the program, at single and double size.
#include "jobs/CVNImages.h"

#include <gtest/gtest.h>

#include <QImage>
#include <ostream>

namespace {

struct ImageCase {
  const char* name;
  int size;
};

void PrintTo(const ImageCase& c, std::ostream* out) { *out << c.name; }

class CVNImagesTest : public ::testing::TestWithParam<ImageCase> {};

// At least a quarter of the picture is drawn (not transparent).
bool IsDrawn(const QImage& image) {
  int opaque = 0;
  for (int y = 0; y < image.height(); ++y) {
    for (int x = 0; x < image.width(); ++x) opaque += qAlpha(image.pixel(x, y)) > 128;
  }
  return opaque * 4 >= image.width() * image.height();
}

TEST_P(CVNImagesTest, IsEmbeddedAndDrawn) {
  const QString name = QString::fromLatin1(GetParam().name);
  const QPixmap image = CVNImageNamed(name);
  ASSERT_FALSE(image.isNull()) << GetParam().name;
  EXPECT_EQ(image.size(), QSize(GetParam().size, GetParam().size));
  EXPECT_TRUE(IsDrawn(image.toImage()));
  EXPECT_FALSE(CVNIconNamed(name).isNull());
}

INSTANTIATE_TEST_SUITE_P(Images, CVNImagesTest,
                         ::testing::Values(ImageCase{"box.png", 16}, ImageCase{"box_okay.png", 16},
                                           ImageCase{"gem_okay.png", 16},
                                           ImageCase{"warning_triangle.png", 16},
                                           ImageCase{"error_small.png", 16},
                                           ImageCase{"corvana.png", 256}));

TEST(CVNImagesNamedTest, HasADoubleSizeForHighDensityScreens) {
  for (const char* name : {"box", "box_okay", "gem_okay", "warning_triangle", "error_small"}) {
    const QImage large(QStringLiteral(":/images/%1@2x.png").arg(QString::fromLatin1(name)));
    EXPECT_EQ(large.size(), QSize(32, 32)) << name;
    EXPECT_EQ(large.devicePixelRatio(), 2.0) << name;
  }
}

TEST(CVNImagesNamedTest, AnUnknownNameGivesNothing) {
  EXPECT_TRUE(CVNImageNamed(QStringLiteral("nothing.png")).isNull());
  EXPECT_TRUE(CVNIconNamed(QStringLiteral("nothing.png")).isNull());
}

}  // namespace

// Byte counts as text in two locales with different separators.
#include "jobs/CVNStringFromByteCount.h"

#include <gtest/gtest.h>

#include <QLocale>
#include <limits>
#include <ostream>

namespace {

struct ByteCountCase {
  uint64_t count;
  const char* english;  // en_US: "," groups, "." marks decimals
  const char* german;   // de_DE: "." groups, "," marks decimals
};

void PrintTo(const ByteCountCase& c, std::ostream* out) { *out << c.count; }

class CVNStringFromByteCountTest : public ::testing::TestWithParam<ByteCountCase> {
 protected:
  void TearDown() override {
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
  }
};

TEST_P(CVNStringFromByteCountTest, FormatsInTheUsersLocale) {
  QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
  EXPECT_EQ(CVNStringFromByteCount(GetParam().count), QString::fromUtf8(GetParam().english));
  QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
  EXPECT_EQ(CVNStringFromByteCount(GetParam().count), QString::fromUtf8(GetParam().german));
}

INSTANTIATE_TEST_SUITE_P(
    Counts, CVNStringFromByteCountTest,
    ::testing::Values(ByteCountCase{0, "0 B", "0 B"}, ByteCountCase{999, "999 B", "999 B"},
                      ByteCountCase{1000, "1 KB", "1 KB"},
                      // Half up on the exact quotient.
                      ByteCountCase{1050, "1.1 KB", "1,1 KB"}, ByteCountCase{1049, "1 KB", "1 KB"},
                      ByteCountCase{1250, "1.3 KB", "1,3 KB"},
                      ByteCountCase{1234567, "1.2 MB", "1,2 MB"},
                      // The unit is chosen before rounding.
                      ByteCountCase{999999, "1,000 KB", "1.000 KB"},
                      ByteCountCase{999949, "999.9 KB", "999,9 KB"},
                      ByteCountCase{1000000, "1 MB", "1 MB"},
                      // Half up holds where the remainder no longer fits ten times in 32 bits.
                      ByteCountCase{1050000000000000000ull, "1.1 EB", "1,1 EB"},
                      ByteCountCase{1049999999999999999ull, "1 EB", "1 EB"},
                      ByteCountCase{9999999999999999999ull, "10 EB", "10 EB"},
                      ByteCountCase{std::numeric_limits<uint64_t>::max(), "18.4 EB", "18,4 EB"}));

}  // namespace

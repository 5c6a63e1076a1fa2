#include "jobs/CVNStringFromByteCount.h"

#include <QLocale>
#include <array>

#include "jobs/CVNLocalization.h"

QString CVNStringFromByteCount(uint64_t byteCount) {
  // A 64-bit count stays below 1000^7, so "ZB" and "YB" never come up.
  static constexpr std::array<const char*, 7> kUnits = {"B", "KB", "MB", "GB", "TB", "PB", "EB"};
  size_t unit = 0;
  uint64_t divisor = 1;
  while (unit + 1 < kUnits.size() && byteCount / divisor >= 1000) {
    divisor *= 1000;
    ++unit;
  }

  // Tenths of the exact quotient, rounded half up. The remainder is below
  // 10^18, so ten times it still fits.
  const uint64_t whole = byteCount / divisor;
  const uint64_t remainder = byteCount % divisor;
  uint64_t tenths = remainder * 10 / divisor;
  if ((remainder * 10 % divisor) * 2 >= divisor && divisor > 1) ++tenths;
  const uint64_t rounded = whole * 10 + tenths;

  // "#,##0.#" in the user's locale.
  const QLocale locale;
  QString number = locale.toString(static_cast<qulonglong>(rounded / 10));
  if (rounded % 10 != 0) {
    number += locale.decimalPoint() + locale.toString(static_cast<qulonglong>(rounded % 10));
  }
  return CVNLocalizedStringWithFormat("%1$@ %2$@", {number, QString::fromLatin1(kUnits[unit])});
}

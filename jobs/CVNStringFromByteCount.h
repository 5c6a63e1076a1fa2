// Byte counts as text: "1.2 MB", decimal units, the user's locale's separators.
#pragma once

#include <QString>
#include <cstdint>

// Exact decimal quotient, unit chosen before rounding, half up, "#,##0.#",
// joined with the unit through "%1$@ %2$@".
QString CVNStringFromByteCount(uint64_t byteCount);

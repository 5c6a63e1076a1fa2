// What the extraction job does with special entries and failed entries. The
// settings are plain numbers (they come from the preferences): a value that no
// constant names acts as the one marked "other values".
#pragma once

#include <cstdint>

// Entries named "Thumbs.db" or "Desktop.ini".
enum CVNEntrySpecificToWindowsBehavior : uint64_t {
  CVNEntrySpecificToWindowsBehaviorExcludes = 0,             // skipped silently; other values
  CVNEntrySpecificToWindowsBehaviorExcludesWithWarning = 1,  // skipped with "Skipped"
  CVNEntrySpecificToWindowsBehaviorExtracts = 2,
};

// Entries whose name no candidate encoding decodes. Each is reported first.
enum CVNUnrecognizableFileNameBehavior : uint64_t {
  CVNUnrecognizableFileNameBehaviorContinuousWarning = 0,  // skipped with "Skipped"
  // Extracted under the default file name; other values.
  CVNUnrecognizableFileNameBehaviorContinuousWarningAndExtracts = 1,
  CVNUnrecognizableFileNameBehaviorError = 2,  // the job stops
};

// Entries whose data is damaged (result 3).
enum CVNIncorrectFileDataBehavior : uint64_t {
  CVNIncorrectFileDataBehaviorContinuousWarning = 0,  // reported; other values
  CVNIncorrectFileDataBehaviorError = 1,              // reported, then the job stops
};

// Entries that fail their size or CRC check (result 4); the file stays.
enum CVNVerificationErrorBehavior : uint64_t {
  CVNVerificationErrorBehaviorContinuousWarning = 0,  // reported; other values
  CVNVerificationErrorBehaviorError = 1,              // reported, then the job stops
};

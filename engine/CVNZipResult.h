// The outcome of one entry, shared by the writer, the reader and the codec.
#pragma once

enum CVNZipResult : int {
  CVNZipResultSucceeded = 0,
  CVNZipResultUnsupportedCompressionMethod = 1,
  CVNZipResultSourceMissing = 2,  // writer only
  CVNZipResultDataError = 3,
  CVNZipResultVerificationFailed = 4,
  CVNZipResultPasswordRequired = 5,
};

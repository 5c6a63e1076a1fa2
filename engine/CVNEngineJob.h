// What the engine asks of the job that drives it: whether it was cancelled, and
// to take progress. A missing job (nullptr) is never cancelled and takes none.
#pragma once

#include <cstdint>

#include "engine/io/RVException.h"

class CVNEngineJob {
 public:
  virtual ~CVNEngineJob() = default;
  // May be asked at any time from the worker thread; another thread may set it.
  virtual bool isCancelled() const = 0;
  virtual void increaseCurrentValue(uint64_t byteCount) = 0;
};

// Raises RVOperationCancelledException ("Cancelled") when `job` was cancelled.
inline void CVNRaiseIfCancelled(const CVNEngineJob* job) {
  if (job && job->isCancelled()) RVRaiseOperationCancelled();
}

inline void CVNIncreaseProgress(CVNEngineJob* job, uint64_t byteCount) {
  if (job) job->increaseCurrentValue(byteCount);
}

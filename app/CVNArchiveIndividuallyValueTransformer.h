// Shows a Boolean option of the settings sheet as the localised "Yes" or "No".
#pragma once

#include "app/CVNValueTransformer.h"

class CVNArchiveIndividuallyValueTransformer : public CVNValueTransformer {
 public:
  // The text of "Yes" when `value` is true, else that of "No" (absent: "No"),
  // looked up at each call.
  QVariant transformedValue(const QVariant& value) const override;
};

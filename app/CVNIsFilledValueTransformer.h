// Tells whether a text field holds anything, for controls that depend on it.
#pragma once

#include "app/CVNValueTransformer.h"

class CVNIsFilledValueTransformer : public CVNValueTransformer {
 public:
  // A bool: true when `value` is a text longer than 0; false for an absent value.
  QVariant transformedValue(const QVariant& value) const override;
};

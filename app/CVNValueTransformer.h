// The base of the one-way value transformers that the interface puts between a
// value and the control that shows it.
#pragma once

#include <QVariant>

class CVNValueTransformer {
 public:
  virtual ~CVNValueTransformer() = default;

  // The shown form of `value`; an invalid QVariant stands for an absent value.
  virtual QVariant transformedValue(const QVariant& value) const = 0;
  // The shown form cannot be turned back into the value.
  static constexpr bool allowsReverseTransformation() { return false; }
};

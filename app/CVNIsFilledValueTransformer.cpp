#include "app/CVNIsFilledValueTransformer.h"

QVariant CVNIsFilledValueTransformer::transformedValue(const QVariant& value) const {
  return QVariant(value.isValid() && !value.toString().isEmpty());
}

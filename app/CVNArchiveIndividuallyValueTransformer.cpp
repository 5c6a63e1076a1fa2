#include "app/CVNArchiveIndividuallyValueTransformer.h"

#include "jobs/CVNLocalization.h"

QVariant CVNArchiveIndividuallyValueTransformer::transformedValue(const QVariant& value) const {
  return CVNLocalizedString(value.toBool() ? CVN_KEY("Yes") : CVN_KEY("No"));
}

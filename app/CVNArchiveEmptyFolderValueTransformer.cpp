#include "app/CVNArchiveEmptyFolderValueTransformer.h"

#include "jobs/CVNLocalization.h"

QVariant CVNArchiveEmptyFolderValueTransformer::transformedValue(const QVariant& value) const {
  return CVNLocalizedString(value.toBool() ? CVN_KEY("Yes") : CVN_KEY("No"));
}

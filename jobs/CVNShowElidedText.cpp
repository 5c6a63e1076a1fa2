#include "jobs/CVNShowElidedText.h"

#include <QLabel>
#include <algorithm>

void CVNShowElidedText(QLabel* label, const QString& text, int minimumWidth) {
  label->setToolTip(text);
  label->setAccessibleName(text);
  const int width = std::max(label->width(), minimumWidth);
  label->setText(label->fontMetrics().elidedText(text, Qt::ElideMiddle, width));
}

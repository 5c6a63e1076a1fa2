#include "jobs/RVGrowl.h"

void RVGrowl::notifyWithTitle(const QString&, const QString&) {}

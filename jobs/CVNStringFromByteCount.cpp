#include "jobs/CVNStringFromByteCount.h"

QString CVNStringFromByteCount(uint64_t byteCount) { return QString::number(byteCount) + " B"; }

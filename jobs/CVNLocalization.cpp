#include "jobs/CVNLocalization.h"

#include <QCoreApplication>

QString CVNLocalizedString(const QString& key) { return CVNLocalizedString(key.toUtf8().constData()); }

QString CVNLocalizedString(const char* key) {
  return QCoreApplication::translate("Corvana", key);
}

QString CVNStringWithFormat(const QString& format, const QVariantList& arguments) {
  QString out;
  qsizetype next = 0;
  for (qsizetype i = 0; i < format.size(); ++i) {
    if (format[i] != u'%' || i + 1 >= format.size()) {
      out += format[i];
      continue;
    }
    qsizetype j = i + 1;
    if (format[j] == u'%') {
      out += u'%';
      i = j;
      continue;
    }
    qsizetype index = -1;
    qsizetype k = j;
    while (k < format.size() && format[k].isDigit()) ++k;
    if (k > j && k < format.size() && format[k] == u'$') {
      index = format.mid(j, k - j).toLongLong() - 1;
      j = k + 1;
    }
    while (j < format.size() && (format[j] == u'l' || format[j] == u'q')) ++j;
    if (j >= format.size() || !QStringView(u"@dus").contains(format[j])) {
      out += format[i];
      continue;
    }
    if (index < 0) index = next++;
    if (index < arguments.size()) out += arguments[index].toString();
    i = j;
  }
  return out;
}

QString CVNLocalizedStringWithFormat(const char* key, const QVariantList& arguments) {
  return CVNStringWithFormat(CVNLocalizedString(key), arguments);
}

void CVNInstallLocalization(const QString&) {}

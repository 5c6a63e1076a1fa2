#include "jobs/CVNLocalization.h"

#include <QCoreApplication>
#include <QLocale>
#include <QMutex>
#include <QMutexLocker>
#include <QTranslator>
#include <algorithm>
#include <limits>
#include <memory>
#include <optional>

namespace {

// One parsed conversion: where it ends, which argument it takes (0-based, or
// -1 for the next in order) and how it was written ("@", "lu", ...).
struct Conversion {
  qsizetype end = 0;
  qsizetype index = -1;
  QString spec;
};

// Parses the conversion that starts at format[start] == '%'; none for %% and
// for anything that is not one of ours.
std::optional<Conversion> ParseConversion(const QString& format, qsizetype start) {
  Conversion c;
  qsizetype j = start + 1;
  qsizetype k = j;
  while (k < format.size() && format[k].isDigit()) ++k;
  if (k > j && k < format.size() && format[k] == u'$') {
    bool ok = false;
    qsizetype position = format.mid(j, k - j).toLongLong(&ok);
    if (!ok || position < 1) return std::nullopt;
    c.index = position - 1;
    j = k + 1;
  }
  qsizetype specStart = j;
  if (j < format.size() && format[j] == u'@') {
    c.end = j + 1;
    c.spec = QStringLiteral("@");
    return c;
  }
  // Length: h, hh, l, ll, q, z; then an integer conversion.
  if (j < format.size() && (format[j] == u'q' || format[j] == u'z')) {
    ++j;
  } else {
    for (char16_t length : {u'l', u'h'}) {
      if (j < format.size() && format[j] == length) {
        ++j;
        if (j < format.size() && format[j] == length) ++j;
        break;
      }
    }
  }
  if (j >= format.size() || !QStringView(u"diu").contains(format[j])) return std::nullopt;
  c.end = j + 1;
  c.spec = format.mid(specStart, c.end - specStart);
  return c;
}

QMutex gTableMutex;
std::unique_ptr<QTranslator> gTable;  // guarded by gTableMutex
QString gLanguage;                    // guarded by gTableMutex

}  // namespace

QString CVNLocalizedString(const QString& key) {
  return CVNLocalizedString(key.toUtf8().constData());
}

QString CVNLocalizedString(const char* key) {
  // The key is its own fallback: translate() gives the source text back when
  // no installed table has it.
  return QCoreApplication::translate("Corvana", key);
}

QString CVNStringWithFormat(const QString& format, const QVariantList& arguments) {
  QString out;
  out.reserve(format.size());
  qsizetype next = 0;
  for (qsizetype i = 0; i < format.size(); ++i) {
    if (format[i] != u'%') {
      out += format[i];
      continue;
    }
    if (i + 1 < format.size() && format[i + 1] == u'%') {
      out += u'%';
      ++i;
      continue;
    }
    std::optional<Conversion> c = ParseConversion(format, i);
    if (!c) {
      out += format[i];
      continue;
    }
    qsizetype index = c->index >= 0 ? c->index : next++;
    if (index < arguments.size()) out += arguments[index].toString();
    i = c->end - 1;
  }
  return out;
}

QString CVNLocalizedStringWithFormat(const char* key, const QVariantList& arguments) {
  return CVNStringWithFormat(CVNLocalizedString(key), arguments);
}

QString CVNLocalizedPluralWithFormat(const char* key, qulonglong count,
                                     const QVariantList& arguments) {
  // Qt's plural rules take an int; past its range every language keeps one form.
  const int n = static_cast<int>(std::min<qulonglong>(count, std::numeric_limits<int>::max()));
  return CVNStringWithFormat(QCoreApplication::translate("Corvana", key, nullptr, n), arguments);
}

QStringList CVNFormatPlaceholders(const QString& format) {
  QStringList placeholders;
  qsizetype next = 0;
  for (qsizetype i = 0; i < format.size(); ++i) {
    if (format[i] != u'%') continue;
    if (i + 1 < format.size() && format[i + 1] == u'%') {
      ++i;
      continue;
    }
    std::optional<Conversion> c = ParseConversion(format, i);
    if (!c) continue;
    qsizetype index = c->index >= 0 ? c->index : next++;
    placeholders << QStringLiteral("%1$%2").arg(index + 1).arg(c->spec);
    i = c->end - 1;
  }
  std::sort(placeholders.begin(), placeholders.end());
  return placeholders;
}

void CVNInstallLocalization(const QString& language) {
  QString chosen = language;
  if (chosen.isEmpty()) {
    const QStringList preferred = QLocale().uiLanguages();
    chosen = !preferred.isEmpty() &&
                     (preferred.first() == u"ja" || preferred.first().startsWith(u"ja-") ||
                      preferred.first().startsWith(u"ja_"))
                 ? QStringLiteral("ja")
                 : QStringLiteral("en");
  }
  if (chosen != u"ja") chosen = QStringLiteral("en");

  auto table = std::make_unique<QTranslator>();
  // The tables are built into the program; a failed load is a build fault.
  bool loaded = table->load(QStringLiteral(":/translations/corvana_%1.qm").arg(chosen));
  Q_ASSERT(loaded);
  if (!loaded) qWarning("Corvana: the %s localisation table is missing", qPrintable(chosen));

  QMutexLocker lock(&gTableMutex);
  QCoreApplication::installTranslator(table.get());
  if (gTable) QCoreApplication::removeTranslator(gTable.get());
  gTable = std::move(table);
  gLanguage = chosen;
}

QString CVNInstalledLanguage() {
  QMutexLocker lock(&gTableMutex);
  return gLanguage;
}

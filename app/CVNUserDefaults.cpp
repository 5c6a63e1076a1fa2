#include "app/CVNUserDefaults.h"

#include <cmath>
#include <limits>
#include <optional>
#include <utility>

#include "CVNBundle.h"

namespace {

std::unique_ptr<CVNUserDefaults>& standardStore() {
  static std::unique_ptr<CVNUserDefaults> store;
  return store;
}

// "local.corvana.Corvana" gives the organisation "local.corvana" and the
// application "Corvana": one file under the user's configuration folder.
std::unique_ptr<QSettings> makeStandardSettings() {
  const QString identifier = QString::fromUtf8(CVNBundleIdentifier.data(),
                                               static_cast<qsizetype>(CVNBundleIdentifier.size()));
  const qsizetype dot = identifier.lastIndexOf(u'.');
  return std::make_unique<QSettings>(identifier.left(dot), identifier.mid(dot + 1));
}

// A number from a stored or registered value. QSettings hands back texts for
// everything it read from its file, so texts are read as what they say.
std::optional<double> numberOf(const QVariant& value) {
  if (!value.isValid() || value.isNull()) return std::nullopt;
  switch (value.typeId()) {
    case QMetaType::Bool:
      return value.toBool() ? 1.0 : 0.0;
    case QMetaType::QString: {
      const QString text = value.toString().trimmed();
      if (text.compare(u"true", Qt::CaseInsensitive) == 0 ||
          text.compare(u"yes", Qt::CaseInsensitive) == 0)
        return 1.0;
      if (text.compare(u"false", Qt::CaseInsensitive) == 0 ||
          text.compare(u"no", Qt::CaseInsensitive) == 0)
        return 0.0;
      bool ok = false;
      const qlonglong integer = text.toLongLong(&ok);
      if (ok) return static_cast<double>(integer);
      const double real = text.toDouble(&ok);
      if (ok) return real;
      return std::nullopt;
    }
    default: {
      bool ok = false;
      const double real = value.toDouble(&ok);
      if (ok) return real;
      return std::nullopt;
    }
  }
}

}  // namespace

CVNUserDefaults::CVNUserDefaults(std::unique_ptr<QSettings> settings)
    : settings_(std::move(settings)) {}

CVNUserDefaults::~CVNUserDefaults() = default;

CVNUserDefaults& CVNUserDefaults::standardUserDefaults() {
  auto& store = standardStore();
  if (!store) store = std::make_unique<CVNUserDefaults>(makeStandardSettings());
  return *store;
}

void CVNUserDefaults::setStandardUserDefaults(std::unique_ptr<CVNUserDefaults> defaults) {
  standardStore() = std::move(defaults);
}

void CVNUserDefaults::registerDefaults(const QVariantMap& defaults) {
  for (auto it = defaults.begin(); it != defaults.end(); ++it)
    registered_.insert(it.key(), it.value());
}

QVariant CVNUserDefaults::objectForKey(const QString& key) const {
  QVariant value = settings_->value(key);
  if (value.isValid()) return value;
  return registered_.value(key);
}

void CVNUserDefaults::setObject(const QVariant& value, const QString& key) {
  if (settings_->contains(key) && settings_->value(key) == value) return;
  settings_->setValue(key, value);
  emit objectForKeyChanged(key);
}

void CVNUserDefaults::removeObjectForKey(const QString& key) {
  if (!settings_->contains(key)) return;
  settings_->remove(key);
  emit objectForKeyChanged(key);
}

int64_t CVNUserDefaults::integerForKey(const QString& key) const {
  const QVariant value = objectForKey(key);
  // Whole 64-bit numbers keep every bit; a double would round them.
  if (value.typeId() == QMetaType::LongLong || value.typeId() == QMetaType::Int)
    return value.toLongLong();
  if (value.typeId() == QMetaType::ULongLong || value.typeId() == QMetaType::UInt)
    return static_cast<int64_t>(value.toULongLong());
  if (value.typeId() == QMetaType::QString) {
    bool ok = false;
    const qlonglong integer = value.toString().trimmed().toLongLong(&ok);
    if (ok) return integer;
  }
  const std::optional<double> number = numberOf(value);
  if (!number || !std::isfinite(*number)) return 0;
  if (*number >= 9.2e18) return std::numeric_limits<int64_t>::max();
  if (*number <= -9.2e18) return std::numeric_limits<int64_t>::min();
  return static_cast<int64_t>(*number);
}

uint64_t CVNUserDefaults::unsignedIntegerForKey(const QString& key) const {
  return static_cast<uint64_t>(integerForKey(key));
}

bool CVNUserDefaults::boolForKey(const QString& key) const {
  const std::optional<double> number = numberOf(objectForKey(key));
  return number && *number != 0.0;
}

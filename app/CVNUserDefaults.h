// The preferences store: QSettings under the application's identifier, with
// registered defaults that answer for every key that holds no stored value.
#pragma once

#include <QObject>
#include <QSettings>
#include <QString>
#include <QVariant>
#include <QVariantMap>
#include <cstdint>
#include <memory>

// The preferences' keys.
inline constexpr const char* CVNReportsOnlyWarningsForCreationKey =
    "ReportsOnlyWarningsForCreation";
inline constexpr const char* CVNDefaultCompressionKey = "DefaultCompression";
inline constexpr const char* CVNDefaultArchivesIndividuallyKey = "DefaultArchivesIndividually";
inline constexpr const char* CVNDefaultIgnoresEmptyFoldersKey = "DefaultIgnoresEmptyFolders";
inline constexpr const char* CVNDefaultWindowsLanguageKey = "DefaultWindowsLanguage";
inline constexpr const char* CVNDefaultCharacterEscapingKey = "DefaultCharacterEscaping";
inline constexpr const char* CVNReportsOnlyWarningsForExtractionKey =
    "ReportsOnlyWarningsForExtraction";
inline constexpr const char* CVNContinuesExtractionKey =
    "ContinuesExtractionAsMuchAsPossibleEvenIfThereAreWarnings";
inline constexpr const char* CVNExtractsEntriesSpecificToWindowsKey =
    "ExtractsEntriesSpecificToWindows";
inline constexpr const char* CVNLastCheckForUpdatesKey = "LastCheckForUpdates";

class CVNUserDefaults : public QObject {
  Q_OBJECT
 public:
  // A store over `settings`.
  explicit CVNUserDefaults(std::unique_ptr<QSettings> settings);
  ~CVNUserDefaults() override;

  // The application's store, made on first use: QSettings with the organisation
  // and application taken from the bundle identifier. Main thread.
  static CVNUserDefaults& standardUserDefaults();
  // Puts `defaults` in the place of the application's store (tests use one over a
  // scratch file); none goes back to the user's own on the next use.
  static void setStandardUserDefaults(std::unique_ptr<CVNUserDefaults> defaults);

  // Adds `defaults` to the registered values, replacing earlier ones key by key.
  // Registered values are never written to the store.
  void registerDefaults(const QVariantMap& defaults);

  // The stored value of `key`, else its registered value, else an invalid QVariant.
  QVariant objectForKey(const QString& key) const;
  // Storing the value already stored changes nothing and announces nothing.
  void setObject(const QVariant& value, const QString& key);
  // Afterwards the registered value answers again.
  void removeObjectForKey(const QString& key);

  // The value as a number: a missing or unreadable value gives 0, a Boolean 0 or 1,
  // a fraction its integer part. Stored texts ("5", "true") read as what they say.
  int64_t integerForKey(const QString& key) const;
  // integerForKey() taken as unsigned.
  uint64_t unsignedIntegerForKey(const QString& key) const;
  // The value as a Boolean: a missing value gives false, a number true when not 0.
  bool boolForKey(const QString& key) const;

  QSettings& settings() { return *settings_; }

 signals:
  // The stored value of `key` was set or removed through this store.
  void objectForKeyChanged(const QString& key);

 private:
  std::unique_ptr<QSettings> settings_;
  QVariantMap registered_;
};

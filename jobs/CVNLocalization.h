// Looks displayed texts up by key in the localisation tables (English and
// Japanese) and fills their Cocoa-style formats.
#pragma once

#include <QString>
#include <QStringList>
#include <QVariant>
#include <QVariantList>

// Marks a key that reaches the look-up through a variable or a table, so that
// the key check finds it: CVN_KEY("Log:追加した") is the literal itself.
#define CVN_KEY(key) key

// The text for `key` in the installed table; the key itself when the table lacks it.
// Safe from any thread.
QString CVNLocalizedString(const QString& key);
QString CVNLocalizedString(const char* key);

// Fills a Cocoa-style format: %@ (any value as text), %d, %u, %lu, %qu and the
// other length forms (integers, no grouping), their positional forms (%1$@,
// %2$lu) and %%. A missing argument leaves its placeholder empty; anything else
// after a % is copied as it stands.
QString CVNStringWithFormat(const QString& format, const QVariantList& arguments);

// Looks `key` up, then fills it.
QString CVNLocalizedStringWithFormat(const char* key, const QVariantList& arguments);

// Looks up the form of `key` that agrees with `count` in the installed language
// (English "1 file", "2 files"; Japanese has one form), then fills it. The count
// only chooses the form: a text shows a number through its own placeholders.
// The tables hold such a key as a plural ("numerus") message.
QString CVNLocalizedPluralWithFormat(const char* key, qulonglong count,
                                     const QVariantList& arguments);

// The placeholders of a format, each as "<position>$<conversion>" ("1$@", "2$lu"),
// sorted; unnumbered ones take their position from their order. %% is none.
QStringList CVNFormatPlaceholders(const QString& format);

// Installs the table of `language` ("en", "ja"; anything else counts as "en"),
// or, when empty, of the user's language: Japanese when it leads QLocale's
// uiLanguages, else English. Replaces the table installed before. Needs a
// QCoreApplication; call it on the main thread.
void CVNInstallLocalization(const QString& language = QString());

// The language of the installed table ("en" or "ja"); empty before any install.
QString CVNInstalledLanguage();

// Looks displayed texts up by key in the localisation tables (English and
// Japanese) and fills their Cocoa-style formats.
#pragma once

#include <QString>
#include <QVariant>
#include <QVariantList>

// The text for `key` in the user's language; the key itself when the table lacks it.
QString CVNLocalizedString(const QString& key);
QString CVNLocalizedString(const char* key);

// Fills a Cocoa-style format: %@ (any value as text), %lu, %qu, %d (integers, no
// grouping), their positional forms (%1$@, %2$lu) and %%. A missing argument
// leaves its placeholder empty.
QString CVNStringWithFormat(const QString& format, const QVariantList& arguments);

// Looks `key` up, then fills it.
QString CVNLocalizedStringWithFormat(const char* key, const QVariantList& arguments);

// Installs the table of `language` ("en", "ja"), or of the user's language when
// empty, replacing the one installed before. Needs a QCoreApplication.
void CVNInstallLocalization(const QString& language = QString());

// The rows that the settings sheet and the preferences offer for the compression
// level, the Windows language version and the escaping of characters. Each row is
// a record of named values and its localised "title"; the order is the order shown.
#pragma once

#include <QList>
#include <QVariantMap>

using CVNOptionTable = QList<QVariantMap>;

// "compressionLevel" (qint64): -1 standard, 1 fastest, 9 smallest, 0 stored.
CVNOptionTable CVNCompressionLevelTable();

// "codepage" (qint64): 1252, 932, 949, 936, 950. With `followsSystemLanguages`
// the row -1 (the code page of the user's preferred languages) comes first, as
// the preferences offer it; the settings sheet resolves -1 itself.
CVNOptionTable CVNCodepageTable(bool followsSystemLanguages = false);

// "escapingLevel" (quint64), "triesConvertingToFullwidth" (bool) and
// "characterEscapeFormat" (QString): 1 without fullwidth escaping to "_", 5
// without fullwidth to "(U+%04X)", 9 with fullwidth to "(U+%04X)".
CVNOptionTable CVNEscapingLevelTable();

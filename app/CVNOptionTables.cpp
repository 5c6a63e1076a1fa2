#include "app/CVNOptionTables.h"

#include "jobs/CVNLocalization.h"

namespace {

QVariantMap row(std::initializer_list<std::pair<const char*, QVariant>> values,
                const char* titleKey) {
  QVariantMap map;
  for (const auto& [key, value] : values) map.insert(QString::fromLatin1(key), value);
  map.insert(QStringLiteral("title"), CVNLocalizedString(titleKey));
  return map;
}

}  // namespace

CVNOptionTable CVNCompressionLevelTable() {
  return {
      row({{"compressionLevel", qint64(-1)}}, CVN_KEY("圧縮の種類:標準的な圧縮")),
      row({{"compressionLevel", qint64(1)}}, CVN_KEY("圧縮の種類:スピードを優先")),
      row({{"compressionLevel", qint64(9)}}, CVN_KEY("圧縮の種類:サイズを優先")),
      row({{"compressionLevel", qint64(0)}}, CVN_KEY("圧縮の種類:圧縮しない")),
  };
}

CVNOptionTable CVNCodepageTable(bool followsSystemLanguages) {
  CVNOptionTable table;
  if (followsSystemLanguages)
    table.append(row({{"codepage", qint64(-1)}},
                     CVN_KEY("Windowsの言語バージョン:システム環境設定の言語に準ずる")));
  table.append({
      row({{"codepage", qint64(1252)}},
          CVN_KEY("Windowsの言語バージョン:英語またはその他の言語版")),
      row({{"codepage", qint64(932)}}, CVN_KEY("Windowsの言語バージョン:日本語版")),
      row({{"codepage", qint64(949)}}, CVN_KEY("Windowsの言語バージョン:韓国語版")),
      row({{"codepage", qint64(936)}}, CVN_KEY("Windowsの言語バージョン:簡体字中国語版")),
      row({{"codepage", qint64(950)}}, CVN_KEY("Windowsの言語バージョン:繁体字中国語版")),
  });
  return table;
}

CVNOptionTable CVNEscapingLevelTable() {
  const auto escaping = [](quint64 level, bool fullwidth, const char* format,
                           const char* titleKey) {
    return row({{"escapingLevel", level},
                {"triesConvertingToFullwidth", fullwidth},
                {"characterEscapeFormat", QString::fromLatin1(format)}},
               titleKey);
  };
  return {
      escaping(1, false, "_", CVN_KEY("文字のエスケープ方法:高い損失度")),
      escaping(5, false, "(U+%04X)", CVN_KEY("文字のエスケープ方法:標準的な損失度")),
      escaping(9, true, "(U+%04X)", CVN_KEY("文字のエスケープ方法:低い損失度")),
  };
}

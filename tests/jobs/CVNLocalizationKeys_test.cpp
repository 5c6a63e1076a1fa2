// The key check: every key that the code looks up has a finished text in both
// tables, and every text has exactly the placeholders its key needs.
//
// Keys are found in the sources of jobs/ and app/ as the literal argument of
// CVNLocalizedString, CVNLocalizedStringWithFormat, CVNLocalizedPluralWithFormat,
// CVN_KEY, QT_TRANSLATE_NOOP("Corvana", ...) and QCoreApplication::translate("Corvana",
// ...). A key looked up with a count is a plural message with its language's forms.
#include "jobs/CVNLocalizationKeys.h"

#include <gtest/gtest.h>

#include <QDirIterator>
#include <QFile>
#include <QMap>
#include <QRegularExpression>
#include <QSet>
#include <QXmlStreamReader>
#include <filesystem>

namespace {

const QString kSourceRoot = QString::fromStdString(
    std::filesystem::path(__FILE__).parent_path().parent_path().parent_path().string());

// Drops comments, keeping string and character literals whole.
QString WithoutComments(const QString& source) {
  QString out;
  out.reserve(source.size());
  for (qsizetype i = 0; i < source.size(); ++i) {
    const QChar c = source[i];
    if (c == u'"' || c == u'\'') {
      const qsizetype start = i;
      for (++i; i < source.size() && source[i] != c; ++i) {
        if (source[i] == u'\\') ++i;
      }
      out += source.mid(start, i - start + 1);
    } else if (source.mid(i, 2) == u"//") {
      while (i < source.size() && source[i] != u'\n') ++i;
      out += u'\n';
    } else if (source.mid(i, 2) == u"/*") {
      const qsizetype end = source.indexOf(QStringLiteral("*/"), i + 2);
      i = end < 0 ? source.size() : end + 1;
      out += u' ';
    } else {
      out += c;
    }
  }
  return out;
}

const QRegularExpression& LookUpCall() {
  static const QRegularExpression call(QStringLiteral(
      R"re((?:\b(?:CVNLocalizedString|CVNLocalizedStringWithFormat|CVNLocalizedPluralWithFormat|)re"
      R"re(CVN_KEY)\s*\(\s*)re"
      R"re((?:QStringLiteral\s*\(\s*|QString::fromUtf8\s*\(\s*)?(?:u8|u)?)re"
      R"re(|\b(?:QT_TRANSLATE_NOOP|QCoreApplication::translate)\s*\(\s*"Corvana"\s*,\s*))re"
      R"re("((?:[^"\\\n]|\\.)*)")re"));
  return call;
}

QString Unescaped(QString literal) {
  return literal.replace(QStringLiteral("\\\""), QStringLiteral("\""))
      .replace(QStringLiteral("\\r"), QStringLiteral("\r"))
      .replace(QStringLiteral("\\n"), QStringLiteral("\n"))
      .replace(QStringLiteral("\\\\"), QStringLiteral("\\"));
}

// The keys that `source` hands to `call` as literals: to any look-up unless told.
QSet<QString> KeysIn(const QString& source, const QRegularExpression& call = LookUpCall()) {
  QSet<QString> keys;
  for (auto match = call.globalMatch(WithoutComments(source)); match.hasNext();)
    keys.insert(Unescaped(match.next().captured(1)));
  return keys;
}

// The keys that `source` looks up with a count.
QSet<QString> PluralKeysIn(const QString& source) {
  static const QRegularExpression call(
      QStringLiteral(R"re(\bCVNLocalizedPluralWithFormat\s*\(\s*"((?:[^"\\\n]|\\.)*)")re"));
  return KeysIn(source, call);
}

// The string literals of `source` that are one of `keys` but stand outside a
// look-up or a mark: keys handed on where the check cannot see them.
QSet<QString> PlainKeysIn(const QString& source, const QSet<QString>& keys) {
  const QString code = WithoutComments(source);
  QSet<qsizetype> seen;
  for (auto match = LookUpCall().globalMatch(code); match.hasNext();)
    seen.insert(match.next().capturedStart(1));
  QSet<QString> plain;
  for (qsizetype i = 0; i < code.size(); ++i) {
    const QChar c = code[i];
    if (c != u'"' && c != u'\'') continue;
    const qsizetype start = i + 1;
    for (++i; i < code.size() && code[i] != c; ++i) {
      if (code[i] == u'\\') ++i;
    }
    if (c != u'"' || seen.contains(start)) continue;
    const QString literal = Unescaped(code.mid(start, i - start));
    if (keys.contains(literal)) plain.insert(literal);
  }
  return plain;
}

// Every source file of jobs/ and app/ with its path relative to the root.
QMap<QString, QString> SourcesOfTheCode() {
  QMap<QString, QString> sources;
  for (const char* folder : {"jobs", "app"}) {
    QDirIterator files(kSourceRoot + u'/' + QString::fromLatin1(folder),
                       {QStringLiteral("*.cpp"), QStringLiteral("*.h")}, QDir::Files,
                       QDirIterator::Subdirectories);
    while (files.hasNext()) {
      QFile file(files.next());
      if (file.open(QIODevice::ReadOnly))
        sources.insert(file.fileName().mid(kSourceRoot.size() + 1),
                       QString::fromUtf8(file.readAll()));
    }
  }
  return sources;
}

QSet<QString> KeysOfTheCode() {
  QSet<QString> keys;
  for (const QString& source : SourcesOfTheCode()) keys.unite(KeysIn(source));
  for (const CVNFormatKey& format : CVNFormatKeys) keys.insert(QString::fromUtf8(format.key));
  for (const char* reason : CVNEngineReasonKeys) keys.insert(QString::fromUtf8(reason));
  return keys;
}

struct Text {
  QStringList forms;  // one text, or a plural message's forms
  bool plural = false;
  bool finished = false;
};

// The "Corvana" context of a Qt Linguist table.
QMap<QString, Text> ReadTable(const QString& language) {
  QMap<QString, Text> table;
  QFile file(kSourceRoot + QStringLiteral("/resources/translations/corvana_%1.ts").arg(language));
  EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << file.fileName().toStdString();
  QXmlStreamReader xml(&file);
  QString context, source;
  bool plural = false;
  while (!xml.atEnd()) {
    if (xml.readNext() != QXmlStreamReader::StartElement) continue;
    if (xml.name() == u"name") {
      context = xml.readElementText();
    } else if (xml.name() == u"message") {
      plural = xml.attributes().value(QStringLiteral("numerus")) == u"yes";
    } else if (xml.name() == u"source") {
      source = xml.readElementText();
    } else if (xml.name() == u"translation" && context == u"Corvana") {
      Text text;
      text.plural = plural;
      text.finished = xml.attributes().value(QStringLiteral("type")).isEmpty();
      if (plural) {
        while (xml.readNextStartElement()) {
          if (xml.name() == u"numerusform") {
            text.forms << xml.readElementText();
          } else {
            xml.skipCurrentElement();
          }
        }
      } else {
        text.forms << xml.readElementText();
      }
      text.finished = text.finished && !text.forms.isEmpty() && !text.forms.contains(QString());
      table.insert(source, text);
    }
  }
  EXPECT_FALSE(xml.hasError()) << xml.errorString().toStdString();
  return table;
}

const CVNFormatKey* ListedFormat(const QString& key) {
  for (const CVNFormatKey& format : CVNFormatKeys) {
    if (key == QString::fromUtf8(format.key)) return &format;
  }
  return nullptr;
}

bool IsListedFormat(const QString& key) { return ListedFormat(key) != nullptr; }

// The placeholders every text of `key` must have.
QStringList PlaceholdersFor(const QString& key) {
  const CVNFormatKey* format = ListedFormat(key);
  return CVNFormatPlaceholders(format ? QString::fromUtf8(format->placeholders) : key);
}

std::string Lines(const QStringList& faults) { return faults.join(u'\n').toStdString(); }

TEST(CVNLocalizationKeysTest, FindsTheKeysOfTheCode) {
  const QSet<QString> keys = KeysIn(QStringLiteral(R"src(
      CVNLocalizedString("Finished");
      CVNLocalizedStringWithFormat( "%1$qu bytes" , {size});
      logWithIconName(icon, CVN_KEY("Log:追加した"), path);
      CVNLocalizedString(QStringLiteral("Say \"hi\""));
      QT_TRANSLATE_NOOP("Corvana", "Yes"); QT_TRANSLATE_NOOP("Other", "Not ours");
      CVNLocalizedPluralWithFormat("%1$@ files", n, {count});
      CVNLocalizedString(reason);  // CVNLocalizedString("In a comment")
      /* CVN_KEY("In a block comment") */ const char* s = "CVN_KEY(\"In a string\")";
  )src"));
  EXPECT_EQ(keys, QSet<QString>({"Finished", "%1$qu bytes", "Log:追加した", "Say \"hi\"", "Yes",
                                 "%1$@ files"}));
}

TEST(CVNLocalizationKeysTest, FindsKeysPassedOnAsPlainLiterals) {
  const QSet<QString> keys = {"Finished", "Failed", "Error", "Yes", "No", "Icon\r"};
  const QSet<QString> plain = PlainKeysIn(QStringLiteral(R"src(
      logWithIconName(icon, "Finished", argument);
      logWithIconName(icon, explained ? "Failed" : CVN_KEY("Error"), reason);
      CVNLocalizedString("Yes"); CVNLocalizedString(QStringLiteral("No"));
      const char c = '"'; const char* name = "Icon\r";  // "Finished" in a comment
      const char* other = "Not a key";
  )src"),
                                          keys);
  EXPECT_EQ(plain, QSet<QString>({"Finished", "Failed", "Icon\r"}));
}

// Keys the check cannot see: passed on as plain literals, or not found at all.
TEST(CVNLocalizationKeysTest, EveryKeyOfTheTablesIsFoundInTheCodeNeverAsAPlainLiteral) {
  const QMap<QString, Text> english = ReadTable(QStringLiteral("en"));
  ASSERT_FALSE(english.isEmpty());
  const QSet<QString> keys(english.keyBegin(), english.keyEnd());
  QStringList faults;
  const QMap<QString, QString> sources = SourcesOfTheCode();
  for (auto source = sources.cbegin(); source != sources.cend(); ++source) {
    // The list of format keys holds each format's placeholders beside its key.
    if (source.key().endsWith(QStringLiteral("/CVNLocalizationKeys.h"))) continue;
    for (const QString& key : PlainKeysIn(source.value(), keys))
      faults << QStringLiteral("%1: \"%2\" is not marked with CVN_KEY").arg(source.key(), key);
  }
  const QSet<QString> found = KeysOfTheCode();
  for (const QString& key : keys) {
    if (!found.contains(key)) faults << QStringLiteral("\"%1\" is not found in the code").arg(key);
  }
  EXPECT_TRUE(faults.isEmpty()) << Lines(faults);
}

TEST(CVNLocalizationKeysTest, EveryKeyOfTheCodeHasAFinishedTextInBothTables) {
  const QSet<QString> keys = KeysOfTheCode();
  ASSERT_TRUE(keys.contains(QStringLiteral("Cancelled")));
  QStringList faults;
  for (const char* language : {"en", "ja"}) {
    const QMap<QString, Text> table = ReadTable(QString::fromLatin1(language));
    for (const QString& key : keys) {
      if (!table.contains(key)) {
        faults << QStringLiteral("%1 lacks \"%2\"").arg(QString::fromLatin1(language), key);
      } else if (!table[key].finished) {
        faults << QStringLiteral("%1 has no finished text for \"%2\"")
                      .arg(QString::fromLatin1(language), key);
      }
    }
  }
  EXPECT_TRUE(faults.isEmpty()) << Lines(faults);
}

TEST(CVNLocalizationKeysTest, BothTablesHoldTheSameKeys) {
  const QMap<QString, Text> english = ReadTable(QStringLiteral("en"));
  const QMap<QString, Text> japanese = ReadTable(QStringLiteral("ja"));
  ASSERT_FALSE(english.isEmpty());
  QStringList faults;
  for (const QString& key : english.keys()) {
    if (!japanese.contains(key)) faults << QStringLiteral("ja lacks \"%1\"").arg(key);
    if (!english[key].finished) faults << QStringLiteral("en: unfinished \"%1\"").arg(key);
  }
  for (const QString& key : japanese.keys()) {
    if (!english.contains(key)) faults << QStringLiteral("en lacks \"%1\"").arg(key);
    if (!japanese[key].finished) faults << QStringLiteral("ja: unfinished \"%1\"").arg(key);
  }
  EXPECT_TRUE(faults.isEmpty()) << Lines(faults);
}

TEST(CVNLocalizationKeysTest, KeysLookedUpWithACountArePluralMessagesWithTheLanguagesForms) {
  QSet<QString> plural;
  for (const QString& source : SourcesOfTheCode()) plural.unite(PluralKeysIn(source));
  ASSERT_TRUE(plural.contains(QStringLiteral("%1$@ files")));
  QStringList faults;
  // English has a singular and a plural; Japanese one form for every count.
  for (const auto& [language, forms] : {std::pair{"en", 2}, std::pair{"ja", 1}}) {
    const QMap<QString, Text> table = ReadTable(QString::fromLatin1(language));
    for (auto entry = table.cbegin(); entry != table.cend(); ++entry) {
      const bool lookedUpWithACount = plural.contains(entry.key());
      if (entry->plural != lookedUpWithACount) {
        faults << QStringLiteral("%1: \"%2\" is %3 message, looked up %4 a count")
                      .arg(QString::fromLatin1(language), entry.key(),
                           QString::fromLatin1(entry->plural ? "a plural" : "a single"),
                           QString::fromLatin1(lookedUpWithACount ? "with" : "without"));
      } else if (entry->plural && entry->forms.size() != forms) {
        faults << QStringLiteral("%1: \"%2\" has %3 forms, needs %4")
                      .arg(QString::fromLatin1(language), entry.key())
                      .arg(entry->forms.size())
                      .arg(forms);
      }
    }
  }
  EXPECT_TRUE(faults.isEmpty()) << Lines(faults);
}

TEST(CVNLocalizationKeysTest, EveryTextHasTheFormatsPlaceholders) {
  QStringList faults;
  for (const CVNFormatKey& format : CVNFormatKeys) {
    const QStringList own = CVNFormatPlaceholders(QString::fromUtf8(format.key));
    if (!own.isEmpty() && own != CVNFormatPlaceholders(QString::fromUtf8(format.placeholders))) {
      faults << QStringLiteral("listed placeholders differ from the key's own: \"%1\"")
                    .arg(QString::fromUtf8(format.key));
    }
  }
  for (const char* language : {"en", "ja"}) {
    const QMap<QString, Text> table = ReadTable(QString::fromLatin1(language));
    for (auto entry = table.cbegin(); entry != table.cend(); ++entry) {
      const QStringList expected = PlaceholdersFor(entry.key());
      if (!CVNFormatPlaceholders(entry.key()).isEmpty() && !IsListedFormat(entry.key())) {
        faults << QStringLiteral("format key not listed in CVNFormatKeys: \"%1\"").arg(entry.key());
      }
      for (const QString& form : entry->forms) {
        const QStringList found = CVNFormatPlaceholders(form);
        if (found != expected) {
          faults << QStringLiteral("%1: \"%2\" has %3, needs %4")
                        .arg(QString::fromLatin1(language), entry.key(), found.join(u' '),
                             expected.join(u' '));
        }
      }
    }
  }
  EXPECT_TRUE(faults.isEmpty()) << Lines(faults);
}

}  // namespace

#include "jobs/CVNArchiveOperation.h"

#include <unistd.h>

#include <QLocale>
#include <QStringList>
#include <QTextBoundaryFinder>
#include <string_view>
#include <utility>

#include "engine/CVNFileSystemNames.h"
#include "engine/CVNPathComponentEncoder.h"
#include "engine/CVNStringEncoding.h"
#include "engine/CVNZipFileWriter.h"
#include "engine/io/RVException.h"
#include "engine/io/RVFileSystem.h"
#include "engine/io/RVPath.h"
#include "jobs/CVNLocalization.h"
#include "jobs/CVNStringFromByteCount.h"
#include "jobs/CVNStringFromFileSystemRepresentation.h"

namespace {

// Windows takes 255 units for a name; a folder leaves room for "\" and an 8.3
// file name inside it.
constexpr size_t kFileNameLimit = 255;
constexpr size_t kFolderNameLimit = 244;
// Entry names from 257 units on are too long for Windows' path limit.
constexpr size_t kLongestEntryName = 256;
// An archive name is cut so that a free-name number up to " 9999" still fits
// beside it; only a larger one makes the free-name loop cut it again.
constexpr size_t kFreeNumberRoom = std::string_view(" 9999").size();

// Paths stay bytes; text only to show, measure and encode.
std::u16string unitsOf(std::string_view bytes) {
  return CVNStringFromFileSystemRepresentation(bytes).toStdU16String();
}

// `stem` + ".zip" encoded for Windows, as file-system bytes. When it and a
// free-name number would pass `limit` bytes, the stem loses whole characters
// from its end before it is encoded, so that no character and no escape
// sequence is ever split; ".zip" always stays.
std::string archiveName(const QString& stem, const CVNPathComponentEncoder& encoder, size_t limit) {
  const auto encode = [&](qsizetype length) {
    const QString name = stem.left(length) + QStringLiteral(".zip");
    return CVNUTF8FromUTF16(pathUsingPathComponentEncoder(name.toStdU16String(), encoder));
  };
  std::string name = encode(stem.size());
  if (name.size() + kFreeNumberRoom <= limit) return name;
  QTextBoundaryFinder characters(QTextBoundaryFinder::Grapheme, stem);
  characters.toEnd();
  // One character at least, so that the archive never becomes a hidden ".zip".
  for (qsizetype end = characters.toPreviousBoundary(); end > 0;
       end = characters.toPreviousBoundary()) {
    name = encode(end);
    if (name.size() + kFreeNumberRoom <= limit) break;
  }
  return name;
}

// Shared by every row, so that rows hold one copy of each icon name.
const QString& warningIcon() {
  static const QString icon = QString::fromLatin1(CVNIconWarning);
  return icon;
}
const QString& itemSucceededIcon() {
  static const QString icon = QString::fromLatin1(CVNIconItemSucceeded);
  return icon;
}

}  // namespace

class CVNArchiveOperation::CollectedItems {
 public:
  void add(const std::string& pathname, const std::string& path) {
    items_.push_back(
        {text_.size(), static_cast<uint32_t>(pathname.size()), static_cast<uint32_t>(path.size())});
    text_ += pathname;
    text_ += path;
  }
  size_t size() const { return items_.size(); }
  std::string pathname(size_t i) const {
    const Item& item = items_[i];
    return text_.substr(item.offset, item.pathnameLength);
  }
  std::string path(size_t i) const {
    const Item& item = items_[i];
    return text_.substr(item.offset + item.pathnameLength, item.pathLength);
  }

 private:
  struct Item {
    uint64_t offset;
    uint32_t pathnameLength;
    uint32_t pathLength;
  };
  std::string text_;
  std::vector<Item> items_;
};

CVNArchiveOperation::CVNArchiveOperation(std::vector<std::string> filenames,
                                         CVNSymbolicLinkBehavior symbolicLinkBehavior,
                                         QObject* parent)
    : CVNOperation(parent),
      filenames_(std::move(filenames)),
      symbolicLinkBehavior_(symbolicLinkBehavior) {
  RVParameterAssert(!filenames_.empty());
  RVParameterAssert(symbolicLinkBehavior <= CVNSymbolicLinkBehaviorResolves);
  setInitialStatus();
  loadLogWindow();
}

CVNArchiveOperation::~CVNArchiveOperation() = default;

std::shared_ptr<const CVNPathComponentEncoder> CVNArchiveOperation::encoder() const {
  std::lock_guard<std::mutex> g(lock());
  return encoder_;
}

void CVNArchiveOperation::setEncoder(std::shared_ptr<const CVNPathComponentEncoder> encoder) {
  std::lock_guard<std::mutex> g(lock());
  encoder_ = std::move(encoder);
}

std::optional<std::vector<uint8_t>> CVNArchiveOperation::password() const {
  std::lock_guard<std::mutex> g(lock());
  return password_;
}

void CVNArchiveOperation::setPassword(std::optional<std::vector<uint8_t>> password) {
  std::lock_guard<std::mutex> g(lock());
  password_ = std::move(password);
}

std::optional<QString> CVNArchiveOperation::zipComment() const {
  std::lock_guard<std::mutex> g(lock());
  return zipComment_;
}

void CVNArchiveOperation::setZipComment(std::optional<QString> comment) {
  std::lock_guard<std::mutex> g(lock());
  zipComment_ = std::move(comment);
}

void CVNArchiveOperation::setEntrySpecificToMacBehavior(CVNEntrySpecificToMacBehavior value) {
  RVParameterAssert(value <= CVNEntrySpecificToMacBehaviorIncludesInArchive);
  entrySpecificToMacBehavior_ = value;
}

void CVNArchiveOperation::setEmptyFolderBehavior(CVNEmptyFolderBehavior value) {
  RVParameterAssert(value <= CVNEmptyFolderBehaviorIncludesInArchive);
  emptyFolderBehavior_ = value;
}

std::shared_ptr<const CVNPathComponentEncoder> CVNArchiveOperation::encoderOrDefault() const {
  auto held = encoder();
  return held ? held : std::make_shared<const CVNPathComponentEncoder>();
}

uint64_t CVNArchiveOperation::enumerateWithPath(const std::string& path,
                                                const std::string& pathname,
                                                const ItemBlock& block) {
  WalkRules rules{
      entrySpecificToMacBehavior(),
      emptyFolderBehavior(),
      symbolicLinkBehavior(),
      this,
      [this](const char* key, const std::string& itemPathname) {
        logWithIconName(warningIcon(), key, CVNStringFromFileSystemRepresentation(itemPathname));
      },
      [](const std::string& link) {
        return CVNLocalizedStringWithFormat("Unable to resolve symbolic link %@",
                                            {CVNStringFromFileSystemRepresentation(link)})
            .toStdString();
      }};
  return CVNArchiveEnumerateWithPath(path, pathname, rules, block);
}

void CVNArchiveOperation::process(const std::string& path, const std::string& pathname,
                                  CVNZipFileWriter& writer) {
  struct stat status;
  if (::stat(path.c_str(), &status) != 0) RVRaiseFileSystemError();
  setStatus(CVNStringFromFileSystemRepresentation(pathname));
  if (isCancelled()) RVRaiseOperationCancelled();

  if (!runEncoder_) runEncoder_ = encoderOrDefault();
  const CVNPathComponentEncoder& encoder = *runEncoder_;
  const std::u16string original = unitsOf(RVPathLastComponent(pathname));
  std::u16string name = pathUsingPathComponentEncoder(original, encoder);
  // Items come folder by folder: the parent is mostly the one encoded last.
  const std::string parentPathname = RVPathDeletingLastComponent(pathname);
  if (parentPathname != lastParentPathname_ || lastParentPathname_.empty()) {
    lastParent_ = pathUsingPathComponentEncoder(unitsOf(parentPathname), encoder);
    lastParentPathname_ = parentPathname;
  }
  const std::u16string& parent = lastParent_;

  const size_t limit = S_ISDIR(status.st_mode) ? kFolderNameLimit : kFileNameLimit;
  if (name.size() > limit) {
    name.resize(limit);
    // A cut between the halves of a pair would leave half a character.
    if (QChar::isHighSurrogate(name.back())) name.pop_back();
  }
  const std::u16string entry = parent.empty() ? name : parent + u'/' + name;

  const CVNZipResult result =
      writer.writeFileName(entry, path, static_cast<int>(compressionLevel()));
  RVParameterAssert(result != CVNZipResultUnsupportedCompressionMethod);
  if (result == CVNZipResultSucceeded) {
    if (reportsAdjustingEntryNameToWindows() && name != original) {
      // A decomposed accent as the file system may store it is no change.
      const QString encoded = QString::fromStdU16String(name);
      const QString given = QString::fromStdU16String(original);
      if (encoded.normalized(QString::NormalizationForm_C) !=
          given.normalized(QString::NormalizationForm_C))
        logWithIconName(warningIcon(), CVN_KEY("Log:Windows向けにパスを修正した"),
                        CVNStringFromFileSystemRepresentation(pathname));
    }
    if (!reportsOnlyWarnings())
      logWithIconName(itemSucceededIcon(), CVN_KEY("Log:追加した"),
                      CVNStringFromFileSystemRepresentation(pathname));
    if (entry.size() > kLongestEntryName)
      logWithIconName(warningIcon(), CVN_KEY("Log:パスが長すぎる"),
                      QString::fromStdU16String(entry));
  }

  if (S_ISDIR(status.st_mode)) {
    ++numberOfDirectories_;
  } else if (S_ISREG(status.st_mode)) {
    ++numberOfFiles_;
  }
}

void CVNArchiveOperation::setInitialStatus() {
  if (filenames_.size() == 1) {
    setStatus(CVNStringFromFileSystemRepresentation(filenames_.front()));
  } else if (filenames_.size() > 1) {
    const auto others = static_cast<qulonglong>(filenames_.size() - 1);
    setStatus(CVNLocalizedPluralWithFormat(
        "%1$@ and the other %2$lu items", others,
        {CVNStringFromFileSystemRepresentation(filenames_.front()), others}));
  }
}

QString CVNArchiveOperation::summary() const {
  // Each count agrees with its own noun, so each is a phrase of its own.
  const QLocale locale;
  const auto files = static_cast<qulonglong>(numberOfFiles());
  const auto folders = static_cast<qulonglong>(numberOfDirectories());
  return CVNLocalizedStringWithFormat(
      "%1$@ (%3$@ files, %2$@ directories)",
      {CVNStringFromByteCount(currentValue()),
       CVNLocalizedPluralWithFormat("%1$@ directories", folders, {locale.toString(folders)}),
       CVNLocalizedPluralWithFormat("%1$@ files", files, {locale.toString(files)})});
}

std::string CVNArchiveOperation::baseItem(const std::vector<std::string>& filenames) {
  RVParameterAssert(!filenames.empty());
  size_t best = 0;
  qsizetype bestLength = 0;
  for (size_t i = 0; i < filenames.size(); ++i) {
    const qsizetype length =
        CVNStringFromFileSystemRepresentation(RVPathDeletingLastComponent(filenames[i])).size();
    // Strictly shorter only: among equals the first listed names the archive.
    if (i == 0 || length < bestLength) {
      best = i;
      bestLength = length;
    }
  }
  return filenames[best];
}

std::string CVNArchiveOperation::archivePath(const std::vector<std::string>& filenames,
                                             const CVNPathComponentEncoder& encoder) {
  const std::string base = baseItem(filenames);
  std::string name = RVPathLastComponent(base);
  struct stat status;
  const bool isFolder = ::stat(base.c_str(), &status) == 0 && S_ISDIR(status.st_mode);
  if (!isFolder) name = RVPathDeletingExtension(name);
  const std::string parent = RVPathDeletingLastComponent(base);
  return RVPathByAppendingComponent(parent, archiveName(CVNStringFromFileSystemRepresentation(name),
                                                        encoder, RVMaximumNameLength(parent)));
}

CVNOperation::Texts CVNArchiveOperation::texts() const {
  return {CVN_KEY("Growl:StartArchiving"), CVN_KEY("Log:圧縮開始"),
          CVN_KEY("Growl:ArchivedSuccessfully"), CVN_KEY("Growl:AbortedArchiving")};
}

void CVNArchiveOperation::open() {
  const auto encoder = encoderOrDefault();
  runEncoder_ = encoder;
  writer_ = std::make_unique<CVNZipFileWriter>(archivePath(filenames_, *encoder), splitSize());
  postOpening();
  setOutputPath(writer_->path());
  writer_->setOperation(this);
  writer_->setEncoder(encoder);
  writer_->setPassword(password());
  if (const auto comment = zipComment()) {
    // A comment the code page cannot hold is left out rather than mangled.
    if (auto bytes = CVNEncodeString(comment->toStdU16String(), encoder->encoding()))
      writer_->setZipFileComment(std::move(bytes));
  }
}

uint64_t CVNArchiveOperation::firstPass() {
  collected_ = std::make_unique<CollectedItems>();
  uint64_t total = 0;
  const ItemBlock collect = [&](const std::string& pathname, const struct stat& status,
                                const std::string& path) {
    collected_->add(pathname, path);
    if (S_ISREG(status.st_mode)) total += static_cast<uint64_t>(status.st_size);
  };
  for (const std::string& filename : filenames_)
    enumerateWithPath(filename, RVPathLastComponent(filename), collect);
  return total;
}

void CVNArchiveOperation::secondPass() {
  for (size_t i = 0; i < collected_->size(); ++i)
    process(collected_->path(i), collected_->pathname(i), *writer_);
  collected_.reset();
}

void CVNArchiveOperation::onePass() {
  const ItemBlock add = [&](const std::string& pathname, const struct stat&,
                            const std::string& path) {
    process(path, pathname, *writer_);
    postSummary();
  };
  for (const std::string& filename : filenames_)
    enumerateWithPath(filename, RVPathLastComponent(filename), add);
}

void CVNArchiveOperation::close() {
  writer_->closeFile();
  writer_.reset();
}

void CVNArchiveOperation::removeOutput() {
  collected_.reset();
  const std::string path = writer_ ? writer_->path() : outputPath();
  writer_.reset();
  // Errors of the removal are of no use to anyone now.
  if (!path.empty()) ::unlink(path.c_str());
}

QString CVNArchiveOperation::successDescription() const {
  QStringList paths;
  for (const std::string& filename : filenames_)
    paths << CVNStringFromFileSystemRepresentation(filename);
  return paths.join(QStringLiteral(", "));
}

QString CVNArchiveOperation::finishedArgument() const {
  return CVNStringFromFileSystemRepresentation(outputPath());
}

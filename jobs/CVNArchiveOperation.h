// The background job that packs files and folders into one Zip archive for
// Windows, next to the item with the shortest parent path, and logs what it did.
#pragma once

#include <QString>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "jobs/CVNArchiveBehaviors.h"
#include "jobs/CVNArchiveWalk.h"
#include "jobs/CVNOperation.h"

class CVNPathComponentEncoder;
class CVNZipFileWriter;

class CVNArchiveOperation : public CVNOperation {
  Q_OBJECT

 public:
  using ItemBlock = CVNArchiveItemBlock;
  using WalkRules = CVNArchiveWalkRules;

  // `filenames`: full paths in the file system's bytes, at least one. Sets the
  // defaults (level -1, Mac-only and empty-folder behaviours 1, name reports
  // on), the initial status, and loads the log window. Main thread.
  CVNArchiveOperation(std::vector<std::string> filenames,
                      CVNSymbolicLinkBehavior symbolicLinkBehavior, QObject* parent = nullptr);
  ~CVNArchiveOperation() override;

  // Settings. Set them before the job is queued; all are safe to read from any thread.
  // 0: one file (the only size the writer supports).
  uint64_t splitSize() const { return splitSize_; }
  void setSplitSize(uint64_t value) { splitSize_ = value; }
  // The Windows name rules of the archive's name and every entry name, and the
  // encoding of names and comment. None: UTF-8 without escape format.
  std::shared_ptr<const CVNPathComponentEncoder> encoder() const;
  void setEncoder(std::shared_ptr<const CVNPathComponentEncoder> encoder);
  // -1 standard, 0 stored, 1 fastest, 9 smallest.
  int64_t compressionLevel() const { return compressionLevel_; }
  void setCompressionLevel(int64_t value) { compressionLevel_ = value; }
  // Already in the encoder's code page; none: no encryption.
  std::optional<std::vector<uint8_t>> password() const;
  void setPassword(std::optional<std::vector<uint8_t>> password);
  // Written when it converts to the encoder's encoding without loss.
  std::optional<QString> zipComment() const;
  void setZipComment(std::optional<QString> comment);
  CVNEntrySpecificToMacBehavior entrySpecificToMacBehavior() const {
    return entrySpecificToMacBehavior_;
  }
  void setEntrySpecificToMacBehavior(CVNEntrySpecificToMacBehavior value);
  CVNEmptyFolderBehavior emptyFolderBehavior() const { return emptyFolderBehavior_; }
  void setEmptyFolderBehavior(CVNEmptyFolderBehavior value);
  // true: a warning row for every item whose name the Windows rules changed.
  bool reportsAdjustingEntryNameToWindows() const { return reportsAdjustingEntryNameToWindows_; }
  void setReportsAdjustingEntryNameToWindows(bool value) {
    reportsAdjustingEntryNameToWindows_ = value;
  }
  const std::vector<std::string>& filenames() const { return filenames_; }
  CVNSymbolicLinkBehavior symbolicLinkBehavior() const { return symbolicLinkBehavior_; }
  // Folders and regular files handed to the writer so far.
  uint64_t numberOfDirectories() const { return numberOfDirectories_; }
  uint64_t numberOfFiles() const { return numberOfFiles_; }

  // Walks the item at `path` with this job's rules (CVNArchiveEnumerateWithPath),
  // handing items to `block`; warnings go to the log. Returns how many it handed on.
  uint64_t enumerateWithPath(const std::string& path, const std::string& pathname,
                             const ItemBlock& block);

  // Adds one walked item to the archive under its encoded relative path, logs
  // it and counts it. Raises when its status cannot be read, on cancellation
  // and on the writer's failures.
  void process(const std::string& path, const std::string& pathname, CVNZipFileWriter& writer);

  // The first item's path, or "<first> and N more item(s)", the noun agreeing.
  void setInitialStatus() override;
  // "<bytes> (<n> file(s), <n> folder(s))", each noun agreeing with its count.
  QString summary() const override;

  // The item that names the archive: the first with the fewest UTF-16 units
  // in its parent path.
  static std::string baseItem(const std::vector<std::string>& filenames);
  // Where the archive is to be made (before a free name is taken): in the base
  // item's folder, named after it, a file's extension replaced by "zip", a
  // folder's name kept whole, the name encoded for Windows. A name that would
  // leave no room for a free-name number within the folder's name limit loses
  // whole characters from the end of the item's name.
  static std::string archivePath(const std::vector<std::string>& filenames,
                                 const CVNPathComponentEncoder& encoder);

 protected:
  // The job's steps in the base's run, on the worker thread.
  Texts texts() const override;
  // Opens the writer on a free name beside the base item; the archive exists from here.
  void open() override;
  // Walks every item, collecting both paths of each; the regular files' total size.
  uint64_t firstPass() override;
  // Adds the collected items in their order.
  void secondPass() override;
  // Walks and adds each item as it comes.
  void onePass() override;
  // Writes the central directory and the end records.
  void close() override;
  // Removes the archive, whole or partial.
  void removeOutput() override;
  // The items' full paths joined by ", ".
  QString successDescription() const override;
  // The archive's path.
  QString finishedArgument() const override;

 private:
  // The items of the first pass: both paths of each, back to back in one buffer.
  class CollectedItems;

  std::shared_ptr<const CVNPathComponentEncoder> encoderOrDefault() const;

  std::atomic<uint64_t> splitSize_{0};
  std::shared_ptr<const CVNPathComponentEncoder> encoder_;
  std::atomic<int64_t> compressionLevel_{-1};
  std::optional<std::vector<uint8_t>> password_;
  std::optional<QString> zipComment_;
  std::atomic<CVNEntrySpecificToMacBehavior> entrySpecificToMacBehavior_{
      CVNEntrySpecificToMacBehaviorExcludesWithWarning};
  std::atomic<CVNEmptyFolderBehavior> emptyFolderBehavior_{
      CVNEmptyFolderBehaviorExcludesWithWarning};
  std::atomic<bool> reportsAdjustingEntryNameToWindows_{true};
  const std::vector<std::string> filenames_;
  const CVNSymbolicLinkBehavior symbolicLinkBehavior_;
  std::atomic<uint64_t> numberOfDirectories_{0};
  std::atomic<uint64_t> numberOfFiles_{0};

  // Only while the job runs, on its worker thread.
  std::unique_ptr<CVNZipFileWriter> writer_;
  std::unique_ptr<CollectedItems> collected_;
  std::shared_ptr<const CVNPathComponentEncoder> runEncoder_;
  std::string lastParentPathname_;
  std::u16string lastParent_;
};

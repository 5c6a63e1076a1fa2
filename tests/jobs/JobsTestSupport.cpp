#include "JobsTestSupport.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QPixmap>
#include <QStringList>
#include <QThread>
#include <filesystem>
#include <mutex>

#include "engine/CVNFileSystemNames.h"
#include "engine/CVNPathComponentEncoder.h"
#include "engine/CVNStringEncoding.h"
#include "jobs/CVNMainThread.h"
#include "jobs/CVNOperationQueue.h"
#include "support/TestSupport.h"
#include "support/TestZipArchive.h"

bool CVNSpinUntil(const std::function<bool()>& done, int timeoutMs) {
  QDeadlineTimer deadline(timeoutMs);
  while (!done()) {
    if (deadline.hasExpired()) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    QThread::msleep(1);
  }
  return true;
}

void CVNDrainPostedBlocks() {
  bool ran = false;
  CVNPostToMainThread([&ran] { ran = true; });
  CVNSpinUntil([&ran] { return ran; });
  // A batch of log rows may wait out the interval since the last one.
  CVNSpinUntil([] { return false; }, 3 * CVNOperation::kLogHandOverIntervalMs);
}

bool CVNRunToEnd(const std::shared_ptr<CVNOperation>& job) {
  CVNOperationQueue queue(1);
  queue.addOperation(job);
  return CVNSpinUntil([&] { return queue.operations().empty(); });
}

QString CVNSaveScreenshot(QWidget* widget, const QString& name) {
  QDir().mkpath(QStringLiteral(CORVANA_SCREENSHOT_DIR));
  const QString path = QStringLiteral(CORVANA_SCREENSHOT_DIR "/") + name + QStringLiteral(".png");
  widget->grab().save(path);
  return path;
}

CVNScriptedOperation::CVNScriptedOperation() { setInitialStatus(); }

void CVNScriptedOperation::release() {
  {
    std::lock_guard<std::mutex> g(lock());
    released_ = true;
  }
  wake();
}

QString CVNScriptedOperation::summary() const {
  return QStringLiteral("%1 bytes").arg(currentValue());
}

void CVNScriptedOperation::setInitialStatus() { setStatus(QStringLiteral("initial")); }

CVNOperation::Texts CVNScriptedOperation::texts() const {
  return {"Test start title", "Test start message", "Test success title", "Test abort title"};
}

void CVNScriptedOperation::open() {
  ++opened;
  setStatus(QStringLiteral("/tmp/out.zip"));
  setOutputPath("/tmp/out.zip");
  postOpening();
  step(Step::Open);
}

uint64_t CVNScriptedOperation::firstPass() {
  step(Step::FirstPass);
  return firstPassTotal;
}

void CVNScriptedOperation::secondPass() { step(Step::SecondPass); }
void CVNScriptedOperation::onePass() { step(Step::OnePass); }

void CVNScriptedOperation::close() {
  ++closed;
  step(Step::Close);
}

void CVNScriptedOperation::removeOutput() { ++removedOutput; }

QString CVNScriptedOperation::successDescription() const { return QStringLiteral("out.zip"); }
QString CVNScriptedOperation::finishedArgument() const { return QStringLiteral("out.zip"); }

void CVNScriptedOperation::step(Step s) {
  if (script) script(*this, s);
  if (pauseAt != s) return;
  paused_ = true;
  try {
    waitUntil([this] { return released_; });
  } catch (...) {
    paused_ = false;
    throw;
  }
  paused_ = false;
}

const std::vector<std::string> kCVNRoundTripTree = {
    "tree/",
    "tree/日本語.txt",
    "tree/cafe\xcc\x81.txt",  // decomposed, as a Mac stores it
    "tree/a:b?.txt",
    "tree/CON.txt",
    "tree/trail.",
    "tree/plain.txt",
    "tree/empty/",
    "tree/sub/",
    "tree/sub/zero.bin",
    "tree/sub/random.bin",
    "tree/sub/深い/",
    "tree/sub/深い/x.txt",
};

void CVNMakeRoundTripTree(const std::string& root) {
  for (const std::string& item : kCVNRoundTripTree) {
    const std::string path = root + "/" + item;
    if (item.ends_with("/")) {
      ASSERT_EQ(::mkdir(path.c_str(), 0755), 0) << path;
    } else if (item.ends_with("random.bin")) {
      corvana_test::writeFile(path, corvana_test::randomBytes(1 << 20, 7));
    } else if (item.ends_with("zero.bin")) {
      corvana_test::writeFile(path, "");
    } else {
      corvana_test::writeFile(path, "text of " + item);
    }
  }
}

QSet<QString> CVNRoundTripTreeNames(const CVNPathComponentEncoder& encoder) {
  QSet<QString> names;
  for (const std::string& item : kCVNRoundTripTree) {
    const bool folder = item.ends_with("/");
    const std::u16string path = *CVNUTF16FromUTF8(folder ? item.substr(0, item.size() - 1) : item);
    names.insert(QString::fromStdU16String(pathUsingPathComponentEncoder(path, encoder)) +
                 (folder ? QStringLiteral("/") : QString()));
  }
  return names;
}

QSet<QString> CVNTreeUnder(const std::string& root) {
  QSet<QString> found;
  for (const auto& item : std::filesystem::recursive_directory_iterator(root)) {
    const QString relative =
        QString::fromStdString(std::filesystem::relative(item.path(), root).string());
    found.insert(item.is_directory() ? relative + QStringLiteral("/") : relative);
  }
  return found;
}

std::string CVNDescribe(const QSet<QString>& set) {
  QStringList list(set.begin(), set.end());
  list.sort();
  return list.join(QStringLiteral(" | ")).toStdString();
}

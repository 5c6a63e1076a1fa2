// Helpers for the job tests: running the event loop until a condition holds,
// saving screenshots of windows, and a job whose steps run a script.
#pragma once

#include <QSet>
#include <QString>
#include <QWidget>
#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "jobs/CVNOperation.h"

class CVNPathComponentEncoder;

// Processes events until `done` holds or `timeoutMs` passes; returns `done()`.
bool CVNSpinUntil(const std::function<bool()>& done, int timeoutMs = 20000);

// Processes events until every block posted to the main thread before the call
// has run, and the log rows logged before it are in their models.
void CVNDrainPostedBlocks();

// Runs `job` alone on a queue of its own until it has ended; false on time-out.
bool CVNRunToEnd(const std::shared_ptr<CVNOperation>& job);

// Renders `widget` and saves it as <name>.png under the screenshot folder; returns the path.
QString CVNSaveScreenshot(QWidget* widget, const QString& name);

// A job whose steps call `script` on the worker thread and can pause at one step
// until released. Opens "/tmp/out.zip"; its initial status is "initial".
class CVNScriptedOperation : public CVNOperation {
 public:
  enum class Step { Open, FirstPass, SecondPass, OnePass, Close };

  CVNScriptedOperation();

  std::function<void(CVNScriptedOperation&, Step)> script;
  std::optional<Step> pauseAt;
  uint64_t firstPassTotal = 1000;

  // True while the worker waits at pauseAt.
  bool isPaused() const { return paused_; }
  // Lets the paused step go on.
  void release();

  std::atomic<int> opened{0};
  std::atomic<int> closed{0};
  std::atomic<int> removedOutput{0};

  QString summary() const override;
  void setInitialStatus() override;
  void showLogWindow() override { toggleLogWindow(); }

  using CVNOperation::lock;
  using CVNOperation::post;
  using CVNOperation::postSummary;
  using CVNOperation::setCurrentValue;
  using CVNOperation::setLogWindow;
  using CVNOperation::setOutputPath;
  using CVNOperation::waitUntil;
  using CVNOperation::wake;

 protected:
  Texts texts() const override;
  void open() override;
  uint64_t firstPass() override;
  void secondPass() override;
  void onePass() override;
  void close() override;
  void removeOutput() override;
  QString successDescription() const override;
  QString finishedArgument() const override;

 private:
  void step(Step step);

  std::atomic<bool> paused_{false};
  bool released_ = false;  // under lock()
};

// The round trips' tree: Japanese, decomposed, reserved-character and device
// names, empty folders, an empty file and 1 MiB of random bytes. Relative paths
// in UTF-8, a folder's with a final "/".
extern const std::vector<std::string> kCVNRoundTripTree;

// Makes kCVNRoundTripTree under the folder `root`.
void CVNMakeRoundTripTree(const std::string& root);

// The encoder's names for the round trips' tree: what an archive of it holds.
QSet<QString> CVNRoundTripTreeNames(const CVNPathComponentEncoder& encoder);

// What lies under `root`: relative paths, folders with a final "/".
QSet<QString> CVNTreeUnder(const std::string& root);

// The set sorted and joined, for failure messages.
std::string CVNDescribe(const QSet<QString>& set);

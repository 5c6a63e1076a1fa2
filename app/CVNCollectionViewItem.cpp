#include "app/CVNCollectionViewItem.h"

#include <QLabel>
#include <QPainter>
#include <QStyle>
#include <QTimer>
#include <algorithm>

#include "jobs/CVNImages.h"
#include "jobs/CVNLocalization.h"
#include "jobs/CVNOperation.h"
#include "jobs/CVNShowElidedText.h"
#include "ui_CVNCollectionViewItem.h"

namespace {

// The narrowest a tile's line is cut to before the tile is laid out.
constexpr int kMinimumLineWidth = 40;

// QProgressBar counts in int; byte counts are scaled onto this many steps.
constexpr int kProgressSteps = 10000;

QIcon themeIcon(const char* name, QStyle::StandardPixmap fallback, const QWidget* widget) {
  return QIcon::fromTheme(QString::fromLatin1(name), widget->style()->standardIcon(fallback));
}

}  // namespace

CVNCollectionViewItem::CVNCollectionViewItem(std::shared_ptr<CVNOperation> representedObject,
                                             QWidget* window, QWidget* parent)
    : QFrame(parent),
      ui_(std::make_unique<Ui::CVNCollectionViewItem>()),
      operation_(std::move(representedObject)),
      window_(window),
      arrowsTimer_(new QTimer(this)) {
  ui_->setupUi(this);
  ui_->cancelButton->setIcon(themeIcon("process-stop", QStyle::SP_BrowserStop, this));
  ui_->cancelButton->setToolTip(CVNLocalizedString("タイル:ボタン:キャンセル"));
  ui_->showInFinderButton->setIcon(themeIcon("folder-open", QStyle::SP_DirOpenIcon, this));
  ui_->showInFinderButton->setToolTip(CVNLocalizedString("タイル:ボタン:表示"));
  ui_->showDetailButton->setIcon(
      themeIcon("document-properties", QStyle::SP_FileDialogDetailedView, this));
  ui_->showDetailButton->setToolTip(CVNLocalizedString("タイル:ボタン:ログ"));
  // The buttons show icons only; a screen reader names them by their tool tips.
  for (QAbstractButton* button :
       {ui_->cancelButton, ui_->showInFinderButton, ui_->showDetailButton}) {
    button->setAccessibleName(button->toolTip());
  }
  // The bar and the result line take turns; the spinner keeps its place while
  // hidden, so the second row never collapses and tiles do not jump.
  QSizePolicy arrowsPolicy = ui_->asyncArrows->sizePolicy();
  arrowsPolicy.setRetainSizeWhenHidden(true);
  ui_->asyncArrows->setSizePolicy(arrowsPolicy);
  ui_->asyncArrows->installEventFilter(this);
  // The status and the result are elided to their labels' own widths, known
  // once they are laid out.
  ui_->statusLabel->installEventFilter(this);
  ui_->resultLabel->installEventFilter(this);
  arrowsTimer_->setInterval(80);
  connect(arrowsTimer_, &QTimer::timeout, this, [this] {
    arrowsPhase_ = (arrowsPhase_ + 1) % 12;
    ui_->asyncArrows->update();
  });

  connect(ui_->cancelButton, &QAbstractButton::clicked, this, &CVNCollectionViewItem::cancel);
  connect(ui_->showInFinderButton, &QAbstractButton::clicked, this,
          &CVNCollectionViewItem::showInFinder);
  connect(ui_->showDetailButton, &QAbstractButton::clicked, this,
          &CVNCollectionViewItem::showDetail);

  // The job changes some values on its worker thread; with the tile as context
  // those changes arrive queued on the main thread, and each update reads the
  // job's latest value.
  CVNOperation* job = operation_.get();
  connect(job, &CVNOperation::statusChanged, this, &CVNCollectionViewItem::updateStatus);
  connect(job, &CVNOperation::resultChanged, this, &CVNCollectionViewItem::updateResult);
  connect(job, &CVNOperation::resultHiddenChanged, this, &CVNCollectionViewItem::updateResult);
  connect(job, &CVNOperation::resultTextColorChanged, this, &CVNCollectionViewItem::updateResult);
  for (auto signal : {&CVNOperation::progressIndicatorHiddenChanged,
                      &CVNOperation::indeterminateChanged, &CVNOperation::minValueChanged,
                      &CVNOperation::maxValueChanged, &CVNOperation::currentValueChanged}) {
    connect(job, signal, this, &CVNCollectionViewItem::updateProgress);
  }
  connect(job, &CVNOperation::asyncArrowsHiddenChanged, this,
          &CVNCollectionViewItem::updateAsyncArrows);
  for (auto signal : {&CVNOperation::executingChanged, &CVNOperation::finishedChanged,
                      &CVNOperation::succeededChanged, &CVNOperation::isWarnedChanged}) {
    connect(job, signal, this, &CVNCollectionViewItem::updateControls);
  }
  updateStatus();
  updateResult();
  updateProgress();
  updateAsyncArrows();
  updateControls();
}

CVNCollectionViewItem::~CVNCollectionViewItem() {
  endCancelAlert();
  if (cancelAlert_) delete cancelAlert_.data();
}

QAbstractButton* CVNCollectionViewItem::cancelButton() const { return ui_->cancelButton; }
QAbstractButton* CVNCollectionViewItem::showInFinderButton() const {
  return ui_->showInFinderButton;
}
QAbstractButton* CVNCollectionViewItem::showDetailButton() const { return ui_->showDetailButton; }

void CVNCollectionViewItem::cancel() {
  CVNOperation* job = operation_.get();
  if (!job->isExecuting() || cancelAlert_) return;
  didFinishConnection_ = connect(job, &CVNOperation::CVNOperationDidFinish, this,
                                 &CVNCollectionViewItem::endCancelAlert, Qt::QueuedConnection);
  // A job that ended before the connection was made would never close the
  // confirmation; there is nothing left to cancel anyway.
  if (job->isFinished()) {
    disconnect(didFinishConnection_);
    return;
  }

  auto* alert = new CVNYesNoAlert(CVN_KEY("ダイアログタイトル:処理キャンセル"),
                                  CVN_KEY("ダイアログメッセージ:処理キャンセル"),
                                  window_ ? window_.data() : window());
  alert->setWindowModality(Qt::WindowModal);
  cancelAlert_ = alert;
  connect(alert, &QMessageBox::finished, this, [this, alert] {
    if (cancelAlert_ != alert) return;
    cancelAlertDidEnd(alert->isConfirmed());
  });
  alert->open();
}

void CVNCollectionViewItem::cancelAlertDidEnd(bool confirmed) {
  disconnect(didFinishConnection_);
  CVNYesNoAlert* alert = cancelAlert_;
  cancelAlert_ = nullptr;
  if (alert) alert->deleteLater();
  if (confirmed) operation_->cancel();
}

void CVNCollectionViewItem::endCancelAlert() {
  disconnect(didFinishConnection_);
  if (!cancelAlert_) return;
  // Ends through the first button, so the end callback leaves the job alone.
  cancelAlert_->noButton()->click();
  if (cancelAlert_) cancelAlertDidEnd(false);
}

void CVNCollectionViewItem::showInFinder() { operation_->showInFinder(); }

void CVNCollectionViewItem::showDetail() { operation_->showLogWindow(); }

void CVNCollectionViewItem::updateStatus() {
  CVNShowElidedText(ui_->statusLabel, operation_->status(), kMinimumLineWidth);
}

void CVNCollectionViewItem::updateResult() {
  QLabel* label = ui_->resultLabel;
  CVNShowElidedText(label, operation_->result(), kMinimumLineWidth);
  const QColor color = operation_->resultTextColor();
  if (color.isValid()) {
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, color);
    label->setPalette(palette);
  } else {
    label->setPalette(QPalette());
  }
  label->setHidden(operation_->resultHidden());
}

void CVNCollectionViewItem::updateProgress() {
  QProgressBar* bar = ui_->progressIndicator;
  bar->setHidden(operation_->progressIndicatorHidden());
  if (operation_->isIndeterminate()) {
    bar->setRange(0, 0);
    return;
  }
  const uint64_t minimum = operation_->minValue();
  const uint64_t maximum = operation_->maxValue();
  const uint64_t current =
      std::clamp(operation_->currentValue(), minimum, std::max(minimum, maximum));
  bar->setRange(0, kProgressSteps);
  // An empty archive is complete from the start.
  const double fraction = maximum > minimum ? static_cast<double>(current - minimum) /
                                                  static_cast<double>(maximum - minimum)
                                            : 1.0;
  bar->setValue(static_cast<int>(fraction * kProgressSteps));
}

void CVNCollectionViewItem::updateAsyncArrows() {
  const bool hidden = operation_->asyncArrowsHidden();
  ui_->asyncArrows->setHidden(hidden);
  if (hidden) {
    arrowsTimer_->stop();
  } else {
    arrowsTimer_->start();
  }
}

void CVNCollectionViewItem::updateControls() {
  const bool executing = operation_->isExecuting();
  const bool finished = operation_->isFinished();
  const bool succeeded = operation_->succeeded();
  ui_->cancelButton->setEnabled(executing);
  ui_->showInFinderButton->setEnabled(succeeded);
  ui_->showDetailButton->setEnabled(executing || finished);
  // A success that logged warnings must not look like a clean one.
  const bool warned = operation_->warningCount() > 0;
  const char* icon = succeeded            ? (warned ? CVNIconWarning : CVNIconFinished)
                     : finished && warned ? CVNIconError
                                          : CVNIconStart;
  ui_->iconLabel->setPixmap(CVNImageNamed(QString::fromLatin1(icon)));
  // Some states share an image; a screen reader tells them all apart.
  const char* state =
      succeeded ? (warned ? CVN_KEY("タイル:状態:警告付きで完了") : CVN_KEY("タイル:状態:完了"))
      : finished  ? (operation_->isCancelled() ? CVN_KEY("タイル:状態:キャンセル済み")
                                               : CVN_KEY("タイル:状態:失敗"))
      : executing ? CVN_KEY("タイル:状態:実行中")
                  : CVN_KEY("タイル:状態:待機中");
  ui_->iconLabel->setAccessibleName(CVNLocalizedString(state));
}

bool CVNCollectionViewItem::eventFilter(QObject* watched, QEvent* event) {
  if (watched == ui_->asyncArrows && event->type() == QEvent::Paint) {
    paintAsyncArrows();
    return true;
  }
  if (event->type() == QEvent::Resize) {
    if (watched == ui_->statusLabel) updateStatus();
    if (watched == ui_->resultLabel)
      CVNShowElidedText(ui_->resultLabel, operation_->result(), kMinimumLineWidth);
  }
  return QFrame::eventFilter(watched, event);
}

void CVNCollectionViewItem::paintAsyncArrows() {
  // Twelve spokes fading behind the leading one, like the platform's spinner.
  QPainter painter(ui_->asyncArrows);
  painter.setRenderHint(QPainter::Antialiasing);
  const QRectF bounds = ui_->asyncArrows->rect();
  painter.translate(bounds.center());
  const qreal radius = std::min(bounds.width(), bounds.height()) / 2.0;
  QColor color = palette().color(QPalette::WindowText);
  for (int i = 0; i < 12; ++i) {
    color.setAlphaF(0.15 + 0.85 * ((i + 12 - arrowsPhase_) % 12) / 11.0);
    painter.setPen(QPen(color, 1.6, Qt::SolidLine, Qt::RoundCap));
    painter.save();
    painter.rotate(30.0 * (11 - i));
    painter.drawLine(QPointF(0, -radius * 0.45), QPointF(0, -radius * 0.9));
    painter.restore();
  }
}

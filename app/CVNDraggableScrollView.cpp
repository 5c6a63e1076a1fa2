#include "app/CVNDraggableScrollView.h"

#include <QDragEnterEvent>
#include <QMimeData>
#include <QPainter>
#include <optional>
#include <string>
#include <vector>

#include "app/CVNAppController.h"
#include "jobs/CVNFileURL.h"

namespace {

constexpr int kFrameWidth = 2;

// The paths of a drag that carries local files only; empty for any other drag.
// The URI list is read as the drag's own bytes, since QMimeData::urls() would
// turn names that are not UTF-8 into text and lose their bytes.
std::vector<std::string> localPaths(const QMimeData* mimeData) {
  static const QString uriList = QStringLiteral("text/uri-list");
  std::vector<std::string> paths;
  if (!mimeData || !mimeData->hasFormat(uriList)) return paths;
  for (const QByteArray& line : mimeData->data(uriList).split('\n')) {
    const QByteArray uri = line.trimmed();
    // RFC 2483: lines that begin with "#" are comments.
    if (uri.isEmpty() || uri.startsWith('#')) continue;
    std::optional<std::string> path = CVNPathFromFileURL(uri);
    if (!path) return {};
    paths.push_back(std::move(*path));
  }
  return paths;
}

}  // namespace

CVNDraggableScrollView::CVNDraggableScrollView(QWidget* parent)
    : QScrollArea(parent), frameOverlay_(new QWidget(this)) {
  setAcceptDrops(true);
  viewport()->setAcceptDrops(true);
  frameOverlay_->setAttribute(Qt::WA_TransparentForMouseEvents);
  frameOverlay_->setAttribute(Qt::WA_NoSystemBackground);
  frameOverlay_->installEventFilter(this);
  frameOverlay_->hide();
}

void CVNDraggableScrollView::dragEnterEvent(QDragEnterEvent* event) {
  if (localPaths(event->mimeData()).empty()) {
    event->ignore();
    return;
  }
  setHighlighted(true);
  event->setDropAction(Qt::CopyAction);
  event->accept();
}

void CVNDraggableScrollView::dragMoveEvent(QDragMoveEvent* event) {
  event->setDropAction(Qt::CopyAction);
  event->accept();
}

void CVNDraggableScrollView::dragLeaveEvent(QDragLeaveEvent* event) {
  setHighlighted(false);
  event->accept();
}

void CVNDraggableScrollView::dropEvent(QDropEvent* event) {
  setHighlighted(false);
  std::vector<std::string> paths = localPaths(event->mimeData());
  if (paths.empty()) {
    event->ignore();
    return;
  }
  event->setDropAction(Qt::CopyAction);
  event->accept();
  if (appController_) appController_->acceptFiles(paths);
}

void CVNDraggableScrollView::resizeEvent(QResizeEvent* event) {
  QScrollArea::resizeEvent(event);
  frameOverlay_->setGeometry(rect());
}

void CVNDraggableScrollView::setHighlighted(bool highlighted) {
  highlighted_ = highlighted;
  frameOverlay_->setGeometry(rect());
  frameOverlay_->setVisible(highlighted);
  if (highlighted) {
    frameOverlay_->raise();
    frameOverlay_->repaint();
  }
}

bool CVNDraggableScrollView::eventFilter(QObject* watched, QEvent* event) {
  if (watched == frameOverlay_ && event->type() == QEvent::Paint) {
    QPainter painter(frameOverlay_);
    QPen pen(palette().color(QPalette::Highlight), kFrameWidth);
    pen.setJoinStyle(Qt::MiterJoin);
    painter.setPen(pen);
    // A pen centred on a rectangle inset by half its width stays inside the bounds.
    const qreal inset = kFrameWidth / 2.0;
    painter.drawRect(QRectF(frameOverlay_->rect()).adjusted(inset, inset, -inset, -inset));
    return true;
  }
  return QScrollArea::eventFilter(watched, event);
}

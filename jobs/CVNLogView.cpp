#include "jobs/CVNLogView.h"

#include <QEvent>
#include <QFontMetricsF>
#include <QPainter>
#include <QScrollBar>
#include <QStyledItemDelegate>
#include <algorithm>
#include <cmath>

#include "jobs/CVNImages.h"
#include "jobs/CVNLogModel.h"

namespace {

constexpr int kMargin = 6;
constexpr int kIconSize = 16;
constexpr int kGap = 8;
// Between the message and the argument columns, wide enough to read as a column break.
constexpr int kColumnGap = 16;
// The argument's share of the row's natural width; it is elided to what is left.
constexpr int kArgumentMinimumWidth = 160;

// Paints a row as three columns: icon, message (as wide as the widest message of
// the view), argument (elided in the middle: paths keep both ends).
class CVNLogDelegate : public QStyledItemDelegate {
 public:
  explicit CVNLogDelegate(CVNLogView* view) : QStyledItemDelegate(view), view_(view) {}

  void paint(QPainter* painter, const QStyleOptionViewItem& option,
             const QModelIndex& index) const override {
    painter->save();
    const bool selected = option.state & QStyle::State_Selected;
    const QPalette::ColorGroup group = !(option.state & QStyle::State_Enabled) ? QPalette::Disabled
                                       : (option.state & QStyle::State_Active) ? QPalette::Normal
                                                                               : QPalette::Inactive;
    if (selected) painter->fillRect(option.rect, option.palette.brush(group, QPalette::Highlight));
    painter->setPen(
        option.palette.color(group, selected ? QPalette::HighlightedText : QPalette::Text));

    const QRect r = option.rect;
    int x = r.left() + kMargin;
    const QPixmap& icon = iconNamed(index.data(CVNLogModel::IconNameRole).toString());
    if (!icon.isNull()) {
      painter->setRenderHint(QPainter::SmoothPixmapTransform);
      painter->drawPixmap(QRect(x, r.top() + (r.height() - kIconSize) / 2, kIconSize, kIconSize),
                          icon);
    }
    x += kIconSize + kGap;

    const QFontMetrics& fm = option.fontMetrics;
    const int messageWidth = view_->messageColumnWidth();
    const QRect messageRect(x, r.top(), messageWidth, r.height());
    painter->drawText(messageRect, Qt::AlignLeft | Qt::AlignVCenter,
                      fm.elidedText(index.data(CVNLogModel::MessageRole).toString(), Qt::ElideRight,
                                    messageWidth));
    x += messageWidth + kColumnGap;

    const QVariant argument = index.data(CVNLogModel::ArgumentRole);
    const int argumentWidth = r.right() - kMargin - x;
    if (argument.isValid() && argumentWidth > 0) {
      painter->drawText(QRect(x, r.top(), argumentWidth, r.height()),
                        Qt::AlignLeft | Qt::AlignVCenter,
                        fm.elidedText(argument.toString(), Qt::ElideMiddle, argumentWidth));
    }
    painter->restore();
  }

  QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex&) const override {
    const int height = std::max(kIconSize, option.fontMetrics.height()) + 6;
    return {kMargin + kIconSize + kGap + view_->messageColumnWidth() + kColumnGap +
                kArgumentMinimumWidth + kMargin,
            height};
  }

 private:
  const QPixmap& iconNamed(const QString& name) const {
    auto found = icons_.find(name);
    if (found == icons_.end()) found = icons_.insert(name, CVNImageNamed(name));
    return *found;
  }

  CVNLogView* view_;
  // A handful of names; a missing image stays a null pixmap and leaves a blank.
  mutable QHash<QString, QPixmap> icons_;
};

}  // namespace

CVNLogView::CVNLogView(QWidget* parent) : QListView(parent) {
  setItemDelegate(new CVNLogDelegate(this));
  // One row height for all rows: the view never asks 100,000 rows for their size.
  setUniformItemSizes(true);
  setAlternatingRowColors(true);
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  setTextElideMode(Qt::ElideMiddle);
  followTimer_.setSingleShot(true);
  followTimer_.setInterval(0);
  connect(&followTimer_, &QTimer::timeout, this, [this] {
    followPending_ = false;
    scrollToBottom();
  });
}

void CVNLogView::setModel(QAbstractItemModel* model) {
  for (const auto& connection : modelConnections_) disconnect(connection);
  modelConnections_.clear();
  QListView::setModel(model);
  remeasure();
  if (!model) return;
  // Connected after the view's own handlers, so rows are laid out when we follow.
  modelConnections_ << connect(model, &QAbstractItemModel::rowsAboutToBeInserted, this,
                               [this] { rowsAboutToBeAdded(); });
  modelConnections_ << connect(model, &QAbstractItemModel::rowsInserted, this,
                               [this](const QModelIndex& parent, int first, int last) {
                                 if (!parent.isValid()) rowsAdded(first, last);
                               });
  modelConnections_ << connect(model, &QAbstractItemModel::modelReset, this,
                               [this] { remeasure(); });
}

void CVNLogView::changeEvent(QEvent* event) {
  QListView::changeEvent(event);
  if (event->type() == QEvent::FontChange) remeasure();
}

void CVNLogView::showEvent(QShowEvent* event) {
  QListView::showEvent(event);
  if (!followsWhenShown_) return;
  followPending_ = true;
  followTimer_.start();
}

void CVNLogView::hideEvent(QHideEvent* event) {
  followsWhenShown_ = followPending_ || isAtBottom();
  followPending_ = false;
  followTimer_.stop();
  QListView::hideEvent(event);
}

bool CVNLogView::isAtBottom() const {
  const QScrollBar* bar = verticalScrollBar();
  return bar->value() >= bar->maximum();
}

// A hidden view's scroll bar always reads "at the bottom", and following it
// would lay out every row again for each batch: it waits until it is shown.
void CVNLogView::rowsAboutToBeAdded() {
  if (!followPending_ && isVisible()) followPending_ = isAtBottom();
}

void CVNLogView::rowsAdded(int first, int last) {
  measureMessages(first, last);
  if (followPending_ && isVisible() && !followTimer_.isActive()) followTimer_.start();
}

void CVNLogView::measureMessages(int first, int last) {
  const QAbstractItemModel* m = model();
  const auto* logModel = qobject_cast<const CVNLogModel*>(m);
  // Rounded up from the exact advance: a column one fraction short elides its text.
  const QFontMetricsF fm(font());
  int widest = messageColumnWidth_;
  for (int row = first; row <= last; ++row) {
    const QString message = logModel ? logModel->messageAt(row)
                                     : m->index(row, 0).data(CVNLogModel::MessageRole).toString();
    auto found = messageWidths_.constFind(message);
    if (found != messageWidths_.constEnd()) continue;
    const int width = static_cast<int>(std::ceil(fm.horizontalAdvance(message)));
    messageWidths_.insert(message, width);
    widest = std::max(widest, width);
  }
  if (widest != messageColumnWidth_) {
    messageColumnWidth_ = widest;
    // The rows' common size hint has changed with the column.
    scheduleDelayedItemsLayout();
    viewport()->update();
  }
}

void CVNLogView::remeasure() {
  messageWidths_.clear();
  messageColumnWidth_ = 0;
  const QAbstractItemModel* m = model();
  if (m && m->rowCount() > 0) measureMessages(0, m->rowCount() - 1);
  scheduleDelayedItemsLayout();
  viewport()->update();
}

// The scroll view that holds the job list and takes files dropped on it: it
// frames itself while a drag of local files is over it and hands the dropped
// paths, in the drag's order, to the application controller.
#pragma once

#include <QScrollArea>

class CVNAppController;

class CVNDraggableScrollView : public QScrollArea {
  Q_OBJECT
 public:
  // Accepts drops of local files (and nothing else) from the start.
  explicit CVNDraggableScrollView(QWidget* parent = nullptr);

  CVNAppController* appController() const { return appController_; }
  void setAppController(CVNAppController* controller) { appController_ = controller; }

  // True while the highlight frame is drawn.
  bool isHighlighted() const { return highlighted_; }

 protected:
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dragMoveEvent(QDragMoveEvent* event) override;
  void dragLeaveEvent(QDragLeaveEvent* event) override;
  void dropEvent(QDropEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void setHighlighted(bool highlighted);

  CVNAppController* appController_ = nullptr;
  // Lies over the list, takes no input, and paints the frame when highlighted.
  QWidget* frameOverlay_;
  bool highlighted_ = false;
};

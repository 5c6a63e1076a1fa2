// A drag source for the tests under a real X server, as a file manager is one:
//   corvana-test-drag-source URI_LIST_FILE
// shows a small window at the screen's top left; a press in it drags the file's
// bytes, unchanged, as "text/uri-list", and prints "accepted" or "refused" when
// the drop is done. It stays until ended, since the target fetches the data
// after the drop.
#include <QApplication>
#include <QDrag>
#include <QFile>
#include <QMimeData>
#include <QMouseEvent>
#include <QWidget>
#include <cstdio>

namespace {

class DragSource : public QWidget {
 public:
  explicit DragSource(QByteArray uriList) : uriList_(std::move(uriList)) {
    setWindowTitle(QStringLiteral("corvana-test-drag-source"));
    setGeometry(0, 0, 120, 120);
  }

 protected:
  void mousePressEvent(QMouseEvent*) override {
    auto* drag = new QDrag(this);
    auto* mime = new QMimeData;
    mime->setData(QStringLiteral("text/uri-list"), uriList_);
    drag->setMimeData(mime);
    const bool accepted = drag->exec(Qt::CopyAction) == Qt::CopyAction;
    std::fputs(accepted ? "accepted\n" : "refused\n", stdout);
    std::fflush(stdout);
  }

 private:
  const QByteArray uriList_;
};

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  if (argc != 2) return 2;
  QFile file(QFile::decodeName(argv[1]));
  if (!file.open(QIODevice::ReadOnly)) return 2;
  DragSource source(file.readAll());
  source.show();
  return QApplication::exec();
}

#include "jobs/CVNCloseShortcuts.h"

#include <QKeySequence>
#include <QShortcut>
#include <QWidget>

void CVNAddCloseShortcuts(QWidget* window) {
  for (QShortcut* shortcut : {new QShortcut(QKeySequence(Qt::Key_Escape), window),
                              new QShortcut(QKeySequence::Close, window)}) {
    shortcut->setContext(Qt::WindowShortcut);
    QObject::connect(shortcut, &QShortcut::activated, window, &QWidget::close);
  }
}

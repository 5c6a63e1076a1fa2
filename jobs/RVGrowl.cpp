#include "jobs/RVGrowl.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>
#include <QStringList>
#include <QUrl>
#include <QVariantMap>
#include <mutex>

#include "CVNBundle.h"
#include "jobs/CVNImages.h"

namespace {

// True when a session bus can be reached without starting one: libdbus would
// otherwise try to launch a bus through X11, which takes time and leaves a
// daemon behind.
bool SessionBusIsThere() {
  if (!qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS")) return true;
  const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
  return !runtime.isEmpty() && QFileInfo::exists(runtime + QStringLiteral("/bus"));
}

// The notification service reads the icon from a file, not from our embedded
// resources: copy it once to the user's cache. Empty when that fails.
QString ApplicationIconFile() {
  static std::once_flag once;
  static QString path;
  std::call_once(once, [] {
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation) +
                           u'/' + QString::fromUtf8(CVNBundleIdentifier);
    const QString file = folder + QStringLiteral("/corvana.png");
    QFile source(CVNImagePath(QStringLiteral("corvana.png")));
    if (!source.open(QIODevice::ReadOnly)) return;
    const QByteArray image = source.readAll();
    QFile existing(file);
    if (existing.open(QIODevice::ReadOnly) && existing.readAll() == image) {
      path = file;
      return;
    }
    if (!QDir().mkpath(folder)) return;
    QSaveFile out(file);
    if (out.open(QIODevice::WriteOnly) && out.write(image) == image.size() && out.commit()) {
      path = file;
    }
  });
  return path;
}

}  // namespace

void RVGrowl::notifyWithTitle(const QString& title, const QString& description) {
  if (!SessionBusIsThere()) return;
  QDBusConnection bus = QDBusConnection::sessionBus();
  if (!bus.isConnected()) return;

  const QString icon = ApplicationIconFile();
  QVariantMap hints;
  hints.insert(QStringLiteral("desktop-entry"), QString::fromUtf8(CVNBundleIdentifier));
  if (!icon.isEmpty()) hints.insert(QStringLiteral("image-path"), icon);

  QDBusMessage call = QDBusMessage::createMethodCall(
      QStringLiteral("org.freedesktop.Notifications"),
      QStringLiteral("/org/freedesktop/Notifications"),
      QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("Notify"));
  call << QStringLiteral("Corvana")                                            // app_name
       << 0u                                                                   // replaces_id
       << (icon.isEmpty() ? QString() : QUrl::fromLocalFile(icon).toString())  // app_icon
       << title << description << QStringList()                                // actions
       << hints << -1;                                                         // expire_timeout
  // Queued on the bus connection's own thread; the reply, or the error when no
  // service answers, is dropped.
  bus.send(call);
}

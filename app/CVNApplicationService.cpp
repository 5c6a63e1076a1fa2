#include "app/CVNApplicationService.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QFile>
#include <QUrl>

#include "CVNBundle.h"
#include "app/CVNAppController.h"

namespace {

constexpr const char* kInterface = "org.freedesktop.Application";
// Long enough for a busy first instance, short enough not to hang a launch.
constexpr int kHandOverTimeoutMs = 10000;

}  // namespace

QString CVNApplicationService::serviceName() {
  return QString::fromUtf8(CVNBundleIdentifier.data(), CVNBundleIdentifier.size());
}

QString CVNApplicationService::objectPath() {
  QString path = QLatin1Char('/') + serviceName();
  path.replace(QLatin1Char('.'), QLatin1Char('/')).replace(QLatin1Char('-'), QLatin1Char('_'));
  return path;
}

CVNApplicationService::CVNApplicationService(QObject* parent) : QObject(parent) {}

CVNApplicationService::~CVNApplicationService() {
  if (!registered_) return;
  QDBusConnection bus = QDBusConnection::sessionBus();
  bus.unregisterObject(objectPath());
  bus.unregisterService(serviceName());
}

bool CVNApplicationService::isConnected() { return QDBusConnection::sessionBus().isConnected(); }

bool CVNApplicationService::registerService() {
  QDBusConnection bus = QDBusConnection::sessionBus();
  if (!bus.isConnected()) return false;
  // The object is there before the name, so no call finds the name without it.
  if (!bus.registerObject(objectPath(), this, QDBusConnection::ExportAllSlots)) return false;
  if (!bus.registerService(serviceName())) {
    bus.unregisterObject(objectPath());
    return false;
  }
  registered_ = true;
  return true;
}

bool CVNApplicationService::handOver(const std::vector<std::string>& paths) {
  QDBusConnection bus = QDBusConnection::sessionBus();
  if (!bus.isConnected()) return false;
  QDBusMessage message;
  if (paths.empty()) {
    message = QDBusMessage::createMethodCall(serviceName(), objectPath(), QLatin1String(kInterface),
                                             QStringLiteral("Activate"));
    message << QVariantMap();
  } else {
    QStringList uris;
    for (const std::string& path : paths) {
      uris << QString::fromLatin1(
          QUrl::fromLocalFile(QFile::decodeName(QByteArray::fromStdString(path))).toEncoded());
    }
    message = QDBusMessage::createMethodCall(serviceName(), objectPath(), QLatin1String(kInterface),
                                             QStringLiteral("Open"));
    message << uris << QVariantMap();
  }
  const QDBusMessage reply = bus.call(message, QDBus::Block, kHandOverTimeoutMs);
  return reply.type() == QDBusMessage::ReplyMessage;
}

void CVNApplicationService::Activate(const QVariantMap&) {
  if (appController_) appController_->applicationOpenUntitledFile();
}

void CVNApplicationService::Open(const QStringList& uris, const QVariantMap&) {
  if (!appController_) return;
  std::vector<std::string> paths;
  for (const QString& uri : uris) {
    const QUrl url(uri);
    // Only local files can be archived or extracted; anything else is dropped.
    if (!url.isLocalFile() || url.toLocalFile().isEmpty()) continue;
    paths.push_back(QFile::encodeName(url.toLocalFile()).toStdString());
  }
  if (paths.empty()) {
    appController_->applicationOpenUntitledFile();
    return;
  }
  appController_->openFiles(paths);
}

// The desktop entry declares no actions, so there is nothing to run.
void CVNApplicationService::ActivateAction(const QString&, const QVariantList&,
                                           const QVariantMap&) {}

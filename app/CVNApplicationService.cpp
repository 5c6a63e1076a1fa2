#include "app/CVNApplicationService.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QUrl>
#include <optional>

#include "CVNBundle.h"
#include "app/CVNAppController.h"
#include "jobs/CVNFileURL.h"

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
  releaseService();
  if (registered_) QDBusConnection::sessionBus().unregisterObject(objectPath());
}

void CVNApplicationService::setAppController(CVNAppController* controller) {
  if (appController_) disconnect(appController_, nullptr, this, nullptr);
  appController_ = controller;
  if (controller) {
    connect(controller, &CVNAppController::terminationDecided, this,
            &CVNApplicationService::releaseService);
  }
}

void CVNApplicationService::releaseService() {
  released_ = true;
  if (!ownsName_) return;
  ownsName_ = false;
  // The object stays, so that a request already on its way gets an answer.
  QDBusConnection::sessionBus().unregisterService(serviceName());
}

bool CVNApplicationService::serves() {
  if (!released_ && appController_) return true;
  if (calledFromDBus()) {
    sendErrorReply(QDBusError::Failed, QStringLiteral("Corvana is quitting"));
  }
  return false;
}

bool CVNApplicationService::isConnected() { return QDBusConnection::sessionBus().isConnected(); }

bool CVNApplicationService::registerService() {
  QDBusConnection bus = QDBusConnection::sessionBus();
  if (!bus.isConnected() || released_) return false;
  // The object is there before the name, so no call finds the name without it.
  if (!registered_) {
    if (!bus.registerObject(objectPath(), this, QDBusConnection::ExportAllSlots)) return false;
    registered_ = true;
  }
  ownsName_ = bus.registerService(serviceName());
  return ownsName_;
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
      uris << QString::fromLatin1(CVNFileURLFromPath(path).toEncoded());
    }
    message = QDBusMessage::createMethodCall(serviceName(), objectPath(), QLatin1String(kInterface),
                                             QStringLiteral("Open"));
    message << uris << QVariantMap();
  }
  const QDBusMessage reply = bus.call(message, QDBus::Block, kHandOverTimeoutMs);
  return reply.type() == QDBusMessage::ReplyMessage;
}

void CVNApplicationService::Activate(const QVariantMap&) {
  if (serves()) appController_->applicationOpenUntitledFile();
}

void CVNApplicationService::Open(const QStringList& uris, const QVariantMap&) {
  if (!serves()) return;
  std::vector<std::string> paths;
  for (const QString& uri : uris) {
    // Only local files can be archived or extracted; anything else is dropped.
    // The path is taken from the URI's own bytes, never through text.
    if (std::optional<std::string> path = CVNPathFromFileURL(uri.toUtf8())) {
      paths.push_back(std::move(*path));
    }
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

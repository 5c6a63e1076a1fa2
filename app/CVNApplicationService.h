// One Corvana per session: the first instance owns the application's name on
// the session bus and serves org.freedesktop.Application; later launches hand
// their files (or a plain activation) to it and exit.
#pragma once

#include <QObject>
#include <QPointer>
#include <QStringList>
#include <QVariantList>
#include <QVariantMap>
#include <string>
#include <vector>

class CVNAppController;

class CVNApplicationService : public QObject {
  Q_OBJECT
  Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Application")
 public:
  // The bus name and the object path, both from the application's identifier.
  static QString serviceName();
  static QString objectPath();

  explicit CVNApplicationService(QObject* parent = nullptr);
  ~CVNApplicationService() override;

  // Claims the name on the session bus. False when another instance owns it or
  // there is no session bus (isConnected() tells which).
  bool registerService();
  static bool isConnected();

  // Hands `paths` (none: a plain activation) to the instance that owns the
  // name. False when it did not answer.
  static bool handOver(const std::vector<std::string>& paths);

  // Where requests go; they are dropped while there is none.
  void setAppController(CVNAppController* controller) { appController_ = controller; }

 public slots:
  // org.freedesktop.Application.
  void Activate(const QVariantMap& platformData);
  void Open(const QStringList& uris, const QVariantMap& platformData);
  void ActivateAction(const QString& actionName, const QVariantList& parameter,
                      const QVariantMap& platformData);

 private:
  QPointer<CVNAppController> appController_;
  bool registered_ = false;
};

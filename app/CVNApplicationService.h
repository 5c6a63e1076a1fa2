// One Corvana per session: the first instance owns the application's name on
// the session bus and serves org.freedesktop.Application; later launches hand
// their files (or a plain activation) to it and exit.
#pragma once

#include <QDBusContext>
#include <QObject>
#include <QPointer>
#include <QStringList>
#include <QVariantList>
#include <QVariantMap>
#include <string>
#include <vector>

class CVNAppController;

class CVNApplicationService : public QObject, protected QDBusContext {
  Q_OBJECT
  Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Application")
 public:
  // The bus name and the object path, both from the application's identifier.
  static QString serviceName();
  static QString objectPath();

  explicit CVNApplicationService(QObject* parent = nullptr);
  ~CVNApplicationService() override;

  // Claims the name on the session bus; may be tried again. False when another
  // instance owns it, there is no session bus (isConnected() tells which), or
  // the name has been released.
  bool registerService();
  static bool isConnected();

  // Hands `paths` (none: a plain activation) to the instance that owns the
  // name. False when it did not answer or refused them (it is quitting).
  static bool handOver(const std::vector<std::string>& paths);

  // Where requests go; while there is none they are answered with an error.
  // Once `controller` has decided to quit, the name is released.
  void setAppController(CVNAppController* controller);
  // Gives the name up for good, so that a later launch becomes an instance of
  // its own; requests that still arrive are answered with an error.
  void releaseService();

 public slots:
  // org.freedesktop.Application. Answered with an error once the name is
  // released or without a controller, so that the caller runs on its own.
  void Activate(const QVariantMap& platformData);
  void Open(const QStringList& uris, const QVariantMap& platformData);
  void ActivateAction(const QString& actionName, const QVariantList& parameter,
                      const QVariantMap& platformData);

 private:
  // False (with an error sent back) when requests are no longer served.
  bool serves();

  QPointer<CVNAppController> appController_;
  bool registered_ = false;  // the object is exported
  bool ownsName_ = false;    // the bus name is ours
  bool released_ = false;
};

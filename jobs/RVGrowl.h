// Desktop notifications: a title and a text, shown by the session's notification
// service (org.freedesktop.Notifications). Without a bus or a service it does
// nothing and never blocks.
#pragma once

#include <QString>

class RVGrowl {
 public:
  // Sends the notification without waiting for an answer, as "Corvana" with the
  // application icon. Safe from any thread; needs a QCoreApplication.
  static void notifyWithTitle(const QString& title, const QString& description);
};

// Desktop notifications: a title and a text, shown by the session's notification
// service. Without a bus or a service it does nothing and never blocks.
#pragma once

#include <QString>

class RVGrowl {
 public:
  // Sends the notification without waiting for an answer. Safe from any thread.
  static void notifyWithTitle(const QString& title, const QString& description);
};

#pragma once

#include <QStringList>

namespace telviox {

// telvioxd-serve from its command line to its exit status, in the event
// loop of the QCoreApplication the caller made: serves until SIGTERM or
// SIGINT (then the stop steps, status 0), reloading the list on SIGHUP.
int serveMain(const QStringList &arguments);

} // namespace telviox

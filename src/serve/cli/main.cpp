// telvioxd-serve: the server without windows, for a service manager.

#include "serve/servemain.h"

#include <QCoreApplication>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("telvioxd-serve"));
    QCoreApplication::setApplicationVersion(QStringLiteral(TELVIOXD_VERSION));
    return telviox::serveMain(QCoreApplication::arguments());
}

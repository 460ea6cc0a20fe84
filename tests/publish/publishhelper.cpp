// A publisher in a process of its own, for the last-will test to kill:
//   publish_helper PORT
// publishes the program's items to the broker on 127.0.0.1:PORT with
// "Text1" = "alive" and prints "connected" once the broker took it.

#include "publish/mqtt/mqttpublisher.h"
#include "server/ddeprogramitems.h"

#include <QCoreApplication>
#include <cstdio>

using namespace telviox;

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() != 2)
        return 2;
    DdeProgramItems items;
    items.FillText(1, QStringLiteral("alive"));
    MqttSettings settings;
    settings.host = QStringLiteral("127.0.0.1");
    settings.port = args.at(1).toInt();
    MqttPublisher publisher(items, nullptr, settings);
    QObject::connect(&publisher, &MqttPublisher::connectedChanged, &app, [](bool connected) {
        if (connected) {
            std::fputs("connected\n", stdout);
            std::fflush(stdout);
        }
    });
    QString error;
    if (!publisher.start(&error)) {
        std::fprintf(stderr, "%s\n", qPrintable(error));
        return 1;
    }
    return app.exec();
}

#pragma once

#include <QAbstractHttpServer>
#include <QHostAddress>
#include <QPointer>
#include <QTcpServer>

namespace telviox {

class Clock;
class DdeItemServer;
class LineDiagnostics;

struct HttpSettings
{
    // Only this machine unless an address is given on purpose.
    QHostAddress address = QHostAddress(QHostAddress::LocalHost);
    quint16 port = 0;
};

// The item pages (see replyTo()) over HTTP, answered on the items' thread.
class ItemsHttpServer final : public QAbstractHttpServer
{
    Q_OBJECT

public:
    // The clock stamps the JSON page.
    ItemsHttpServer(const DdeItemServer &items, const LineDiagnostics *diagnostics,
                    const Clock &clock, QObject *parent = nullptr);
    ~ItemsHttpServer() override;

    // False, with *error, when the address cannot be had (a port in use,
    // an address this machine does not have, a port below 1024).
    bool listen(const HttpSettings &settings, QString *error);
    bool isListening() const;
    QHostAddress serverAddress() const;
    quint16 serverPort() const;

protected:
    bool handleRequest(const QHttpServerRequest &request, QTcpSocket *socket) override;
    void missingHandler(const QHttpServerRequest &request, QTcpSocket *socket) override;

private:
    const DdeItemServer &m_items;
    const LineDiagnostics *m_diagnostics;
    const Clock &m_clock;
    QPointer<QTcpServer> m_tcp;
};

} // namespace telviox

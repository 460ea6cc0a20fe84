#include "publish/http/itemshttpserver.h"

#include "core/clock.h"
#include "publish/hostport.h"
#include "publish/http/itempages.h"
#include "server/ddeitemserver.h"

#include <QHttpServerRequest>
#include <QHttpServerResponder>

namespace telviox {

namespace {

QByteArray methodName(QHttpServerRequest::Method method)
{
    switch (method) {
    case QHttpServerRequest::Method::Get:
        return QByteArrayLiteral("GET");
    case QHttpServerRequest::Method::Head:
        return QByteArrayLiteral("HEAD");
    default:
        return QByteArrayLiteral("OTHER");
    }
}

} // namespace

ItemsHttpServer::ItemsHttpServer(const DdeItemServer &items, const LineDiagnostics *diagnostics,
                                 const Clock &clock, QObject *parent)
    : QAbstractHttpServer(parent), m_items(items), m_diagnostics(diagnostics), m_clock(clock)
{}

ItemsHttpServer::~ItemsHttpServer() = default;

bool ItemsHttpServer::listen(const HttpSettings &settings, QString *error)
{
    auto tcp = std::make_unique<QTcpServer>(this);
    if (!tcp->listen(settings.address, settings.port)) {
        const QString where = formatHostPort(settings.address.toString(), settings.port);
        switch (tcp->serverError()) {
        case QAbstractSocket::AddressInUseError:
            *error = QStringLiteral("HTTP: %1 is in use by another program").arg(where);
            break;
        case QAbstractSocket::SocketAccessError:
            *error = QStringLiteral("HTTP: no permission to listen on %1").arg(where);
            break;
        default:
            *error = QStringLiteral("HTTP: cannot listen on %1: %2").arg(where, tcp->errorString());
            break;
        }
        return false;
    }
    m_tcp = tcp.release(); // owned by this object as its child
    bind(m_tcp);
    return true;
}

bool ItemsHttpServer::isListening() const
{
    return m_tcp && m_tcp->isListening();
}

QHostAddress ItemsHttpServer::serverAddress() const
{
    return m_tcp ? m_tcp->serverAddress() : QHostAddress();
}

quint16 ItemsHttpServer::serverPort() const
{
    return m_tcp ? m_tcp->serverPort() : 0;
}

bool ItemsHttpServer::handleRequest(const QHttpServerRequest &request, QTcpSocket *socket)
{
    const QByteArray method = methodName(request.method());
    const HttpReply reply =
        replyTo(method, request.url().path(QUrl::FullyDecoded), m_items.service(), m_items.topic(),
                itemRows(m_items, m_diagnostics), m_clock.wallTime());
    QHttpServerResponder responder = makeResponder(request, socket);
    const auto status = QHttpServerResponder::StatusCode(reply.status);
    responder.writeStatusLine(status);
    responder.writeHeader(QByteArrayLiteral("Content-Type"), reply.contentType);
    responder.writeHeader(QByteArrayLiteral("Content-Length"),
                          QByteArray::number(reply.body.size()));
    // A linked sheet refreshes on its own: never an old copy from a cache.
    responder.writeHeader(QByteArrayLiteral("Cache-Control"), QByteArrayLiteral("no-store"));
    if (!reply.allow.isEmpty())
        responder.writeHeader(QByteArrayLiteral("Allow"), reply.allow);
    responder.writeBody(method == "HEAD" ? QByteArray() : reply.body);
    return true;
}

void ItemsHttpServer::missingHandler(const QHttpServerRequest &request, QTcpSocket *socket)
{
    // Every request is handled above; this is only the base class's need.
    makeResponder(request, socket).write(QHttpServerResponder::StatusCode::NotFound);
}

} // namespace telviox

#pragma once

#include <QDBusConnection>
#include <QDBusMessage>
#include <QHash>
#include <QObject>
#include <QReadWriteLock>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QVariantMap>
#include <memory>
#include <vector>

class QThread;

namespace telviox {

class DdeTopicObject;

// One more interface on a topic's object (read-only properties and methods).
// It is answered on the topic's own thread, so every member must be safe to
// call from any thread.
class DdeObjectInterface
{
public:
    virtual ~DdeObjectInterface() = default;
    virtual QString name() const = 0;
    // The interface's <interface> element for introspection.
    virtual QString introspection() const = 0;
    virtual QVariantMap properties() const = 0;
    // A method call of this interface; the reply or an error reply.
    virtual QDBusMessage call(const QDBusMessage &message) const = 0;
};

// One topic of a DDE service published on D-Bus with a fixed set of named
// text items. Clients read an item with Request or the item's property, write
// it with Poke or a property Set, and are told of every change by the Advise
// signal and PropertiesChanged.
//
// The texts are held here even when publishing fails, so the owner can go on
// filling its items (and show them) with no bus at all.
//
// While published, the topic's object answers on a thread of its own, so
// reads (Request, properties, introspection) get the latest texts at once
// even while the owner's thread waits on a slow module. Writes from clients
// (Poke, property Set) are handed to the owner's thread, take effect there
// and are answered then.
class DdeItemServer : public QObject
{
    Q_OBJECT

public:
    DdeItemServer(const QString &service, const QString &topic, const QStringList &items,
                  QObject *parent = nullptr);
    DdeItemServer(const QDBusConnection &connection, const QString &service, const QString &topic,
                  const QStringList &items, QObject *parent = nullptr);
    ~DdeItemServer() override;

    // Registers the topic's object and then the service's bus name, so the
    // name only appears once the object answers. False, with errorString(),
    // when the bus is not reachable or the name is taken by another client.
    bool publish();
    void unpublish();
    bool isPublished() const { return m_published; }
    QString errorString() const { return m_error; }

    QString service() const { return m_service; }
    QString topic() const { return m_topic; }
    QString busName() const;
    QString objectPath() const;
    QDBusConnection connection() const { return m_connection; }

    // Items in the order given at construction (empty names and repeats dropped).
    QStringList items() const { return m_items; }
    bool hasItem(const QString &item) const { return m_itemSet.contains(item); }
    QString text(const QString &item) const;

    // Publishes a new text; clients are advised only when the text changes.
    // False for an item this topic does not hold.
    bool setText(const QString &item, const QString &text);

    // The published server of this process, in the calling thread, that owns
    // the service on the given connection's bus; null if there is none. A client
    // uses it to answer its own process instead of blocking on itself.
    static DdeItemServer *localServer(const QDBusConnection &connection, const QString &service,
                                      const QString &topic);

    // The published servers of this process, in the calling thread, that
    // serve the service on the given connection; a lister of the bus asks
    // them instead of calling its own connection.
    static QList<const DdeItemServer *> localServers(const QDBusConnection &connection,
                                                     const QString &service);
    // A poke from a client (or this process through localServer): sets the
    // text and emits poked. False for an unknown item.
    bool poke(const QString &item, const QString &text);

    // Adds an interface to the topic's object; before publish().
    void addInterface(std::shared_ptr<const DdeObjectInterface> interface);
    // Tells the bus that properties of an added interface changed.
    void announceProperties(const QString &interface, const QVariantMap &changed);

signals:
    void textChanged(const QString &item, const QString &text);
    // A client wrote the item; textChanged precedes it when the text differs.
    void poked(const QString &item, const QString &text);

private:
    friend class DdeTopicObject;

    void addItems(const QStringList &items);
    void stopThread();
    void announce(const QString &item, const QString &text);
    QString itemOfProperty(const QString &property) const
    {
        return m_itemOfProperty.value(property);
    }

    QDBusConnection m_connection;
    QString m_service;
    QString m_topic;
    QStringList m_items;
    // Written on the owner's thread, read also on the topic's.
    mutable QReadWriteLock m_textsLock;
    QHash<QString, QString> m_texts;
    QHash<QString, QString> m_itemOfProperty;
    QSet<QString> m_itemSet; // fixed at construction
    std::vector<std::shared_ptr<const DdeObjectInterface>> m_interfaces;
    std::unique_ptr<QThread> m_thread;
    std::unique_ptr<DdeTopicObject> m_object;
    bool m_published = false;
    bool m_ownsName = false;
    QString m_error;
};

} // namespace telviox

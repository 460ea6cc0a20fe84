#pragma once

#include <QDBusConnection>
#include <QString>
#include <QStringList>
#include <vector>

namespace telviox {

// One topic of an item server on the bus, with the items it offers.
struct DdeSource
{
    QString service;
    QString topic;
    QStringList items;
};

// Lists the item servers present on a bus (bus names "dde.*"), their topics
// and items, read by introspection. Used to choose the source of an output
// conversation; what it finds is only a suggestion, the operator may still
// type any name.
class DdeSourceLister
{
public:
    // Each introspection waits at most timeoutMs, so a hung client costs the
    // list only its own entries.
    explicit DdeSourceLister(const QDBusConnection &connection = QDBusConnection::sessionBus(),
                             int timeoutMs = 2000);

    // Sorted by service, then topic; items in the order the server gives them.
    // Services that do not answer are left out. Empty when there is no bus;
    // errorString() says why.
    std::vector<DdeSource> list() const;
    QString errorString() const { return m_error; }

    // The topics and items described by one introspection document of the
    // object at path, and the child nodes to visit next.
    struct Node
    {
        bool isTopic = false;
        QStringList items;
        QStringList children; // full object paths
    };
    static Node parseIntrospection(const QString &path, const QString &xml);

private:
    void listService(const QString &busName, std::vector<DdeSource> &out) const;

    QDBusConnection m_connection;
    int m_timeoutMs;
    mutable QString m_error;
};

} // namespace telviox

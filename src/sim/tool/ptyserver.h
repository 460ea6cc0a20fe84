#pragma once

#include <QByteArray>
#include <QString>
#include <cstdio>
#include <map>

namespace telviox::sim {

class SimLine;

// Serves a simulated line on a pseudo-terminal: the slave side is what a
// client opens as its serial port (through a symbolic link), the master side
// is the line. A module answers only at the rate the client set on the port.
class PtyServer
{
public:
    PtyServer(SimLine &line, std::FILE *log);
    ~PtyServer();
    PtyServer(const PtyServer &) = delete;
    PtyServer &operator=(const PtyServer &) = delete;

    // Opens the pseudo-terminal and links linkPath to its slave.
    bool open(const QString &linkPath, QString *error);
    QByteArray slaveName() const { return m_slaveName; }
    // Serves until stopFd becomes readable.
    void run(int stopFd);
    // Removes the link (when it is still ours) and closes the terminal.
    void close();

    // Bytes a never-ending reply streams at most before it gives up.
    static constexpr qint64 EndlessCap = 65536;

private:
    struct Outgoing
    {
        QByteArray bytes;
        qint32 baud;
        bool endless;
    };
    struct Stream
    {
        bool active = false;
        QByteArray pattern;
        qint64 sent = 0;
        qint64 nextUs = 0;
        qint32 baud = 0;
    };

    qint64 nowUs() const;
    qint32 clientBaud() const;
    void handleInput(const QByteArray &bytes);
    // Writes to the line; false when not all of it fitted.
    bool send(const QByteArray &bytes, qint32 baud);
    void streamMore(qint64 now);
    void logLine(const char *direction, qint32 baud, const QByteArray &bytes);

    SimLine &m_line;
    std::FILE *m_log;
    qint64 m_logDirtySinceUs = -1; // time of the oldest line not flushed yet
    int m_master = -1;
    int m_slave = -1;
    QByteArray m_slaveName;
    QByteArray m_linkPath;
    qint64 m_originUs = 0;
    std::multimap<qint64, Outgoing> m_queue;
    Stream m_stream;
};

} // namespace telviox::sim

#pragma once

#include "conversations/conversationfiles.h"
#include "conversations/sharedstate.h"
#include "device/portdevice.h"
#include "device/portfolder.h"
#include "serve/headlessviews.h"
#include "serve/servelog.h"
#include "serve/serveoptions.h"

#include <QDBusConnection>
#include <memory>
#include <optional>

namespace telviox {

class Clock;
class PollCycle;
class Publishing;
class SerialLink;
class LineEventLog;
class ServingProgram;

// The server without windows: loads the list as Open does, ticks every
// conversation in use and starts the server as Run DDE does, stops it, and
// loads the list again on request. Every message is a log line; no question
// waits for an answer.
class ServeProgram
{
public:
    // factory: the port devices (real serial ports unless given).
    ServeProgram(ServeOptions options, ServeLog &log, const QDBusConnection &bus, Clock &clock,
                 PortDeviceFactory factory = {});
    ~ServeProgram();
    ServeProgram(const ServeProgram &) = delete;
    ServeProgram &operator=(const ServeProgram &) = delete;

    // Loads the list and starts the server. nullopt when it serves; else the
    // exit status (the reason is logged).
    std::optional<int> start();
    // The stop steps: the server stopped, the port closed, the items
    // withdrawn. Does nothing when nothing runs.
    void stop();
    // Reads the list again; when it can be served, stops the server, loads
    // it and starts again. A list that cannot be served is reported and the
    // one in use keeps serving. True when the new list serves.
    bool reload();

    bool isServing() const;
    SharedState &state() { return m_state; }
    ServingProgram *serving() const { return m_serving.get(); }
    PollCycle *cycle() const;

private:
    // The list as Open reads it, with at least one conversation in use;
    // nullopt and why not.
    std::optional<ConversationPair> servablePair(QString *why) const;
    // Open's load, then --interval over the list's own.
    void load(const ConversationPair &pair);
    void run();
    // MQTT and HTTP as the options ask; false when an --http address
    // cannot be had (told in the log).
    bool startPublishing();

    ServeOptions m_options;
    ServeLog &m_log;
    QDBusConnection m_bus;
    Clock &m_clock;
    PortDeviceFactory m_factory;
    SharedState m_state;
    LogPrompt m_prompt;
    HeadlessStatus m_status;
    HeadlessEstablish m_establish;
    PortFolder m_ports;
    std::unique_ptr<SerialLink> m_link;
    std::unique_ptr<ServingProgram> m_serving;
    std::unique_ptr<HeadlessServerView> m_view;
    // Module errors and device events as log lines (the journal keeps them).
    std::unique_ptr<LineEventLog> m_lineLog;
    // Beside the items, as long as they are there (a reload keeps them).
    std::unique_ptr<Publishing> m_publishing;
    bool m_ended = false;
};

} // namespace telviox

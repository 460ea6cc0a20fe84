#include "serve/serveprogram.h"

#include "app/shell/configfile.h"
#include "conversations/conversationcommands.h"
#include "conversations/conversationfiles.h"
#include "device/seriallink.h"
#include "publish/publishing.h"
#include "server/ddeprogramitems.h"
#include "server/linediagnostics.h"
#include "server/pollcycle.h"
#include "monitor/lineeventlog.h"
#include "server/servingprogram.h"

#include <QFile>
#include <algorithm>

namespace telviox {

namespace {

// The port: --com, else the one lumvex.cfg of the program folder names, else
// COM1. A missing or unusable file is no reason not to serve.
int chosenPort(const ServeOptions &options)
{
    if (options.com > 0)
        return options.com;
    QFile file(configFilePath(programFolder()));
    if (file.open(QIODevice::ReadOnly)) {
        if (const auto line = parseConfiguration(file.readLine()); line && line->ComPort)
            return *line->ComPort;
    }
    return 1;
}

} // namespace

ServeProgram::ServeProgram(ServeOptions options, ServeLog &log, const QDBusConnection &bus,
                           Clock &clock, PortDeviceFactory factory)
    : m_options(std::move(options)), m_log(log), m_bus(bus), m_clock(clock),
      m_factory(std::move(factory)), m_prompt(log), m_establish(m_state)
{}

ServeProgram::~ServeProgram()
{
    stop();
    // Publishing, the view and the log refer to what the serving program owns.
    m_publishing.reset();
    m_lineLog.reset();
    m_view.reset();
    m_serving.reset();
}

PollCycle *ServeProgram::cycle() const
{
    return m_serving ? m_serving->cycle() : nullptr;
}

bool ServeProgram::isServing() const
{
    return m_state.ServerRunning == 1;
}

std::optional<int> ServeProgram::start()
{
    const int port = chosenPort(m_options);
    if (!m_ports.map(port, m_options.device)) {
        m_log.write(QStringLiteral("cannot map %1 as COM%2").arg(m_options.device).arg(port));
        return ToolCommandLine::ExitFailure;
    }
    m_state.ComPort = qint16(port);
    QString why;
    const auto pair = servablePair(&why);
    if (!pair) {
        m_log.write(why);
        return ToolCommandLine::ExitFailure;
    }
    load(*pair);

    m_link = std::make_unique<SerialLink>(m_clock, m_factory, m_ports.folder());
    // Nobody can answer for an unplugged adapter: the link keeps trying.
    m_link->setRetryFailedOpens(true);
    m_serving = std::make_unique<ServingProgram>(
        ServingProgram::Services{m_state, *m_link, m_clock, m_prompt, m_status}, m_bus);
    m_view = std::make_unique<HeadlessServerView>(m_serving->programItems(), m_log);
    m_lineLog = std::make_unique<LineEventLog>(m_serving->diagnostics(), *m_link, m_clock,
                                               QStringLiteral("telvioxd-serve"));
    // "Quit this demo?" is answered No; should anything still ask to quit,
    // the service ends as failed.
    m_serving->attach(m_establish, *m_view, [this] {
        m_log.write(QStringLiteral("ending: the server was asked to quit"));
        m_ended = true;
    });
    if (!startPublishing())
        return ToolCommandLine::ExitFailure;
    run();
    if (m_ended)
        return ToolCommandLine::ExitFailure;
    return std::nullopt;
}

bool ServeProgram::startPublishing()
{
    if (m_options.publish.isEmpty())
        return true;
    m_publishing = std::make_unique<Publishing>(*m_serving->programItems(),
                                                &m_serving->diagnostics(), m_clock);
    QObject::connect(m_publishing.get(), &Publishing::message, m_publishing.get(),
                     [this](const QString &line) { m_log.write(line); });
    // An address asked for that cannot be had ends the start, as a list that
    // cannot be served does; a broker that is away is waited for.
    const QStringList errors = m_publishing->start(m_options.publish);
    for (const QString &error : errors)
        m_log.write(error);
    return errors.isEmpty();
}

std::optional<ConversationPair> ServeProgram::servablePair(QString *why) const
{
    const QString &file = m_options.file;
    if (!hasCnvExtension(file)) {
        *why = file + QStringLiteral(": not a conversation list (its name must end in .cnv)");
        return std::nullopt;
    }
    auto pair = readLoadablePair(file, why);
    if (!pair)
        return std::nullopt;
    const bool inUse = std::any_of(pair->conv.begin(), pair->conv.end(),
                                   [](const ConvRecord &record) { return record.InUse != 0; });
    if (!inUse) {
        *why = file + QStringLiteral(": no conversation is in use, nothing to serve");
        return std::nullopt;
    }
    return pair;
}

void ServeProgram::load(const ConversationPair &pair)
{
    applyPair(m_state, m_establish, pair);
    if (m_options.interval)
        m_establish.setIntervalValue(*m_options.interval);
}

void ServeProgram::run()
{
    const int first = [this] {
        for (int n = 0; n < ConvCount; ++n) {
            if (m_establish.isChecked(n))
                return n;
        }
        return 0;
    }();
    const PortChoice &choice = m_ports.choice();
    m_log.write(QStringLiteral("serving %1: %2 conversations on %3, every %4 ms")
                    .arg(m_options.file)
                    .arg(m_establish.tickedCount())
                    .arg(describePort(choice, m_state.Conv[std::size_t(first)].BaudRate))
                    .arg(m_state.Link[IntervalEntry].Linked));
    m_serving->cycle()->mnuRun_Click();
    // The box's code alone does not say what is wrong with the port.
    if (const PortDevice::OpenResult failure = m_link->lastOpenFailure();
        failure != PortDevice::OpenResult::Ok)
        m_log.write(describeOpenFailure(choice, m_state.OpenBaud, LinkCode::PortError, failure) +
                    QStringLiteral("; tried again on every exchange"));
}

void ServeProgram::stop()
{
    if (PollCycle *pollCycle = cycle(); pollCycle && isServing()) {
        pollCycle->mnustopDDE_Click();
        m_log.write(QStringLiteral("stopped"));
    }
}

bool ServeProgram::reload()
{
    if (!m_serving)
        return false;
    // Checked before anything stops, so that a bad list changes nothing.
    QString why;
    const auto pair = servablePair(&why);
    if (!pair) {
        m_log.write(QStringLiteral("reload refused: %1; the list in use keeps serving").arg(why));
        return false;
    }
    m_log.write(QStringLiteral("reloading %1").arg(m_options.file));
    stop();
    load(*pair);
    run();
    return isServing();
}

} // namespace telviox

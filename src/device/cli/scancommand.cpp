#include "scancommand.h"

#include "conversations/sharedstate.h"
#include "core/clock.h"
#include "core/prompt.h"
#include "search/linescan.h"
#include "server/serverinterfaces.h"

#include <unistd.h>

namespace telviox::io {

namespace {

// The decoding's boxes and status lines become lines on stderr; a box is
// answered OK, as nobody is there to answer it.
class StderrReports final : public Prompt, public StatusLine
{
public:
    explicit StderrReports(QTextStream &err) : m_err(err) {}
    Answer message(const QString &text, int, const QString &title) override
    {
        m_err << "telvioxd-io: " << (title.trimmed().isEmpty() ? QString() : title.trimmed() + ": ")
              << text << '\n';
        m_err.flush();
        return Answer::Ok;
    }
    void beep() override {}
    void setStatusText(const QString &text) override
    {
        m_err << "telvioxd-io: " << text.trimmed() << '\n';
        m_err.flush();
    }

private:
    QTextStream &m_err;
};

QString hexAddress(int address)
{
    return QString::number(address, 16).toUpper().rightJustified(2, QLatin1Char('0'));
}

class ScanCommand final : public Command
{
public:
    bool parse(const QStringList &args, const Settings &settings, QString *error) override
    {
        m_options.checksum = settings.checksum;
        // The program's --csv before the command word means the scan's own.
        if (settings.csv)
            m_format = Format::Csv;
        for (int i = 0; i < args.size(); ++i) {
            const QString &word = args.at(i);
            if (word == QLatin1String("--checksum")) {
                m_options.checksum = true;
                continue;
            }
            if (word == QLatin1String("--csv") || word == QLatin1String("--lines")) {
                const Format format = word == QLatin1String("--csv") ? Format::Csv : Format::Lines;
                if (m_format != Format::Plain && m_format != format) {
                    *error = QStringLiteral("scan: give --csv or --lines, not both");
                    return false;
                }
                m_format = format;
                continue;
            }
            const bool takesValue =
                word == QLatin1String("--baud") || word == QLatin1String("--timeout") ||
                word == QLatin1String("--from") || word == QLatin1String("--to");
            if (!takesValue) {
                *error = QStringLiteral("scan: unknown word ") + word;
                return false;
            }
            if (i + 1 >= args.size()) {
                *error = QStringLiteral("scan: ") + word + QStringLiteral(" needs a value");
                return false;
            }
            const QString value = args.at(++i);
            if (!readValue(word, value, error))
                return false;
        }
        if (m_options.bauds.isEmpty())
            m_options.bauds << settings.baud;
        if (m_options.from > m_options.to) {
            *error = QStringLiteral("scan: --from is beyond --to");
            return false;
        }
        return true;
    }

    bool opensPort() const override { return false; }
    bool stoppable() const override { return true; }

    int run(IoTool &tool) override
    {
        SerialLink &link = tool.library().link();
        auto state = std::make_unique<SharedState>();
        state->ComPort = qint16(tool.settings().port);
        StderrReports reports(tool.err());
        LineScan scan({*state, link, tool.library(), link.clock(), reports, reports});

        // A progress line only where someone watches it.
        const bool terminal = ::isatty(STDERR_FILENO) == 1;
        const auto progress = [&](qint32 baud, int address) {
            if (!terminal)
                return;
            tool.err() << "\rscanning " << baud << " baud, address " << hexAddress(address) << ' ';
            tool.err().flush();
        };
        const auto entries = scan.run(m_options, progress, [] { return stopSignalled(); });
        if (terminal) {
            tool.err() << '\r' << QString(40, QLatin1Char(' ')) << '\r';
            tool.err().flush();
        }

        // Repeated scans carry the time of each result, as every command's do.
        const bool stamped = tool.settings().timeStamps;
        const QStringList columns{QStringLiteral("address"),  QStringLiteral("baud"),
                                  QStringLiteral("checksum"), QStringLiteral("name"),
                                  QStringLiteral("slot"),     QStringLiteral("decoded")};
        if (m_format == Format::Csv)
            tool.printHeader(columns, stamped);
        for (const LineScan::Entry &entry : entries) {
            const QString slot = entry.slot < 0 ? QString() : QString::number(entry.slot);
            switch (m_format) {
            case Format::Lines:
                tool.printLine(entry.line);
                break;
            case Format::Csv:
                tool.printRow(columns,
                              {hexAddress(entry.address), QString::number(entry.baud),
                               QString::number(entry.checksum), entry.name, slot, entry.remark},
                              stamped);
                break;
            case Format::Plain:
                tool.printLine(hexAddress(entry.address) + QStringLiteral("  ") +
                               QString::number(entry.baud).leftJustified(6) + QStringLiteral("  ") +
                               QLatin1String(entry.checksum ? "checksum" : "-       ") +
                               QStringLiteral("  ") + entry.name.leftJustified(6) +
                               QStringLiteral("  ") +
                               (slot.isEmpty() ? QStringLiteral("- ") : QLatin1Char('S') + slot) +
                               QStringLiteral("  ") + entry.remark);
                break;
            }
        }
        tool.out().flush();
        return stopSignalled() ? ExitFailure : ExitOk;
    }

private:
    enum class Format { Plain, Csv, Lines };

    bool readValue(const QString &option, const QString &value, QString *error)
    {
        if (option == QLatin1String("--from") || option == QLatin1String("--to")) {
            const auto address = parseAddress(value);
            if (!address) {
                *error = QStringLiteral("scan: ") + option + QStringLiteral(": ") + value +
                         QStringLiteral(" is not a hexadecimal address 00 to FF");
                return false;
            }
            (option == QLatin1String("--from") ? m_options.from : m_options.to) = *address;
            return true;
        }
        const auto number = parseInteger(value);
        if (option == QLatin1String("--baud")) {
            if (!number || *number < 1 || *number > 10000000) {
                *error = QStringLiteral("scan: --baud: ") + value +
                         QStringLiteral(" is not a baud rate");
                return false;
            }
            m_options.bauds << qint32(*number);
            return true;
        }
        if (!number || *number < 0 || *number > 32767) {
            *error = QStringLiteral("scan: --timeout: ") + value +
                     QStringLiteral(" is not a number from 0 to 32767");
            return false;
        }
        m_options.timeoutMs = int(*number);
        return true;
    }

    LineScan::Options m_options;
    Format m_format = Format::Plain;
};

} // namespace

std::unique_ptr<Command> makeScanCommand()
{
    return std::make_unique<ScanCommand>();
}

} // namespace telviox::io

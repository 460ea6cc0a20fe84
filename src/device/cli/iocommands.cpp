#include "iocommands.h"

#include "scancommand.h"

namespace telviox::io {

namespace {

class RawCommand final : public Command
{
public:
    bool parse(const QStringList &args, const Settings &, QString *error) override
    {
        if (args.size() != 1 || args.first().isEmpty()) {
            *error = QStringLiteral("raw takes one command text");
            return false;
        }
        // The link ends the frame with its own CR: one inside the text would
        // send two commands, the second one unanswered.
        if (args.first().contains(QLatin1Char('\r'))) {
            *error = QStringLiteral("raw: the command text holds a CR; the link adds the one "
                                    "that ends it");
            return false;
        }
        m_command = args.first().toLatin1();
        return true;
    }
    int run(IoTool &tool) override { return tool.raw(m_command); }

private:
    QByteArray m_command;
};

class CallCommand final : public Command
{
public:
    bool parse(const QStringList &args, const Settings &settings, QString *error) override
    {
        m_request = parseCall(args, settings, error);
        return m_request.has_value();
    }
    int run(IoTool &tool) override { return tool.call(*m_request); }

private:
    std::optional<CallRequest> m_request;
};

class ReadCommand final : public Command
{
public:
    bool parse(const QStringList &args, const Settings &, QString *error) override
    {
        if (args.isEmpty() || args.size() > 2) {
            *error = QStringLiteral("read takes an address and perhaps slot=S");
            return false;
        }
        const auto address = parseAddress(args.first());
        if (!address) {
            *error = args.first() + QStringLiteral(" is not a hexadecimal address 00 to FF");
            return false;
        }
        m_address = *address;
        if (args.size() == 2) {
            const QString &s = args.at(1);
            const auto n =
                s.startsWith(QLatin1String("slot=")) ? parseInteger(s.mid(5)) : std::nullopt;
            if (!n || *n < 0 || *n > 7) {
                *error = s + QStringLiteral(" is not slot=0 to slot=7");
                return false;
            }
            m_slot = int(*n);
        }
        return true;
    }
    int run(IoTool &tool) override { return tool.read(m_address, m_slot); }

private:
    int m_address = 0;
    std::optional<int> m_slot;
};

template <typename T> std::unique_ptr<Command> make()
{
    return std::make_unique<T>();
}

} // namespace

// A new command: a Command of its own and a row here; the help lists it.
const std::vector<CommandEntry> &commands()
{
    static const std::vector<CommandEntry> table{
        {"raw", "  raw TEXT          send TEXT (for example '$01M') and print the reply\n",
         &make<RawCommand>},
        {"call",
         "  call FUNCTION addr=AA type=CODE [slot=S] [ch=N] [value=V] [e5=X e7=X e8=X ...]\n"
         "                    call a module library function; prints the result code,\n"
         "                    what the function filled, and the command and reply\n",
         &make<CallCommand>},
        {"read", "  read AA [slot=S]  read a module's name and its present values\n",
         &make<ReadCommand>},
        {"scan",
         "  scan [--baud B ...] [--checksum] [--timeout MS] [--from AA] [--to AA]\n"
         "       [--csv | --lines]\n"
         "                    find the modules on the line and print one line each:\n"
         "                    address, rate, checksum, name, slot and the decoded\n"
         "                    configuration; --lines prints the search window's result\n"
         "                    lines. The time-out fits each rate unless given\n",
         &makeScanCommand},
    };
    return table;
}

const CommandEntry *findCommand(const QString &name)
{
    for (const CommandEntry &entry : commands()) {
        if (name == QLatin1String(entry.name))
            return &entry;
    }
    return nullptr;
}

} // namespace telviox::io

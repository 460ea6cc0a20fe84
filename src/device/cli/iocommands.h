#pragma once

#include "iotool.h"

#include <QStringList>
#include <memory>
#include <vector>

namespace telviox::io {

// One command of telvioxd-io. Its words are checked before the port is
// touched; then it runs once, or again and again with --repeat.
class Command
{
public:
    virtual ~Command() = default;
    // The words after the command's name; false, with the reason in error,
    // on a usage error.
    virtual bool parse(const QStringList &args, const Settings &settings, QString *error) = 0;
    // Whether the tool opens the port at --baud before the first run; a
    // command that chooses its own rates opens it itself.
    virtual bool opensPort() const { return true; }
    // Whether a stop signal should end a single run after the exchange under
    // way (a long walk over the line) rather than the program at once.
    virtual bool stoppable() const { return false; }
    // One run; returns its exit status.
    virtual int run(IoTool &tool) = 0;
};

// True once a stop signal came while a stoppable or repeating run was on.
bool stopSignalled();

struct CommandEntry
{
    const char *name;
    const char *help; // its lines in the help's command list
    std::unique_ptr<Command> (*make)();
};

// Every command, in the order the help lists them.
const std::vector<CommandEntry> &commands();
const CommandEntry *findCommand(const QString &name);

} // namespace telviox::io

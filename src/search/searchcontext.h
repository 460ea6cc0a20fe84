#pragma once

#include <QString>

namespace telviox {

class Clock;
class ModuleLibrary;
class Prompt;
class SerialLink;
class StatusLine;
struct SharedState;

// What the search and the configuration decoding run on: the shared state
// (settings in, found-module table out), the line, the module functions,
// time, boxes and beeps, and the status line that module errors go to.
struct SearchContext
{
    SharedState &state;
    SerialLink &link;
    ModuleLibrary &library;
    Clock &clock;
    Prompt &prompt;
    StatusLine &status;
};

// Where found modules' result lines are listed as they are found.
class ModuleListSink
{
public:
    virtual ~ModuleListSink() = default;
    virtual void addModuleLine(const QString &line) = 0;
};

} // namespace telviox

#pragma once

#include "core/programnames.h"

#include <QString>
#include <functional>

namespace telviox {

class Prompt;
class SerialLink;
struct SharedState;

// Who asked the main window to close.
enum class CloseRequest {
    Operator, // the close box, File Exit, the tray's Exit, the Establish window's Exit
    System,   // the session ending, a termination signal
};

// The closing of the main window: a close the operator asked for is
// confirmed, then the server is stopped, the configuration written, the port
// closed and the tray icon removed. A close the system asks for is let
// through without a question and without saving anything.
class ProgramExit
{
public:
    struct Actions
    {
        // The server's stop, called only while the server runs.
        std::function<void()> stopServer;
        std::function<void()> removeTrayIcon;
    };

    ProgramExit(SharedState &state, Prompt &prompt, SerialLink &link, QString folder,
                Actions actions);

    // True when the main window may close; false when the operator said No.
    bool queryUnload(CloseRequest request);

    static QString question() { return QStringLiteral("To exit ") + ProgramTitle + " ?"; }
    // The box when the configuration file cannot be written at the exit.
    static QString writeFailure(const QString &path, const QString &reason)
    {
        return QStringLiteral("The settings could not be saved to %1:\r\n%2").arg(path, reason);
    }

private:
    SharedState &m_state;
    Prompt &m_prompt;
    SerialLink &m_link;
    QString m_folder;
    Actions m_actions;
};

} // namespace telviox

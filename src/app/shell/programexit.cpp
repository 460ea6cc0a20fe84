#include "app/shell/programexit.h"

#include "app/shell/configfile.h"
#include "conversations/sharedstate.h"
#include "core/prompt.h"
#include "device/seriallink.h"

#include <utility>

namespace telviox {

ProgramExit::ProgramExit(SharedState &state, Prompt &prompt, SerialLink &link, QString folder,
                         Actions actions)
    : m_state(state), m_prompt(prompt), m_link(link), m_folder(std::move(folder)),
      m_actions(std::move(actions))
{}

bool ProgramExit::queryUnload(CloseRequest request)
{
    const Configuration closing = configurationOf(m_state);
    m_prompt.beep();
    if (request == CloseRequest::System)
        return true;

    const Answer answer =
        m_prompt.message(question(), BoxStyle::Question | BoxStyle::YesNo, ProgramFileName);
    if (answer != Answer::Yes)
        return false;

    // The server stops first: its stop closes the port the configuration names.
    if (m_state.ServerRunning == 1 && m_actions.stopServer)
        m_actions.stopServer();
    QString error;
    if (!writeConfiguration(closing, m_folder, &error)) {
        // The close goes on; the next start finds the previous file, and the
        // operator knows why the options were not kept.
        m_prompt.message(writeFailure(configFilePath(m_folder), error),
                         BoxStyle::Critical | BoxStyle::Ok, ProgramTitle);
    }
    m_link.Close_Com(m_state.ComPort);
    if (m_actions.removeTrayIcon)
        m_actions.removeTrayIcon();
    return true;
}

} // namespace telviox

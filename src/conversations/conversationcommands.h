#pragma once

#include "conversations/conversationfiles.h"
#include "conversations/establishview.h"
#include "conversations/sharedstate.h"

#include <QString>
#include <functional>
#include <optional>

namespace telviox {

class FileDialogs;
class Prompt;

// Open's load without its boxes, for callers that report on their own: the
// pair read whole and its timer interval checked. nullopt, and in *why which
// file failed and how, when Open would refuse it.
std::optional<ConversationPair> readLoadablePair(const QString &path, QString *why = nullptr);
// What Open changes with a loaded pair: both tables replaced, each check box
// ticked by its conversation's InUse, the scroll bar set to the interval.
void applyPair(SharedState &state, EstablishView &establish, const ConversationPair &pair);

// The File menu's Open and Save and the start-up's auto-run, as the main
// window calls them. Every message and beep goes through the Prompt.
class ConversationFileCommands
{
public:
    ConversationFileCommands(SharedState &state, Prompt &prompt, FileDialogs &dialogs,
                             EstablishView &establish, MainWindowCaption &caption,
                             std::function<void()> startServer);

    // "&Open": loads a pair the operator chooses. True when it was loaded.
    bool open();
    // "&Save": writes the tables under a name the operator chooses. True when
    // both files were written.
    bool save();
    // Start-up with auto-run set: loads default.cnv of programFolder and its
    // companion, then starts the server. True when the server was started.
    bool autorun(const QString &programFolder);

    static const QString OpenFilter;
    static const QString SaveFilter;
    static constexpr int FilterIndex = 2;

private:
    bool load(const QString &path);
    void noFileSelection();
    void extensionError(const QString &path);
    bool refuseUnwritableLinks(const QString &path);
    bool reportWriteFailure(const QString &path, const WriteOutcome &outcome);

    SharedState &m_state;
    Prompt &m_prompt;
    FileDialogs &m_dialogs;
    EstablishView &m_establish;
    MainWindowCaption &m_caption;
    std::function<void()> m_startServer;
};

} // namespace telviox

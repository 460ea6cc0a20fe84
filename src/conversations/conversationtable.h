#pragma once

#include "conversations/sharedstate.h"

#include <array>

namespace telviox {

using ConvTable = std::array<ConvRecord, ConvCount>;
using LinkTable = std::array<LinkRecord, LinkCount>;

// The operations that change whole records, in the order their callers use
// them. Everything else reads and writes the fields directly.

// 1. A conversation whose check box was cleared: empty, but its other fields
// stay so that ticking it again starts from them.
void clearConversation(SharedState &state, int index);

// 2. Accepting a conversation belongs to the setting dialog's logic; it is
// added here beside the other whole-record operations when that dialog is.

// 3. Load all: both tables replaced at once, from a conversation file pair.
void replaceTables(SharedState &state, const ConvTable &conv, const LinkTable &link);

// 4. Save all writes the tables as they stand (conversationfiles.h).

// 5. The Establish Conversation window's start: nothing being edited and every
// conversation outputs its fixed value until a panel links it.
void resetForEstablishWindow(SharedState &state);

// 6. The server's stop: the next start rebuilds every client link.
void resetLinkActive(SharedState &state);

// The settings entry (link entry 32), written by the main window's load and the
// server's start.
void setIntervalEntry(SharedState &state, int interval);

} // namespace telviox

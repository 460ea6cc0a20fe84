#pragma once

#include "conversations/sharedstate.h"

#include <QString>

namespace telviox {

// The short description of conversation `index` (0..31) that the Establish
// Conversation window shows on a right-click: module type, baud rate and
// address, then lines that depend on the module's setting list entry. Every
// line ends with CR LF.
QString conversationDescription(const SharedState &state, int index);

// A single-precision value as text: up to seven significant digits, no
// trailing zeros, no padding ("2.5", "-0.125", "0").
QString singleAsText(float value);

} // namespace telviox

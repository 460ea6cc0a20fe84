#pragma once

#include "conversations/sharedstate.h"

#include <QString>

namespace telviox {

// The short description of conversation `index` (0..31) that the Establish
// Conversation window shows on a right-click: module type, baud rate and
// address, then lines that depend on the module's setting list entry. Every
// line ends with CR LF.
QString conversationDescription(const SharedState &state, int index);

// A single-precision value as plain conversion writes it: a blank where the
// minus sign of a negative value would stand, up to seven significant digits,
// no trailing zeros.
QString singleAsText(float value);

} // namespace telviox

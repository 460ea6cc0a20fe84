#pragma once

#include <QString>

namespace telviox {

// Description of a library error code: the exact text, with its leading
// blanks, for codes 1 to 22; empty for every other code.
QString moduleErrorDescription(qint16 code);

// The one-line report of a library error: "Error in Module: <name>  Error Code:"
// followed by the code as plain conversion writes it (one leading blank when
// not negative) and the description.
QString moduleErrorLine(const QString &moduleName, qint16 code);

} // namespace telviox

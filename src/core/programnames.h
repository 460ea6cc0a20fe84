#pragma once

#include <QString>

namespace telviox {

// The program's title, as the exit question and the search's boxes name it,
// and the name its boxes carry.
inline const QString ProgramTitle = QStringLiteral("Telvioxd");
inline const QString ProgramFileName = QStringLiteral("TELVIOXD");

} // namespace telviox

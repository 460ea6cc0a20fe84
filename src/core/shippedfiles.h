#pragma once

#include <QString>

namespace telviox {

// Files that ship beside the program.
namespace ShippedFile {
inline const QString Help = QStringLiteral("telvioxd.html");
inline const QString ProgramIcon = QStringLiteral("telvioxd.png");
} // namespace ShippedFile

// Where a shipped file is read from: the program's folder when it holds the
// file (an operator's own copy), else the executable's folder, where the
// build and the installation put it. The program's folder's path when
// neither holds it.
QString shippedFilePath(const QString &name, const QString &programFolder);

} // namespace telviox

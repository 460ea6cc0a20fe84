#pragma once

#include <QString>

namespace telviox {

// Files that ship with the program.
namespace ShippedFile {
inline const QString Help = QStringLiteral("telvioxd.html");
inline const QString ProgramIcon = QStringLiteral("telvioxd.png");
} // namespace ShippedFile

// The installation's folder of shipped files, relative to the executable's
// folder (bin/ beside share/).
inline const QString InstalledShareFolder = QStringLiteral("../share/telvioxd");

// Where a shipped file is read from: the program's folder when it holds the
// file (an operator's own copy), else the executable's folder, where the
// build puts it, else the installation's share folder. The program's
// folder's path when none holds it.
QString shippedFilePath(const QString &name, const QString &programFolder);
// The same for a given executable's folder.
QString shippedFilePath(const QString &name, const QString &programFolder,
                        const QString &executableFolder);

} // namespace telviox

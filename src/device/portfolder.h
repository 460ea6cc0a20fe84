#pragma once

#include "device/portpath.h"

#include <QString>
#include <QTemporaryDir>

namespace telviox {

// Where a program looks up its COM port: the program's folder, or for a
// device named on the command line a one-off folder of its own whose
// ports/comN links to the device, so the link opens it like any COM port
// (and looks it up again after it went away).
class PortFolder
{
public:
    // False when the one-off folder or its link cannot be made.
    bool map(int port, const QString &device);

    QString folder() const { return m_folder; }
    const PortChoice &choice() const { return m_choice; }

private:
    QTemporaryDir m_mapping;
    QString m_folder;
    PortChoice m_choice;
};

} // namespace telviox

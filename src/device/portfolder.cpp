#include "device/portfolder.h"

#include <QDir>
#include <QFile>

namespace telviox {

bool PortFolder::map(int port, const QString &device)
{
    if (device.isEmpty()) {
        m_folder = programFolder();
        m_choice = PortChoice::forPort(port, m_folder);
        return true;
    }
    m_choice = PortChoice::forDevice(port, device);
    m_folder = m_mapping.path();
    return m_mapping.isValid() && QDir(m_folder).mkpath(QStringLiteral("ports")) &&
           QFile::link(m_choice.device,
                       QDir(m_folder).filePath(QStringLiteral("ports/com%1").arg(port)));
}

} // namespace telviox

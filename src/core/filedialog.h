#pragma once

#include <QString>
#include <QStringList>
#include <optional>

namespace telviox {

// The common file dialogs, behind an interface so that the logic runs without
// a display and tests choose the file.
//
// filter is given as "Name|pattern|Name|pattern" ("All File|*.*|.Cnv|*.CNV");
// filterIndex counts its pairs from 1. The answer is the chosen full path, or
// nullopt when the operator cancelled.
class FileDialogs
{
public:
    virtual ~FileDialogs() = default;
    virtual std::optional<QString> getOpenFileName(const QString &caption, const QString &filter,
                                                   int filterIndex) = 0;
    virtual std::optional<QString> getSaveFileName(const QString &caption, const QString &filter,
                                                   int filterIndex) = 0;
};

// The "Name|pattern|..." form as the name filters a Qt file dialog takes
// ("All File (*.*)", ".Cnv (*.CNV)").
inline QStringList nameFiltersOf(const QString &filter)
{
    const QStringList parts = filter.split(QLatin1Char('|'));
    QStringList filters;
    for (int i = 0; i + 1 < parts.size(); i += 2)
        filters << QStringLiteral("%1 (%2)").arg(parts.at(i), parts.at(i + 1));
    return filters;
}

} // namespace telviox

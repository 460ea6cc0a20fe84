#pragma once

#include <QString>
#include <QStringList>
#include <optional>

namespace telviox::search {

// The models the supported-modules window lists: the stand-alone entries of
// the catalogue's setting list, in its order.
QStringList supportedModels();

// A model's feature text: its title lines, then its feature lines, each line
// followed by CR LF. The model is named by the first four characters of a
// list entry; nullopt when they name no listed model.
std::optional<QString> featureText(const QString &entry);

// What the window shows when it opens: the first model's text in its older
// wording of the two range lines.
QString openingFeatureText();

} // namespace telviox::search

#pragma once

#include <QWidget>

namespace telviox {

// The two heading rows above a list of found modules, in the list's
// fixed-pitch font, over the columns of the result lines.
class ModuleListHeading final : public QWidget
{
    Q_OBJECT

public:
    explicit ModuleListHeading(const QFont &font, QWidget *parent = nullptr);
};

} // namespace telviox

#pragma once

#include <functional>

class QToolBar;
class QWidget;

namespace telviox {

// The toolbar of the report windows ("Toolbar1"): buttons by index, 2 "Print"
// and 4 "Exit"; 1 and 3 are separators. clicked gets the index.
QToolBar *makeReportToolbar(QWidget *owner, std::function<void(int index)> clicked);

} // namespace telviox

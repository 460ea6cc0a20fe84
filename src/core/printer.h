#pragma once

#include <QString>
#include <QStringList>

namespace telviox {

// The default printer, behind an interface so that the logic builds its
// reports without a display and tests read what was printed.
class Printer
{
public:
    virtual ~Printer() = default;
    // Prints the lines, one printer line each, in a fixed-pitch font, as one
    // job named documentName. True when the page went out (to the printer or
    // to the file the operator chose in its place); false when it did not,
    // the operator having cancelled or the output having failed.
    virtual bool print(const QString &documentName, const QStringList &lines) = 0;
};

} // namespace telviox

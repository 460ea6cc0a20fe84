#pragma once

#include "core/printer.h"

#include <QList>
#include <QStringList>

namespace telviox::test {

// Records what it was given to print; answers as told.
class RecordingPrinter final : public Printer
{
public:
    bool print(const QString &, const QStringList &lines) override
    {
        jobs << lines;
        return succeed;
    }
    QList<QStringList> jobs;
    bool succeed = true;
};

} // namespace telviox::test

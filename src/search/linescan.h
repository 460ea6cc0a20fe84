#pragma once

#include "search/searchcontext.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <functional>
#include <vector>

namespace telviox {

// A quick walk over the line for scripts: the search's read-name command at
// every address and rate, with a time-out fitted to the line instead of the
// search window's fixed waits, and the same decoding of every module found.
class LineScan
{
public:
    struct Options
    {
        QList<qint32> bauds;   // tried highest first, whatever the order given
        bool checksum = false; // retry an unanswered address with a checksum
        int timeoutMs = -1;    // -1: fitted to each rate
        int from = 0;
        int to = 255;
    };

    // One found entry: a module on the line, or a module in a main unit's slot.
    struct Entry
    {
        int address = 0;
        qint32 baud = 0;
        int checksum = 0;
        QString name;
        int slot = -1;  // -1: the module itself
        QString line;   // the search window's 80-character result line
        QString remark; // the line's decoded part, blanks trimmed
    };

    // context.state is the scan's own: its found table is reused per module.
    explicit LineScan(const SearchContext &context);

    // What one exchange at a rate needs: the longest name reply's wire time
    // and the modules' turnaround, with room for the operating system.
    static int fittedTimeout(qint32 baud);

    // Scans and returns the entries in the order the search window lists
    // them. progress sees the rate and address before each one is tried;
    // stop, when given, ends the scan after the exchange under way.
    std::vector<Entry> run(const Options &options,
                           const std::function<void(qint32, int)> &progress = {},
                           const std::function<bool()> &stop = {});

private:
    void decode(int address, qint32 baud, int checksum, const QByteArray &reply,
                std::vector<Entry> &entries);

    SearchContext m_context;
};

} // namespace telviox

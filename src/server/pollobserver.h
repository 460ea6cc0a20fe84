#pragma once

#include <QtGlobal>

namespace telviox {

// Watches the poll cycle without taking part in it: which conversation each
// item position is being filled from, the module errors the routines report,
// and the end of each tick. Called on the poll cycle's thread, between the
// cycle's own steps; an observer never waits or writes an item.
class PollObserver
{
public:
    virtual ~PollObserver() = default;
    virtual void visitStarted(qint16 index, qint16 position) = 0;
    // The routine of the visit reported a library error (also shown in the
    // status line).
    virtual void moduleError(qint16 code) = 0;
    virtual void visitEnded() = 0;
    virtual void tickEnded() = 0;
    // The server stopped (its window closed).
    virtual void serverStopped() = 0;
};

} // namespace telviox

#pragma once

#include <QtGlobal>
#include <array>
#include <functional>

namespace telviox {

class Clock;
class SerialLink;

// The quick look for a module at start: COM1 and COM2, addresses 00 to 09,
// eleven rates from the fastest down, within a budget of one second from the
// moment the splash window came up. The first port that answers becomes the
// COM port.
class StartupProbe
{
public:
    enum class End {
        Answer,     // a module answered "!"
        MousePress, // the operator pressed a mouse button on the splash window
        Exhausted,  // every port, address and rate was tried
        BudgetUsed, // more than the budget had passed since the splash came up
    };

    struct Result
    {
        qint16 comPort = 1;
        End end = End::Exhausted;
        int attempts = 0;
    };

    static constexpr std::array<qint32, 11> Bauds = {921600, 460800, 230400, 115200, 57600, 38400,
                                                     19200,  9600,   4800,   2400,   1200};
    static constexpr int FirstPort = 1;
    static constexpr int LastPort = 2;
    static constexpr int Addresses = 10;
    static constexpr int BudgetMs = 1000;
    static constexpr int ReplyTimeoutMs = 1000;
    // The splash stays at least this long after it came up, unless the
    // budget ran out.
    static constexpr int SplashMs = 3000;

    // mousePressed answers whether a button was pressed since it was last
    // asked; processEvents lets the splash window draw and see presses
    // between attempts. Either may be empty.
    StartupProbe(SerialLink &link, Clock &clock, std::function<bool()> mousePressed = {},
                 std::function<void()> processEvents = {});

    // Runs the probe; t0 is the clock's tick count when the splash came up.
    Result run(qint64 t0);

    // How much longer the splash stays after the probe ended at `now`.
    static qint64 splashRemaining(const Result &result, qint64 t0, qint64 now);

private:
    bool attempt(int port, qint32 baud, int address);

    SerialLink &m_link;
    Clock &m_clock;
    std::function<bool()> m_mousePressed;
    std::function<void()> m_processEvents;
};

} // namespace telviox

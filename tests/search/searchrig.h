#pragma once

// The search on a simulated line with virtual time: the real serial link and
// module functions talk to the in-process simulator; the window, the status
// line and the boxes are fakes that record what they were asked, in one log.

#include "conversations/sharedstate.h"
#include "device/modulelibrary.h"
#include "search/resultline.h"
#include "search/searchengine.h"
#include "search/searchsettings.h"
#include "server/serverinterfaces.h"
#include "sim/simline.h"
#include "sim/simportdevice.h"
#include "support/scriptedprompt.h"
#include "support/simrig.h"

#include <QStringList>
#include <functional>
#include <stdexcept>

namespace telviox::test {

using namespace Qt::StringLiterals;

class RecordingView final : public SearchView
{
public:
    void addModuleLine(const QString &line) override { lines << line; }
    void setCaption(const QString &text) override { caption = text; }
    void clearModuleList() override { lines.clear(); }
    void setComLabel(const QString &text) override { com = text; }
    void setBaudLabel(const QString &text) override { baud = text; }
    void setAddressLabels(const QString &dec, const QString &hex) override
    {
        decimal = dec;
        hexadecimal = hex;
    }
    void setLabelsRed(bool value) override { red = value; }
    void setProgress(int value) override { progress = value; }
    void setProgressVisible(bool visible) override { progressVisible = visible; }
    void setHintText(const QString &text) override { hint = text; }
    void processEvents() override
    {
        ++eventRuns;
        if (onEvents)
            onEvents();
    }
    void closeWindow() override { ++closes; }

    QStringList lines;
    QString caption, com, baud, decimal, hexadecimal, hint;
    bool red = false;
    int progress = -1;
    bool progressVisible = false;
    int eventRuns = 0;
    int closes = 0;
    std::function<void()> onEvents; // what the user does while events run
};

// Index of a rate in the search's rate table.
inline int rateIndex(qint32 baud)
{
    for (int i = 0; i < int(search::SearchBaudTable.size()); ++i) {
        if (search::SearchBaudTable[std::size_t(i)] == baud)
            return i;
    }
    throw std::runtime_error("not a search rate");
}

struct SearchRig
{
    explicit SearchRig(const QByteArray &json, const QList<qint32> &rates = {9600})
        : line(loadLine(json)),
          link(clock,
               [this](int port, const QString &path) -> std::unique_ptr<PortDevice> {
                   return std::make_unique<LoggingDevice>(
                       sim::simDeviceFactory(*line, clock)(port, path), log, &clock, &overrides);
               }),
          library(link), context{state, link, library, clock, prompt, status}, engine(context, view)
    {
        state.ComPort = 1;
        for (qint32 rate : rates)
            state.SearchBauds[std::size_t(rateIndex(rate))] = 1;
    }

    // The frames sent, without their times; with an address, only the
    // frames to it other than the read-name command.
    QStringList frames(int address = -1) const
    {
        const QString aa = QString::number(address, 16).toUpper().rightJustified(2, '0');
        QStringList out;
        for (const QString &entry : log) {
            if (!entry.startsWith('@'))
                continue;
            const QString frame = entry.section(' ', 1);
            if (address < 0 || (frame.mid(1, 2) == aa &&
                                !frame.startsWith(QLatin1Char('$') + aa + QLatin1Char('M'))))
                out << frame;
        }
        return out;
    }
    QStringList foundLines() const
    {
        QStringList out;
        for (int i = 0; i < state.Found.FoundCount; ++i)
            out << state.Found.ResultLines[std::size_t(i)];
        return out;
    }
    const FoundRecord &record(int index) const { return state.Found.Records[std::size_t(index)]; }

    VirtualClock clock;
    QStringList log;
    ReplyOverrides overrides;
    std::unique_ptr<sim::SimLine> line;
    SerialLink link;
    ModuleLibrary library;
    ScriptedPrompt prompt;
    RecordingStatus status;
    RecordingView view;
    SharedState state;
    SearchContext context;
    SearchEngine engine;
};

} // namespace telviox::test

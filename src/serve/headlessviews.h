#pragma once

#include "conversations/establishview.h"
#include "server/serverinterfaces.h"

#include <array>
#include <functional>

namespace telviox {

class DdeProgramItems;
class ServeLog;

// The Establish Conversation window without a window: the ticks a loaded
// list leaves (every conversation in use) and the interval, which goes to
// the settings entry as the scroll bar's change does.
class HeadlessEstablish final : public EstablishView
{
public:
    explicit HeadlessEstablish(SharedState &state) : m_state(state) {}

    void setChecked(int index, bool ticked) override { m_ticks[std::size_t(index)] = ticked; }
    bool isChecked(int index) const override { return m_ticks[std::size_t(index)]; }
    void setIntervalValue(int value) override { intervalChanged(m_state, value); }

    int tickedCount() const;

private:
    SharedState &m_state;
    std::array<bool, ConvCount> m_ticks{};
};

// The server window without a window: loading it publishes the items with
// empty texts, unloading it withdraws them. Nothing is minimised, restored
// or enabled, and a tick ends without an extra turn of the event loop: the
// loop runs right after it anyway, and a signal handled inside a tick would
// stop the server under it.
// The status line's reports are the module errors, which the line event log
// writes with the item, model and address they belong to.
class HeadlessStatus final : public StatusLine
{
public:
    void setStatusText(const QString &) override {}
};

class HeadlessServerView final : public ServerView
{
public:
    // items may be null: nothing is published (tests with items of their own).
    HeadlessServerView(DdeProgramItems *items, ServeLog &log) : m_items(items), m_log(log) {}

    void showServerWindow() override;
    void unloadServerWindow() override;
    void restoreServerWindow() override {}
    void hideServerWindow() override {}
    void minimiseWindows() override {}
    void setServerMenusEnabled(bool) override {}
    void processEvents() override {}

    bool isLoaded() const { return m_loaded; }

private:
    DdeProgramItems *m_items;
    ServeLog &m_log;
    bool m_loaded = false;
};

} // namespace telviox

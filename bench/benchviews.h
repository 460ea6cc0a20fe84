#pragma once

// Stand-ins for the windows around a poll cycle that benchmarks run without
// a display: every conversation ticked, events processed at each tick's end.

#include "conversations/establishview.h"
#include "server/serverinterfaces.h"

#include <QCoreApplication>
#include <array>

namespace telviox::bench {

class View final : public ServerView
{
public:
    void showServerWindow() override {}
    void unloadServerWindow() override {}
    void restoreServerWindow() override {}
    void hideServerWindow() override {}
    void minimiseWindows() override {}
    void setServerMenusEnabled(bool) override {}
    void processEvents() override { QCoreApplication::processEvents(); }
};

class Establish final : public EstablishView
{
public:
    void setChecked(int index, bool ticked) override { checks[std::size_t(index)] = ticked; }
    bool isChecked(int index) const override { return checks[std::size_t(index)]; }
    void setIntervalValue(int) override {}
    std::array<bool, ConvCount> checks{};
};

} // namespace telviox::bench

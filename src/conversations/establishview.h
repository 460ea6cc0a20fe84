#pragma once

#include "conversations/sharedstate.h"

#include <QString>

namespace telviox {

// The poll timer interval scroll bar's range, in milliseconds.
constexpr int IntervalMinimum = 50;
constexpr int IntervalMaximum = 10000;
constexpr int IntervalInitial = 1000;

constexpr bool intervalAcceptable(int value)
{
    return value >= IntervalMinimum && value <= IntervalMaximum;
}

// What the Establish Conversation window offers the logic: its check boxes
// Check1(0)..Check1(31) and its interval scroll bar HScroll1.
class EstablishView
{
public:
    virtual ~EstablishView() = default;
    // Sets the tick only: no setting dialog opens and the table is not touched.
    virtual void setChecked(int index, bool ticked) = 0;
    virtual bool isChecked(int index) const = 0;
    // Moves the scroll bar (value within the interval range); its change runs
    // intervalChanged().
    virtual void setIntervalValue(int value) = 0;
};

// The scroll bar's change: the settings entry takes the new interval. Returns
// the text of the label above the bar.
QString intervalChanged(SharedState &state, int value);
QString intervalLabel(int value);

// The main window's caption, which names the conversation file in use.
class MainWindowCaption
{
public:
    virtual ~MainWindowCaption() = default;
    virtual void setCaption(const QString &caption) = 0;
};

} // namespace telviox

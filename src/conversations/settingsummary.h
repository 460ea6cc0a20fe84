#pragma once

#include <QString>
#include <QStringList>

namespace telviox {

class Printer;
class Prompt;
struct SharedState;

// The setting summary: one fixed-width entry per configured conversation,
// columns at 0 (index), 6 (model), 13 (address), 22 (baud rate) and 32 (what
// is exchanged), further lines indented by 32 blanks. Every line ends in CR LF.

// The entry of conversation `index`; empty for an unused conversation or an
// index outside 0..31.
QString settingSummaryEntry(const SharedState &state, int index);
// The entries of all configured conversations, in ascending order.
QString settingSummaryText(const SharedState &state);
// The printed page: rule, two header lines, rule, the summary text's lines
// (as the window holds it), rule.
QStringList settingSummaryPage(const QString &summaryText);

// What the summary window's toolbar buttons do, without the window.
class SettingSummaryCommands
{
public:
    SettingSummaryCommands(Prompt &prompt, Printer &printer);

    // Asks, then prints the page of summaryText. "Print Complete !!!" follows
    // only a page that went out.
    void print(const QString &summaryText);
    // The exit button's beep; the window closes itself.
    void exit();

private:
    Prompt &m_prompt;
    Printer &m_printer;
};

} // namespace telviox

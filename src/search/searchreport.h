#pragma once

#include <QString>
#include <QStringList>

namespace telviox {

class Printer;
class Prompt;
struct FoundModules;
struct SharedState;

namespace search {

// The result lines of the last search, index 0 to the found count - 1, each
// at its fixed width of 80 characters.
QStringList foundLines(const FoundModules &found);

// The printed search report: the port, a heading between separators, the
// result lines and a closing separator.
QStringList searchReportLines(const FoundModules &found, qint16 comPort);

// What the search result window's buttons do, without the window.
class SearchResultCommands
{
public:
    SearchResultCommands(const SharedState &state, Prompt &prompt, Printer &printer);

    // The print button: says so when nothing was found, else asks and prints
    // the report. "Print Complete !!!" follows only a page that went out.
    void print();
    // The exit button's beep; the window closes itself.
    void exit();

private:
    const SharedState &m_state;
    Prompt &m_prompt;
    Printer &m_printer;
};

} // namespace search
} // namespace telviox

#pragma once

#include "search/searchreport.h"

#include <QWidget>

class QListWidget;
class QToolBar;

namespace telviox {

class Printer;
class Prompt;
struct SharedState;

// The search result window ("Form9"): the result lines of the last search
// again, and their print-out. It changes nothing in the found-module table.
class ResultWindow final : public QWidget
{
    Q_OBJECT

public:
    ResultWindow(const SharedState &state, Prompt &prompt, Printer &printer,
                 QWidget *parent = nullptr);

    // Toolbar buttons by index: 2 prints, 4 closes, 1 and 3 do nothing.
    void Toolbar1_ButtonClick(int index);

private:
    void Form_Load();

    const SharedState &m_state;
    search::SearchResultCommands m_commands;
    QToolBar *m_toolbar = nullptr;
    QListWidget *m_list = nullptr;
};

} // namespace telviox

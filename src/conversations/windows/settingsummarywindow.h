#pragma once

#include "conversations/settingsummary.h"

#include <QWidget>

class QPlainTextEdit;
class QToolBar;

namespace telviox {

class Printer;
class Prompt;
struct SharedState;

// The setting summary window ("Form4"): every configured conversation as a
// fixed-width line, and its print-out. It only reads the tables.
class SettingSummaryWindow final : public QWidget
{
    Q_OBJECT

public:
    SettingSummaryWindow(const SharedState &state, Prompt &prompt, Printer &printer,
                         QWidget *parent = nullptr);

    // Toolbar buttons by index: 2 prints, 4 closes, 1 and 3 do nothing.
    void Toolbar1_ButtonClick(int index);

private:
    void Form_Load();

    const SharedState &m_state;
    SettingSummaryCommands m_commands;
    QToolBar *m_toolbar = nullptr;
    QPlainTextEdit *m_text = nullptr;
};

} // namespace telviox

#include "search/searchreport.h"

#include "conversations/sharedstate.h"
#include "core/printer.h"
#include "core/programnames.h"
#include "core/prompt.h"
#include "search/resultline.h"

#include <algorithm>

namespace telviox::search {

namespace {

const QString Separator = QString(68, QLatin1Char('-'));

// A number as plain conversion writes it: one blank before a non-negative one.
QString plainNumber(qint64 n)
{
    return n < 0 ? QString::number(n) : QLatin1Char(' ') + QString::number(n);
}

} // namespace

QStringList foundLines(const FoundModules &found)
{
    // The count can pass 200 by a main unit's slots, never the table's size.
    const int count = std::clamp<int>(found.FoundCount, 0, FoundLineCount);
    QStringList lines;
    lines.reserve(count);
    for (int i = 0; i < count; ++i)
        lines << fixedWidth(found.ResultLines[size_t(i)], FoundLineWidth);
    return lines;
}

QStringList searchReportLines(const FoundModules &found, qint16 comPort)
{
    QStringList lines;
    lines << QStringLiteral("COM Port:") + plainNumber(comPort) << Separator
          << QStringLiteral("Module Address: Baud   Alarm    High    Low")
          << QStringLiteral("Type:  Dec[Hex] Rate   Status   Limit   Limit  Remark") << Separator;
    lines << foundLines(found);
    lines << Separator;
    return lines;
}

SearchResultCommands::SearchResultCommands(const SharedState &state, Prompt &prompt,
                                           Printer &printer)
    : m_state(state), m_prompt(prompt), m_printer(printer)
{}

void SearchResultCommands::print()
{
    if (m_state.Found.FoundCount <= 0) {
        m_prompt.message(QStringLiteral("No Q-2000 Module Found !!!"),
                         BoxStyle::Exclamation | BoxStyle::Ok, ProgramTitle);
        return;
    }
    if (m_prompt.message(QStringLiteral("To Print Q-2000 module information ?"),
                         BoxStyle::Question | BoxStyle::YesNo, ProgramTitle) != Answer::Yes)
        return;
    if (m_printer.print(QStringLiteral("The Searching Result"),
                        searchReportLines(m_state.Found, m_state.ComPort)))
        m_prompt.message(QStringLiteral("Print Complete !!!"), BoxStyle::Ok, ProgramTitle);
}

void SearchResultCommands::exit()
{
    m_prompt.beep();
}

} // namespace telviox::search

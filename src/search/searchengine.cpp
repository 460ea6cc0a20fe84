#include "search/searchengine.h"

#include "conversations/sharedstate.h"
#include "core/clock.h"
#include "core/programnames.h"
#include "core/prompt.h"
#include "device/catalogue.h"
#include "device/seriallink.h"
#include "search/resultline.h"
#include "search/searchsettings.h"

namespace telviox {

using namespace search;

namespace {

constexpr int NameTimeOut = 400;
constexpr int ReopenWaitMs = 300;
constexpr int CommandWaitMs = 50;
constexpr int LastAddress = 255;

} // namespace

SearchEngine::SearchEngine(const SearchContext &context, SearchView &view)
    : m_context(context), m_view(view), m_decoder(context, view)
{}

bool SearchEngine::searching() const
{
    return m_context.state.Found.StopFlag == 0;
}

void SearchEngine::Form_Load()
{
    m_unloadRequested = false;
    m_view.setCaption(loadedCaption());
    m_view.setHintText(hintText());
}

void SearchEngine::Form_Activate()
{
    m_view.setAddressLabels(QStringLiteral("00[dec]"), QStringLiteral("0[hex]"));
    m_view.setComLabel(QStringLiteral("COM") + QString::number(m_context.state.ComPort));
    m_view.setBaudLabel(QStringLiteral("9600"));
    StartSearch();
}

void SearchEngine::StartSearch()
{
    // Start pressed again while a stopped search is still unwinding: the
    // fresh search begins once the old one has ended.
    if (m_running) {
        m_restart = true;
        return;
    }
    m_running = true;
    do {
        m_restart = false;
        runSearch();
    } while (m_restart && !m_unloadRequested);
    m_running = false;
}

void SearchEngine::runSearch()
{
    SharedState &state = m_context.state;
    FoundModules &found = state.Found;
    SerialLink &link = m_context.link;
    const int port = state.ComPort;

    m_view.setCaption(searchingCaption());
    found.StopFlag = 0;
    m_view.clearModuleList();
    const int previous = qBound(0, int(found.FoundCount), FoundLineCount - 1);
    for (int i = 0; i <= previous; ++i) {
        found.ResultLines[std::size_t(i)].clear();
        FoundRecord &record = found.Records[std::size_t(i)];
        record.ModelName.clear();
        record.BaudRate = 0;
        record.Address = 0;
    }

    m_view.setLabelsRed(true);
    m_view.setComLabel(QStringLiteral("COM") + QString::number(port));
    found.FoundCount = 0;
    m_view.setProgressVisible(true);
    m_view.setProgress(0);
    qint32 openRate = 0;

    for (int address = 0; address <= LastAddress; ++address) {
        const QByteArray command = moduleCommand('$', address, "M");
        m_view.setAddressLabels(QStringLiteral(" %1[dec]").arg(address, 2, 10, QLatin1Char('0')),
                                QLatin1Char(' ') + QString::number(address, 16).toUpper() +
                                    QStringLiteral("[hex]"));
        for (int b = 0; b < int(SearchBaudTable.size()); ++b) {
            if (!state.SearchBauds[std::size_t(b)])
                continue;
            const qint32 rate = SearchBaudTable[std::size_t(b)];
            m_view.setBaudLabel(QString::number(rate));
            if (rate != openRate) {
                link.Close_Com(port);
                link.Open_Com(port, rate, 8, 0, 0);
                m_context.clock.sleep(ReopenWaitMs);
            } else {
                m_context.clock.sleep(CommandWaitMs);
            }

            QByteArray reply;
            quint8 checksum = 0;
            qint16 result = link.Send_Receive_Cmd(port, command, reply, NameTimeOut, 0);
            if (result != 0 && state.SearchChecksum != 0) {
                checksum = 1;
                result = link.Send_Receive_Cmd(port, command, reply, NameTimeOut, 1);
            }
            // A reply the link refused (a wrong checksum, a cut frame) is no
            // module, whatever its first character.
            if (result == 0 && reply.startsWith('!')) {
                const int index = found.FoundCount;
                const FoundName name = nameOfReply(replyBuffer(reply));
                FoundRecord &record = found.Records[std::size_t(index)];
                record = FoundRecord{};
                record.ModelName = name.display;
                record.Unit = QStringLiteral("MainUnit");
                record.BaudRate = rate;
                record.Address = qint16(address);
                record.Checksum = checksum;
                const QString prefix = linePrefix(name.display, address, rate);
                QString remark(RemarkWidth, QLatin1Char(' '));
                m_decoder.DoOtherThing(qint16(address), qint16(index), remark);
                // A main unit's lines come from the decoding, its slots' too.
                if (!catalogue::isMainUnit(name.name.trimmed())) {
                    const QString line =
                        fixedWidth(prefix + fixedWidth(remark, RemarkWidth), ResultLineWidth);
                    found.ResultLines[std::size_t(index)] = line;
                    m_view.addModuleLine(line);
                }
                found.FoundCount = qint16(found.FoundCount + 1);
                if (found.FoundCount >= FoundLimit) {
                    m_context.prompt.beep();
                    m_context.prompt.message(
                        QStringLiteral("The Largest Found Module Count is 200 !"),
                        BoxStyle::Information | BoxStyle::Ok, QString());
                    found.StopFlag = 1;
                    link.Close_Com(port);
                    return;
                }
            }

            openRate = rate;
            if (stopRequested())
                return;
        }
        m_view.setProgress(address);
    }

    m_view.setCaption(completedCaption());
    link.Close_Com(port);
    found.StopFlag = 1;
    m_view.setLabelsRed(false);
    m_context.prompt.beep();
}

bool SearchEngine::stopRequested()
{
    m_view.processEvents();
    if (m_context.state.Found.StopFlag == 0)
        return false;
    m_context.prompt.beep();
    m_context.link.Close_Com(m_context.state.ComPort);
    if (m_unloadRequested)
        m_view.closeWindow();
    return true;
}

void SearchEngine::Toolbar1_ButtonClick(int index)
{
    FoundModules &found = m_context.state.Found;
    switch (index) {
    case 2:
        if (!searching() && !m_restart) {
            StartSearch();
        } else {
            m_context.prompt.beep();
            m_context.prompt.message(QStringLiteral("Now is on searching !"),
                                     BoxStyle::Exclamation | BoxStyle::Ok, ProgramTitle);
        }
        break;
    case 3:
        m_view.setCaption(stoppedCaption());
        found.StopFlag = 1;
        m_view.setProgressVisible(false);
        break;
    case 4: {
        m_context.prompt.beep();
        const Answer answer =
            m_context.prompt.message(QStringLiteral("Sure To Exit Searching ?"),
                                     BoxStyle::YesNo | BoxStyle::Exclamation, ProgramTitle);
        if (answer != Answer::Yes)
            break;
        // A running search closes the window itself once it has stopped.
        if (m_running) {
            found.StopFlag = 1;
            m_unloadRequested = true;
            m_restart = false;
        } else {
            found.StopFlag = 1;
            m_view.closeWindow();
        }
        break;
    }
    default:
        break;
    }
}

bool SearchEngine::Form_QueryUnload()
{
    m_context.prompt.beep();
    m_context.state.Found.StopFlag = 1;
    m_restart = false;
    return m_context.prompt.message(QStringLiteral("To Exit Searching ?"),
                                    BoxStyle::YesNo | BoxStyle::Question,
                                    ProgramTitle) == Answer::Yes;
}

void SearchEngine::stopForSettings()
{
    m_view.setCaption(settingsCaption());
    m_view.setHintText(QStringLiteral("Stopping !!!"));
    m_view.setProgressVisible(false);
    m_context.state.Found.StopFlag = 1;
    m_restart = false;
}

void SearchEngine::stopAndUnload()
{
    m_context.state.Found.StopFlag = 1;
    m_restart = false;
    if (m_running)
        m_unloadRequested = true;
    else
        m_view.closeWindow();
}

} // namespace telviox

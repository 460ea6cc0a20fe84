#include "search/linescan.h"

#include "conversations/sharedstate.h"
#include "device/catalogue.h"
#include "device/seriallink.h"
#include "search/configdecoder.h"
#include "search/resultline.h"
#include "search/searchsettings.h"

#include <algorithm>
#include <cmath>
#include <map>

namespace telviox {

using namespace search;

namespace {

// "!AA", a name of up to six characters, checksum digits and CR.
constexpr int NameReplyCharacters = 12;
// Turnaround of a module and the scheduling of the operating system.
constexpr int TurnaroundMarginMs = 15;

// Rank of a rate in the search's table: the window tries them in that order.
int rateRank(qint32 baud)
{
    const auto it = std::find(SearchBaudTable.begin(), SearchBaudTable.end(), baud);
    return it == SearchBaudTable.end() ? int(SearchBaudTable.size()) + 1
                                       : int(it - SearchBaudTable.begin());
}

// Collects the lines the decoding lists for a main unit and its slots.
class LineCollector final : public ModuleListSink
{
public:
    void addModuleLine(const QString &line) override { lines << line; }
    QStringList lines;
};

} // namespace

LineScan::LineScan(const SearchContext &context) : m_context(context) {}

int LineScan::fittedTimeout(qint32 baud)
{
    // Ten bits a character: start, eight data bits, stop.
    const double wireMs = NameReplyCharacters * 10 * 1000.0 / std::max<qint32>(baud, 1);
    return int(std::ceil(wireMs)) + TurnaroundMarginMs;
}

std::vector<LineScan::Entry> LineScan::run(const Options &options,
                                           const std::function<void(qint32, int)> &progress,
                                           const std::function<bool()> &stop)
{
    QList<qint32> bauds = options.bauds;
    std::stable_sort(bauds.begin(), bauds.end(),
                     [](qint32 a, qint32 b) { return rateRank(a) < rateRank(b); });
    bauds.erase(std::unique(bauds.begin(), bauds.end()), bauds.end());

    SerialLink &link = m_context.link;
    const int port = m_context.state.ComPort;
    // Rate by rate, so that the port opens once a rate; sorted afterwards
    // into the window's order (address, then rate).
    std::map<std::pair<int, int>, std::vector<Entry>> found;
    bool stopped = false;
    for (qint32 baud : bauds) {
        link.Close_Com(port);
        if (link.Open_Com(port, baud, 8, 0, 0) != LinkCode::Ok)
            continue;
        const int timeOut = options.timeoutMs >= 0 ? options.timeoutMs : fittedTimeout(baud);
        for (int address = options.from; address <= options.to && !stopped; ++address) {
            if (progress)
                progress(baud, address);
            const QByteArray command = moduleCommand('$', address, "M");
            QByteArray reply;
            int checksum = 0;
            qint16 result = link.Send_Receive_Cmd(port, command, reply, timeOut, 0);
            if (result != 0 && options.checksum) {
                checksum = 1;
                result = link.Send_Receive_Cmd(port, command, reply, timeOut, 1);
            }
            if (result == 0 && reply.startsWith('!'))
                decode(address, baud, checksum, reply, found[{address, rateRank(baud)}]);
            stopped = stop && stop();
        }
        if (stopped)
            break;
    }
    link.Close_Com(port);

    std::vector<Entry> entries;
    for (auto &[key, moduleEntries] : found)
        std::move(moduleEntries.begin(), moduleEntries.end(), std::back_inserter(entries));
    return entries;
}

void LineScan::decode(int address, qint32 baud, int checksum, const QByteArray &reply,
                      std::vector<Entry> &entries)
{
    // Each module is decoded at the head of the scan's own found table, so
    // that a long line never runs past it.
    FoundModules &table = m_context.state.Found;
    table.FoundCount = 0;
    const FoundName name = nameOfReply(replyBuffer(reply));
    FoundRecord &record = table.Records[0];
    record = FoundRecord{};
    record.ModelName = name.display;
    record.Unit = QStringLiteral("MainUnit");
    record.BaudRate = baud;
    record.Address = qint16(address);
    record.Checksum = quint8(checksum);

    LineCollector collector;
    ConfigDecoder decoder(m_context, collector);
    QString remark(RemarkWidth, QLatin1Char(' '));
    decoder.DoOtherThing(qint16(address), 0, remark);
    const QString prefix = linePrefix(name.display, address, baud);
    if (!catalogue::isMainUnit(name.name.trimmed())) {
        table.ResultLines[0] =
            fixedWidth(prefix + fixedWidth(remark, RemarkWidth), ResultLineWidth);
        collector.lines = {table.ResultLines[0]};
    }
    // The decoded part begins where the rate ends, on slot lines too.
    const int decodedFrom = int(prefix.size());
    for (int i = 0; i < collector.lines.size() && i <= table.FoundCount; ++i) {
        const FoundRecord &entry = table.Records[std::size_t(i)];
        const QString &line = collector.lines.at(i);
        entries.push_back({address, baud, int(entry.Checksum), entry.ModelName.trimmed(),
                           i == 0 ? -1 : int(entry.Slot), line, line.mid(decodedFrom).trimmed()});
    }
}

} // namespace telviox

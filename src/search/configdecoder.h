#pragma once

#include "device/modulelibrary.h"
#include "search/searchcontext.h"

#include <QString>

namespace telviox {

struct FoundRecord;

// Reads a found module's configuration, turns it into the right-hand part of
// its result line and keeps what it read in the module's found record. A main
// unit gets its own line and one found entry and line per occupied slot.
class ConfigDecoder
{
public:
    ConfigDecoder(const SearchContext &context, ModuleListSink &list);

    // index: the module's entry in the found table, whose name, rate, address
    // and checksum flag the search has stored. remark arrives holding 50
    // blanks and returns the text; the caller keeps its first 50 characters.
    void DoOtherThing(qint16 address, qint16 index, QString &remark);

    // The port the commands go to (the searched one).
    int port() const;

private:
    enum class ErrorReport { Box, StatusLine };

    struct Module; // the module being decoded
    QString send(const Module &module, char lead, const QByteArray &command, int timeOut,
                 ErrorReport report = ErrorReport::Box);
    void showModuleError(const Module &module, qint16 code);
    void prepareBlock(const Module &module, qint32 typeCode);

    QString analog(Module &module);
    QString alarmCapable(Module &module, const QString &arrived);
    QString twoChannelOutput(Module &module);
    QString digital(Module &module);
    QString counter(Module &module);
    QString watchDog(const Module &module);
    void mainUnit(Module &module);
    void readAlarms(Module &module);
    void readLinearMapping(Module &module);

    SearchContext m_context;
    ModuleListSink &m_list;
    WordBlock m_w{};
    FloatBlock m_f{};
    QByteArray m_szSend;
    QByteArray m_szReceive;
};

} // namespace telviox

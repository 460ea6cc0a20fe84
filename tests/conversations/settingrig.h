#pragma once

// The setting dialog on the simulator's search line with virtual time: a real
// search fills the found-module table, the sub-dialogs are recorded instead of
// shown, and port 9 is a port that cannot be opened.

#include "conversations/windows/settingwindow.h"
#include "search/searchrig.h"

#include <QComboBox>
#include <QFile>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTest>
#include <memory>
#include <vector>

namespace telviox::test {

constexpr int MissingPort = 9;

class MissingDevice final : public PortDevice
{
public:
    OpenResult open(qint32) override { return OpenResult::Missing; }
    void close() override {}
    bool isOpen() const override { return false; }
    QString path() const override { return QStringLiteral("/dev/missing"); }
    bool write(const QByteArray &) override { return false; }
    ReadResult read(QByteArray &, int) override { return ReadResult::Failed; }
};

inline QByteArray shippedSearchLine()
{
    QFile file(qEnvironmentVariable("TELVIOXD_SOURCE") + "/sim/search-line.json");
    if (!file.open(QIODevice::ReadOnly))
        throw std::runtime_error("sim/search-line.json not found");
    return file.readAll();
}

struct SettingRig
{
    SettingRig()
        : line(loadLine(shippedSearchLine())),
          link(clock,
               [this](int port, const QString &path) -> std::unique_ptr<PortDevice> {
                   if (port == MissingPort)
                       return std::make_unique<MissingDevice>();
                   return sim::simDeviceFactory(*line, clock)(port, path);
               }),
          library(link)
    {
        state.ComPort = 1;
    }

    // A search of the whole line at both its rates, with the checksum retry.
    void search()
    {
        RecordingStatus status;
        RecordingView view;
        state.SearchBauds[std::size_t(rateIndex(19200))] = 1;
        state.SearchBauds[std::size_t(rateIndex(9600))] = 1;
        state.SearchChecksum = 1;
        SearchEngine engine(SearchContext{state, link, library, clock, prompt, status}, view);
        engine.StartSearch();
        prompt.reset();
    }

    // The found line of a module, by address and model name.
    int foundLine(int address, const QString &name) const
    {
        for (int i = 0; i < state.Found.FoundCount; ++i) {
            const FoundRecord &r = state.Found.Records[std::size_t(i)];
            if (r.Address == address && r.ModelName.trimmed() == name)
                return i;
        }
        throw std::runtime_error("module not found");
    }

    // Opens the setting dialog for conversation `conv`.
    SettingWindow &open(int conv)
    {
        state.CurConv = qint16(conv);
        window = std::make_unique<SettingWindow>(
            SettingServices{state, prompt, clock, link, library,
                            [this](SubDialog which) {
                                opened.push_back(which);
                                panelFlags.push_back(state.PanelFromFound);
                                if (onSubDialog)
                                    onSubDialog(which);
                            },
                            [this](int index) { cleared.push_back(index); }});
        return *window;
    }

    template<typename W>
    W *child(const char *name) const
    {
        W *w = window->findChild<W *>(QLatin1String(name));
        if (!w)
            throw std::runtime_error(std::string("no control ") + name);
        return w;
    }
    void chooseType(int entry)
    {
        auto *combo = child<QComboBox>("form2typeCombo");
        combo->setCurrentIndex(entry);
        emit combo->activated(entry);
    }
    void typeAddress(const QString &text)
    {
        auto *edit = child<QLineEdit>("form2addressText");
        edit->clear();
        QTest::keyClicks(edit, text);
    }
    void typeSlot(const QString &text)
    {
        auto *edit = child<QLineEdit>("slotText");
        edit->clear();
        QTest::keyClicks(edit, text);
    }
    void doubleClickFound(int row)
    {
        auto *list = child<QListWidget>("moduleList");
        emit list->itemClicked(list->item(row));
        emit list->itemDoubleClicked(list->item(row));
    }
    void ok() { child<QPushButton>("form2okCmd")->click(); }
    void cancel() { child<QPushButton>("form2CancelCmd")->click(); }
    ConvRecord &conv() { return state.Conv[std::size_t(state.CurConv)]; }

    VirtualClock clock;
    std::unique_ptr<sim::SimLine> line;
    SerialLink link;
    ModuleLibrary library;
    ScriptedPrompt prompt;
    SharedState state;
    std::unique_ptr<SettingWindow> window;
    std::vector<SubDialog> opened;
    std::vector<qint16> panelFlags; // PanelFromFound as each sub-dialog opened
    std::vector<int> cleared;
    std::function<void(SubDialog)> onSubDialog;
};

} // namespace telviox::test

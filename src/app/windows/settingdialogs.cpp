#include "app/windows/settingdialogs.h"

#include "conversations/establishview.h"
#include "conversations/windows/channelwindows.h"
#include "conversations/windows/settingwindow.h"
#include "panels/windows/analogoutputdialog.h"
#include "panels/windows/diopanelwindow.h"

namespace telviox {

std::function<void(SubDialog)> subDialogOpener(const SettingDialogServices &services,
                                               QWidget *parent)
{
    return [services, parent](SubDialog which) {
        const auto showOutputPanel = [&](panels::AnalogPanel panel) {
            AnalogOutputDialog dialog(panel, services.state, services.library, services.clock,
                                      services.prompt, parent);
            dialog.exec();
        };
        switch (which) {
        case SubDialog::Channels1:
        case SubDialog::Channels3:
        case SubDialog::Channels4:
        case SubDialog::Channels8: {
            ChannelSelectionDialog dialog(services.state, services.prompt, shownChannels(which),
                                          parent);
            dialog.exec();
            break;
        }
        case SubDialog::Counter: {
            CounterChannelDialog dialog(services.state, services.prompt, parent);
            dialog.exec();
            break;
        }
        case SubDialog::Dio:
            showDioPanel(services.state, services.link, services.prompt, services.folder,
                         catalogue::DioPanel::Standalone, parent);
            break;
        case SubDialog::Dio9K:
            showDioPanel(services.state, services.link, services.prompt, services.folder,
                         catalogue::DioPanel::Slot, parent);
            break;
        case SubDialog::Output2011:
            showOutputPanel(panels::AnalogPanel::SingleChannel);
            break;
        // The panel shows as many channels as the chosen model has: two for
        // the 2046 of entry 8.
        case SubDialog::Output2028Half:
        case SubDialog::Output2028:
            showOutputPanel(panels::AnalogPanel::Q2000);
            break;
        case SubDialog::Output92028:
            showOutputPanel(panels::AnalogPanel::Slot92000);
            break;
        case SubDialog::Output9K:
            showOutputPanel(panels::AnalogPanel::Slot9000);
            break;
        case SubDialog::None:
            break;
        }
    };
}

void showSettingDialog(const SettingDialogServices &services, QWidget *parent)
{
    // Sub-dialogs open over the setting dialog once it exists.
    QWidget *over = parent;
    SettingWindow window(
        SettingServices{services.state, services.prompt, services.clock, services.link,
                        services.library,
                        [&services, &over](SubDialog which) { subDialogOpener(services, over)(which); },
                        [&establish = services.establish](int index) {
                            establish.setChecked(index, false);
                        }},
        parent);
    over = &window;
    window.exec();
}

} // namespace telviox

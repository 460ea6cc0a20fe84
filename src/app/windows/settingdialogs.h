#pragma once

#include "conversations/conversationsetting.h"

#include <QString>
#include <functional>

class QWidget;

namespace telviox {

class Clock;
class EstablishView;
class ModuleLibrary;
class Prompt;
class SerialLink;
struct SharedState;

// What the setting dialog and the panels it opens run on.
struct SettingDialogServices
{
    SharedState &state;
    Prompt &prompt;
    Clock &clock;
    SerialLink &link;
    ModuleLibrary &library;
    EstablishView &establish;
    QString folder; // the program's folder, where the panels' icons lie
};

// Opens the program's channel dialogs and module panels, modally, over parent.
std::function<void(SubDialog)> subDialogOpener(const SettingDialogServices &services,
                                               QWidget *parent);

// Shows the setting dialog for conversation CurConv, modally.
void showSettingDialog(const SettingDialogServices &services, QWidget *parent);

} // namespace telviox

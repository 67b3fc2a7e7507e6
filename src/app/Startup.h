#pragma once

#include <QObject>

#include <functional>
#include <memory>

namespace wibblet {

class MessageBoxes;
class TrayIcon;
class frmMain;

/// Called once the main window exists, before it loads. What it returns is
/// kept until the main window goes (null: nothing to keep).
using MainWindowBuilt = std::function<std::unique_ptr<QObject>(frmMain& main, TrayIcon& tray)>;

/// The program from start to end: the application, the real network, clock,
/// tray and single-copy lock, the main window, and every way of being told to
/// stop. boxes are the message boxes it shows; mainWindowBuilt, when given,
/// is handed the main window before it loads. Returns the exit code.
int RunProgram(int& argc, char** argv, MessageBoxes& boxes,
               const MainWindowBuilt& mainWindowBuilt = {});

} // namespace wibblet

#include <QApplication>

#include "app/main_window.h"
#include "app/shown_report.h"
#include "app/theme.h"
#include "platform/command_line.h"
#include "platform/executable_info.h"
#include "platform/gui_dialogs.h"
#include "platform/process_signals.h"

int main(int argc, char *argv[])
{
    IgnoreWriteSignals();
    // The arguments are the program's: Qt sees none of them.
    ProcessArguments arguments(argc, argv);
    QApplication application(arguments.qtArgc(), arguments.qtArgv());
    setExecutableFacts(readProcessExecutableFacts());

    QtDialogs dialogs;
    SetUpApplication(application, dialogs);
    TForm1 window(dialogs, arguments.arguments());
    ReportShownIfAsked(window);
    window.show();
    window.activateWindow();
    return QApplication::exec();
}

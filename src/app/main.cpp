#include <QApplication>

#include <malloc.h>

#include "app/main_window.h"
#include "app/shown_report.h"
#include "app/theme.h"
#include "platform/command_line.h"
#include "platform/executable_info.h"
#include "platform/gui_dialogs.h"
#include "platform/process_signals.h"
#include "platform/standard_descriptors.h"

int main(int argc, char *argv[])
{
    OpenStandardDescriptors();
    // A list of millions of entries lives in a few large blocks: each goes back to the system
    // as soon as it is freed, instead of the heap keeping it for later.
    mallopt(M_MMAP_THRESHOLD, 1024 * 1024);
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

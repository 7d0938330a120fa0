#include <QStringList>

#include "cli/cli_run.h"
#include "cli/input_list.h"
#include "platform/process_signals.h"
#include "platform/standard_descriptors.h"

#include <malloc.h>

int main(int argc, char *argv[])
{
    OpenStandardDescriptors();
    // One file's buffers are freed before the next file's are made: keeping the memory in the
    // process lets the next file reuse pages already mapped instead of faulting in new ones.
    mallopt(M_MMAP_THRESHOLD, 32 * 1024 * 1024);
    mallopt(M_TRIM_THRESHOLD, 1024 * 1024 * 1024);
    // A reader that goes away (| head) shows up as a failed write, which ends the run quietly; a
    // file-size limit shows up as a failed write of --output, which keeps the old file.
    IgnoreWriteSignals();
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments << NameText(argv[i]);
    return RunCli(arguments);
}

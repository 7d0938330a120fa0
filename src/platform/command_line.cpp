#include "platform/command_line.h"

QString FirstArgument(const QStringList &arguments)
{
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        if (!arguments[i].isEmpty())
            return arguments[i];
    }
    return {};
}

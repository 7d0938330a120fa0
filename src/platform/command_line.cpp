#include "platform/command_line.h"

QString FirstArgument(const QStringList &arguments)
{
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        if (!arguments[i].isEmpty())
            return arguments[i];
    }
    return {};
}

ProcessArguments::ProcessArguments(int argc, const char *const *argv)
{
    for (int i = 0; i < argc && argv[i]; ++i)
        m_arguments.append(QString::fromLocal8Bit(argv[i]));
    m_program = argc > 0 && argv[0] ? QByteArray(argv[0]) : QByteArray("extracteur");
    m_qtArgv = {m_program.data(), nullptr};
}

#pragma once

#include <array>

#include <QByteArray>
#include <QString>
#include <QStringList>

// The first argument after the program's own path. The platform has already cut the command
// line at blanks and removed the quotes; an empty argument (a pair of quotes with nothing between
// them) is skipped. The empty text when there is none.
QString FirstArgument(const QStringList &arguments);

// The process's arguments taken before Qt reads any. Qt is handed the program's path alone, so an
// argument that looks like one of Qt's options ("-reverse", "-style") still names the file.
class ProcessArguments
{
public:
    ProcessArguments(int argc, const char *const *argv);
    ProcessArguments(const ProcessArguments &) = delete;
    ProcessArguments &operator=(const ProcessArguments &) = delete;

    // The program's path first, then every argument as given.
    const QStringList &arguments() const { return m_arguments; }
    // What to give QApplication: the program's path and nothing else. Both live as long as this.
    int &qtArgc() { return m_qtArgc; }
    char **qtArgv() { return m_qtArgv.data(); }

private:
    QStringList m_arguments;
    QByteArray m_program;
    int m_qtArgc = 1;
    std::array<char *, 2> m_qtArgv{};
};

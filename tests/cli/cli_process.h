#pragma once

#include <functional>

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTest>

// One run of the built extracteur-cli, as a shell would start it.
struct CliRun
{
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};

inline QString cliPath()
{
    return QStringLiteral(EXTRACTEUR_CLI);
}

// Runs the program in `folder` with `input` on its standard input.
inline CliRun runCli(const QString &folder, const QStringList &arguments,
                     const QByteArray &input = QByteArray(),
                     const std::function<void(QProcess &)> &prepare = {})
{
    QProcess process;
    process.setWorkingDirectory(folder);
    if (prepare)
        prepare(process);
    process.start(cliPath(), arguments);
    CliRun run;
    if (!process.waitForStarted()) {
        run.err = "<not started>";
        return run;
    }
    process.write(input);
    process.closeWriteChannel();
    if (!process.waitForFinished(120000)) {
        process.kill();
        process.waitForFinished();
        run.err = "<timed out>";
        return run;
    }
    run.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    run.out = process.readAllStandardOutput();
    run.err = process.readAllStandardError();
    return run;
}

#pragma once

#include <functional>

#include <QByteArray>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QTest>

#include "support/fixtures.h"

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

// A test's own temporary folder, where it writes its inputs and starts its runs.
class CliFolder : public QTemporaryDir
{
public:
    // Writes `bytes` to the file `name` of the folder, making the folders it needs.
    void write(const QString &name, const QByteArray &bytes) const
    {
        const QString target = filePath(name);
        QDir().mkpath(QFileInfo(target).path());
        writeBytes(target, bytes);
    }
};

#pragma once

#include <functional>
#include <vector>

#include <QString>
#include <QByteArrayView>
#include <QStringList>
#include <QStringView>

// A name as the system holds it (bytes) made text: valid UTF-8 is read as such and every other
// byte becomes U+DC80 + byte, which no valid UTF-8 gives; NativeName gives the same bytes back.
// A name that is not valid UTF-8 is thus opened, and shown, as its own bytes.
QString NameText(QByteArrayView bytes);
QByteArray NativeName(QStringView name);

// One text to read: a file, or standard input (shown as "-").
struct CliInput
{
    QString path;
    bool standardInput = false;
};

// Which files found in folders are read: the file name must match one of the plain patterns (if
// there are any) and none of the "!" patterns. Files named on the command line are always read.
class NameFilter
{
public:
    explicit NameFilter(const QStringList &globs);
    bool accepts(const QByteArray &fileName) const;

private:
    std::vector<QByteArray> m_include;
    std::vector<QByteArray> m_exclude;
};

// Everything below `folder` that is a regular file, by path in code-unit order. Symbolic links to
// folders are not followed; a link to a file counts as a file. An entry or folder that cannot be
// examined is handed to `report` as its error message and skipped.
QStringList FilesBelow(const QString &folder, const NameFilter &filter,
                       const std::function<void(const QString &)> &report);

// The inputs named by the arguments, in order: "-" is standard input, a folder stands for the
// files below it, anything else is a file (read later, where a missing one is reported).
std::vector<CliInput> ExpandInputs(const QStringList &arguments, const NameFilter &filter,
                                   const std::function<void(const QString &)> &report);

// Cuts a list of paths: one a line (LF or CR LF), or NUL-separated; empty names are skipped.
QStringList SplitPathList(const QByteArray &bytes, bool nulSeparated);

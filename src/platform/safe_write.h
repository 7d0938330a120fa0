#pragma once

#include <initializer_list>

#include <QByteArrayView>
#include <QString>

// The one way every file of the program reaches the disk: the saved list, the settings file and
// any later output.
//
// The target is found by following every symbolic link of the path, however many; a missing
// file at the end of the chain is created. An existing target must be a regular file that may be
// written: a folder, a pipe, a device or a socket is refused before anything is opened, and so is
// a file without any write permission, whoever runs the program.
enum class WriteMode {
    // The new content goes to an unnamed (or hidden) file beside the target, is synchronised to
    // disk and then renamed over the target: at every instant the target is the old file or the
    // new one, complete. The new file takes the old one's permissions and, where allowed, owner;
    // other hard links of the old file keep the old content.
    ReplaceAtomically,
    // The target rewritten where it is, used only when its folder refuses new files (access
    // refused, read-only). Space is reserved before the first byte is overwritten.
    WriteInPlace,
};

enum class WriteFailure {
    None,
    Create, // the target could not be created or replaced; an existing one is unchanged
    Write,  // the bytes could not all be written
};

struct WriteOutcome
{
    WriteFailure failure = WriteFailure::None;
    WriteMode mode = WriteMode::ReplaceAtomically;
    int errorNumber = 0;
    QString reason; // French description of the failure, without a final full stop

    bool succeeded() const { return failure == WriteFailure::None; }
};

// Writes the pieces one after the other as the whole new content of `path` (absolute or relative
// to the current folder). Never blocks on a pipe and never truncates the old file before the new
// content is safely on disk, except in WriteInPlace mode. Removes the temporaries that earlier
// saves of the same target left behind when their process died.
WriteOutcome WriteFileSafely(const QString &path, std::initializer_list<QByteArrayView> pieces);

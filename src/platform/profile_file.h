#pragma once

#include <optional>

#include <QString>

// A small "[section]" / "key=value" text file in UTF-8. Sections and keys match without regard
// to letter case; the value is everything after the first "="; CR LF, LF and a lone CR end a
// line. Each call opens, does one read or write and closes the file.
namespace ProfileFile {

// The stored value, or nothing when the file, section or key is missing or unreadable.
std::optional<QString> Read(const QString &path, const QString &section, const QString &key);

// Replaces or adds one entry, leaving every other line unchanged; creates a missing file. The
// read and the replacement hold a lock against other processes, and the file is written through
// WriteFileSafely, so a failed write leaves the old file as it was. Returns false on failure,
// including a read-only file, a full disk and a path that is not a regular file.
bool Write(const QString &path, const QString &section, const QString &key, const QString &value);

} // namespace ProfileFile

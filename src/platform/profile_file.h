#pragma once

#include <optional>

#include <QString>

// A small "[section]" / "key=value" text file in UTF-8. Sections and keys match without regard
// to letter case; the value is everything after the first "=". Each call opens, does one read or
// write and closes the file.
namespace ProfileFile {

// The stored value, or nothing when the file, section or key is missing or unreadable.
std::optional<QString> Read(const QString &path, const QString &section, const QString &key);

// Replaces or adds one entry, leaving every other line unchanged; creates a missing file. The
// file is replaced atomically (a new file beside it, then a rename). Returns false on failure,
// including a read-only file.
bool Write(const QString &path, const QString &section, const QString &key, const QString &value);

} // namespace ProfileFile

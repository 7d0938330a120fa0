#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include "text/text_table.h"

class QTemporaryDir;

// Small fixtures shared by every test, built once in the test-support library.

// Whether the test runs under AddressSanitizer, whose shadow memory a limit on the address space
// leaves no room for.
#if defined(__SANITIZE_ADDRESS__)
inline constexpr bool addressSanitizer = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
inline constexpr bool addressSanitizer = true;
#else
inline constexpr bool addressSanitizer = false;
#endif
#else
inline constexpr bool addressSanitizer = false;
#endif

// Points the executable facts at a name inside `folder`, and the user's configuration folder
// (XDG_CONFIG_HOME) at `folder`/config, so that the settings file and the caption of a test
// never touch the folder of the test binary nor the real home.
void useExecutableIn(const QString &folder, const QString &fileName = QStringLiteral("extracteur"));

// Points the executable facts at `executableName` inside `dir` and removes the settings file a
// previous test left there. Returns the settings file's path.
QString freshSettingsIn(const QTemporaryDir &dir, const QString &executableName);

QByteArray hex(const char *digits);

// Writes the bytes to the file (replaced); a failure ends the test program.
void writeBytes(const QString &path, const QByteArray &bytes);
// Writes the bytes to a new file of that name in the folder and gives its path.
QString writeFile(const QTemporaryDir &dir, const QString &name, const QByteArray &bytes);
// The whole file, or "<unreadable>".
QByteArray readBytes(const QString &path);

// A TextTable from a list of texts, and back.
TextTable tableOf(const QStringList &entries);
QStringList entriesOf(const TextTable &table);

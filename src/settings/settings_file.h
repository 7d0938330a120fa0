#pragma once

#include <optional>

#include <QString>
#include <QStringList>
#include <QStringView>

// The settings file: beside the executable when that file can be used, else in the user's
// configuration folder. Every operation opens the file, does one read or write and closes it; an
// empty path means SettingsPath().
namespace SettingsFile {

// Where the settings are read and written: ExecutableSettingsPath() when the file there is a
// regular file that may be written, or is missing from a folder that takes new files; otherwise
// UserSettingsPath() (when there is a home), which starts, the first time, as a copy of the file
// beside the executable.
QString SettingsPath();
// The executable's path with its extension replaced by ".INI".
QString ExecutableSettingsPath();
// $XDG_CONFIG_HOME/extracteur/extracteur.INI, ~/.config standing for a missing XDG_CONFIG_HOME.
QString UserSettingsPath();

QString ReadText(const QString &section, const QString &key, const QString &defaultText,
                 const QString &path = {});
void WriteText(const QString &section, const QString &key, const QString &value,
               const QString &path = {}); // SettingsWriteError "Impossible d'écrire dans %s"
bool ReadFlag(const QString &section, const QString &key, bool defaultFlag,
              const QString &path = {});
void WriteFlag(const QString &section, const QString &key, bool flag, const QString &path = {});

} // namespace SettingsFile

// The integer text rules: leading spaces, one sign, "$"/"x"/"X"/"0x"/"0X" hexadecimal to
// 32 bits or a decimal in the signed 32-bit range, nothing after. Nothing when not integer text.
std::optional<qint32> ParseIntegerText(QStringView text);

// The parts of a text between separators: an empty rest after the last separator is dropped,
// empty parts inside are kept, the empty text gives none.
QStringList SplitText(QStringView text, QStringView separator);

// Strict conversion: raises ConversionError "''%s'' n'est pas une valeur entière valide".
qint32 StrToInt(QStringView text);

#pragma once

#include <optional>

#include <QString>
#include <QStringList>
#include <QStringView>

// The settings file beside the executable. Every operation opens the file, does one read or
// write and closes it; an empty path means SettingsPath().
namespace SettingsFile {

QString SettingsPath();

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

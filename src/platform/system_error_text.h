#pragma once

#include <QString>

// The French description of an errno value, whatever the process locale, with the trailing
// blanks, control characters and full stops removed. Numbers without a text of their own get a
// generic text that carries the number.
QString SystemErrorText(int errorNumber);

// Removes trailing blanks, control characters and full stops from a platform error text.
QString TrimErrorText(QString text);

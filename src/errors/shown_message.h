#pragma once

#include <QString>

// A message as the user reads it: a full stop is added unless its last character comes at or
// before "." in code order (a space, "!", a quote, ")", ",", "-" or "." itself).
inline QString ShownMessage(QString message)
{
    if (!message.isEmpty() && message.back().unicode() > u'.')
        message += u'.';
    return message;
}

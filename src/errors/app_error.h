#pragma once

#include <exception>

#include <QString>

// Every failure the user is told about is one of these, raised where it happens and shown by
// the window's one guard around each user event. The message is French and shown as it is
// (the guard adds the final full stop where one is due).
class AppError : public std::exception
{
public:
    explicit AppError(QString message) : m_message(std::move(message)) {}
    const QString &message() const { return m_message; }
    const char *what() const noexcept override { return "AppError"; }

private:
    QString m_message;
};

#define EXTRACTEUR_DECLARE_ERROR(Name)                                                             \
    class Name : public AppError                                                                   \
    {                                                                                              \
    public:                                                                                        \
        using AppError::AppError;                                                                  \
    }

EXTRACTEUR_DECLARE_ERROR(FileOpenError);
EXTRACTEUR_DECLARE_ERROR(FileCreateError);
EXTRACTEUR_DECLARE_ERROR(FileWriteError);
EXTRACTEUR_DECLARE_ERROR(ClipboardOpenError);
EXTRACTEUR_DECLARE_ERROR(ClipboardDataError);
EXTRACTEUR_DECLARE_ERROR(SettingsWriteError);
EXTRACTEUR_DECLARE_ERROR(ConversionError);
EXTRACTEUR_DECLARE_ERROR(ListIndexError);
EXTRACTEUR_DECLARE_ERROR(ListInsertError);

#undef EXTRACTEUR_DECLARE_ERROR

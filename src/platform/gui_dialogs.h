#pragma once

#include <optional>

#include <QString>

class QWidget;

// Every box and dialog the window shows goes through here, so that tests can answer them.
class Dialogs
{
public:
    virtual ~Dialogs() = default;

    // Modal box with the error icon and one OK button.
    virtual void showError(QWidget *parent, const QString &caption, const QString &message) = 0;
    // Start-up box with the error icon and one close button, when the theme is missing.
    virtual void showStyleNotFound(const QString &message) = 0;
    // Modal box without icon, one "OK" that is both default and cancel button, centred on the
    // screen.
    virtual void showInformation(QWidget *parent, const QString &caption,
                                 const QString &message) = 0;
    struct SaveRequest
    {
        QString title;
        QString fileName;
        QString defaultExtension;
    };
    // The chosen path, or nothing when the user cancels. No type filter, no question before
    // replacing a file; the default extension is added to a name typed without one.
    virtual std::optional<QString> askSaveFileName(QWidget *parent, const SaveRequest &request) = 0;
};

// The real boxes and the platform's save dialog.
class QtDialogs : public Dialogs
{
public:
    void showError(QWidget *parent, const QString &caption, const QString &message) override;
    void showStyleNotFound(const QString &message) override;
    void showInformation(QWidget *parent, const QString &caption, const QString &message) override;
    std::optional<QString> askSaveFileName(QWidget *parent, const SaveRequest &request) override;
};

#pragma once

#include <optional>

#include <QList>
#include <QString>

#include "platform/gui_dialogs.h"

// Records every box the window shows and answers the save dialog like a user would.
class FakeDialogs : public Dialogs
{
public:
    struct Box
    {
        QString caption;
        QString message;
    };

    void showError(QWidget *parent, const QString &caption, const QString &message) override;
    void showStyleNotFound(const QString &message) override;
    void showInformation(QWidget *parent, const QString &caption, const QString &message) override;
    std::optional<QString> askSaveFileName(QWidget *parent, const SaveRequest &request) override;

    QList<Box> errors;
    QList<Box> informations;
    QList<QString> styleErrors;
    QList<SaveRequest> saveRequests;
    // The answer to the next save dialogs: a path, or nothing for Cancel.
    std::optional<QString> saveAnswer;
};

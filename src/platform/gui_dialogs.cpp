#include "platform/gui_dialogs.h"

#include <QFileDialog>
#include <QGuiApplication>
#include <QIcon>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QWidget>

namespace {

// The error box and the confirmation box share one look: a single "OK", without an icon of its
// own, both default and cancel button.
void addOkButton(QMessageBox &box)
{
    QPushButton *ok = box.addButton(QStringLiteral("OK"), QMessageBox::AcceptRole);
    ok->setIcon(QIcon());
    box.setDefaultButton(ok);
    box.setEscapeButton(ok);
}

} // namespace

void QtDialogs::showError(QWidget *parent, const QString &caption, const QString &message)
{
    QMessageBox box(QMessageBox::Critical, caption, message, QMessageBox::NoButton, parent);
    addOkButton(box);
    box.setAccessibleName(caption);
    box.exec();
}

void QtDialogs::showStyleNotFound(const QString &message)
{
    QMessageBox box(QMessageBox::Critical, QString(), message, QMessageBox::Close);
    box.exec();
}

void QtDialogs::showInformation(QWidget *parent, const QString &caption, const QString &message)
{
    QMessageBox box(QMessageBox::NoIcon, caption, message, QMessageBox::NoButton, parent);
    addOkButton(box);
    box.setAccessibleName(caption);
    // The box takes its final size when shown: centre it then, on the screen of its window.
    box.show();
    const QScreen *screen = parent ? parent->screen() : QGuiApplication::primaryScreen();
    if (screen) {
        QRect frame = box.frameGeometry();
        frame.moveCenter(screen->geometry().center());
        box.move(frame.topLeft());
    }
    box.exec();
}

std::optional<QString> QtDialogs::askSaveFileName(QWidget *parent, const SaveRequest &request)
{
    QFileDialog dialog(parent, request.title);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setOption(QFileDialog::DontConfirmOverwrite, true);
    dialog.setDefaultSuffix(request.defaultExtension);
    dialog.selectFile(request.fileName);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return std::nullopt;
    return dialog.selectedFiles().first();
}

#include "platform/gui_dialogs.h"

#include <QFileDialog>
#include <QFileSystemModel>
#include <QIdentityProxyModel>
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

// The file list's size and date columns in French, like the rest of the dialog: the file model
// writes them in the system's locale, whatever the program's language.
class FrenchFileColumns : public QIdentityProxyModel
{
public:
    using QIdentityProxyModel::QIdentityProxyModel;

    QVariant data(const QModelIndex &index, int role) const override
    {
        const auto *files = qobject_cast<const QFileSystemModel *>(sourceModel());
        if (files && role == Qt::DisplayRole && index.isValid()) {
            const QModelIndex source = mapToSource(index);
            const QLocale french(QLocale::French, QLocale::France);
            if (index.column() == sizeColumn && !files->isDir(source))
                return french.formattedDataSize(files->size(source));
            if (index.column() == dateColumn)
                return french.toString(files->lastModified(source), QLocale::ShortFormat);
        }
        return QIdentityProxyModel::data(index, role);
    }

private:
    static constexpr int sizeColumn = 1;
    static constexpr int dateColumn = 3;
};

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
    // Qt's own dialog, the same on every desktop: a desktop's dialog would bring its own type
    // list and its own language.
    dialog.setOption(QFileDialog::DontUseNativeDialog, true);
    dialog.setProxyModel(new FrenchFileColumns(&dialog));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setOption(QFileDialog::DontConfirmOverwrite, true);
    dialog.setDefaultSuffix(request.defaultExtension);
    dialog.selectFile(request.fileName);
    // No file-type list at all: the dialog always has one, so it is hidden.
    for (const char *name : {"fileTypeCombo", "fileTypeLabel"}) {
        if (auto *types = dialog.findChild<QWidget *>(QLatin1StringView(name)))
            types->hide();
    }
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return std::nullopt;
    return dialog.selectedFiles().first();
}

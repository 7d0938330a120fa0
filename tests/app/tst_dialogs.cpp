#include <functional>

#include <QAbstractButton>
#include <QDir>
#include <QFileDialog>
#include <QTemporaryDir>
#include <QTreeView>
#include <QLabel>
#include <QMessageBox>
#include <QProxyStyle>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include "support/window_harness.h"

using namespace Qt::StringLiterals;

namespace {

// A platform whose dialog buttons carry icons, as several desktops do.
class IconButtonsStyle : public QProxyStyle
{
public:
    using QProxyStyle::QProxyStyle;
    int styleHint(StyleHint hint, const QStyleOption *option, const QWidget *widget,
                  QStyleHintReturn *returned) const override
    {
        if (hint == SH_DialogButtonBox_ButtonsHaveIcons)
            return 1;
        return QProxyStyle::styleHint(hint, option, widget, returned);
    }
};

// What a box looked like while it was open.
struct SeenBox
{
    QStringList buttons;
    int buttonsWithIcon = 0;
    bool hasIcon = false;
    bool iconLeftOfText = false;
    bool okIsDefault = false;
};

// Shows a box with `show` and looks at it once it is open, then presses its OK.
SeenBox lookAt(const std::function<void()> &show)
{
    SeenBox seen;
    QTimer::singleShot(0, [&seen] {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        if (!box)
            return;
        const QList<QAbstractButton *> buttons = box->buttons();
        for (const QAbstractButton *button : buttons) {
            seen.buttons.append(button->text());
            if (!button->icon().isNull())
                ++seen.buttonsWithIcon;
        }
        seen.hasIcon = !box->iconPixmap().isNull();
        const auto *icon = box->findChild<QLabel *>(u"qt_msgboxex_icon_label"_s);
        const auto *text = box->findChild<QLabel *>(u"qt_msgbox_label"_s);
        seen.iconLeftOfText =
            icon && text && icon->isVisible() && icon->geometry().right() < text->geometry().left();
        seen.okIsDefault = box->defaultButton() && box->defaultButton()->text() == u"OK"_s;
        if (box->defaultButton())
            box->defaultButton()->click();
        else
            box->close();
    });
    show();
    return seen;
}

} // namespace

// The error box and the confirmation box have one look: a single OK without an icon; the error
// box shows the error icon at the left of its text.
class TestDialogs : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QApplication::setQuitOnLastWindowClosed(false);
        WindowHarness h; // the program's set-up and theme
        QApplication::setStyle(new IconButtonsStyle(QApplication::style()->name()));
    }

    void boxes_data()
    {
        QTest::addColumn<bool>("error");
        QTest::newRow("error box") << true;
        QTest::newRow("confirmation box") << false;
    }
    void boxes()
    {
        QFETCH(bool, error);
        QtDialogs dialogs;
        const SeenBox seen = lookAt([&] {
            if (error)
                dialogs.showError(nullptr, u"extracteur"_s, u"Impossible d'écrire dans /x."_s);
            else
                dialogs.showInformation(nullptr, u"extracteur"_s, u"2 adresses copiées"_s);
        });
        QCOMPARE(seen.buttons, QStringList{u"OK"_s});
        QCOMPARE(seen.buttonsWithIcon, 0);
        QVERIFY(seen.okIsDefault);
        QCOMPARE(seen.hasIcon, error);
        if (error)
            QVERIFY(seen.iconLeftOfText);
    }

    void saveDialog_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<int>("bytes");
        QTest::addColumn<QString>("size");
        QTest::newRow("bytes") << u"dix.txt"_s << 10 << u"10 octets"_s;
        QTest::newRow("kibibytes") << u"deux.txt"_s << 2048 << u"2,00 Kio"_s;
    }
    // The save dialog has no file-type list, and its size column speaks French like the rest.
    void saveDialog()
    {
        QFETCH(QString, file);
        QFETCH(int, bytes);
        QFETCH(QString, size);
        // One folder for every row: the dialog opens where the previous one was left.
        QFile written(m_files.filePath(file));
        QVERIFY(written.open(QIODevice::WriteOnly));
        written.write(QByteArray(bytes, 'a'));
        written.close();
        const QString before = QDir::currentPath();
        QDir::setCurrent(m_files.path());

        bool seen = false;
        bool typeListShown = true;
        QString shownSize;
        QTimer::singleShot(0, [&] {
            auto *dialog = qobject_cast<QFileDialog *>(QApplication::activeModalWidget());
            if (!dialog)
                return;
            seen = true;
            const auto *types = dialog->findChild<QWidget *>(u"fileTypeCombo"_s);
            const auto *typesLabel = dialog->findChild<QWidget *>(u"fileTypeLabel"_s);
            typeListShown =
                (types && types->isVisible()) || (typesLabel && typesLabel->isVisible());
            const auto *tree = dialog->findChild<QTreeView *>(u"treeView"_s);
            if (tree) {
                (void)QTest::qWaitFor([&] {
                    const QAbstractItemModel *model = tree->model();
                    const QModelIndex root = tree->rootIndex();
                    for (int row = 0; row < model->rowCount(root); ++row) {
                        const QModelIndex name = model->index(row, 0, root);
                        if (name.data().toString() == file) {
                            shownSize = name.siblingAtColumn(1).data().toString();
                            return !shownSize.isEmpty();
                        }
                    }
                    return false;
                });
            }
            dialog->reject();
        });
        QtDialogs dialogs;
        const std::optional<QString> chosen =
            dialogs.askSaveFileName(nullptr, {u"Enregistrer"_s, u"ADRESSES"_s, u"TXT"_s});
        QDir::setCurrent(before);

        QVERIFY(seen);
        QVERIFY(!chosen);
        QVERIFY(!typeListShown);
        QCOMPARE(shownSize, size);
    }

private:
    QTemporaryDir m_files;
};

QTEST_MAIN(TestDialogs)
#include "tst_dialogs.moc"

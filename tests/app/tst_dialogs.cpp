#include <functional>

#include <QAbstractButton>
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
};

QTEST_MAIN(TestDialogs)
#include "tst_dialogs.moc"

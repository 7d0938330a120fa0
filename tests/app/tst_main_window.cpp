#include <QDir>
#include <QContextMenuEvent>
#include <QFileInfo>
#include <QScreen>
#include <QTest>

#include "support/write_fixtures.h"
#include "support/window_harness.h"

using namespace Qt::StringLiterals;

namespace {

const QByteArray addressFile = "Nom <a@b>, c@d\r\nsans adresse\r\n";
const QStringList addressFileLines = {u"Nom <a@b>, c@d"_s, u"sans adresse"_s};
const QStringList addressFileExtracted = {u"<a@b>"_s, u"c@d"_s};

QString withDir(QString text, const WindowHarness &h)
{
    return text.replace(u"%dir"_s, h.dir());
}

} // namespace

class TestMainWindow : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QApplication::setQuitOnLastWindowClosed(false); }

    void startUp_data();
    void startUp();
    void badStoredGeometry_data();
    void badStoredGeometry();
    void storedGeometry_data();
    void storedGeometry();
    void tabOrder();

    void closeWritesSettings();
    void closeFailsWhileSettingsCannotBeWritten();
    void closeOnFullDiskKeepsTheSettings();
    void closeWithUnusableSettingsBesideWritesTheUserFile();

    void menuEntries();
    void editEntriesDisabledWhileListHasFocus();
    void autoExtractToggle();
    void rightClickOpensMenu();
    void rightPressLeavesFocusInField();
    void keyboardOpensMenuAtListCorner_data();
    void keyboardOpensMenuAtListCorner();
    void keyboardOpensFieldMenuInField_data();
    void keyboardOpensFieldMenuInField();
    void firstStartLeavesPlacementToWindowingSystem();

    void dropLoadsFirstFile_data();
    void dropLoadsFirstFile();
    void dropFolder();
    void dropWithoutLocalFileIsRefused_data();
    void dropWithoutLocalFileIsRefused();
    void dropMixedTakesTheFiles();
    void dropWhileSettingsCannotBeWritten();
    void droppedFileIsLoadedAtNextStart();

    void save_data();
    void save();
    void saveCancelled();
    void saveOntoFolder();
};

void TestMainWindow::startUp_data()
{
    QTest::addColumn<QByteArray>("settings");
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QStringList>("entries");
    QTest::addColumn<QString>("panel0");

    const QByteArray remembered = "[FICHIER]\nIMPORT=%dir/souvenir.txt\n";
    const QByteArray autoOff = "[CASES_A_COCHER]\nchk_AUTO=0\n";
    QTest::newRow("argument, auto-extract on") << remembered << QStringList{u"%dir/liste.txt"_s}
                                               << addressFileExtracted << u"2 adresses"_s;
    QTest::newRow("argument, auto-extract off")
        << remembered + autoOff << QStringList{u"%dir/liste.txt"_s} << addressFileLines
        << QString();
    QTest::newRow("argument names no file: the remembered one is not loaded")
        << remembered << QStringList{u"%dir/absent.txt"_s} << QStringList() << QString();
    QTest::newRow("argument names a folder")
        << remembered << QStringList{u"%dir/dossier"_s} << QStringList() << QString();
    QTest::newRow("empty argument skipped")
        << remembered << QStringList{QString(), u"%dir/liste.txt"_s} << addressFileExtracted
        << u"2 adresses"_s;
    QTest::newRow("no argument: remembered file, auto-extract on")
        << remembered << QStringList() << QStringList{u"x@y"_s} << u"1 adresses"_s;
    QTest::newRow("no argument: remembered file, auto-extract off")
        << autoOff + remembered << QStringList() << QStringList{u"x@y"_s, u"autre"_s} << QString();
    QTest::newRow("no argument: remembered file gone")
        << QByteArray("[FICHIER]\nIMPORT=%dir/parti.txt\n") << QStringList() << QStringList()
        << QString();
    QTest::newRow("no argument: remembered path is a folder")
        << QByteArray("[FICHIER]\nIMPORT=%dir/dossier\n") << QStringList() << QStringList()
        << QString();
    QTest::newRow("no argument, no settings file")
        << QByteArray() << QStringList() << QStringList() << QString();
}

void TestMainWindow::startUp()
{
    QFETCH(QByteArray, settings);
    QFETCH(QStringList, arguments);
    QFETCH(QStringList, entries);
    QFETCH(QString, panel0);

    WindowHarness h;
    h.writeFile(u"liste.txt"_s, addressFile);
    h.writeFile(u"souvenir.txt"_s, "x@y\r\nautre\r\n");
    QVERIFY(QDir(h.dir()).mkdir(u"dossier"_s));
    if (!settings.isEmpty())
        h.writeSettings(withDir(QString::fromUtf8(settings), h).toUtf8());
    const QByteArray settingsBefore = readBytes(h.settingsPath());
    for (QString &argument : arguments)
        argument = withDir(argument, h);

    h.open(arguments);

    QCOMPARE(h.entries(), entries);
    QCOMPARE(h.panel(0), panel0);
    for (int i = 1; i <= 3; ++i)
        QCOMPARE(h.panel(i), QString());
    QCOMPARE(h.dialogs().errors.size(), 0);
    QCOMPARE(h.list().ItemIndex(), -1);
    QCOMPARE(h.edit()->text(), QString());
    QCOMPARE(QApplication::focusWidget(), static_cast<QWidget *>(h.view()));
    // Start-up reads the settings, it never writes them.
    QCOMPARE(readBytes(h.settingsPath()), settingsBefore);
}

void TestMainWindow::badStoredGeometry_data()
{
    QTest::addColumn<QString>("executable");
    QTest::addColumn<QString>("section");
    QTest::addColumn<QString>("boxCaption");
    QTest::addColumn<QString>("captionStart");

    QTest::newRow("extracteur") << u"extracteur"_s << u"extracteur"_s << u"extracteur"_s
                                << u"EXTRACTEUR "_s;
    QTest::newRow("name cut at its first dot")
        << u"OUTIL.Liste"_s << u"OUTIL"_s << u"Outil"_s << u"OUTIL "_s;
    QTest::newRow("accented name") << u"éditeur"_s << u"éditeur"_s << u"éditeur"_s << u"éDITEUR "_s;
}

// A stored geometry that is no integer text stops the start-up after the error box: the option
// states and the remembered file are not loaded.
void TestMainWindow::badStoredGeometry()
{
    QFETCH(QString, executable);
    QFETCH(QString, section);
    QFETCH(QString, boxCaption);
    QFETCH(QString, captionStart);

    WindowHarness h(executable);
    h.writeFile(u"souvenir.txt"_s, addressFile);
    h.writeSettings(withDir(u"[%1]\nForm1=abc\n[CASES_A_COCHER]\nchk_AUTO=0\n"
                            "[FICHIER]\nIMPORT=%dir/souvenir.txt\n"_s.arg(section),
                            h)
                        .toUtf8());
    TForm1 &window = h.open();

    QCOMPARE(h.dialogs().errors.size(), 1);
    QCOMPARE(h.dialogs().errors[0].caption, boxCaption);
    QCOMPARE(h.dialogs().errors[0].message, u"''abc'' n'est pas une valeur entière valide."_s);
    QVERIFY(window.isVisible());
    QCOMPARE(h.list().Count(), 0);
    QVERIFY(h.entry(u"chk_AUTO"_s)->isChecked());
    QVERIFY2(window.windowTitle().startsWith(captionStart), qPrintable(window.windowTitle()));
    QVERIFY(window.windowTitle().contains(u" | Quorvel ***{:-  | "_s));
}

void TestMainWindow::storedGeometry_data()
{
    QTest::addColumn<QString>("stored");
    QTest::addColumn<QRect>("expected"); // a negative width: the work area's, less the frame
    QTest::newRow("within the work area") << u"40:30:500:300"_s << QRect(40, 30, 500, 300);
    QTest::newRow("fifth part ignored") << u"10:20:300:200:500"_s << QRect(10, 20, 300, 200);
    // A negative Left is not checked here: the offscreen platform moves such a window on show.
    QTest::newRow("top raised to 0") << u"30:-50:300:200"_s << QRect(30, 0, 300, 200);
    QTest::newRow("beyond the work area") << u"2500:40:3000:2000"_s << QRect();
    // Smaller than the layout needs: the bands clip, the window keeps the stored size.
    QTest::newRow("small") << u"40:30:150:120"_s << QRect(40, 30, 150, 120);
    QTest::newRow("tiny") << u"40:30:20:10"_s << QRect(40, 30, 20, 10);
}

// The stored rectangle is the outer one, frame included: what is saved at close comes back
// unchanged at the next start, so the window does not grow by its frame at every run.
void TestMainWindow::storedGeometry()
{
    QFETCH(QString, stored);
    QFETCH(QRect, expected);
    WindowHarness h;
    h.writeSettings("[extracteur]\nForm1=" + stored.toUtf8() + "\n");
    for (int run = 0; run < 2; ++run) {
        TForm1 &window = h.open();
        if (expected.isNull()) {
            // Left is pulled back by the width the window had before the stored one applied.
            const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
            const int designWidth = 600 + window.frameGeometry().width() - window.width();
            expected = QRect(area.width() - designWidth, 40, area.width(), area.height());
        }
        QCOMPARE(window.frameGeometry(), expected);
        QVERIFY(window.close());
        QCOMPARE(h.setting(u"extracteur"_s, u"Form1"_s), u"%1:%2:%3:%4"_s.arg(expected.left())
                                                             .arg(expected.top())
                                                             .arg(expected.width())
                                                             .arg(expected.height()));
        h.closeAndDestroy();
    }
}

void TestMainWindow::tabOrder()
{
    WindowHarness h;
    h.open();
    QCOMPARE(QApplication::focusWidget(), static_cast<QWidget *>(h.view()));
    WindowHarness::press(Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget(), static_cast<QWidget *>(h.edit()));
    WindowHarness::press(Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget(), static_cast<QWidget *>(h.view()));
}

void TestMainWindow::closeWritesSettings()
{
    WindowHarness h;
    TForm1 &window = h.open();
    // Without a settings file the window keeps the client area of its design.
    QCOMPARE(window.size(), QSize(600, 394));
    const QRect frame = window.frameGeometry();
    QVERIFY(window.close());
    QVERIFY(!window.isVisible());
    QCOMPARE(
        h.setting(u"extracteur"_s, u"Form1"_s),
        u"%1:%2:%3:%4"_s.arg(frame.left()).arg(frame.top()).arg(frame.width()).arg(frame.height()));
    QCOMPARE(h.setting(u"CASES_A_COCHER"_s, u"chk_AUTO"_s), u"1"_s);
    QCOMPARE(h.dialogs().errors.size(), 0);
}

void TestMainWindow::closeFailsWhileSettingsCannotBeWritten()
{
    WindowHarness h;
    TForm1 &window = h.open();
    const QString named = h.blockSettings();

    QVERIFY(!window.close());
    QVERIFY(window.isVisible());
    QCOMPARE(h.dialogs().errors.size(), 1);
    QCOMPARE(h.dialogs().errors[0].caption, u"extracteur"_s);
    QCOMPARE(h.dialogs().errors[0].message, u"Impossible d'écrire dans %1."_s.arg(named));

    h.unblockSettings();
    QVERIFY(window.close());
    QVERIFY(!window.isVisible());
    QCOMPARE(h.dialogs().errors.size(), 1);
    QCOMPARE(h.setting(u"CASES_A_COCHER"_s, u"chk_AUTO"_s), u"1"_s);
}

// No room left: the close is refused with the error and the previous settings stay whole.
void TestMainWindow::closeOnFullDiskKeepsTheSettings()
{
    WindowHarness h;
    const QByteArray previous = "[CASES_A_COCHER]\nchk_AUTO=0\n";
    h.writeSettings(previous);
    TForm1 &window = h.open();
    {
        const FileSizeLimit noRoom(0);
        QVERIFY(noRoom.isActive());
        QVERIFY(!window.close());
    }
    QVERIFY(window.isVisible());
    QCOMPARE(h.dialogs().errors.size(), 1);
    QCOMPARE(h.dialogs().errors[0].message,
             u"Impossible d'écrire dans %1."_s.arg(QFileInfo(h.settingsPath()).absoluteFilePath()));
    QCOMPARE(readBytes(h.settingsPath()), previous);
}

// A folder where the program cannot keep its settings, as under /usr: the close succeeds and
// the settings go to the user's configuration folder.
void TestMainWindow::closeWithUnusableSettingsBesideWritesTheUserFile()
{
    WindowHarness h;
    TForm1 &window = h.open();
    QVERIFY(QDir().mkdir(h.settingsPath()));

    QVERIFY(window.close());
    QCOMPARE(h.dialogs().errors.size(), 0);
    const QByteArray written = readBytes(h.path(u"config/extracteur/extracteur.INI"_s));
    QVERIFY2(written.contains("[CASES_A_COCHER]\nchk_AUTO=1\n"), written.constData());
    QVERIFY(QFileInfo(h.settingsPath()).isDir());
}

void TestMainWindow::menuEntries()
{
    WindowHarness h;
    h.open();
    struct Expected
    {
        QString name; // empty: not checked
        QString text; // empty: a separator
        QKeySequence shortcut;
        bool image;
    };
    const Expected expected[] = {
        {{}, u"Extraire"_s, QKeySequence(Qt::Key_F5), true},
        {u"N4"_s, {}, {}, false},
        {u"Enregistrer1"_s, u"Enregistrer ..."_s, {}, true},
        {u"COPY"_s, u"Copier toute la liste dans le presse papier "_s,
         QKeySequence(u"Ctrl+Shift+C"_s), true},
        {u"mnu_COPYSEL"_s, u"Copier des emails cochés"_s, QKeySequence(u"Ctrl+Alt+C"_s), false},
        {u"SORT"_s, u"Trier la liste"_s, QKeySequence(u"Ctrl+T"_s), false},
        {u"N5"_s, {}, {}, false},
        {u"chk_AUTO"_s, u"Extraction automatique"_s, {}, false},
        {u"N3"_s, {}, {}, false},
        {u"outslectionner1"_s, u"&Tout sélectionner"_s, QKeySequence(u"Ctrl+A"_s), false},
        {u"Coller1"_s, u"Co&ller"_s, QKeySequence(u"Ctrl+V"_s), true},
        {u"N1"_s, u"C&opier"_s, QKeySequence(u"Ctrl+C"_s), true},
        {u"N2"_s, {}, {}, false},
        {u"Quitter1"_s, u"&Quitter"_s, QKeySequence(u"Ctrl+Q"_s), true},
    };
    const QList<QAction *> actions = h.menu()->actions();
    QCOMPARE(actions.size(), qsizetype(std::size(expected)));
    for (qsizetype i = 0; i < actions.size(); ++i) {
        const Expected &e = expected[i];
        const QAction *a = actions[i];
        const QByteArray where = QByteArray::number(i + 1) + " " + e.text.toUtf8();
        if (!e.name.isEmpty())
            QVERIFY2(a->objectName() == e.name, where.constData());
        QVERIFY2(a->isSeparator() == e.text.isEmpty(), where.constData());
        if (a->isSeparator())
            continue;
        QVERIFY2(a->text() == e.text, where.constData());
        QVERIFY2(a->shortcut() == e.shortcut, where.constData());
        QVERIFY2(a->icon().isNull() == !e.image, where.constData());
    }
    QCOMPARE(h.menu()->defaultAction(), h.entry(u"COPY"_s));
    QVERIFY(h.entry(u"chk_AUTO"_s)->isCheckable());
    QVERIFY(h.entry(u"chk_AUTO"_s)->isChecked());
}

void TestMainWindow::editEntriesDisabledWhileListHasFocus()
{
    WindowHarness h;
    TForm1 &window = h.open();
    WindowHarness::setClipboardText(u"presse"_s);
    h.edit()->setText(u"texte"_s);
    h.edit()->selectAll();
    const QStringList editEntries = {u"N1"_s, u"Coller1"_s, u"outslectionner1"_s};

    h.focusList();
    window.updateActionStates();
    for (const QString &name : editEntries)
        QVERIFY2(!h.entry(name)->isEnabled(), qPrintable(name));
    for (const QAction *a : h.menu()->actions()) {
        if (!editEntries.contains(a->objectName()))
            QVERIFY2(a->isEnabled(), qPrintable(a->objectName()));
    }

    h.focusEdit();
    h.edit()->selectAll();
    window.updateActionStates();
    for (const QString &name : editEntries)
        QVERIFY2(h.entry(name)->isEnabled(), qPrintable(name));
}

void TestMainWindow::rightClickOpensMenu()
{
    WindowHarness h;
    h.open();
    WindowHarness::setClipboardText(u"presse"_s);
    h.edit()->setText(u"texte"_s);
    h.edit()->selectAll();
    const QPoint at(30, 30);
    QContextMenuEvent event(QContextMenuEvent::Mouse, at, h.view()->viewport()->mapToGlobal(at));
    QCoreApplication::sendEvent(h.view()->viewport(), &event);

    QTRY_VERIFY(h.menu()->isVisible());
    for (const QString &name : {u"N1"_s, u"Coller1"_s, u"outslectionner1"_s})
        QVERIFY2(!h.entry(name)->isEnabled(), qPrintable(name));
    QVERIFY(h.entry(u"COPY"_s)->isEnabled());
    h.menu()->hide();
}

// The menu belongs to the list, but a right press does not take the focus: its edit entries
// then act on the search field.
void TestMainWindow::rightPressLeavesFocusInField()
{
    WindowHarness h;
    h.open();
    WindowHarness::setClipboardText(u"presse"_s);
    h.focusEdit();
    h.edit()->setText(u"texte"_s);
    h.edit()->selectAll();
    const QPoint at(30, 10);
    QTest::mousePress(h.view()->viewport(), Qt::RightButton, Qt::NoModifier, at);
    QTest::mouseRelease(h.view()->viewport(), Qt::RightButton, Qt::NoModifier, at);
    QCOMPARE(QApplication::focusWidget(), static_cast<QWidget *>(h.edit()));

    h.window().popupListMenu(h.view()->viewport()->mapToGlobal(at));
    QTRY_VERIFY(h.menu()->isVisible());
    QVERIFY(h.entry(u"Coller1"_s)->isEnabled());
    h.menu()->hide();
    h.entry(u"Coller1"_s)->trigger();
    QCOMPARE(h.edit()->text(), u"presse"_s);
}

void TestMainWindow::keyboardOpensMenuAtListCorner_data()
{
    QTest::addColumn<int>("key");
    QTest::addColumn<Qt::KeyboardModifiers>("modifiers");
    QTest::newRow("context-menu request") << 0 << Qt::KeyboardModifiers();
    QTest::newRow("Shift+F10") << int(Qt::Key_F10) << Qt::KeyboardModifiers(Qt::ShiftModifier);
    QTest::newRow("Menu key") << int(Qt::Key_Menu) << Qt::KeyboardModifiers();
}

void TestMainWindow::keyboardOpensMenuAtListCorner()
{
    QFETCH(int, key);
    QFETCH(Qt::KeyboardModifiers, modifiers);
    WindowHarness h;
    h.open();
    h.focusList();
    if (key == 0) {
        // What the windowing system sends for the Menu key.
        QContextMenuEvent event(QContextMenuEvent::Keyboard, QPoint(5, 5),
                                h.view()->mapToGlobal(QPoint(5, 5)));
        QCoreApplication::sendEvent(h.view(), &event);
    } else {
        WindowHarness::press(key, modifiers);
    }
    QTRY_VERIFY(h.menu()->isVisible());
    QCOMPARE(h.menu()->pos(), h.view()->mapToGlobal(QPoint(0, 0)));
    // The edit entries are greyed: the list has the focus.
    QVERIFY(!h.entry(u"Coller1"_s)->isEnabled());
    h.menu()->hide();
}

// In the search field the same keys open the field's own menu, never the list's.
void TestMainWindow::keyboardOpensFieldMenuInField_data()
{
    QTest::addColumn<int>("key");
    QTest::addColumn<Qt::KeyboardModifiers>("modifiers");
    QTest::newRow("Shift+F10") << int(Qt::Key_F10) << Qt::KeyboardModifiers(Qt::ShiftModifier);
    QTest::newRow("Menu key") << int(Qt::Key_Menu) << Qt::KeyboardModifiers();
}

void TestMainWindow::keyboardOpensFieldMenuInField()
{
    QFETCH(int, key);
    QFETCH(Qt::KeyboardModifiers, modifiers);
    WindowHarness h;
    h.open();
    h.focusEdit();
    WindowHarness::press(key, modifiers);
    QTRY_VERIFY(qobject_cast<QMenu *>(QApplication::activePopupWidget()));
    auto *shown = qobject_cast<QMenu *>(QApplication::activePopupWidget());
    QVERIFY(shown != h.menu());
    QVERIFY(!h.menu()->isVisible());
    QVERIFY(QRect(h.edit()->mapToGlobal(QPoint(0, 0)), h.edit()->size()).contains(shown->pos()));
    shown->close();
}

void TestMainWindow::firstStartLeavesPlacementToWindowingSystem()
{
    WindowHarness h;
    TForm1 &window = h.open();
    QVERIFY(!window.testAttribute(Qt::WA_Moved));
    QCOMPARE(window.size(), QSize(600, 394));
}

// The toggle is stored only at close, and governs the auto-extract of the next start.
void TestMainWindow::autoExtractToggle()
{
    WindowHarness h;
    const QString file = h.writeFile(u"liste.txt"_s, addressFile);
    TForm1 &window = h.open();
    QAction *toggle = h.entry(u"chk_AUTO"_s);
    toggle->trigger();
    toggle->trigger();
    QVERIFY(toggle->isChecked());
    toggle->trigger();
    QVERIFY(!toggle->isChecked());
    QCOMPARE(h.list().Count(), 0);
    QCOMPARE(h.setting(u"CASES_A_COCHER"_s, u"chk_AUTO"_s), u"<missing>"_s);

    QVERIFY(window.close());
    QCOMPARE(h.setting(u"CASES_A_COCHER"_s, u"chk_AUTO"_s), u"0"_s);
    h.closeAndDestroy();

    h.open({file});
    QVERIFY(!h.entry(u"chk_AUTO"_s)->isChecked());
    QCOMPARE(h.entries(), addressFileLines);
}

void TestMainWindow::dropLoadsFirstFile_data()
{
    QTest::addColumn<QString>("target");
    QTest::addColumn<bool>("autoExtract");

    for (const QString &target : {u"Edit1"_s, u"JvCheckListBox1"_s, u"JvLabel1"_s}) {
        QTest::addRow("%s, auto-extract on", qPrintable(target)) << target << true;
        QTest::addRow("%s, auto-extract off", qPrintable(target)) << target << false;
    }
}

void TestMainWindow::dropLoadsFirstFile()
{
    QFETCH(QString, target);
    QFETCH(bool, autoExtract);

    WindowHarness h;
    const QString first = h.writeFile(u"premier.txt"_s, addressFile);
    const QString second = h.writeFile(u"second.txt"_s, "z@z\r\n");
    if (!autoExtract)
        h.writeSettings("[CASES_A_COCHER]\nchk_AUTO=0\n");
    TForm1 &window = h.open();
    h.attachModelTester();

    QWidget *widget =
        target == u"JvCheckListBox1"_s ? h.view()->viewport() : window.findChild<QWidget *>(target);
    QVERIFY(widget);
    WindowHarness::drop(widget, {first, second});

    QCOMPARE(h.dialogs().errors.size(), 0);
    QCOMPARE(h.entries(), autoExtract ? addressFileExtracted : addressFileLines);
    QCOMPARE(h.panel(0), autoExtract ? u"2 adresses"_s : QString());
    QCOMPARE(h.setting(u"FICHIER"_s, u"IMPORT"_s), first);
    // The field does not take the dropped names as text.
    QCOMPARE(h.edit()->text(), QString());
}

void TestMainWindow::dropFolder()
{
    WindowHarness h;
    const QString file = h.writeFile(u"liste.txt"_s, addressFile);
    h.writeSettings("[FICHIER]\nIMPORT=/ancien/chemin.txt\n");
    QVERIFY(QDir(h.dir()).mkdir(u"dossier"_s));
    const QString folder = QDir(h.path(u"dossier"_s)).absolutePath();
    h.open({file});
    QCOMPARE(h.entries(), addressFileExtracted);

    WindowHarness::drop(h.view()->viewport(), {folder, file});

    QCOMPARE(h.list().Count(), 0);
    QCOMPARE(h.dialogs().errors.size(), 1);
    QCOMPARE(h.dialogs().errors[0].caption, u"extracteur"_s);
    const QString message = h.dialogs().errors[0].message;
    QVERIFY2(message.startsWith(u"Impossible d'ouvrir le fichier \"%1\". "_s.arg(folder)),
             qPrintable(message));
    QCOMPARE(h.setting(u"FICHIER"_s, u"IMPORT"_s), u"/ancien/chemin.txt"_s);
    QCOMPARE(h.panel(0), u"2 adresses"_s);
}

void TestMainWindow::dropWithoutLocalFileIsRefused_data()
{
    QTest::addColumn<QList<QUrl>>("urls");
    QTest::addColumn<QString>("target");
    const QList<QUrl> web{QUrl(u"https://exemple.fr/page.html"_s)};
    const QList<QUrl> several{QUrl(u"https://exemple.fr/a.txt"_s), QUrl(u"ftp://exemple.fr/b"_s),
                              QUrl(u"mailto:a@b.fr"_s)};
    for (const QString &target : {u"Edit1"_s, u"JvCheckListBox1"_s, u"JvLabel1"_s}) {
        QTest::addRow("web link on %s", qPrintable(target)) << web << target;
        QTest::addRow("several links on %s", qPrintable(target)) << several << target;
    }
}

// The drop target refuses the drag: the list, the remembered entry, the status bar and the search
// field stay as they were, and no box opens.
void TestMainWindow::dropWithoutLocalFileIsRefused()
{
    QFETCH(QList<QUrl>, urls);
    QFETCH(QString, target);
    WindowHarness h;
    const QString file = h.writeFile(u"liste.txt"_s, addressFile);
    h.writeSettings("[FICHIER]\nIMPORT=" + file.toUtf8() + "\n");
    TForm1 &window = h.open();
    QCOMPARE(h.entries(), addressFileExtracted);
    h.click(h.textPoint(1));
    const QStringList panels{h.panel(0), h.panel(1), h.panel(2), h.panel(3)};

    QWidget *widget =
        target == u"JvCheckListBox1"_s ? h.view()->viewport() : window.findChild<QWidget *>(target);
    QVERIFY(widget);
    QVERIFY(!WindowHarness::dropUrls(widget, urls));

    QCOMPARE(h.entries(), addressFileExtracted);
    QCOMPARE(h.list().ItemIndex(), 1);
    QCOMPARE((QStringList{h.panel(0), h.panel(1), h.panel(2), h.panel(3)}), panels);
    QCOMPARE(h.setting(u"FICHIER"_s, u"IMPORT"_s), file);
    QCOMPARE(h.edit()->text(), QString());
    QVERIFY(h.dialogs().errors.isEmpty());
}

void TestMainWindow::dropMixedTakesTheFiles()
{
    WindowHarness h;
    const QString first = h.writeFile(u"premier.txt"_s, addressFile);
    const QString second = h.writeFile(u"second.txt"_s, "z@z\r\n");
    h.open();

    QVERIFY(WindowHarness::dropUrls(h.view()->viewport(),
                                    {QUrl(u"https://exemple.fr/page.html"_s),
                                     QUrl::fromLocalFile(first), QUrl::fromLocalFile(second)}));

    QVERIFY(h.dialogs().errors.isEmpty());
    QCOMPARE(h.entries(), addressFileExtracted);
    QCOMPARE(h.setting(u"FICHIER"_s, u"IMPORT"_s), first);
}

// The file is loaded, but the settings write fails: the error is shown and no extract follows.
void TestMainWindow::dropWhileSettingsCannotBeWritten()
{
    WindowHarness h;
    const QString file = h.writeFile(u"liste.txt"_s, addressFile);
    h.open();
    const QString named = h.blockSettings();

    WindowHarness::drop(h.view()->viewport(), {file});

    QCOMPARE(h.entries(), addressFileLines);
    QCOMPARE(h.panel(0), QString());
    QCOMPARE(h.dialogs().errors.size(), 1);
    QCOMPARE(h.dialogs().errors[0].message, u"Impossible d'écrire dans %1."_s.arg(named));
}

void TestMainWindow::droppedFileIsLoadedAtNextStart()
{
    WindowHarness h;
    const QString file = h.writeFile(u"liste.txt"_s, addressFile);
    TForm1 &window = h.open();
    WindowHarness::drop(h.view()->viewport(), {file});
    QCOMPARE(h.entries(), addressFileExtracted);
    QVERIFY(window.close());
    h.closeAndDestroy();

    h.open();
    QCOMPARE(h.entries(), addressFileExtracted);
    QCOMPARE(h.panel(0), u"2 adresses"_s);
}

void TestMainWindow::save_data()
{
    QTest::addColumn<QByteArray>("fileRead"); // empty: nothing loaded
    QTest::addColumn<bool>("autoExtract");
    QTest::addColumn<QByteArray>("expected");

    QTest::newRow("nothing loaded") << QByteArray() << true << QByteArray();
    QTest::newRow("system code page")
        << QByteArray("caf\xe9 a@b\r\nx") << false << QByteArray("caf\xe9 a@b\r\nx\r\n");
    QTest::newRow("UTF-8 with its mark") << QByteArray("\xef\xbb\xbf"
                                                       "caf\xc3\xa9\nb")
                                         << false
                                         << QByteArray("\xef\xbb\xbf"
                                                       "caf\xc3\xa9\r\nb\r\n");
    QTest::newRow("UTF-8 with its mark, then extract")
        << QByteArray("\xef\xbb\xbf"
                      "x@y caf\xc3\xa9@z")
        << true << QByteArray("x@y\r\ncaf\xe9@z\r\n");
    QTest::newRow("UTF-16 LE") << QByteArray("\xff\xfe"
                                             "a\0\r\0\n\0b\0",
                                             10)
                               << false
                               << QByteArray("\xff\xfe"
                                             "a\0\r\0\n\0b\0\r\0\n\0",
                                             14);
}

void TestMainWindow::save()
{
    QFETCH(QByteArray, fileRead);
    QFETCH(bool, autoExtract);
    QFETCH(QByteArray, expected);

    WindowHarness h;
    QStringList arguments;
    if (!fileRead.isEmpty())
        arguments.append(h.writeFile(u"lu.txt"_s, fileRead));
    if (!autoExtract)
        h.writeSettings("[CASES_A_COCHER]\nchk_AUTO=0\n");
    h.open(arguments);
    const QStringList before = h.entries();
    // An existing file is replaced whole.
    const QString target = h.writeFile(u"ADRESSES.TXT"_s, "ancien contenu bien plus long\r\n");
    h.dialogs().saveAnswer = target;

    h.entry(u"Enregistrer1"_s)->trigger();

    QCOMPARE(h.dialogs().errors.size(), 0);
    QCOMPARE(h.dialogs().saveRequests.size(), 1);
    QCOMPARE(h.dialogs().saveRequests[0].title, u"Enregistrer la liste des Adresses"_s);
    QCOMPARE(h.dialogs().saveRequests[0].fileName, u"ADRESSES"_s);
    QCOMPARE(h.dialogs().saveRequests[0].defaultExtension, u"TXT"_s);
    QCOMPARE(readBytes(target), expected);
    QCOMPARE(h.entries(), before);
}

void TestMainWindow::saveCancelled()
{
    WindowHarness h;
    h.open({h.writeFile(u"lu.txt"_s, "a@b\r\n")});
    h.dialogs().saveAnswer.reset();
    const QStringList before = QDir(h.dir()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot);

    h.entry(u"Enregistrer1"_s)->trigger();

    QCOMPARE(h.dialogs().saveRequests.size(), 1);
    QCOMPARE(QDir(h.dir()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), before);
    QCOMPARE(h.dialogs().errors.size(), 0);
}

void TestMainWindow::saveOntoFolder()
{
    WindowHarness h;
    h.open({h.writeFile(u"lu.txt"_s, "a@b c@d\r\n")});
    QVERIFY(QDir(h.dir()).mkdir(u"dossier"_s));
    const QString folder = QDir(h.path(u"dossier"_s)).absolutePath();
    h.dialogs().saveAnswer = folder;

    h.entry(u"Enregistrer1"_s)->trigger();

    QCOMPARE(h.dialogs().errors.size(), 1);
    const QString message = h.dialogs().errors[0].message;
    QVERIFY2(message.startsWith(u"Impossible de créer le fichier \"%1\". "_s.arg(folder)),
             qPrintable(message));
    QVERIFY(QFileInfo(folder).isDir());
    QCOMPARE(h.entries(), (QStringList{u"a@b"_s, u"c@d"_s}));
}

QTEST_MAIN(TestMainWindow)
#include "tst_main_window.moc"

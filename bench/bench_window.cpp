// The whole path a user waits for, on the real window offscreen: load the 2,000,000-line corpus
// into the address list (decode, lines, model reset, widest-entry measure, layout), scroll, select
// and tick, extract, copy to the clipboard, sort.
#include <cstdio>
#include <cstdlib>

#include <QApplication>
#include <QClipboard>
#include <QElapsedTimer>
#include <QScrollBar>
#include <QTemporaryDir>

#include "app/address_list.h"
#include "app/check_list_box.h"
#include "app/main_window.h"
#include "corpus.h"
#include "platform/executable_info.h"

namespace {

class SilentDialogs : public Dialogs
{
public:
    void showError(QWidget *, const QString &, const QString &message) override
    {
        std::printf("error: %s\n", qPrintable(message));
    }
    void showStyleNotFound(const QString &) override {}
    void showInformation(QWidget *, const QString &, const QString &) override {}
    std::optional<QString> askSaveFileName(QWidget *, const SaveRequest &) override
    {
        return std::nullopt;
    }
};

double ms(QElapsedTimer &timer)
{
    return static_cast<double>(timer.nsecsElapsed()) / 1e6;
}

} // namespace

int main(int argc, char *argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int lines = argc > 1 ? QByteArray(argv[1]).toInt() : 2000000;
    const QString corpus = corpusFile(lines);
    QTemporaryDir dir;
    ExecutableFacts facts = readProcessExecutableFacts();
    facts.filePath = dir.filePath(QStringLiteral("extracteur"));
    setExecutableFacts(facts);

    SilentDialogs dialogs;
    TForm1 window(dialogs, {QStringLiteral("extracteur")});
    window.show();
    QApplication::processEvents();
    auto *view = window.findChild<CheckListBox *>(QStringLiteral("JvCheckListBox1"));
    AddressList &list = window.list();
    std::printf("corpus: %d lines, %s\n", lines, qPrintable(corpus));

    QElapsedTimer t;
    t.start();
    list.LoadFromFile(corpus);
    const double load = ms(t);
    QApplication::processEvents(); // the delayed layout and the first paint
    const double loadShown = ms(t);
    std::printf("load (LoadFromFile):            %8.1f ms, %d entries, widest %d px\n", load,
                list.Count(), view->contentWidth());
    std::printf("load until shown (with layout): %8.1f ms\n", loadShown);
    std::printf("peak memory after load:         %8.1f MiB\n", peakMemoryMiB());

    t.restart();
    for (int i = 0; i < 200; ++i)
        view->verticalScrollBar()->setValue(i * (list.Count() / 200));
    view->viewport()->repaint();
    std::printf("200 scroll jumps + repaint:      %8.1f ms\n", ms(t));

    t.restart();
    list.Selected(list.Count() - 1);
    list.setChecked(list.Count() - 1, true);
    const int checked = list.checkedCount();
    QApplication::processEvents();
    std::printf("select + tick last + count:      %8.1f ms (%d checked)\n", ms(t), checked);

    t.restart();
    window.ExtractExecute();
    const double extract = ms(t);
    QApplication::processEvents();
    std::printf("extract:                         %8.1f ms, %d addresses (shown after %.1f ms)\n",
                extract, list.Count(), ms(t));

    // A file dropped while auto-extract is on: load, extract, and the list shown, timed side by
    // side with a command-line search that prints every match of the same file.
    t.restart();
    list.LoadFromFile(corpus);
    window.ExtractExecute();
    QApplication::processEvents();
    const double dropped = ms(t);
    std::printf("load + extract until shown:      %8.1f ms, %d addresses\n", dropped, list.Count());
    const QByteArray rg = "rg -o '[^\\s,]*@[^\\s,]*' " + corpus.toLocal8Bit() + " > /dev/null";
    t.restart();
    if (std::system(rg.constData()) == 0) {
        const double ripgrep = ms(t);
        std::printf(
            "rg -o on the same file:          %8.1f ms; ratio (load + extract) / rg = %.2f\n",
            ripgrep, dropped / ripgrep);
    } else {
        std::printf("rg not available: no side-by-side figure\n");
    }

    t.restart();
    QGuiApplication::clipboard()->setText(list.Text());
    std::printf("copy whole list to clipboard:    %8.1f ms\n", ms(t));

    t.restart();
    window.SORTClick();
    QApplication::processEvents();
    std::printf("sort:                            %8.1f ms\n", ms(t));
    std::printf("peak memory at the end:          %8.1f MiB\n", peakMemoryMiB());
    return 0;
}

// Selecting a very long entry, from outside: the real program under X11 on a file whose second
// line is one entry of several megabytes (auto-extract off), keys sent with xdotool, and the time
// from the key to the moment the status bar's new pixels reach the screen. Short entries of the
// same list are selected in the same run, for comparison. Needs DISPLAY (Xvfb) and xdotool.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

// After Qt's headers: Xlib defines macros (Bool, Status) that Qt's headers refuse.
#include <X11/Xlib.h>
#include <X11/Xutil.h>

namespace {

double nowMs()
{
    using namespace std::chrono;
    return duration<double, std::milli>(steady_clock::now().time_since_epoch()).count();
}

void sleepMs(int ms)
{
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

// The pixels of a strip of the window, as bytes.
std::string grab(Display *display, Window window, int y, int width, int height)
{
    XImage *image = XGetImage(display, window, 0, y, static_cast<unsigned>(width),
                              static_cast<unsigned>(height), AllPlanes, ZPixmap);
    if (!image)
        return {};
    std::string bytes(image->data, static_cast<std::size_t>(image->bytes_per_line) * height);
    XDestroyImage(image);
    return bytes;
}

Window waitForMappedWindow(Display *display, double timeoutMs)
{
    const double end = nowMs() + timeoutMs;
    while (nowMs() < end) {
        while (XPending(display)) {
            XEvent event;
            XNextEvent(display, &event);
            if (event.type == MapNotify && !event.xmap.override_redirect)
                return event.xmap.window;
        }
        sleepMs(2);
    }
    return 0;
}

struct Series
{
    std::vector<double> values;
    void print(const char *name) const
    {
        if (values.empty()) {
            std::printf("%-44s no figure\n", name);
            return;
        }
        std::vector<double> sorted = values;
        std::sort(sorted.begin(), sorted.end());
        std::printf("%-44s min %7.1f  median %7.1f  max %7.1f ms  (%zu keys)\n", name,
                    sorted.front(), sorted[sorted.size() / 2], sorted.back(), sorted.size());
    }
};

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const int megabytes = argc > 1 ? std::atoi(argv[1]) : 10;
    const int runs = argc > 2 ? std::atoi(argv[2]) : 5;
    Display *display = XOpenDisplay(nullptr);
    if (!display) {
        std::fprintf(stderr, "bench_long_entry: no X display (run it under xvfb-run)\n");
        return 1;
    }

    QTemporaryDir folder;
    const QString program = folder.filePath(QStringLiteral("extracteur"));
    QFile::copy(QStringLiteral(EXTRACTEUR_EXECUTABLE), program);
    QFile::setPermissions(program, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QFile settings(folder.filePath(QStringLiteral("extracteur.INI")));
    if (!settings.open(QIODevice::WriteOnly))
        return 1;
    settings.write("[extracteur]\r\nForm1=0:0:600:394\r\n[CASES_A_COCHER]\r\nchk_AUTO=0\r\n");
    settings.close();
    QFile lines(folder.filePath(QStringLiteral("lignes.txt")));
    if (!lines.open(QIODevice::WriteOnly))
        return 1;
    lines.write("court@exemple.fr\r\n");
    QByteArray longEntry(qsizetype(megabytes) * 1024 * 1024, 'm');
    longEntry.replace(longEntry.size() / 2, 2, "@x");
    lines.write(longEntry + "\r\n");
    lines.write("deux@exemple.fr\r\ntrois@exemple.fr\r\n");
    lines.close();
    std::printf("a %d MB entry at row 1 of 4; %d fresh processes, 3 rounds each\n", megabytes,
                runs);

    Series longSelected, shortAfterLong, shortSelected;
    XSelectInput(display, DefaultRootWindow(display), SubstructureNotifyMask);
    for (int run = 0; run < runs; ++run) {
        QProcess child;
        child.start(program, {lines.fileName()});
        const Window window = waitForMappedWindow(display, 20000);
        if (!window) {
            std::fprintf(stderr, "bench_long_entry: the window did not appear\n");
            return 1;
        }
        XWindowAttributes attributes;
        XGetWindowAttributes(display, window, &attributes);
        const int barTop = attributes.height - 19;
        sleepMs(1500); // the file loads and the window paints
        const std::string id = std::to_string(window);
        QProcess::execute(
            QStringLiteral("xdotool"),
            {QStringLiteral("windowfocus"), QStringLiteral("--sync"), QString::fromStdString(id)});
        // A key, then the time until the status bar shows something new.
        auto press = [&](const char *key) {
            const std::string before = grab(display, window, barTop, attributes.width, 19);
            const double start = nowMs();
            QProcess::startDetached(QStringLiteral("xdotool"),
                                    {QStringLiteral("key"), QString::fromLatin1(key)});
            while (nowMs() - start < 60000) {
                if (grab(display, window, barTop, attributes.width, 19) != before)
                    return nowMs() - start;
                sleepMs(1);
            }
            return -1.0;
        };
        for (int round = 0; round < 3; ++round) {
            press("Home");
            sleepMs(300);
            longSelected.values.push_back(press("Down")); // row 1, the long entry
            sleepMs(300);
            shortAfterLong.values.push_back(press("Down")); // row 2; row 1 is drawn again
            sleepMs(300);
            shortSelected.values.push_back(press("Down")); // row 3
            sleepMs(300);
        }
        child.kill();
        child.waitForFinished();
    }
    longSelected.print("Down onto the long entry");
    shortAfterLong.print("Down from the long entry onto a short one");
    shortSelected.print("Down from a short entry onto a short one");
    XCloseDisplay(display);
    return 0;
}

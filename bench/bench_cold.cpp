// A user's start, measured from outside: the real executable started as a fresh process with the
// corpus as its argument, timed until its window is shown with the extracted list, next to
// `rg -o '[^\s,]*@[^\s,]*'` on the same file in the same round. Under the offscreen platform
// always; under X11 as well when DISPLAY is set (run it in xvfb-run), where it also times
// Ctrl+Shift+C on the extracted list until the confirmation box is mapped (with xdotool).
//
//   bench_cold [--runs N] [--lines N] [--distinct] [--file PATH] [--exe PATH]
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include <QByteArray>
#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QList>
#include <QStandardPaths>
#include <QTemporaryDir>

#include "corpus.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#if defined(BENCH_COLD_X11)
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#endif

namespace {

double nowMs()
{
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_nsec) / 1e6;
}

struct Child
{
    pid_t pid = -1;
    int output = -1; // read end of the child's standard output
};

// Starts `argv` with `environment` added to ours; its standard output comes back on a pipe, its
// standard error goes nowhere.
Child start(const std::vector<std::string> &argv, const std::vector<std::string> &environment)
{
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0)
        return {};
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(fds[1], STDOUT_FILENO);
        const int null = open("/dev/null", O_WRONLY);
        dup2(null, STDERR_FILENO);
        for (const std::string &assignment : environment)
            putenv(const_cast<char *>(assignment.c_str()));
        std::vector<char *> args;
        for (const std::string &a : argv)
            args.push_back(const_cast<char *>(a.c_str()));
        args.push_back(nullptr);
        execvp(args[0], args.data());
        _exit(127);
    }
    close(fds[1]);
    return {pid, fds[0]};
}

// Reads the child's output until the line "shown" (true) or its end (false).
bool waitForShown(int fd)
{
    std::string seen;
    char buffer[4096];
    for (;;) {
        const ssize_t got = read(fd, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return false;
        seen.append(buffer, static_cast<std::size_t>(got));
        if (seen.find("shown\n") != std::string::npos)
            return true;
    }
}

void drain(int fd)
{
    char buffer[1 << 16];
    for (;;) {
        const ssize_t got = read(fd, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return;
    }
}

struct Usage
{
    double peakMiB = 0;
    double minorFaults = 0;
};

Usage finish(Child &child)
{
    drain(child.output);
    close(child.output);
    int status = 0;
    rusage usage{};
    while (wait4(child.pid, &status, 0, &usage) < 0 && errno == EINTR) {
    }
    return {static_cast<double>(usage.ru_maxrss) / 1024.0, static_cast<double>(usage.ru_minflt)};
}

struct Sample
{
    double ms = 0;
    Usage usage;
};

// The program under the offscreen platform, ended by itself right after its first paint.
Sample runOffscreen(const std::string &exe, const std::string &file)
{
    const double t0 = nowMs();
    Child child = start({exe, file}, {"QT_QPA_PLATFORM=offscreen", "EXTRACTEUR_REPORT_SHOWN=quit"});
    const bool shown = waitForShown(child.output);
    const double shownAt = nowMs() - t0;
    Sample s{shownAt, finish(child)};
    if (!shown)
        s.ms = -1;
    return s;
}

Sample runRipgrep(const std::string &file)
{
    // The matches go to a pipe that is read and dropped: ripgrep stops at the first match when
    // its output is /dev/null.
    const double t0 = nowMs();
    Child child = start({"rg", "-o", "[^\\s,]*@[^\\s,]*", file}, {});
    drain(child.output);
    const double end = nowMs() - t0;
    return {end, finish(child)};
}

#if defined(BENCH_COLD_X11)
struct X11Sample
{
    Sample shown;
    double copyMs = -1;
    double sortCopyMs = -1; // Ctrl+T then Ctrl+Shift+C, until the next box
    // CPU time the program spent over the same spans: on a busy machine the wall time says more
    // about the other work than about the program.
    double copyCpuMs = -1;
    double sortCopyCpuMs = -1;
    std::string boxTitle;
};

// User and system CPU time of a running process so far, in ms (-1 when it cannot be read).
double cpuMsOf(pid_t pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray line = stat.readAll();
    // The fields after the command name, which is in parentheses and may hold blanks.
    const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
    if (fields.size() < 13)
        return -1;
    const double ticks = fields[11].toDouble() + fields[12].toDouble();
    return ticks * 1000.0 / static_cast<double>(sysconf(_SC_CLK_TCK));
}

bool isOrdinaryWindow(Display *display, Window window)
{
    XWindowAttributes attributes{};
    return XGetWindowAttributes(display, window, &attributes) && !attributes.override_redirect;
}

// Waits for the next ordinary top-level window mapped other than `except`, up to `timeoutMs`.
Window waitForMap(Display *display, Window except, double timeoutMs)
{
    const double end = nowMs() + timeoutMs;
    for (;;) {
        while (XPending(display)) {
            XEvent event;
            XNextEvent(display, &event);
            if (event.type == MapNotify && event.xmap.window != except &&
                !event.xmap.override_redirect && isOrdinaryWindow(display, event.xmap.window))
                return event.xmap.window;
        }
        const double left = end - nowMs();
        if (left <= 0)
            return 0;
        pollfd p{ConnectionNumber(display), POLLIN, 0};
        poll(&p, 1, static_cast<int>(std::min(left, 100.0)) + 1);
    }
}

void runQuietly(const std::vector<std::string> &argv)
{
    Child child = start(argv, {});
    finish(child);
}

X11Sample runX11(Display *display, const std::string &exe, const std::string &file, bool keys)
{
    X11Sample result;
    XSelectInput(display, DefaultRootWindow(display), SubstructureNotifyMask);
    XSync(display, True);

    const double t0 = nowMs();
    Child child = start({exe, file}, {"QT_QPA_PLATFORM=xcb", "EXTRACTEUR_REPORT_SHOWN=1"});
    const bool shown = waitForShown(child.output);
    result.shown.ms = shown ? nowMs() - t0 : -1;
    const Window main = shown ? waitForMap(display, 0, 5000) : 0;
    if (main != 0 && keys) {
        // Let the start settle, give the window the keyboard, then press the shortcut.
        usleep(300 * 1000);
        runQuietly({"xdotool", "windowfocus", "--sync", std::to_string(main)});
        while (XPending(display)) {
            XEvent ignored;
            XNextEvent(display, &ignored);
        }
        const double t1 = nowMs();
        const double cpu1 = cpuMsOf(child.pid);
        Child key = start({"xdotool", "key", "ctrl+shift+c"}, {});
        const Window box = waitForMap(display, main, 30000);
        if (box != 0) {
            result.copyMs = nowMs() - t1;
            result.copyCpuMs = cpuMsOf(child.pid) - cpu1;
            char *name = nullptr;
            if (XFetchName(display, box, &name) && name) {
                result.boxTitle = name;
                XFree(name);
            }
            // Close the box, then sort and copy again: the sort is the difference.
            runQuietly({"xdotool", "key", "--window", std::to_string(box), "Return"});
            usleep(500 * 1000);
            runQuietly({"xdotool", "windowfocus", "--sync", std::to_string(main)});
            while (XPending(display)) {
                XEvent ignored;
                XNextEvent(display, &ignored);
            }
            const double t2 = nowMs();
            const double cpu2 = cpuMsOf(child.pid);
            Child keys2 = start({"xdotool", "key", "ctrl+t", "ctrl+shift+c"}, {});
            if (waitForMap(display, main, 60000) != 0) {
                result.sortCopyMs = nowMs() - t2;
                result.sortCopyCpuMs = cpuMsOf(child.pid) - cpu2;
            }
            finish(keys2);
        }
        finish(key);
    }
    kill(child.pid, SIGTERM);
    result.shown.usage = finish(child);
    XSelectInput(display, DefaultRootWindow(display), NoEventMask);
    XSync(display, True);
    return result;
}
#endif

struct Series
{
    std::vector<double> values;
    void add(double v) { values.push_back(v); }
    bool empty() const { return values.empty(); }
    double at(double fraction) const
    {
        std::vector<double> v = values;
        std::sort(v.begin(), v.end());
        return v[static_cast<std::size_t>(fraction * static_cast<double>(v.size() - 1) + 0.5)];
    }
};

void row(const char *what, const Series &s, const char *unit, int decimals)
{
    if (s.empty()) {
        std::printf("| %s | not measured | | |\n", what);
        return;
    }
    std::printf("| %s | %.*f %s | %.*f %s | %.*f %s |\n", what, decimals, s.at(0), unit, decimals,
                s.at(0.5), unit, decimals, s.at(1), unit);
}

bool onPath(const char *program)
{
    return !QStandardPaths::findExecutable(QString::fromLatin1(program)).isEmpty();
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication application(argc, argv);
    int runs = 5;
    int lines = 2000000;
    CorpusKind kind = CorpusKind::Repeated;
    QString file;
    QString exe = QStringLiteral(EXTRACTEUR_EXECUTABLE);
    const QStringList args = QCoreApplication::arguments();
    for (int i = 1; i < args.size(); ++i) {
        const QString &a = args[i];
        const QString next = i + 1 < args.size() ? args[i + 1] : QString();
        if (a == QLatin1String("--runs"))
            runs = next.toInt(), ++i;
        else if (a == QLatin1String("--lines"))
            lines = next.toInt(), ++i;
        else if (a == QLatin1String("--distinct"))
            kind = CorpusKind::HalfDistinct;
        else if (a == QLatin1String("--file"))
            file = next, ++i;
        else if (a == QLatin1String("--exe"))
            exe = next, ++i;
        else {
            std::fprintf(stderr, "usage: bench_cold [--runs N] [--lines N] [--distinct] "
                                 "[--file PATH] [--exe PATH]\n");
            return 2;
        }
    }
    if (runs < 1)
        runs = 1;
    if (file.isEmpty())
        file = corpusFile(lines, kind);
    if (!onPath("rg")) {
        std::fprintf(stderr, "bench_cold: rg (ripgrep) is needed for the side-by-side figures\n");
        return 1;
    }

    // A copy of the executable in a folder of its own, so that its settings file starts absent
    // (the auto-extract on) and lands there, not beside the build.
    QTemporaryDir folder;
    const QString copy = folder.filePath(QStringLiteral("extracteur"));
    if (!QFile::copy(exe, copy)) {
        std::fprintf(stderr, "bench_cold: cannot copy %s\n", qPrintable(exe));
        return 1;
    }
    QFile::setPermissions(copy, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    const std::string program = copy.toStdString();
    const std::string input = file.toStdString();

#if defined(BENCH_COLD_X11)
    Display *display = qEnvironmentVariableIsEmpty("DISPLAY") ? nullptr : XOpenDisplay(nullptr);
    const bool keys = display && onPath("xdotool");
#else
    const bool keys = false;
#endif

    std::printf("file: %s, %lld bytes; %d runs; %s\n", qPrintable(file),
                static_cast<long long>(QFileInfo(file).size()), runs,
#if defined(BENCH_COLD_X11)
                display ? (keys ? "offscreen and X11 (with xdotool)" : "offscreen and X11")
                        : "offscreen only (no DISPLAY)"
#else
                "offscreen only (built without X11)"
#endif
    );
    // Warm the page cache: a user's file was usually just written or read.
    runRipgrep(input);

    Series shown, rg, ratio, peak, rgPeak, peakRatio, faults, rgFaults, faultRatio;
    Series x11Shown, x11Ratio, copyMs, sortCopyMs, x11Peak, x11Faults, copyCpu, sortCopyCpu,
        sortCpu;
    for (int run = 0; run < runs; ++run) {
        const Sample app = runOffscreen(program, input);
        const Sample ref = runRipgrep(input);
        if (app.ms < 0) {
            std::fprintf(stderr, "bench_cold: the program never reported its first paint\n");
            return 1;
        }
        shown.add(app.ms);
        rg.add(ref.ms);
        ratio.add(app.ms / ref.ms);
        peak.add(app.usage.peakMiB);
        rgPeak.add(ref.usage.peakMiB);
        peakRatio.add(app.usage.peakMiB / ref.usage.peakMiB);
        faults.add(app.usage.minorFaults);
        rgFaults.add(ref.usage.minorFaults);
        faultRatio.add(app.usage.minorFaults / std::max(1.0, ref.usage.minorFaults));
#if defined(BENCH_COLD_X11)
        if (display) {
            const X11Sample x = runX11(display, program, input, keys);
            if (x.shown.ms >= 0) {
                x11Shown.add(x.shown.ms);
                x11Ratio.add(x.shown.ms / ref.ms);
            }
            if (x.copyMs >= 0)
                copyMs.add(x.copyMs);
            if (x.sortCopyMs >= 0)
                sortCopyMs.add(x.sortCopyMs);
            if (x.copyCpuMs >= 0 && x.sortCopyCpuMs >= 0) {
                copyCpu.add(x.copyCpuMs);
                sortCopyCpu.add(x.sortCopyCpuMs);
                sortCpu.add(x.sortCopyCpuMs - x.copyCpuMs);
            }
            if (run == 0 && keys)
                std::printf("window mapped after Ctrl+Shift+C: \"%s\"\n", x.boxTitle.c_str());
            x11Peak.add(x.shown.usage.peakMiB);
            x11Faults.add(x.shown.usage.minorFaults);
        }
#endif
        std::fprintf(stderr, "run %d: shown %.0f ms, rg %.0f ms\n", run + 1, app.ms, ref.ms);
    }

    std::printf("\n| fresh process, same run as rg | min | median | max |\n|---|---|---|---|\n");
    row("offscreen: start → window shown with the extracted list", shown, "ms", 0);
    row("rg -o on the same file", rg, "ms", 0);
    row("ratio shown / rg", ratio, "×", 2);
    row("peak RSS (whole run)", peak, "MiB", 0);
    row("rg peak RSS", rgPeak, "MiB", 0);
    row("ratio peak RSS / rg", peakRatio, "×", 1);
    row("minor faults", faults, "", 0);
    row("rg minor faults", rgFaults, "", 0);
    row("ratio minor faults / rg", faultRatio, "×", 1);
    if (!x11Shown.empty()) {
        row("X11: start → window shown with the extracted list", x11Shown, "ms", 0);
        row("X11: ratio shown / rg", x11Ratio, "×", 2);
        if (keys) {
            row("X11: Ctrl+Shift+C → confirmation box mapped", copyMs, "ms", 0);
            row("X11: Ctrl+T, Ctrl+Shift+C → box mapped (sort = this − copy)", sortCopyMs, "ms", 0);
            row("X11: CPU time of the program over Ctrl+Shift+C", copyCpu, "ms", 0);
            row("X11: CPU time over Ctrl+T, Ctrl+Shift+C", sortCopyCpu, "ms", 0);
            row("X11: CPU time of the sort (the line above less the copy, run by run)", sortCpu,
                "ms", 0);
        }
        row("X11: peak RSS (whole run, copy included)", x11Peak, "MiB", 0);
        row("X11: minor faults (whole run)", x11Faults, "", 0);
    }
    return 0;
}

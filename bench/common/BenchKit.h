#pragma once
// What the window benchmarks share: an isolated home, prompts that never wait
// for a hand, a timer lateness probe, memory and processor clocks, and an
// event loop that runs until a condition holds.

#include "app/TForm1.h"
#include "ftp/Win32FindData.h"
#include "ftp/WinInetFTP.h"
#include "platform/Prompts.h"
#include "transfers/TransferQueue.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTimer>
#include <QWidget>

#include <sys/resource.h>
#include <time.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// Points the per-user folders at `home`, so that nothing of the run reads the
// user's settings or stays behind once `home` goes.
inline void isolateHome(const QString &home)
{
    qputenv("XDG_CONFIG_HOME", (home + "/config").toUtf8());
    qputenv("XDG_DATA_HOME", (home + "/data").toUtf8());
    QDir().mkpath(home + "/runtime");
    QFile::setPermissions(home + "/runtime",
        QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    qputenv("XDG_RUNTIME_DIR", (home + "/runtime").toUtf8());
    QDir().mkpath(home + "/tmp");
    qputenv("TMPDIR", (home + "/tmp").toUtf8());
    qputenv("QT_QPA_PLATFORM", "offscreen");
}

inline long residentKiB()
{
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray &line : f.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').first().toLong();
    return 0;
}

inline double cpuSeconds()
{
    rusage u {};
    getrusage(RUSAGE_SELF, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec)
        + double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

// Processor time of the calling thread alone.
inline double threadCpuSeconds()
{
    timespec t {};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
}

// An integer setting from the environment; `fallback` when it is not set.
inline int envInt(const char *name, int fallback)
{
    return qEnvironmentVariableIsSet(name) ? qEnvironmentVariableIntValue(name) : fallback;
}

// How long a run may go without finishing an item (VREX_BENCH_STALL_S,
// 120 s when unset or not positive).
inline int stallMsFromEnv()
{
    const int s = qEnvironmentVariableIntValue("VREX_BENCH_STALL_S");
    return (s > 0 ? s : 120) * 1000;
}

// A listing entry for a local file: its name and size, nothing else.
inline TWin32FindData entryOfFile(const QFileInfo &file)
{
    TWin32FindData entry {};
    const QByteArray name = file.fileName().toUtf8();
    std::copy_n(name.constData(), std::min<int>(name.size(), 259), entry.cFileName);
    setFileSize(entry, uint64_t(file.size()));
    return entry;
}

// Time the window's thread spends inside one kind of session event; the
// worker waits for each of them, so they are on the transfer's path.
// With throttleMs, an event reaches the window only when the last one that
// did is that old: what a display refreshed at a fixed rate would cost.
struct HandlerClock {
    qint64 ns = 0;
    long calls = 0;
    int throttleMs = 0;
    QElapsedTimer sincePassed;
    template <typename... A> void wrap(std::function<void(A...)> &handler)
    {
        auto inner = handler;
        handler = [inner, this](A... args) {
            ++calls;
            if (throttleMs > 0 && sincePassed.isValid() && sincePassed.elapsed() < throttleMs)
                return;
            sincePassed.start();
            QElapsedTimer t;
            t.start();
            if (inner)
                inner(args...);
            ns += t.nsecsElapsed();
        };
    }
    double ms() const { return double(ns) / 1e6; }
};

// The three events on a download's path: progress, status and the end.
struct TransferClocks {
    HandlerClock progress, status, done;
    void wrap(TWinInetFTP &ftp)
    {
        progress.wrap(ftp.OnGetStatus);
        status.wrap(ftp.OnWinInetStatus);
        done.wrap(ftp.OnGetDone);
    }
    // "progress_ms=… progress_calls=… status_ms=… status_calls=… done_ms=… done_calls=…"
    std::string fields() const
    {
        char line[200];
        std::snprintf(line, sizeof line,
            "progress_ms=%.1f progress_calls=%ld status_ms=%.1f status_calls=%ld done_ms=%.1f "
            "done_calls=%ld",
            progress.ms(), progress.calls, status.ms(), status.calls, done.ms(), done.calls);
        return line;
    }
};

// Answers every question as a user who wants the run to go on would, and
// remembers the texts: a benchmark must never wait for a hand.
class BenchPrompts : public Prompts {
public:
    QStringList texts;
    QMessageBox::StandardButton message(
        const QString &, const QString &text, QMessageBox::StandardButtons buttons, Icon) override
    {
        texts << text;
        std::fprintf(stderr, "prompt: %s\n", qPrintable(QString(text).replace('\r', ' ')));
        for (QMessageBox::StandardButton b :
            { QMessageBox::Ok, QMessageBox::Yes, QMessageBox::No, QMessageBox::Cancel })
            if (buttons & b)
                return b;
        return QMessageBox::NoButton;
    }
    // The first answer: the one that goes on.
    int choose(const QString &, const QString &text, const QStringList &, int, Icon) override
    {
        texts << text;
        std::fprintf(stderr, "prompt: %s\n", qPrintable(QString(text).replace('\r', ' ')));
        return 0;
    }
    QString saveFileName(const QString &, const QString &, const QString &) override
    {
        return QString();
    }
    QStringList openFileNames(const QString &, const QString &, const QString &) override
    {
        return {};
    }
    // The folder a folder question gets; none by default.
    QString folderAnswer;
    QString browseFolder(const QString &, const QString &) override { return folderAnswer; }
    bool askText(const QString &, const QString &, QString &, bool) override { return false; }
};

// How late a 10 ms timer on the window's thread fires.
class LatenessProbe {
public:
    LatenessProbe()
    {
        timer.setTimerType(Qt::PreciseTimer);
        timer.setInterval(10);
        QObject::connect(&timer, &QTimer::timeout, [this] {
            const qint64 now = clock.nsecsElapsed();
            late.push_back(std::max(0.0, double(now - last) / 1e6 - 10.0));
            last = now;
        });
    }
    void start()
    {
        late.clear();
        clock.start();
        last = 0;
        timer.start();
    }
    void stop() { timer.stop(); }
    double percentile(double p) const
    {
        if (late.empty())
            return 0;
        std::vector<double> v = late;
        std::sort(v.begin(), v.end());
        return v[std::min(v.size() - 1, size_t(double(v.size()) * p))];
    }
    size_t ticks() const { return late.size(); }
    // "late_p50_ms=… late_p99_ms=… late_max_ms=… ticks=…"
    std::string fields() const
    {
        char line[160];
        std::snprintf(line, sizeof line,
            "late_p50_ms=%.2f late_p99_ms=%.2f late_max_ms=%.2f ticks=%zu", percentile(0.5),
            percentile(0.99), percentile(1.0), ticks());
        return line;
    }

private:
    QTimer timer;
    QElapsedTimer clock;
    qint64 last = 0;
    std::vector<double> late;
};

// Samples VmRSS on a thread of its own, so the figure does not depend on
// the window's thread having time for it.
class ResidentSampler {
public:
    void start()
    {
        running = true;
        worker = std::thread([this] {
            while (running) {
                const long kib = residentKiB();
                {
                    std::lock_guard<std::mutex> lock(mutex);
                    low = low ? std::min(low, kib) : kib;
                    high = std::max(high, kib);
                }
                std::this_thread::sleep_for(std::chrono::milliseconds(50));
            }
        });
    }
    void stop()
    {
        running = false;
        if (worker.joinable())
            worker.join();
    }
    long min() const { return low; }
    long max() const { return high; }

private:
    std::thread worker;
    std::atomic<bool> running { false };
    std::mutex mutex;
    long low = 0, high = 0;
};

// Closes any modal window the run opens (the start-queue dialog cannot be
// answered through the prompts), and says so.
inline void closeModalWindows(QStringList *seen)
{
    if (QWidget *modal = QApplication::activeModalWidget()) {
        *seen << modal->windowTitle();
        std::fprintf(stderr, "modal window closed: %s\n", qPrintable(modal->windowTitle()));
        modal->close();
    }
}

// Turns the event loop until done() or until the deadline; sleeps between
// events so that the wait itself takes no processor from the transfer.
inline void runEventsUntil(const std::function<bool()> &done, int ms)
{
    QElapsedTimer t;
    t.start();
    QTimer tick;
    tick.start(20);
    while (!done() && t.elapsed() < ms)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
}

// Lets the event loop run for `ms`: the window shown and painted, its
// start-up work done, before anything is timed.
inline void settleFor(int ms)
{
    QElapsedTimer settle;
    settle.start();
    runEventsUntil([&] { return settle.elapsed() > ms; }, 2 * ms);
}

// Closes the modal windows the run opens, as they come (see closeModalWindows).
class ModalCloser {
public:
    ModalCloser()
    {
        QObject::connect(&timer, &QTimer::timeout, [this] { closeModalWindows(&seen); });
        timer.start(200);
    }
    void stop() { timer.stop(); }
    long long count() const { return static_cast<long long>(seen.size()); }

private:
    QStringList seen;
    QTimer timer;
};

// The clocks of a timed run: wall time, the process's and the window
// thread's processor time, and the window thread's timer lateness.
struct RunClocks {
    LatenessProbe probe;
    QElapsedTimer wall;
    double cpuS = 0, uiCpuS = 0;
    void start()
    {
        probe.start();
        cpu0 = cpuSeconds();
        uiCpu0 = threadCpuSeconds();
        wall.start();
    }
    void stop()
    {
        cpuS = cpuSeconds() - cpu0;
        uiCpuS = threadCpuSeconds() - uiCpu0;
        probe.stop();
    }

private:
    double cpu0 = 0, uiCpu0 = 0;
};

struct Outcome {
    bool ok = false;
    QString why;
    long quarterKiB[4] {}; // resident memory once a quarter, half... of the items are done
};

// Waits for the queue to empty; fails when it stops, starts nothing, or
// finishes no item for stallMs.
inline Outcome waitForEmptyQueue(TForm1 &form, const BenchPrompts &prompts, int stallMs)
{
    TransferQueue &queue = form.queue();
    QElapsedTimer sinceProgress;
    sinceProgress.start();
    const int items = queue.count();
    int lastCount = items;
    Outcome out;
    bool failed = false;
    runEventsUntil(
        [&] {
            if (queue.count() != lastCount) {
                lastCount = queue.count();
                sinceProgress.restart();
                for (int q = 0; q < 4; ++q)
                    if (!out.quarterKiB[q] && lastCount <= items - items * (q + 1) / 4)
                        out.quarterKiB[q] = residentKiB();
            }
            if (queue.count() == 0)
                return true;
            if (queue.isStopped()) {
                out.why = QStringLiteral("the queue stopped");
                failed = true;
            } else if (queue.firstInProgressRow() < 0 && !form.actions().transferRunning()
                && sinceProgress.elapsed() > 3000) {
                out.why = QStringLiteral("the queue starts nothing (transfers not wired?)");
                failed = true;
            } else if (sinceProgress.elapsed() > stallMs) {
                out.why = QStringLiteral("no item finished for %1 s").arg(stallMs / 1000);
                failed = true;
            }
            return failed;
        },
        24 * 3600 * 1000);
    out.ok = queue.count() == 0;
    if (!out.ok && !prompts.texts.isEmpty())
        out.why
            += QStringLiteral("; last prompt: ") + QString(prompts.texts.last()).replace('\r', ' ');
    return out;
}

// The end of a run: why it failed, if it did, and whatever still runs
// stopped without a question before the window goes. The process's exit
// status: 0 when the queue emptied and nothing was asked.
inline int endRun(
    TForm1 &form, const char *bench, const Outcome &outcome, const BenchPrompts &prompts)
{
    if (!outcome.ok) {
        std::fprintf(stderr, "%s: %s (%d items left)\n", bench, qPrintable(outcome.why),
            form.queue().count());
        form.SpeedStopClick();
    }
    form.FormClose();
    Prompts::install(nullptr);
    return outcome.ok && prompts.texts.isEmpty() ? 0 : 1;
}

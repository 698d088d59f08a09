// The new-mail icon while it animates: how often the process wakes up and how much processor
// time it takes per second, beside the same event loop with the icon still. The tray is a fake
// that only records; what is measured is the component, its worker and the event loop.
// Seconds per measurement: the first argument (default 5).
#include "components/RxTrayIcon.h"
#include "tests/fakes/FakeNotificationArea.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTimer>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <sys/resource.h>

namespace {

struct Usage
{
    double cpu = 0; // seconds
    long switches = 0; // voluntary context switches of every thread: the wake-ups after a sleep
};

Usage Now()
{
    rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    return { static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec)
                 + static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6,
             usage.ru_nvcsw };
}

// Runs the event loop for `seconds` and prints what it cost; `shown` counts the frames shown so far.
void Measure(const char* what, int seconds, const std::function<qsizetype()>& shown)
{
    const qsizetype framesBefore = shown();
    const Usage before = Now();
    QElapsedTimer wall;
    wall.start();
    QEventLoop loop;
    QTimer::singleShot(seconds * 1000, &loop, &QEventLoop::quit);
    loop.exec();
    const Usage after = Now();
    const double elapsed = static_cast<double>(wall.elapsed()) / 1000.0;
    std::printf("%-34s %6.1f wake-ups/s, processor %.3f %% of one core, %.1f frames/s\n", what,
                static_cast<double>(after.switches - before.switches) / elapsed,
                100.0 * (after.cpu - before.cpu) / elapsed, static_cast<double>(shown() - framesBefore) / elapsed);
}

} // namespace

int main(int argc, char* argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    const int seconds = argc >= 2 ? std::max(1, std::atoi(argv[1])) : 5;
    QFile stored(QStringLiteral(":/kronvik/RxTrayIcon1.Icons"));
    if (!stored.open(QIODevice::ReadOnly))
        return 1;
    FakeNotificationArea area;
    TRxTrayIcon icon(area, {});
    icon.Icons().ReadData(stored.readAll());

    const auto shown = [&area] { return area.icons.first()->images.size(); };
    Measure("idle event loop", seconds, shown);
    for (const std::uint16_t interval : { std::uint16_t(1000), std::uint16_t(150) }) {
        icon.SetInterval(interval);
        icon.SetAnimated(true);
        icon.SetActive(true);
        char what[64];
        std::snprintf(what, sizeof what, "animating, Interval %u ms", interval);
        Measure(what, seconds, shown);
        icon.SetActive(false);
        icon.SetAnimated(false);
    }
    return 0;
}

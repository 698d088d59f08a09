// The whole time query, many times over, against a real timeserver on 127.0.0.1:37 (run it
// inside a network namespace with inetd's time service; benchmarks/timequery.sh does that):
// the program's own path from GettimeClick to the clock call, through real sockets, real timers
// and the event loop, beside the floor, a plain blocking socket's connect, 4-byte read and close
// on the same server. Prints microseconds per query for both and the ratio.
// Rounds: the first argument (default 300). A second argument "ntp" asks chronyd on 127.0.0.1:123
// instead, serving a clock 100 days ahead (benchmarks/timequery.sh), and also prints the offset
// left between the time set and chronyd's clock at that moment.
#include "benchmarks/BlockingQuery.h"
#include "platform/SystemClock.h"
#include "tests/timesync/LiveSocketWorld.h"

#include <QApplication>
#include <QDateTime>
#include <QElapsedTimer>

#include <algorithm>
#include <arpa/inet.h>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <netinet/in.h>
#include <string>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

// A clock that takes every change and notes when the last one arrived.
class StampingClock final : public SystemClock
{
public:
    TimeZoneInformation GetTimeZoneInformation() const override { return { TimeZoneId::Standard, 0, 0, 0 }; }
    SystemTime GetLocalTime() const override { return m_now; }
    ClockResult SetLocalTime(const SystemTime& time) override
    {
        m_now = time;
        ++sets;
        lastSet = Clock::now();
        const QDateTime set(QDate(time.year, time.month, time.day),
                            QTime(time.hour, time.minute, time.second, time.millisecond), Qt::UTC);
        lastOffsetMs = double(set.toMSecsSinceEpoch()) - double(QDateTime::currentMSecsSinceEpoch()) - 100.0 * 86400000;
        return {};
    }

    long sets = 0;
    Clock::time_point lastSet;
    double lastOffsetMs = 0; // against a server 100 days ahead

private:
    SystemTime m_now { 2000, 1, 1, 12, 0, 0, 0 };
};

// Runs the event loop until `done` holds, for at most five seconds.
template<typename Condition> bool SpinUntil(Condition done)
{
    QElapsedTimer waited;
    waited.start();
    while (!done() && waited.elapsed() < 5000)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 100);
    return done();
}

double Microseconds(Clock::duration d)
{
    return std::chrono::duration<double, std::micro>(d).count();
}

struct Figures
{
    double mean = 0;
    double median = 0;
};

Figures Summarise(std::vector<double> samples)
{
    Figures f;
    if (samples.empty())
        return f;
    for (double s : samples)
        f.mean += s;
    f.mean /= static_cast<double>(samples.size());
    std::sort(samples.begin(), samples.end());
    f.median = samples[samples.size() / 2];
    return f;
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 300;
    const bool ntp = argc > 2 && std::string(argv[2]) == "ntp";
    constexpr int warmUp = 5;

    LiveSocketWorld<StampingClock> world;
    TSetupForm& form = world.Start(ntp ? "ntp://127.0.0.1" : "127.0.0.1", "1");
    std::vector<double> offsets;

    std::vector<double> kronvik;
    int failures = 0;
    for (int i = 0; i < warmUp + rounds; ++i) {
        const long setsBefore = world.clock.sets;
        const Clock::time_point start = Clock::now();
        form.GettimeClick();
        const bool set = SpinUntil([&] { return world.clock.sets > setsBefore; });
        if (set && i >= warmUp) {
            kronvik.push_back(Microseconds(world.clock.lastSet - start));
            offsets.push_back(std::abs(world.clock.lastOffsetMs));
        }
        // The next query may start only once the server's close has reached the client.
        if (!set || !SpinUntil([&] { return !form.State.Busy && form.TCPClient1.State() == ssIdle; })) {
            ++failures;
            if (form.TCPClient1.State() != ssIdle)
                form.TCPClient1.Close();
            form.RxTimerEvent3.SetEnabled(false);
            form.State.Busy = false;
        }
    }
    failures += static_cast<int>(world.boxes.warnings.size());
    if (ntp) {
        const Figures k = Summarise(kronvik);
        const Figures o = Summarise(offsets);
        std::printf("rounds: %d (chronyd on 127.0.0.1:123)\n", rounds);
        std::printf("Kronvik SNTP, GettimeClick to clock call: %8.1f us per query (median %.1f; %d failed)\n", k.mean,
                    k.median, failures);
        std::printf("offset left after setting: %.3f ms mean, %.3f ms median (goal: under 5 ms)\n", o.mean, o.median);
        return failures == 0 ? 0 : 1;
    }

    std::vector<double> blocking;
    int blockingFailures = 0;
    for (int i = 0; i < warmUp + rounds; ++i) {
        const Clock::time_point start = Clock::now();
        const bool ok = BlockingFourByteQuery(37);
        const Clock::time_point end = Clock::now();
        blockingFailures += ok ? 0 : 1;
        if (ok && i >= warmUp)
            blocking.push_back(Microseconds(end - start));
    }

    const Figures k = Summarise(kronvik);
    const Figures b = Summarise(blocking);
    std::printf("rounds: %d (time server on 127.0.0.1:37)\n", rounds);
    std::printf("Kronvik, GettimeClick to clock call: %8.1f us per query (median %.1f; %d failed)\n", k.mean, k.median,
                failures);
    std::printf("blocking connect + read 4 + close:  %8.1f us per query (median %.1f; %d failed)\n", b.mean, b.median,
                blockingFailures);
    std::printf("ratio Kronvik/blocking: %.2f (medians %.2f)\n", k.mean / b.mean, k.median / b.median);
    return failures + blockingFailures == 0 ? 0 : 1;
}

// The watcher's connection check on the kernel's real interfaces: microseconds per IsConnected
// (every interface listed, the first connected point-to-point one looked for). Run inside a
// network namespace whose links benchmarks/dialup.sh lays out; the first argument names them.
// Rounds: the second argument (default 2000).
#include "dialup/ConnectionProbe.h"
#include "platform/linux/links/InterfaceRemoteAccess.h"

#include <QString>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

int main(int argc, char** argv)
{
    const char* links = argc > 1 ? argv[1] : "this namespace's links";
    const int rounds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 2000;
    InterfaceRemoteAccess remoteAccess;
    QString address;
    bool connected = false;
    std::vector<double> samples;
    for (int i = 0; i < rounds + 20; ++i) {
        const auto start = std::chrono::steady_clock::now();
        connected = ProbeDialUpConnection(remoteAccess, address);
        const auto took = std::chrono::steady_clock::now() - start;
        if (i >= 20) // the first calls warm the caches
            samples.push_back(std::chrono::duration<double, std::micro>(took).count());
    }
    double mean = 0;
    for (double sample : samples)
        mean += sample;
    mean /= static_cast<double>(samples.size());
    std::sort(samples.begin(), samples.end());
    std::printf("IsConnected with %s: %7.1f us per call (median %.1f, %d calls; %s %s)\n", links, mean,
                samples[samples.size() / 2], rounds, connected ? "connected," : "not connected", qPrintable(address));
    return connected ? 0 : 1;
}

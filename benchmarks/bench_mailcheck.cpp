// The mailbox check against real servers on 127.0.0.1:110 (run it inside a network namespace;
// benchmarks/mailcheck.sh sets up the servers), through real sockets, real timers and the event
// loop, as the mail timer's tick runs it.
//   bench_mailcheck check [ROUNDS [ADDRESS]]
//                                   dovecot with mail waiting: the median of ROUNDS whole checks
//                                   (log in, STAT, log out), in microseconds (default 50), of
//                                   the server at ADDRESS (default 127.0.0.1; pop3s:// makes
//                                   every check a full TLS handshake)
//   bench_mailcheck silent          a server that never answers: the processor time the program
//                                   uses while the check waits out its 20-second deadline
#include "tests/timesync/LiveSocketWorld.h"
#include "ui_SetupForm.h"

#include <QApplication>
#include <QElapsedTimer>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <sys/resource.h>
#include <vector>

namespace {

double CpuSeconds()
{
    rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec)
        + static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

struct MailWorld : LiveSocketWorld<>
{
    explicit MailWorld(const QString& address = QStringLiteral("127.0.0.1"))
    {
        TSetupForm& setup = Start("127.0.0.1", "1");
        setup.ui->EmailPOPServerEdit->setText(address);
        setup.ui->EmailUsernameEdit->setText(QStringLiteral("tester"));
        setup.ui->EmailPasswordEdit->setText(QStringLiteral("secret"));
        setup.ui->EmailIntervalRxSpinEdit->setValue(1);
        setup.TrayIcon1Minimize();
        dialup.Connect(QStringLiteral("192.0.2.2"));
    }
};

int Checks(int rounds, const QString& address)
{
    MailWorld world(address);
    TSetupForm& form = *world.form;
    form.RxTimerEvent4Timer();
    if (!form.State.MailCheckBusy || world.tray.icons.size() < 2) {
        std::fprintf(stderr, "the first check found no mail\n");
        return 1;
    }
    world.tray.icons.at(1)->Press({ NotificationIcon::LeftButtonDown, NotificationIcon::LeftButtonUp });
    // From now on every check is the whole dialogue and finds nothing new.
    std::vector<double> times;
    for (int i = 0; i < rounds; ++i) {
        QElapsedTimer check;
        check.start();
        form.RxTimerEvent4Timer();
        times.push_back(static_cast<double>(check.nsecsElapsed()) / 1000.0);
        if (form.State.MailCheckBusy || form.State.MessageCount == 0) {
            std::fprintf(stderr, "check %d failed\n", i);
            return 1;
        }
    }
    std::sort(times.begin(), times.end());
    std::printf("mailbox check of %s, median of %d: %.0f us (fastest %.0f, slowest %.0f)\n", qPrintable(address),
                rounds, times[times.size() / 2], times.front(), times.back());
    return 0;
}

int SilentServer()
{
    MailWorld world;
    const double cpuBefore = CpuSeconds();
    QElapsedTimer wall;
    wall.start();
    world.form->RxTimerEvent4Timer();
    const double seconds = static_cast<double>(wall.elapsed()) / 1000.0;
    const double cpu = CpuSeconds() - cpuBefore;
    std::printf("check against a server that never answers: %.1f s, processor time %.3f s (%.2f %% of one core)\n",
                seconds, cpu, 100.0 * cpu / seconds);
    return 0;
}

} // namespace

int main(int argc, char* argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    if (argc >= 2 && std::strcmp(argv[1], "silent") == 0)
        return SilentServer();
    if (argc >= 2 && std::strcmp(argv[1], "check") == 0)
        return Checks(argc >= 3 ? std::max(1, std::atoi(argv[2])) : 50,
                      argc >= 4 ? QString::fromLocal8Bit(argv[3]) : QStringLiteral("127.0.0.1"));
    std::fprintf(stderr, "usage: %s check [ROUNDS [ADDRESS]] | silent\n", argv[0]);
    return 2;
}

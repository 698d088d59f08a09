// Opening the About box as the program does: the box built with its four version labels, each
// reading the version block from this program's own file through the ELF binding, the picture
// decoded, then shown until the window is exposed. Runs on the offscreen platform unless one
// is chosen; prints the median and the slowest of the runs (20, or the first argument), and the
// parts: one read of the version block, one decoding of the picture.
#include "components/About.h"
#include "components/JpegDecoder.h"
#include "platform/linux/version/ElfVersionInfo.h"
#include "tests/fakes/FakeDesktopShell.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTest>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

struct Figures
{
    double median;
    double slowest;
};

template<typename Run> Figures Measure(int runs, Run run)
{
    std::vector<double> ms;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer clock;
        clock.start();
        run();
        ms.push_back(clock.nsecsElapsed() / 1e6);
    }
    std::sort(ms.begin(), ms.end());
    return { ms[ms.size() / 2], ms.back() };
}

} // namespace

int main(int argc, char* argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 20;
    ElfVersionInfo version;
    FakeDesktopShell shell; // the box is only opened, never clicked
    if (version.Size() == 0) {
        std::fprintf(stderr, "bench_about: no version block in this program's file\n");
        return 1;
    }

    const Figures open = Measure(runs, [&] {
        TAboutBox box(nullptr, version, shell, {});
        box.show();
        if (!QTest::qWaitForWindowExposed(&box))
            std::fprintf(stderr, "bench_about: the box was not exposed\n");
    });
    QByteArray block;
    const Figures read = Measure(runs, [&] { version.Read(block); });
    QFile file(QStringLiteral(":/about/AboutPicture.jpg"));
    const QByteArray picture = file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    const Figures decode = Measure(runs, [&] { DecodeJpeg(picture); });

    std::printf("About box, built and shown until exposed (%s): %.2f ms median, %.2f ms slowest of %d\n",
                qPrintable(QGuiApplication::platformName()), open.median, open.slowest, runs);
    std::printf("  one read of the version block from the %lld-byte program file: %.3f ms median\n",
                static_cast<long long>(QFileInfo(QCoreApplication::applicationFilePath()).size()), read.median);
    std::printf("  one decoding of the %lld-byte picture: %.3f ms median\n", static_cast<long long>(picture.size()),
                decode.median);
    return 0;
}

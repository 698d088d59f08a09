#include "app/CommandLine.h"

#include "components/VersionQuery.h"
#include "platform/linux/version/ElfVersionInfo.h"

#include <QCommandLineParser>
#include <QCoreApplication>

#include <X11/Xlib.h>
#include <cstdio>

namespace {

// The toolkit's own options, which it takes off the command line once the display is open, as
// desktop sessions and users pass them (the session manager restarts programs with -session).
struct ToolkitOption
{
    const char* name;
    bool takesValue;
};

constexpr ToolkitOption ToolkitOptions[] = {
    { "platform", true },      { "platformpluginpath", true },
    { "platformtheme", true }, { "plugin", true },
    { "display", true },       { "session", true },
    { "style", true },         { "stylesheet", true },
    { "geometry", true },      { "qwindowgeometry", true },
    { "qwindowtitle", true },  { "qwindowicon", true },
    { "name", true },          { "title", true },
    { "reverse", false },      { "sync", false },
    { "nograb", false },       { "dograb", false },
};

QString FileVersion()
{
    ElfVersionInfo version;
    QByteArray block;
    if (!version.Read(block))
        return {};
    return VersionQueryValue(block, QStringLiteral("\\StringFileInfo\\041604E4\\FileVersion")).value_or(QString());
}

// Qt connects to X unless told to use another platform; an X server it cannot reach makes it abort.
bool DisplayReachable(const QCommandLineParser& parser)
{
    const QString platform = parser.isSet(QStringLiteral("platform")) ? parser.value(QStringLiteral("platform"))
                                                                      : qEnvironmentVariable("QT_QPA_PLATFORM");
    if (!platform.isEmpty() && !platform.startsWith(QLatin1String("xcb")))
        return true;
    const QByteArray name = parser.value(QStringLiteral("display")).toLocal8Bit();
    Display* display = XOpenDisplay(name.isEmpty() ? nullptr : name.constData());
    if (display == nullptr)
        return false;
    XCloseDisplay(display);
    return true;
}

void PrintLine(std::FILE* stream, const QString& text)
{
    std::fputs(qPrintable(text + QLatin1Char('\n')), stream);
}

} // namespace

std::optional<int> HandleCommandLine(int argc, char* argv[])
{
    const QCoreApplication application(argc, argv);
    QCoreApplication::setApplicationVersion(FileVersion());
    const QString program = QCoreApplication::applicationName();

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Sets the clock from a timeserver (RFC 868), watches dial-up links, starts programs once "
                       "connected and checks a POP3 mailbox, from the notification area."));
    const QCommandLineOption help = parser.addHelpOption();
    const QCommandLineOption version = parser.addVersionOption();
    // -display and the like are single-dash words, not bundles of letters.
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    for (const ToolkitOption& toolkit : ToolkitOptions) {
        QCommandLineOption option(QString::fromLatin1(toolkit.name));
        if (toolkit.takesValue)
            option.setValueName(QStringLiteral("value"));
        option.setFlags(QCommandLineOption::HiddenFromHelp);
        parser.addOption(option);
    }

    if (!parser.parse(QCoreApplication::arguments()) || !parser.positionalArguments().isEmpty()) {
        const QString error = parser.positionalArguments().isEmpty()
            ? parser.errorText()
            : QStringLiteral("Unexpected argument '%1'.").arg(parser.positionalArguments().constFirst());
        PrintLine(stderr, program + QStringLiteral(": ") + error);
        PrintLine(stderr, QStringLiteral("Try '%1 --help' for more information.").arg(program));
        return 2;
    }
    if (parser.isSet(help) || parser.isSet(QStringLiteral("help-all"))) {
        PrintLine(stdout, parser.helpText().trimmed());
        if (parser.isSet(QStringLiteral("help-all"))) {
            QStringList names;
            for (const ToolkitOption& toolkit : ToolkitOptions)
                names << QLatin1Char('-') + QString::fromLatin1(toolkit.name);
            PrintLine(stdout, QStringLiteral("\nQt's options, passed on to it: ") + names.join(QStringLiteral(", ")));
        }
        return 0;
    }
    if (parser.isSet(version)) {
        PrintLine(stdout, program + QLatin1Char(' ') + QCoreApplication::applicationVersion());
        return 0;
    }
    if (!DisplayReachable(parser)) {
        const QString display = parser.isSet(QStringLiteral("display")) ? parser.value(QStringLiteral("display"))
                                                                        : qEnvironmentVariable("DISPLAY");
        PrintLine(stderr,
                  display.isEmpty()
                      ? program + QStringLiteral(": no display to show the tray icon on (DISPLAY is not set)")
                      : program + QStringLiteral(": cannot open the display '%1'").arg(display));
        return 1;
    }
    return std::nullopt;
}

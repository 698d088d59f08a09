#pragma once

class DatagramApi;
class DesktopShell;
class DesktopWindows;
class MessageWait;
class NotificationArea;
class ProcessStarter;
class Registry;
class RemoteAccess;
class ShortcutResolver;
class SocketApi;
class SoundOutput;
class SystemClock;
class TickSource;
class TimerService;
class VersionInfo;

// Every platform service the program uses, handed to the controller at start. The program
// builds it from the Linux bindings; each test builds one from fresh fakes.
struct Platform
{
    TickSource& Ticks;
    TimerService& Timers;
    SocketApi& Sockets;
    SystemClock& Clock;
    SoundOutput& Sound;
    Registry& Store;
    NotificationArea& Tray;
    RemoteAccess& Dialup;
    DesktopShell& Shell;
    VersionInfo& Version;
    MessageWait& Wait;
    ProcessStarter& Processes;
    DesktopWindows& Windows;
    ShortcutResolver& Shortcuts;
    DatagramApi& Datagrams;
};

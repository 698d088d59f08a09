#include "components/TrayIcon.h"

#include "app/Application.h"
#include "base/Errors.h"
#include "components/PopupMenu.h"
#include "platform/linux/tray/PressSeries.h"
#include "tests/fakes/FakeMessageBoxes.h"
#include "tests/fakes/FakeNotificationArea.h"

#include <QApplication>
#include <QMenu>
#include <QPixmap>
#include <QTest>
#include <QTimer>

using Icon = NotificationIcon;

class TrayIconTest final : public QObject
{
    Q_OBJECT

private slots:
    void addsTheIconWithTheTitleAsTip();
    void refusalRaisesOutOfResources();
    void hintAndIconChangeOnlyWhenDifferent();
    void mouseMessagesBecomeClicksAndDoubleClicks_data();
    void mouseMessagesBecomeClicksAndDoubleClicks();
    void desktopActivationIsTheDoubleClick();
    void tripleClickInTheXTrayIsOneDoubleClick();
    void rightPressOpensTheMenuOnlyWhileHidden();
    void menuDrawnByTheDesktopRunsOnlyWhileHidden_data();
    void menuDrawnByTheDesktopRunsOnlyWhileHidden();
    void minimizeAndRestoreOrder();
    void logOffRemovesTheIcon();
    void handlerErrorsGoToTheErrorBox();
};

namespace {

struct World
{
    explicit World(const QString& title = QStringLiteral("kronvik"))
        : application(title, boxes)
    { }

    FakeMessageBoxes boxes;
    FakeNotificationArea area;
    TApplication application;
};

} // namespace

void TrayIconTest::addsTheIconWithTheTitleAsTip()
{
    World world;
    TTrayIcon tray(world.application, world.area, QIcon());
    QCOMPARE(world.area.calls, QStringList { "add:kronvik" });
    QCOMPARE(tray.NotifyFlags(), 7u);

    World untitled(QString {});
    TTrayIcon silent(untitled.application, untitled.area, QIcon());
    QCOMPARE(silent.NotifyFlags(), 3u);
}

void TrayIconTest::refusalRaisesOutOfResources()
{
    World world;
    world.area.acceptIcons = false;
    try {
        TTrayIcon tray(world.application, world.area, QIcon());
        QFAIL("the refusal went unnoticed");
    } catch (const EOutOfResources& error) {
        QCOMPARE(QString::fromUtf8(error.what()), QStringLiteral("Cannot create shell notification icon"));
    }
}

void TrayIconTest::hintAndIconChangeOnlyWhenDifferent()
{
    World world;
    TTrayIcon tray(world.application, world.area, QIcon());
    world.area.calls.clear();

    const QString longHint = QStringLiteral("Double-click to get time (Right-click to show options menu)") + "!!!!!";
    tray.SetHint(longHint);
    tray.SetHint(longHint);
    QCOMPARE(world.area.calls.size(), 1);
    QCOMPARE(world.area.First()->tip.size(), 63);
    QCOMPARE(tray.Hint(), longHint);

    tray.SetHint(QString());
    QCOMPARE(tray.NotifyFlags() & TTrayIcon::nifTip, 0u);
    QCOMPARE(world.area.First()->tip, QString());

    world.area.calls.clear();
    QPixmap picture(16, 16);
    picture.fill(Qt::red);
    const QIcon icon(picture);
    tray.SetIcon(icon);
    tray.SetIcon(icon);
    QCOMPARE(world.area.calls, QStringList { "modify:" });
}

void TrayIconTest::mouseMessagesBecomeClicksAndDoubleClicks_data()
{
    QTest::addColumn<QList<int>>("messages");
    QTest::addColumn<QString>("events");

    QTest::newRow("left click") << QList<int> { Icon::LeftButtonDown, Icon::LeftButtonUp } << "down click up";
    QTest::newRow("release only: no click") << QList<int> { Icon::LeftButtonUp } << "up";
    QTest::newRow("double-click: one click, one double-click")
        << QList<int> { Icon::LeftButtonDown, Icon::LeftButtonUp, Icon::LeftButtonDoubleClick, Icon::LeftButtonUp }
        << "down click up dbl up";
    QTest::newRow("middle") << QList<int> { Icon::MiddleButtonDown, Icon::MiddleButtonUp } << "down up";
    QTest::newRow("unknown message ignored") << QList<int> { 999 } << "";
}

void TrayIconTest::mouseMessagesBecomeClicksAndDoubleClicks()
{
    QFETCH(QList<int>, messages);
    QFETCH(QString, events);

    World world;
    TTrayIcon tray(world.application, world.area, QIcon());
    QStringList seen;
    tray.OnMouseDown = [&](TMouseButton, unsigned, int, int) { seen << "down"; };
    tray.OnMouseUp = [&](TMouseButton, unsigned, int, int) { seen << "up"; };
    tray.OnClick = [&] { seen << "click"; };
    tray.OnDblClick = [&] { seen << "dbl"; };
    for (int message : messages)
        world.area.Press({ message });
    QCOMPARE(seen.join(' '), events);
}

void TrayIconTest::desktopActivationIsTheDoubleClick()
{
    World world;
    TTrayIcon tray(world.application, world.area, QIcon());
    QStringList seen;
    tray.OnClick = [&] { seen << "click"; };
    tray.OnDblClick = [&] { seen << "dbl"; };
    world.area.Activate();
    QCOMPARE(seen, (QStringList { "click", "dbl" }));
}

void TrayIconTest::tripleClickInTheXTrayIsOneDoubleClick()
{
    PressSeries presses;
    const QList<bool> completing { presses.CompletesDoubleClick(1, 4294967200u, { 5, 5 }),
                                   presses.CompletesDoubleClick(1, 20, { 6, 5 }),
                                   presses.CompletesDoubleClick(1, 140, { 6, 5 }) };
    QCOMPARE(completing, (QList<bool> { false, true, false }));
}

void TrayIconTest::rightPressOpensTheMenuOnlyWhileHidden()
{
    World world;
    TTrayIcon tray(world.application, world.area, QIcon());
    TPopupMenu menu;
    menu.AddItem(QStringLiteral("Get time"));
    tray.SetPopupMenu(&menu);
    int popups = 0;
    QPoint openedAt;
    menu.OnPopup = [&] {
        ++popups;
        QTimer::singleShot(0, [&] {
            if (QWidget* popup = QApplication::activePopupWidget()) {
                openedAt = popup->pos();
                popup->close();
            }
        });
    };
    unsigned shift = 0;
    tray.OnMouseDown = [&](TMouseButton button, unsigned state, int, int) {
        QCOMPARE(button, mbRight);
        shift = state;
    };
    world.area.keys = ssCtrl;
    world.area.cursor = QPoint(100, 60); // where a menu fits without being moved on screen

    world.application.ShowTaskbarWindow(true);
    world.area.Press({ Icon::RightButtonDown });
    QCOMPARE(popups, 0);
    QCOMPARE(shift, unsigned(ssCtrl | ssRight));

    world.application.ShowTaskbarWindow(false);
    world.area.Press({ Icon::RightButtonDown });
    QCOMPARE(popups, 1); // on the press, not waiting for the release
    QCOMPARE(openedAt, world.area.cursor);
}

void TrayIconTest::menuDrawnByTheDesktopRunsOnlyWhileHidden_data()
{
    QTest::addColumn<bool>("dialogUp");
    QTest::addColumn<int>("popups");
    QTest::addColumn<QStringList>("chosen");

    QTest::newRow("hidden: announced and run") << false << 1 << QStringList { "Exit" };
    QTest::newRow("dialog up: nothing, as no menu opens then") << true << 0 << QStringList();
}

void TrayIconTest::menuDrawnByTheDesktopRunsOnlyWhileHidden()
{
    QFETCH(bool, dialogUp);
    QFETCH(int, popups);
    QFETCH(QStringList, chosen);

    World world;
    TTrayIcon tray(world.application, world.area, QIcon());
    TPopupMenu menu;
    QAction* getTime = menu.AddItem(QStringLiteral("Get time"));
    menu.AddSeparator();
    QAction* exit = menu.AddItem(QStringLiteral("Exit"));
    QStringList ran;
    for (QAction* item : { getTime, exit })
        QObject::connect(item, &QAction::triggered, [&ran, item] { ran << item->text(); });
    int announced = 0;
    menu.OnPopup = [&] { ++announced; };
    tray.SetPopupMenu(&menu);
    QCOMPARE(world.area.First()->menu, (QStringList { "Get time", "", "Exit" }));

    world.application.ShowTaskbarWindow(dialogUp);
    QCOMPARE(world.area.First()->MenuEnabled(), !dialogUp);
    world.area.ChooseFromMenu(1); // the separator
    QCOMPARE(announced, popups);
    QCOMPARE(ran, QStringList());
    world.area.ChooseFromMenu(2);
    QCOMPARE(announced, 2 * popups);
    QCOMPARE(ran, chosen);
}

void TrayIconTest::minimizeAndRestoreOrder()
{
    World world;
    TTrayIcon tray(world.application, world.area, QIcon());
    QStringList seen;
    tray.OnBeforeRestore = [&] { seen << QStringLiteral("before:%1").arg(world.application.TaskbarWindowVisible()); };
    tray.OnRestore = [&] { seen << QStringLiteral("restore:%1").arg(world.application.TaskbarWindowVisible()); };
    tray.OnMinimize = [&] { seen << QStringLiteral("minimize:%1").arg(world.application.TaskbarWindowVisible()); };

    tray.Restore();
    world.application.Minimize(); // the toolkit's minimise reaches the tray icon
    QCOMPARE(seen, (QStringList { "before:0", "restore:1", "minimize:0" }));
    QCOMPARE(world.area.First()->shown, true);
}

void TrayIconTest::logOffRemovesTheIcon()
{
    World world;
    TTrayIcon tray(world.application, world.area, QIcon());
    QCOMPARE(tray.WindowProc(TTrayIcon::WM_QUERYENDSESSION, 0, 0), 1);
    tray.WindowProc(TTrayIcon::WM_ENDSESSION, 0, 0);
    QVERIFY(world.area.First()->shown);
    world.area.First()->OnEndSession();
    QVERIFY(!world.area.First()->shown);
}

void TrayIconTest::handlerErrorsGoToTheErrorBox()
{
    World world;
    TTrayIcon tray(world.application, world.area, QIcon());
    tray.OnDblClick = [] { throw EKronvikError("Failed to set data for 'Address'"); };
    world.area.Press({ Icon::LeftButtonDoubleClick });
    QCOMPARE(world.boxes.errors, QStringList { "kronvik|Failed to set data for 'Address'." });
}

QTEST_MAIN(TrayIconTest)
#include "TrayIconTest.moc"

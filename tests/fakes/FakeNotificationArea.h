#pragma once

#include "platform/NotificationArea.h"

#include <QIcon>
#include <QStringList>

// A notification area that records what its icons were told and lets the test press buttons.
class FakeNotificationArea final : public NotificationArea
{
public:
    struct Icon final : NotificationIcon
    {
        explicit Icon(FakeNotificationArea& area)
            : owner(area)
        { }
        ~Icon() override { owner.icons.removeAll(this); }

        bool Add(const QIcon& newImage, const QString& newTip) override
        {
            owner.calls << QStringLiteral("add:") + newTip;
            shown = owner.acceptIcons;
            tip = newTip;
            images << newImage.cacheKey();
            return owner.acceptIcons;
        }
        void Modify(const QIcon& newImage, const QString& newTip) override
        {
            owner.calls << QStringLiteral("modify:") + newTip;
            tip = newTip;
            images << newImage.cacheKey();
        }
        void Remove() override
        {
            owner.calls << QStringLiteral("remove");
            shown = false;
        }
        void ExportMenu(const QStringList& entries) override { menu = entries; }

        // Sends mouse messages to this icon, as the desktop would.
        void Press(std::initializer_list<int> messages)
        {
            for (int message : messages)
                if (OnMouseMessage)
                    OnMouseMessage(message);
        }

        FakeNotificationArea& owner;
        QString tip;
        QStringList menu;
        bool shown = false;
        // The cache key of every image added or changed to, in order.
        QList<qint64> images;
    };

    std::unique_ptr<NotificationIcon> CreateIcon() override
    {
        auto icon = std::make_unique<Icon>(*this);
        icons.append(icon.get());
        return icon;
    }
    QPoint CursorPos() const override { return cursor; }
    unsigned KeyState() const override { return keys; }

    // Sends mouse messages to the first icon, as the desktop would.
    void Press(std::initializer_list<int> messages)
    {
        if (!icons.isEmpty())
            icons.first()->Press(messages);
    }
    // The first icon's activation, as a desktop that reports activations instead of buttons.
    void Activate()
    {
        if (!icons.isEmpty())
            for (int message : icons.first()->ActivateMessages)
                Press({ message });
    }
    // The desktop opens the first icon's exported menu and the user chooses entry `index`.
    void ChooseFromMenu(int index)
    {
        Icon* icon = First();
        if (icon && icon->OnMenuOpening)
            icon->OnMenuOpening();
        if (icon && icon->OnMenuChoice)
            icon->OnMenuChoice(index);
    }
    Icon* First() const { return icons.isEmpty() ? nullptr : icons.first(); }

    QList<Icon*> icons;
    QStringList calls;
    QPoint cursor { 900, 10 };
    unsigned keys = 0;
    bool acceptIcons = true;
};

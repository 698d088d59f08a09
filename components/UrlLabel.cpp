#include "components/UrlLabel.h"

#include "platform/DesktopShell.h"

#include <QClipboard>
#include <QContextMenuEvent>
#include <QGuiApplication>
#include <QMenu>
#include <QMouseEvent>

TUrlLabel::TUrlLabel(DesktopShell& shell, QWidget* parent)
    : QLabel(parent)
    , m_shell(shell)
    , m_activeColor(128, 0, 128)
    , m_copyMenu(new QMenu(this))
{
    setCursor(Qt::PointingHandCursor);
    SetFontColor(Qt::blue);
    QFont underlined = font();
    underlined.setUnderline(true);
    setFont(underlined);
    m_copyMenu->addAction(QStringLiteral("Copy"), this, [this] { QGuiApplication::clipboard()->setText(text()); });
}

QColor TUrlLabel::FontColor() const
{
    return palette().color(QPalette::WindowText);
}

void TUrlLabel::SetFontColor(const QColor& color)
{
    QPalette colours = palette();
    colours.setColor(QPalette::WindowText, color);
    setPalette(colours);
}

void TUrlLabel::Click()
{
    if (OnClick)
        OnClick();
    const QString target = m_url.trimmed().isEmpty() ? text() : m_url;
    if (!target.trimmed().isEmpty())
        m_shell.Open(target);
}

void TUrlLabel::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton) {
        m_savedColor = FontColor();
        SetFontColor(m_activeColor);
        m_pressed = true;
    }
    QLabel::mousePressEvent(event);
}

void TUrlLabel::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton && m_pressed) {
        m_pressed = false;
        SetFontColor(m_savedColor);
        // A click is a press and a release on the label; letting go elsewhere cancels it.
        if (rect().contains(event->position().toPoint()))
            Click();
    }
    QLabel::mouseReleaseEvent(event);
}

void TUrlLabel::contextMenuEvent(QContextMenuEvent* event)
{
    m_copyMenu->popup(event->globalPos());
}

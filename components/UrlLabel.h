#pragma once

#include <QColor>
#include <QLabel>

#include <functional>

class DesktopShell;
class QMenu;

// A label that is a link: a click opens its URL (or, without one, its caption) with the desktop's
// "open", a right click offers to copy the caption. Blue and underlined, with a hand over it, and
// in the active colour while the left button is down on it.
class TUrlLabel final : public QLabel
{
    Q_OBJECT

public:
    explicit TUrlLabel(DesktopShell& shell, QWidget* parent = nullptr);

    QString URL() const { return m_url; }
    void SetURL(const QString& url) { m_url = url; }
    QColor ActiveColor() const { return m_activeColor; }
    void SetActiveColor(const QColor& color) { m_activeColor = color; }
    QColor FontColor() const;
    QMenu* CopyMenu() const { return m_copyMenu; }

    // Runs first on a click, so that it can set the URL to open.
    std::function<void()> OnClick;

    // What a click does: OnClick, then the URL (or the caption) is opened.
    void Click();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    void SetFontColor(const QColor& color);

    DesktopShell& m_shell;
    QString m_url;
    QColor m_activeColor;
    // The font colour while the left button is down.
    QColor m_savedColor;
    bool m_pressed = false;
    QMenu* m_copyMenu;
};

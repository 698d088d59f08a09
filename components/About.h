#pragma once

#include <QDialog>

#include <functional>

class DesktopShell;
class QFrame;
class QLabel;
class QPushButton;
class TUrlLabel;
class TVersionLabel;
class VersionInfo;

// The modal About box: the program's picture, its name, version, legal notice and comment read
// from the version block, and the author's address as a mail link.
class TAboutBox final : public QDialog
{
    Q_OBJECT

public:
    static inline const QString AuthorAddress = QStringLiteral("kronvik@example.org");

    // alert: the controller's sounds (code 4 for a click on the picture).
    TAboutBox(QWidget* owner, VersionInfo& versionInfo, DesktopShell& shell, std::function<void(int code)> alert);

    // Shows the JFIF picture; a picture that cannot be decoded leaves it empty.
    void LoadPicture(const QByteArray& jfif);

    void UrlLabel1Click();
    void ProgramIconClick();

    QFrame* Panel1;
    QFrame* Bevel1;
    QLabel* ProgramIcon;
    TVersionLabel* VersionLabel1;
    TVersionLabel* VersionLabel2;
    TVersionLabel* VersionLabel3;
    TVersionLabel* VersionLabel4;
    TUrlLabel* UrlLabel1;
    QPushButton* OKButton;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    std::function<void(int)> m_alert;
};

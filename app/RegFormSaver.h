#pragma once

#include "base/Errors.h"
#include "platform/Registry.h"

#include <QByteArray>
#include <QObject>
#include <QPoint>
#include <QSize>
#include <QString>
#include <QStringList>

#include <functional>

class QWidget;

// The form saver. It keeps the placement of its owner form, and of every other form of the
// program, in the store: saved when the owner closes (and by SavePlacement), put back by
// RestorePlacement before the owner is first shown. It also offers the settings operations: one
// key below the current user's root, named after IniFileName, with one section (subkey) per group
// of settings. Every operation opens the store, performs one access and keeps nothing, so changes
// made by others are always seen. Failures raise ERegistryException; a missing section or value
// gives the default.
class TRegFormSaver final : public QObject
{
public:
    // owner: the form whose close the saver takes part in (none for settings only); onError
    // receives what the save on closing raises, since no handler of the form's runs then.
    explicit TRegFormSaver(Registry& registry, QWidget* owner = nullptr, ErrorHandler onError = {});
    ~TRegFormSaver() override;

    // The key; by default the owner's name.
    QString IniFileName() const { return m_iniFileName; }
    void SetIniFileName(const QString& iniFileName) { m_iniFileName = iniFileName; }
    // The section of the placement values; empty means "OtherInfo".
    QString IniSection() const { return m_iniSection; }
    void SetIniSection(const QString& iniSection) { m_iniSection = iniSection; }
    // Switches saving and restoring on, and the watch for the owner's minimise and maximise
    // that records its normal bounds.
    bool IsEnabled() const { return m_isEnabled; }
    void SetIsEnabled(bool enabled) { m_isEnabled = enabled; }
    bool SaveSize = true;
    bool SaveLocation = true;
    bool SaveState = true;
    bool SaveVisible = true;
    // The same values for every named child control of each form.
    bool SaveDesktop = false;
    // Runs before saving, with the owner form.
    std::function<void(QWidget* form)> OnSave;
    // May keep a child control out of the saving by clearing the flag.
    std::function<void(QWidget* control, bool& save)> OnSaveControl;
    // Runs after restoring, with the owner form.
    std::function<void(QWidget* form)> OnRestore;

    // The close-time save, now.
    void SavePlacement();
    // The show-time restore, now. The owner calls it just before its first showing: a window
    // manager places the window's frame at a given place only when the place comes before the
    // window exists; once it does, a place given counts for the inside of the frame.
    void RestorePlacement();

    void PutText(const QString& section, const QString& name, const QString& text);
    void PutNumber(const QString& section, const QString& name, int value);
    // Stores the bytes exactly as given, zero bytes, line breaks and quotes included.
    void PutBytes(const QString& section, const QString& name, const QByteArray& data);

    // The text ends at the first zero byte of the stored data.
    QString FetchText(const QString& section, const QString& name, const QString& defaultText);
    int FetchNumber(const QString& section, const QString& name, int defaultValue);
    // The whole stored data, zero bytes included.
    QByteArray FetchBytes(const QString& section, const QString& name, const QByteArray& defaultData);
    // Replaces target's lines (only when the whole section could be read) with "name=text" for every value of the
    // section, in the store's order, leaving out values with empty text; with valuesOnly, each line is just the text.
    void FetchSectionTexts(const QString& section, QStringList& target, bool valuesOnly);

    void DropSection(const QString& section);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // What the store says about a failure; empty for results that are no failure of the store.
    QString WhyFailed(Registry::Result result) const;
    // Opens (and creates when missing) the key and returns its path.
    QString OpenStore();
    QString PlacementSection() const;
    QList<QWidget*> Forms() const;
    bool HasPlacement(QWidget* form) const;
    void SaveForm(QWidget* form, const QString& section);
    void SaveControls(QWidget* parent, const QString& section);
    void RestoreForm(QWidget* form, const QString& section);
    void RestoreControls(QWidget* parent, const QString& section);
    void CaptureBounds(Qt::WindowStates oldState);
    // The owner's close: its own handling (the close query) first, the save only when it closes.
    bool FormClose(QEvent* event);
    QString SectionPath(const QString& section);
    // The data of a text value; false when the section or the value is missing.
    bool FetchData(const QString& section, const QString& name, QByteArray& data);

    Registry& m_registry;
    QWidget* m_owner;
    ErrorHandler m_onError;
    QString m_iniFileName;
    QString m_iniSection = QStringLiteral("Position");
    bool m_isEnabled = false;
    bool m_ownerShown = false;
    bool m_inClose = false;
    // The owner's bounds in the normal state, as last seen, and as they were when it was last
    // minimised or maximised.
    QPoint m_normalPos;
    QSize m_normalSize;
    bool m_boundsCaptured = false;
    QPoint m_capturedPos;
    QSize m_capturedSize;
};

// The key's name: the file name without folder (either slash) and extension; empty when that
// leaves nothing, and then the store takes the executable's name instead.
QString StoreKeyName(const QString& iniFileName);

// A stored integer: decimal with an optional sign, or hexadecimal after "0x"/"0X" (32 bits, read as
// two's complement); anything else, blanks and values outside 32 bits included, gives defaultValue.
int StoredTextToInt(const QString& text, int defaultValue);

#include "app/RegFormSaver.h"

#include "base/Errors.h"
#include "platform/Registry.h"

#include <QApplication>
#include <QCloseEvent>
#include <QScreen>
#include <QStringList>
#include <QWidget>

#include <algorithm>
#include <cstdint>
#include <limits>

namespace {

// The store's own sentence comes first; where the store knows more (which file, which line, what
// is wrong with it), that follows, so that the user can mend it.
[[noreturn]] void Raise(const char* format, const QString& name, const QString& why = QString())
{
    QString text = QString::fromLatin1(format).arg(name);
    if (!why.isEmpty())
        text += QStringLiteral(".\r\n\r\n") + why;
    throw ERegistryException(text.toStdString());
}

bool IsText(std::uint32_t type)
{
    return type == Registry::RegSz || type == Registry::RegExpandSz;
}

QString TextOf(const QByteArray& data)
{
    const qsizetype end = data.indexOf('\0');
    return QString::fromUtf8(end < 0 ? data : data.left(end));
}

// Child controls are saved by name; Qt's own inner widgets ("qt_…") and unnamed ones have none to
// go by, though the controls inside them do.
bool IsNamedControl(const QWidget* control)
{
    const QString name = control->objectName();
    return !name.isEmpty() && !name.startsWith(QLatin1String("qt_"));
}

QList<QWidget*> ChildControls(QWidget* parent)
{
    QList<QWidget*> controls;
    for (QWidget* child : parent->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
        if (!child->isWindow())
            controls.append(child);
    }
    return controls;
}

// Whether the user can reach a window placed here: the middle of its top edge, where the
// title bar is, must lie on one of the screens. A stored place on a monitor since removed is not.
bool OnSomeScreen(const QPoint& pos, const QSize& size)
{
    return QGuiApplication::screenAt(QPoint(pos.x() + size.width() / 2, pos.y())) != nullptr;
}

} // namespace

TRegFormSaver::TRegFormSaver(Registry& registry, QWidget* owner, ErrorHandler onError)
    : m_registry(registry)
    , m_owner(owner)
    , m_onError(std::move(onError))
    , m_iniFileName(owner ? owner->objectName() : QString())
{
    if (m_owner)
        m_owner->installEventFilter(this);
}

TRegFormSaver::~TRegFormSaver()
{
    if (m_owner)
        m_owner->removeEventFilter(this);
}

bool TRegFormSaver::eventFilter(QObject* watched, QEvent* event)
{
    if (watched != m_owner)
        return false;
    switch (event->type()) {
    case QEvent::Show:
        m_ownerShown = true;
        return false;
    case QEvent::WindowStateChange:
        if (m_isEnabled)
            CaptureBounds(static_cast<QWindowStateChangeEvent*>(event)->oldState());
        return false;
    case QEvent::Move:
    case QEvent::Resize:
        if (m_owner->windowState() == Qt::WindowNoState) {
            m_normalPos = m_owner->pos();
            m_normalSize = m_owner->frameGeometry().size();
        }
        return false;
    case QEvent::Close:
        return FormClose(event);
    default:
        return false;
    }
}

void TRegFormSaver::CaptureBounds(Qt::WindowStates oldState)
{
    const Qt::WindowStates changed = Qt::WindowMinimized | Qt::WindowMaximized;
    if ((oldState & changed) || !(m_owner->windowState() & changed))
        return;
    m_boundsCaptured = true;
    m_capturedPos = m_normalPos;
    m_capturedSize = m_normalSize;
}

bool TRegFormSaver::FormClose(QEvent* event)
{
    if (m_inClose)
        return false;
    m_inClose = true;
    QCoreApplication::sendEvent(m_owner, event);
    m_inClose = false;
    if (event->isAccepted()) {
        try {
            SavePlacement();
        } catch (const std::exception& error) {
            if (m_onError)
                m_onError(error);
        }
    }
    return true;
}

QString TRegFormSaver::PlacementSection() const
{
    return m_iniSection.isEmpty() ? QStringLiteral("OtherInfo") : m_iniSection;
}

QList<QWidget*> TRegFormSaver::Forms() const
{
    // The program's own windows: not menus, tips or the windows Qt makes for itself (message
    // boxes, file dialogs, tray icons), whose classes carry Qt's prefix.
    QList<QWidget*> others;
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        const Qt::WindowType type = widget->windowType();
        if (widget != m_owner && (type == Qt::Window || type == Qt::Dialog)
            && !QByteArray(widget->metaObject()->className()).startsWith('Q'))
            others.append(widget);
    }
    std::sort(others.begin(), others.end(), [](const QWidget* a, const QWidget* b) {
        return qstrcmp(a->metaObject()->className(), b->metaObject()->className()) < 0;
    });
    if (m_owner)
        others.prepend(m_owner);
    return others;
}

bool TRegFormSaver::HasPlacement(QWidget* form) const
{
    // A form not shown yet in this run has no place of its own: saving would overwrite the
    // stored place with wherever the toolkit happens to keep the hidden window.
    return form == m_owner ? m_ownerShown : form->isVisible();
}

void TRegFormSaver::SavePlacement()
{
    if (!m_isEnabled)
        return;
    if (OnSave)
        OnSave(m_owner);
    OpenStore();
    const QString section = PlacementSection();
    for (QWidget* form : Forms()) {
        if (HasPlacement(form))
            SaveForm(form, section);
    }
}

void TRegFormSaver::SaveForm(QWidget* form, const QString& section)
{
    const QString prefix = QString::fromLatin1(form->metaObject()->className());
    const Qt::WindowStates state = form->windowState();
    const bool normal = !(state & (Qt::WindowMinimized | Qt::WindowMaximized | Qt::WindowFullScreen));
    if (SaveState) {
        const int code = (state & Qt::WindowMinimized) ? 1 : (state & Qt::WindowMaximized) ? 3 : 2;
        PutNumber(section, prefix + QLatin1String("_WindowState"), code);
    }
    // Outside the normal state only the owner's recorded normal bounds are known.
    const bool known = normal || (form == m_owner && m_boundsCaptured);
    const QPoint pos = normal ? form->pos() : m_capturedPos;
    const QSize size = normal ? form->frameGeometry().size() : m_capturedSize;
    if (SaveSize && known) {
        PutNumber(section, prefix + QLatin1String("_Width"), size.width());
        PutNumber(section, prefix + QLatin1String("_Height"), size.height());
    }
    if (SaveLocation && known) {
        PutNumber(section, prefix + QLatin1String("_Top"), pos.y());
        PutNumber(section, prefix + QLatin1String("_Left"), pos.x());
    }
    if (SaveVisible)
        PutNumber(section, prefix + QLatin1String("_Visible"), form->isVisible() ? 1 : 0);
    if (SaveDesktop)
        SaveControls(form, section);
}

void TRegFormSaver::SaveControls(QWidget* parent, const QString& section)
{
    for (QWidget* control : ChildControls(parent)) {
        bool save = IsNamedControl(control);
        if (save && OnSaveControl)
            OnSaveControl(control, save);
        if (save) {
            const QString prefix = control->objectName();
            if (SaveSize) {
                PutNumber(section, prefix + QLatin1String("_Width"), control->width());
                PutNumber(section, prefix + QLatin1String("_Height"), control->height());
            }
            if (SaveLocation) {
                PutNumber(section, prefix + QLatin1String("_Top"), control->y());
                PutNumber(section, prefix + QLatin1String("_Left"), control->x());
            }
            if (SaveVisible)
                PutNumber(section, prefix + QLatin1String("_Visible"), control->isHidden() ? 0 : 1);
        }
        SaveControls(control, section);
    }
}

void TRegFormSaver::RestorePlacement()
{
    if (!m_isEnabled)
        return;
    OpenStore();
    const QString section = PlacementSection();
    for (QWidget* form : Forms())
        RestoreForm(form, section);
    if (OnRestore)
        OnRestore(m_owner);
}

void TRegFormSaver::RestoreForm(QWidget* form, const QString& section)
{
    const QString prefix = QString::fromLatin1(form->metaObject()->className());
    const bool normal = !(form->windowState() & (Qt::WindowMinimized | Qt::WindowMaximized | Qt::WindowFullScreen));
    if (SaveSize && normal) {
        const QSize frame = form->frameGeometry().size();
        const QSize stored(FetchNumber(section, prefix + QLatin1String("_Width"), frame.width()),
                           FetchNumber(section, prefix + QLatin1String("_Height"), frame.height()));
        form->resize(form->size() + stored - frame);
    }
    if (SaveLocation) {
        const int top = FetchNumber(section, prefix + QLatin1String("_Top"), form->y());
        const int left = FetchNumber(section, prefix + QLatin1String("_Left"), form->x());
        if (OnSomeScreen(QPoint(left, top), form->frameGeometry().size()))
            form->move(left, top);
    }
    // A form in the middle of being shown is not hidden again under its own show.
    if (SaveVisible && !(form == m_owner && form->isVisible()))
        form->setVisible(FetchNumber(section, prefix + QLatin1String("_Visible"), form->isVisible() ? 1 : 0) != 0);
    if (SaveState) {
        switch (FetchNumber(section, prefix + QLatin1String("_WindowState"), 2)) {
        case 1:
            form->setWindowState((form->windowState() & ~Qt::WindowMaximized) | Qt::WindowMinimized);
            break;
        case 2:
            form->setWindowState(form->windowState() & ~(Qt::WindowMinimized | Qt::WindowMaximized));
            break;
        case 3:
            form->setWindowState((form->windowState() & ~Qt::WindowMinimized) | Qt::WindowMaximized);
            break;
        default:
            break;
        }
    }
    if (SaveDesktop)
        RestoreControls(form, section);
}

void TRegFormSaver::RestoreControls(QWidget* parent, const QString& section)
{
    for (QWidget* control : ChildControls(parent)) {
        if (IsNamedControl(control)) {
            const QString prefix = control->objectName();
            if (SaveSize)
                control->resize(FetchNumber(section, prefix + QLatin1String("_Width"), control->width()),
                                FetchNumber(section, prefix + QLatin1String("_Height"), control->height()));
            if (SaveLocation) {
                const int top = FetchNumber(section, prefix + QLatin1String("_Top"), control->y());
                control->move(FetchNumber(section, prefix + QLatin1String("_Left"), control->x()), top);
            }
            if (SaveVisible)
                control->setVisible(
                    FetchNumber(section, prefix + QLatin1String("_Visible"), control->isHidden() ? 0 : 1) != 0);
        }
        RestoreControls(control, section);
    }
}

void TRegFormSaver::PutText(const QString& section, const QString& name, const QString& text)
{
    PutBytes(section, name, text.toUtf8());
}

void TRegFormSaver::PutNumber(const QString& section, const QString& name, int value)
{
    PutText(section, name, QString::number(value));
}

void TRegFormSaver::PutBytes(const QString& section, const QString& name, const QByteArray& data)
{
    const QString path = SectionPath(section);
    if (const Registry::Result created = m_registry.CreateKey(path); created != Registry::Result::Ok)
        Raise("Failed to create key %1", section, WhyFailed(created));
    if (const Registry::Result written = m_registry.WriteText(path, name, data); written != Registry::Result::Ok)
        Raise("Failed to set data for '%1'", name, WhyFailed(written));
}

QString TRegFormSaver::FetchText(const QString& section, const QString& name, const QString& defaultText)
{
    QByteArray data;
    return FetchData(section, name, data) ? TextOf(data) : defaultText;
}

int TRegFormSaver::FetchNumber(const QString& section, const QString& name, int defaultValue)
{
    QByteArray data;
    return FetchData(section, name, data) ? StoredTextToInt(TextOf(data), defaultValue) : defaultValue;
}

QByteArray TRegFormSaver::FetchBytes(const QString& section, const QString& name, const QByteArray& defaultData)
{
    QByteArray data;
    return FetchData(section, name, data) ? data : defaultData;
}

void TRegFormSaver::FetchSectionTexts(const QString& section, QStringList& target, bool valuesOnly)
{
    QList<Registry::Value> values;
    const Registry::Result result = m_registry.EnumValues(SectionPath(section), values);
    if (result == Registry::Result::Failed)
        Raise("Failed to get data for '%1'", section, m_registry.LastError());
    QStringList lines;
    for (const Registry::Value& value : values) {
        if (!IsText(value.type))
            Raise("Invalid data type for '%1'", value.name);
        const QString text = TextOf(value.data);
        // Taking the text itself rather than cutting "name=text" at its first "=" keeps it whole
        // when a name written by other means holds an "=".
        if (!text.isEmpty())
            lines.append(valuesOnly ? text : value.name + QLatin1Char('=') + text);
    }
    target = lines;
}

void TRegFormSaver::DropSection(const QString& section)
{
    // A failed delete would let the next writes mix the old section's values with the new ones.
    if (m_registry.DeleteKey(SectionPath(section)) == Registry::Result::Failed)
        Raise("Failed to set data for '%1'", section, m_registry.LastError());
}

QString TRegFormSaver::WhyFailed(Registry::Result result) const
{
    return result == Registry::Result::Failed ? m_registry.LastError() : QString();
}

QString TRegFormSaver::OpenStore()
{
    QString key = StoreKeyName(m_iniFileName);
    if (key.isEmpty())
        key = StoreKeyName(QCoreApplication::applicationFilePath());
    if (const Registry::Result created = m_registry.CreateKey(key); created != Registry::Result::Ok)
        Raise("Failed to create key %1", key, WhyFailed(created));
    return key;
}

QString TRegFormSaver::SectionPath(const QString& section)
{
    return OpenStore() + QLatin1Char('\\') + section;
}

bool TRegFormSaver::FetchData(const QString& section, const QString& name, QByteArray& data)
{
    Registry::Value value;
    switch (m_registry.ReadValue(SectionPath(section), name, value)) {
    case Registry::Result::NotFound:
        return false;
    case Registry::Result::Failed:
        Raise("Failed to get data for '%1'", name, m_registry.LastError());
    case Registry::Result::Ok:
        break;
    }
    if (!IsText(value.type))
        Raise("Invalid data type for '%1'", name);
    data = value.data;
    return true;
}

QString StoreKeyName(const QString& iniFileName)
{
    const qsizetype slash
        = std::max(iniFileName.lastIndexOf(QLatin1Char('/')), iniFileName.lastIndexOf(QLatin1Char('\\')));
    const QString file = iniFileName.mid(slash + 1);
    const qsizetype dot = file.lastIndexOf(QLatin1Char('.'));
    return dot < 0 ? file : file.left(dot);
}

int StoredTextToInt(const QString& text, int defaultValue)
{
    const bool hex = text.size() > 2 && (text.startsWith(QLatin1String("0x")) || text.startsWith(QLatin1String("0X")));
    qsizetype pos = hex ? 2 : 0;
    bool negative = false;
    if (!hex && pos < text.size() && (text[pos] == QLatin1Char('-') || text[pos] == QLatin1Char('+')))
        negative = text[pos++] == QLatin1Char('-');
    if (pos == text.size())
        return defaultValue;
    const std::int64_t base = hex ? 16 : 10;
    const std::int64_t limit = hex ? 0xFFFFFFFF : std::int64_t { std::numeric_limits<int>::max() } + (negative ? 1 : 0);
    std::int64_t value = 0;
    for (; pos < text.size(); ++pos) {
        const char16_t c = text[pos].unicode();
        int digit = -1;
        if (c >= u'0' && c <= u'9')
            digit = c - u'0';
        else if (hex && c >= u'a' && c <= u'f')
            digit = c - u'a' + 10;
        else if (hex && c >= u'A' && c <= u'F')
            digit = c - u'A' + 10;
        if (digit < 0)
            return defaultValue;
        value = value * base + digit;
        if (value > limit)
            return defaultValue;
    }
    if (hex)
        return static_cast<int>(static_cast<std::uint32_t>(value));
    return static_cast<int>(negative ? -value : value);
}

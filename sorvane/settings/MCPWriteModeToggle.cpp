#include "MCPWriteModeToggle.h"

#include "SettingBinding.h"
#include "SettingsForm.h"

#include "diagnostics/DiagnosticLogBuffer.h"
#include "platform/AppPaths.h"
#include "platform/AtomicFile.h"
#include "platform/Settings.h"
#include "platform/SettingsKeys.h"

#include <QCheckBox>
#include <QDateTime>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QShowEvent>
#include <QVBoxLayout>

namespace {
bool storedWriteMode()
{
    return Settings::shared().boolValue(SettingsKeys::mcpWriteMode, SettingsDefaults::mcpWriteMode);
}
} // namespace

MCPWriteModeToggle::MCPWriteModeToggle(QWidget *parent)
    : QWidget(parent)
    , m_switch(new QCheckBox(QStringLiteral("Allow MCP agents to edit files"), this))
    , m_warning(new QLabel(this))
{
    auto *stack = new QVBoxLayout(this);
    stack->setContentsMargins(0, 0, 0, 0);
    stack->setSpacing(6);
    m_switch->setObjectName(SettingsKeys::mcpWriteMode);
    stack->addWidget(m_switch);
    stack->addWidget(SettingsForm::caption(
        QStringLiteral("When on, the sorv.ane MCP server may write to open documents. Off means read-only."), this));
    m_warning->setObjectName(QStringLiteral("mcpWriteWarning"));
    m_warning->setWordWrap(true);
    m_warning->setText(QStringLiteral("Couldn't save this choice for the MCP server."));
    QPalette warningPalette = m_warning->palette();
    warningPalette.setColor(QPalette::WindowText, QColor(0xff, 0x9f, 0x0a));
    m_warning->setPalette(warningPalette);
    m_warning->setVisible(false);
    stack->addWidget(m_warning);

    SettingBinding::bindSwitch(m_switch, SettingsKeys::mcpWriteMode, SettingsDefaults::mcpWriteMode);
    // Any change of the setting reaches the file, not only flips of this switch.
    connect(&Settings::shared(), &Settings::valueChanged, this, [this](const QString &key) {
        if (key == SettingsKeys::mcpWriteMode)
            persist(storedWriteMode());
    });
}

QString MCPWriteModeToggle::flagFilePath()
{
    return AppPaths::supportFolder() + QStringLiteral("/mcp-flags.json");
}

bool MCPWriteModeToggle::writeSharedFlag(bool enabled)
{
    const QString folder = AppPaths::supportFolder();
    if (folder.isEmpty())
        return false;
    AppPaths::ensureFolder(folder); // a failure shows up as the write's error
    const QJsonObject flag{
        {QStringLiteral("writeMode"), enabled},
        {QStringLiteral("updatedAt"), QDateTime::currentDateTimeUtc().toString(Qt::ISODate)},
    };
    const QString path = flagFilePath();
    QString error;
    if (AtomicFile::write(path, QJsonDocument(flag).toJson(QJsonDocument::Indented), &error))
        return true;
    DiagnosticLogBuffer::shared().add(DiagnosticLogBuffer::Level::Warn, QStringLiteral("persist"),
                                      QStringLiteral("MCP write-flag save failed"),
                                      LoggedError{QStringLiteral("AtomicFile"), error});
    // An old "true" left behind would grant write access the user just took away.
    if (!enabled)
        QFile::remove(path);
    return false;
}

void MCPWriteModeToggle::reconcileAtLaunch()
{
    QFile file(flagFilePath());
    if (!file.exists())
        return;
    const bool stored = storedWriteMode();
    if (file.open(QIODevice::ReadOnly)) {
        const QJsonValue mode = QJsonDocument::fromJson(file.readAll()).object().value(QStringLiteral("writeMode"));
        if (mode.isBool() && mode.toBool() == stored)
            return;
    }
    file.close();
    writeSharedFlag(stored);
}

bool MCPWriteModeToggle::isWarningShown() const
{
    return !m_warning->isHidden();
}

void MCPWriteModeToggle::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    // Coming back from a minimised window is not the tab being shown.
    if (!event->spontaneous())
        persist(storedWriteMode());
}

void MCPWriteModeToggle::persist(bool enabled)
{
    m_warning->setVisible(!writeSharedFlag(enabled));
}

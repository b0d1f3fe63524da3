#include "GeneralTab.h"

#include "MCPWriteModeToggle.h"
#include "SegmentedPicker.h"
#include "SettingBinding.h"
#include "SettingsForm.h"
#include "SettingsServices.h"

#include "platform/Settings.h"
#include "platform/SettingsKeys.h"
#include "preview/AppearanceMode.h"
#include "render/MarkdownToHTML.h"
#include "window/ViewMode.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QLabel>
#include <QSignalBlocker>
#include <QVBoxLayout>

namespace {
QComboBox *choicePicker(const QStringList &rawValues, const QString &key, const QString &defaultValue, QWidget *parent)
{
    auto *combo = new QComboBox(parent);
    combo->setObjectName(key);
    combo->addItems(rawValues);
    SettingBinding::bindChoice(combo, key, defaultValue);
    return combo;
}
} // namespace

GeneralTab::GeneralTab(SettingsServices &services, QWidget *parent)
    : QWidget(parent)
    , m_services(services)
{
    auto *page = new QVBoxLayout(this);

    // Appearance
    QGroupBox *appearance = SettingsForm::addSection(page, QStringLiteral("Appearance"));
    QStringList modes;
    for (AppearanceMode mode : allAppearanceModes())
        modes << appearanceModeRawValue(mode);
    m_appearance = new SegmentedPicker(modes, appearance);
    m_appearance->setObjectName(SettingsKeys::appearanceMode);
    m_appearance->setFixedWidth(200);
    auto *appearanceRows = new QFormLayout;
    appearanceRows->addRow(QStringLiteral("Theme"), m_appearance);
    static_cast<QVBoxLayout *>(appearance->layout())->addLayout(appearanceRows);
    showStoredAppearance();
    connect(m_appearance, &SegmentedPicker::activated, this,
            [](const QString &raw) { Settings::shared().setAppearanceMode(raw); });

    // Preview
    QGroupBox *preview = SettingsForm::addSection(page, QStringLiteral("Preview"));
    QStringList themes;
    for (PreviewTheme theme : allPreviewThemes())
        themes << previewThemeRawValue(theme);
    QStringList viewModes;
    for (ViewMode mode : allViewModes())
        viewModes << viewModeRawValue(mode);
    auto *previewRows = new QFormLayout;
    previewRows->addRow(QStringLiteral("Preview Theme"),
                        choicePicker(themes, SettingsKeys::previewTheme, SettingsDefaults::previewTheme, preview));
    previewRows->addRow(QStringLiteral("Default View"),
                        choicePicker(viewModes, SettingsKeys::preferredViewMode,
                                     SettingsDefaults::preferredViewMode, preview));
    static_cast<QVBoxLayout *>(preview->layout())->addLayout(previewRows);

    // Startup
    QGroupBox *startup = SettingsForm::addSection(page, QStringLiteral("Startup"));
    startup->layout()->addWidget(SettingBinding::boundSwitch(QStringLiteral("Reopen previous documents on launch"),
                                               SettingsKeys::restoreSession, SettingsDefaults::restoreSession,
                                               startup));
    startup->layout()->addWidget(SettingBinding::boundSwitch(QStringLiteral("Show outline sidebar"), SettingsKeys::showOutline,
                                               SettingsDefaults::showOutline, startup));

    // Integrations
    QGroupBox *integrations = SettingsForm::addSection(page, QStringLiteral("Integrations"));
    integrations->layout()->addWidget(new MCPWriteModeToggle(integrations));

    // Privacy: the switch reads the opposite of the stored opt-out.
    QGroupBox *privacy = SettingsForm::addSection(page, QStringLiteral("Privacy"));
    m_analytics = new QCheckBox(QStringLiteral("Share usage analytics"), privacy);
    m_analytics->setObjectName(SettingsKeys::analyticsOptOut);
    privacy->layout()->addWidget(m_analytics);
    privacy->layout()->addWidget(SettingsForm::caption(
        QStringLiteral("Helps us prioritize what to build next. We never see your documents or filenames — just "
                       "feature counts and app version. Toggle off to disable all analytics."),
        privacy));
    privacy->layout()->addWidget(
        SettingsForm::link(QStringLiteral("Privacy policy"), SettingsForm::siteURL(QStringLiteral("/privacy/sorvane")),
                           privacy));
    showStoredAnalytics();
    connect(m_analytics, &QCheckBox::toggled, this, &GeneralTab::setAnalyticsOn);

    // Early access
    QGroupBox *early = SettingsForm::addSection(page, QStringLiteral("Early access"));
    m_betaUpdates = new QCheckBox(QStringLiteral("Install beta updates"), early);
    m_betaUpdates->setObjectName(SettingsKeys::betaUpdatesEnabled);
    early->layout()->addWidget(m_betaUpdates);
    early->layout()->addWidget(SettingsForm::caption(
        QStringLiteral("New features and changes land here first, and things may break occasionally. But if that's "
                       "your jam, hop in. Turning this off keeps any beta you already have until a stable release "
                       "catches up."),
        early));
    SettingBinding::bindSwitch(m_betaUpdates, SettingsKeys::betaUpdatesEnabled, SettingsDefaults::betaUpdatesEnabled);
    connect(m_betaUpdates, &QCheckBox::toggled, this, &GeneralTab::setBetaUpdatesOn);
    showUpdaterState();
    connect(&m_services, &SettingsServices::updaterStateChanged, this, &GeneralTab::showUpdaterState);

    page->addStretch(1);

    connect(&Settings::shared(), &Settings::valueChanged, this, [this](const QString &key) {
        if (key == SettingsKeys::appearanceMode)
            showStoredAppearance();
        else if (key == SettingsKeys::analyticsOptOut)
            showStoredAnalytics();
    });
}

void GeneralTab::showStoredAppearance()
{
    m_appearance->setCurrentText(appearanceModeRawValue(storedAppearanceMode(Settings::shared())));
}

void GeneralTab::showStoredAnalytics()
{
    const QSignalBlocker blocker(m_analytics);
    m_analytics->setChecked(!Settings::shared().boolValue(SettingsKeys::analyticsOptOut,
                                                          SettingsDefaults::analyticsOptOut));
}

void GeneralTab::showUpdaterState()
{
    m_betaUpdates->setEnabled(m_services.canCheckForUpdates());
}

void GeneralTab::setAnalyticsOn(bool on)
{
    Settings::shared().setValue(SettingsKeys::analyticsOptOut, !on);
    if (on) {
        // The launch events skipped while analytics was off go out once per launch.
        if (!m_services.analyticsSetUpThisLaunch())
            m_services.setupAnalytics();
    } else {
        m_services.resetAnalytics();
    }
}

void GeneralTab::setBetaUpdatesOn(bool on)
{
    // The binding has stored the key already.
    m_services.track(QStringLiteral("beta_updates_setting_changed"), {{QStringLiteral("enabled"), on}});
    if (on && m_services.updaterConfigured() && m_services.canCheckForUpdates())
        m_services.checkForUpdates();
}

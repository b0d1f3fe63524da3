#pragma once

#include <QWidget>

class QCheckBox;
class SegmentedPicker;
class SettingsServices;

// The settings window's "General" tab: appearance, preview, start-up, the MCP
// switch, usage analytics and beta updates.
class GeneralTab : public QWidget
{
    Q_OBJECT
public:
    explicit GeneralTab(SettingsServices &services, QWidget *parent = nullptr);

private:
    void showStoredAppearance();
    void showStoredAnalytics();
    void showUpdaterState();
    void setAnalyticsOn(bool on);
    void setBetaUpdatesOn(bool on);

    SettingsServices &m_services;
    SegmentedPicker *m_appearance;
    QCheckBox *m_analytics;
    QCheckBox *m_betaUpdates;
};

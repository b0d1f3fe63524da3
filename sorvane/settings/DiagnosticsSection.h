#pragma once

#include <QWidget>

class DocumentManager;
class SettingsServices;

// "Help & Diagnostics" in the settings window's About tab: consent to error
// reports, automatic reports, verbose logging and the manual report.
class DiagnosticsSection : public QWidget
{
    Q_OBJECT
public:
    DiagnosticsSection(SettingsServices &services, DocumentManager &documents, QWidget *parent = nullptr);

private:
    SettingsServices &m_services;
    DocumentManager &m_documents;
};

#include "DiagnosticsSection.h"

DiagnosticsSection::DiagnosticsSection(SettingsServices &services, DocumentManager &documents, QWidget *parent)
    : QWidget(parent)
    , m_services(services)
    , m_documents(documents)
{
}

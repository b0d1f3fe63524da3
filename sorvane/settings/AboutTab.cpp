#include "AboutTab.h"

#include "DiagnosticsSection.h"
#include "SettingsForm.h"
#include "SettingsServices.h"

#include "documents/Constants.h"

#include <QFormLayout>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

AboutTab::AboutTab(SettingsServices &services, DocumentManager &documents, QWidget *parent)
    : QWidget(parent)
    , m_services(services)
{
    auto *page = new QVBoxLayout(this);

    QGroupBox *info = SettingsForm::addSection(page, QStringLiteral("Info"));
    auto *infoRows = new QFormLayout;
    auto *version = new QLabel(Constants::version(), info);
    version->setObjectName(QStringLiteral("version"));
    version->setTextInteractionFlags(Qt::TextSelectableByMouse);
    infoRows->addRow(QStringLiteral("Version"), version);
    infoRows->addRow(QStringLiteral("Developer"), new QLabel(QStringLiteral("Tolvern Studios LLC"), info));
    static_cast<QVBoxLayout *>(info->layout())->addLayout(infoRows);

    QGroupBox *updates = SettingsForm::addSection(page, QStringLiteral("Updates"));
    m_checkForUpdates = new QPushButton(QStringLiteral("Check for Updates…"), updates);
    m_checkForUpdates->setObjectName(QStringLiteral("checkForUpdates"));
    updates->layout()->addWidget(m_checkForUpdates);
    updates->layout()->setAlignment(m_checkForUpdates, Qt::AlignLeft);
    m_updateStatus = SettingsForm::caption(QString(), updates);
    m_updateStatus->setObjectName(QStringLiteral("updateStatus"));
    updates->layout()->addWidget(m_updateStatus);
    m_updatesDisabled = SettingsForm::caption(QStringLiteral("Automatic updates are disabled in this build."), updates);
    m_updatesDisabled->setObjectName(QStringLiteral("updatesDisabled"));
    updates->layout()->addWidget(m_updatesDisabled);
    connect(m_checkForUpdates, &QPushButton::clicked, this, [this] {
        if (m_services.updaterConfigured())
            m_services.checkForUpdates();
    });
    showUpdaterState();
    connect(&m_services, &SettingsServices::updaterStateChanged, this, &AboutTab::showUpdaterState);

    page->addWidget(new DiagnosticsSection(services, documents, this));

    QGroupBox *links = SettingsForm::addSection(page, QStringLiteral("Links"));
    const struct {
        const char *label;
        const char *page;
    } pages[] = {
        {"Contact Support", "/contact?app=sorvane&platform=linux"},
        {"Report an Issue", "/contact?app=sorvane&platform=linux&topic=bug"},
        {"Privacy Policy", "/privacy/sorvane"},
        {"Terms of Use", "/terms/sorvane"},
        {"sorv.ane on the web", "/sorvane"},
    };
    for (const auto &entry : pages)
        links->layout()->addWidget(SettingsForm::link(QString::fromUtf8(entry.label),
                                                      SettingsForm::siteURL(QString::fromLatin1(entry.page)), links));

    page->addStretch(1);
}

void AboutTab::showUpdaterState()
{
    m_checkForUpdates->setEnabled(m_services.canCheckForUpdates());
    const QString status = m_services.updateStatusMessage();
    m_updateStatus->setText(status);
    m_updateStatus->setVisible(!status.isEmpty());
    // Only a build without an update feed says so; a check in progress also blocks
    // the button for a while, and is no reason to claim updates are off.
    m_updatesDisabled->setVisible(!m_services.updaterConfigured());
}

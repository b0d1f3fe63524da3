#include "AccountTab.h"

#include "AccountHubView.h"
#include "AccountSessionManager.h"
#include "ExternalLinkSymbol.h"
#include "SignInStateService.h"
#include "SorvaneAccountPortfolioCard.h"
#include "TolvernAccountBridge.h"

#include "TolvernProviderButtonStyle.h"
#include "TolvernProviderButtons.h"
#include "TolvernSpinner.h"

#include "diagnostics/Analytics.h"
#include "platform/PlatformConstants.h"
#include "settings/SettingsForm.h"
#include "window/WindowStyle.h"

#include <QDesktopServices>
#include <QEvent>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QVBoxLayout>

#include <qcorotask.h>

namespace {

const QString resetTitle = QStringLiteral("Reset & clear local data");

void makeDestructive(QPushButton *button)
{
    // Red while it can be pressed; a disabled button greys out as any other.
    QPalette palette = button->palette();
    for (auto group : {QPalette::Active, QPalette::Inactive})
        palette.setColor(group, QPalette::ButtonText, QColor(0xff, 0x45, 0x3a));
    button->setPalette(palette);
}

// A button whose label is a row of child widgets; they let the clicks through.
QHBoxLayout *labelRow(QPushButton *button, int spacing)
{
    auto *row = new QHBoxLayout(button);
    row->setContentsMargins(10, 4, 10, 4);
    row->setSpacing(spacing);
    return row;
}

QLabel *rowLabel(const QString &text, QWidget *parent)
{
    auto *label = new QLabel(text, parent);
    label->setTextFormat(Qt::PlainText);
    label->setAttribute(Qt::WA_TransparentForMouseEvents);
    return label;
}

// Dark buttons in the settings window, which is dark whatever the appearance; light
// ones should the tab ever sit on a light background, where dark ones wash out.
TolvernProviderButtonStyle buttonStyle(const QPalette &palette)
{
    const QColor accent = WindowStyle::accent(palette);
    if (palette.color(QPalette::Window).lightness() >= 128)
        return TolvernProviderButtonStyle::light(accent);
    return TolvernProviderButtonStyle::dark(accent);
}

// Messages may carry text from a server: shown as text, never as markup.
QString richMessage(const QString &message)
{
    return QStringLiteral("<p>%1</p>").arg(message.toHtmlEscaped());
}

QMessageBox *titledBox(const QString &title, const QString &message, QWidget *parent)
{
    auto *box = new QMessageBox(parent);
    box->setWindowTitle(title);
    // The title stays visible whatever the window manager does with window titles.
    box->setText(QStringLiteral("<b>%1</b>").arg(title.toHtmlEscaped()));
    box->setTextFormat(Qt::RichText);
    box->setInformativeText(richMessage(message));
    box->setAttribute(Qt::WA_DeleteOnClose);
    return box;
}

std::optional<OAuthDriver::ProviderHint> driverHint(TolvernProviderHint hint)
{
    return OAuthDriver::providerHint(TolvernProviderHints::rawValue(hint));
}

// The work of a sign-in or a reset outlives the tab when the settings window goes
// away meanwhile: each step after an await checks what is still there.
QCoro::Task<void> signInFromSettings(QPointer<SignInStateService> signInState, OAuthDriver::ProviderHint provider,
                                     std::function<void(const SignInResult &)> finished)
{
    auto task = signInState->beginSignIn(provider);
    const SignInResult result = co_await std::move(task);
    finished(result);
}

QCoro::Task<void> resetLocalData(QPointer<AccountSessionManager> accountSession, std::function<void()> presentSignIn,
                                 std::function<void()> finished)
{
    if (accountSession) {
        auto task = accountSession->resetAndClearLocalData();
        co_await std::move(task);
    }
    Analytics::reset();
    if (presentSignIn)
        presentSignIn();
    finished();
}

} // namespace

AccountTab::AccountTab(SignInStateService &signInState, TolvernAccountBridge *bridge,
                       AccountSessionManager &accountSession, std::function<void()> presentSignIn, QWidget *parent)
    : QWidget(parent)
    , m_signInState(signInState)
    , m_bridge(bridge)
    , m_accountSession(accountSession)
    , m_presentSignIn(std::move(presentSignIn))
    , m_accountPage(accountPageURL())
{
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(20, 16, 20, 16);
    layout->setSpacing(14);

    // Account.
    QGroupBox *account = SettingsForm::addSection(layout, QStringLiteral("Account"));
    auto *accountLayout = static_cast<QVBoxLayout *>(account->layout());
    accountLayout->setSpacing(8);

    m_card = new SorvaneAccountPortfolioCard(m_signInState, m_accountPage, account);
    accountLayout->addWidget(m_card);

    m_accountRow = new QWidget(account);
    m_accountRow->setObjectName(QStringLiteral("accountRow"));
    auto *accountRowLayout = new QHBoxLayout(m_accountRow);
    accountRowLayout->setContentsMargins(0, 0, 0, 0);
    accountRowLayout->addWidget(new QLabel(QStringLiteral("Account"), m_accountRow));
    accountRowLayout->addStretch();
    m_accountValue = new QLabel(m_accountRow);
    m_accountValue->setTextFormat(Qt::PlainText);
    m_accountValue->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_accountValue->setForegroundRole(QPalette::PlaceholderText);
    accountRowLayout->addWidget(m_accountValue);
    accountLayout->addWidget(m_accountRow);

    m_signOut = new QPushButton(QStringLiteral("Sign out"), account);
    m_signOut->setObjectName(QStringLiteral("signOut"));
    makeDestructive(m_signOut);
    connect(m_signOut, &QPushButton::clicked, this, [this] { m_accountSession.signOut(); });
    accountLayout->addWidget(m_signOut, 0, Qt::AlignLeft);

    m_providerButtons = new TolvernProviderButtons(
        buttonStyle(palette()), m_signInState.isAuthenticating(), [this] { cancelPendingSignIn(); },
        [this](TolvernProviderHint provider) { startSignInFromSettings(provider); }, account);
    m_providerButtons->installEventFilter(this);
    accountLayout->addWidget(m_providerButtons);

    for (const QString &title :
         {QStringLiteral("Manage devices"), QStringLiteral("Export my data"), QStringLiteral("Delete account")}) {
        auto *button = new QPushButton(account);
        button->setFlat(true);
        button->setAccessibleName(title);
        QHBoxLayout *row = labelRow(button, 6);
        QLabel *label = rowLabel(title, button);
        row->addWidget(label);
        row->addStretch();
        row->addWidget(new ExternalLinkSymbol(11, std::nullopt, button));
        button->setMinimumHeight(label->sizeHint().height() + 10);
        connect(button, &QPushButton::clicked, this, &AccountTab::openAccountPage);
        m_accountPageButtons.append(button);
        accountLayout->addWidget(button);
    }

    // Advanced.
    QGroupBox *advanced = SettingsForm::addSection(layout, QStringLiteral("Advanced"));
    auto *advancedLayout = static_cast<QVBoxLayout *>(advanced->layout());
    m_reset = new QPushButton(advanced);
    m_reset->setObjectName(QStringLiteral("resetLocalData"));
    m_reset->setAccessibleName(resetTitle);
    makeDestructive(m_reset);
    QHBoxLayout *resetRow = labelRow(m_reset, 6);
    // A mid grey reads on light and dark buttons alike.
    m_resetSpinner = new TolvernSpinner(12, QColor(0x8e, 0x8e, 0x93), m_reset);
    m_resetSpinner->setAttribute(Qt::WA_TransparentForMouseEvents);
    m_resetSpinner->hide();
    QLabel *resetLabel = rowLabel(resetTitle, m_reset);
    resetLabel->setForegroundRole(QPalette::ButtonText);
    resetRow->addWidget(m_resetSpinner);
    resetRow->addWidget(resetLabel);
    fitResetButton();
    connect(m_reset, &QPushButton::clicked, this, &AccountTab::showResetConfirm);
    advancedLayout->addWidget(m_reset, 0, Qt::AlignLeft);
    advancedLayout->addWidget(SettingsForm::caption(
        QStringLiteral("Signs you out on this computer and clears the sign-in data kept on it. Your account stays "
                       "safe: you only need to sign in again. Your documents are never touched."),
        advanced));

    // Your Tolvern apps.
    m_appsSection = SettingsForm::addSection(layout, QStringLiteral("Your Tolvern apps"));
    m_hub = new AccountHubView(m_signInState, m_appsSection);
    m_appsSection->layout()->addWidget(m_hub);

    layout->addStretch();

    connect(&m_signInState, &SignInStateService::isAuthenticatedChanged, this, &AccountTab::refresh);
    connect(&m_signInState, &SignInStateService::accountEmailChanged, this, &AccountTab::refresh);
    connect(&m_signInState, &SignInStateService::tolvernAccountIDChanged, this, &AccountTab::refresh);
    connect(&m_signInState, &SignInStateService::isAuthenticatingChanged, this,
            [this] { m_providerButtons->setBusy(m_signInState.isAuthenticating()); });
    refresh();
}

AccountTab::~AccountTab() = default;

QUrl AccountTab::accountPageURL()
{
    QString base = qEnvironmentVariable("SORVANE_WEB_URL");
    if (base.isEmpty())
        base = QString::fromLatin1(PlatformConstants::website);
    while (base.endsWith(QLatin1Char('/')))
        base.chop(1);
    const QUrl url(base + QStringLiteral("/account"), QUrl::StrictMode);
    const bool web = url.scheme() == QLatin1String("https") || url.scheme() == QLatin1String("http");
    if (!url.isValid() || !web || url.host().isEmpty())
        return QUrl();
    return url;
}

void AccountTab::refresh()
{
    const bool signedIn = m_signInState.isAuthenticated();
    m_accountValue->setText(m_signInState.accountDisplayName());
    m_accountRow->setVisible(signedIn);
    m_signOut->setVisible(signedIn);
    for (QPushButton *button : std::as_const(m_accountPageButtons))
        button->setVisible(signedIn);
    m_appsSection->setVisible(signedIn);
    m_providerButtons->setBusy(m_signInState.isAuthenticating());
    m_providerButtons->setVisible(!signedIn);
}

bool AccountTab::eventFilter(QObject *watched, QEvent *event)
{
    // A sign-in left in flight by an earlier view is dropped when the buttons come
    // on screen. Not when the window merely comes back from being minimised: that
    // is how the user returns from the browser.
    if (watched == m_providerButtons && event->type() == QEvent::Show && !event->spontaneous())
        cancelPendingSignIn();
    return QWidget::eventFilter(watched, event);
}

void AccountTab::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::PaletteChange && m_providerButtons)
        m_providerButtons->setButtonStyle(buttonStyle(palette()));
}

void AccountTab::startSignInFromSettings(TolvernProviderHint provider)
{
    const std::optional<OAuthDriver::ProviderHint> hint = driverHint(provider);
    if (!hint)
        return;
    QPointer<AccountTab> self(this);
    signInFromSettings(QPointer<SignInStateService>(&m_signInState), *hint, [self](const SignInResult &result) {
        if (self && result.kind == SignInResult::Kind::failed)
            self->showAlert(QStringLiteral("Sign-in failed"), result.message);
    });
}

void AccountTab::cancelPendingSignIn()
{
    if (m_bridge)
        m_bridge->manager().cancelSignIn();
}

void AccountTab::showResetConfirm()
{
    if (m_resetConfirm || m_isResetting)
        return;
    QMessageBox *box = titledBox(QStringLiteral("Reset & clear local data?"),
                                 QStringLiteral("This signs you out and clears local data. You'll need to sign in "
                                                "again. Continue?"),
                                 this);
    box->setIcon(QMessageBox::Warning);
    // A lone "&" in a button's text marks a shortcut letter.
    QPushButton *confirm = box->addButton(QString(resetTitle).replace(QLatin1Char('&'), QStringLiteral("&&")),
                                          QMessageBox::DestructiveRole);
    confirm->setObjectName(QStringLiteral("confirmReset"));
    makeDestructive(confirm);
    QPushButton *cancel = box->addButton(QStringLiteral("Cancel"), QMessageBox::RejectRole);
    box->setDefaultButton(cancel);
    box->setEscapeButton(cancel);
    // One confirmation runs one reset, however often its button fires: a reset with
    // nothing to send can be over before the second press arrives.
    connect(confirm, &QPushButton::clicked, this, &AccountTab::performReset, Qt::SingleShotConnection);
    m_resetConfirm = box;
    box->open();
}

void AccountTab::performReset()
{
    if (m_isResetting)
        return;
    setResetting(true);
    QPointer<AccountTab> self(this);
    resetLocalData(QPointer<AccountSessionManager>(&m_accountSession), m_presentSignIn, [self] {
        if (self)
            self->setResetting(false);
    });
}

void AccountTab::setResetting(bool resetting)
{
    if (m_isResetting == resetting)
        return;
    m_isResetting = resetting;
    m_reset->setEnabled(!resetting);
    m_resetSpinner->setVisible(resetting);
    fitResetButton();
    Q_EMIT isResettingChanged(resetting);
}

void AccountTab::fitResetButton()
{
    // The button's own size knows nothing of the row inside it.
    m_reset->layout()->invalidate();
    m_reset->setMinimumSize(m_reset->layout()->sizeHint());
}

void AccountTab::showAlert(const QString &title, const QString &message)
{
    // One alert: a second failure while it is up only updates its text.
    if (m_alert) {
        m_alert->setWindowTitle(title);
        m_alert->setText(QStringLiteral("<b>%1</b>").arg(title.toHtmlEscaped()));
        m_alert->setInformativeText(richMessage(message));
        return;
    }
    QMessageBox *box = titledBox(title, message, this);
    box->setIcon(QMessageBox::Warning);
    QPushButton *ok = box->addButton(QStringLiteral("OK"), QMessageBox::RejectRole);
    box->setDefaultButton(ok);
    box->setEscapeButton(ok);
    m_alert = box;
    box->open();
}

void AccountTab::openAccountPage()
{
    if (m_accountPage.isValid())
        QDesktopServices::openUrl(m_accountPage);
}

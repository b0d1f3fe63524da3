#pragma once

#include <QColor>
#include <QCoro/QCoroTask>
#include <QPointer>
#include <QString>
#include <QUrl>
#include <QWidget>

#include <functional>
#include <optional>

class QAbstractButton;
class QLabel;
class QPushButton;
class TolvernAccountBridge;
class TolvernSpinner;

// The sign-in window's step after Sign in with Apple created a new account: the
// terms and privacy links, the marketing opt-in and one button that records the
// consents through SignupConsentService. On success it calls onContinue; on failure
// it shows the error and offers "Try again". Always drawn dark, whatever the
// application's appearance. GUI thread only.
class SIWAConsentConfirmView : public QWidget
{
    Q_OBJECT
    Q_PROPERTY(bool marketingChecked READ marketingChecked NOTIFY marketingCheckedChanged)
    Q_PROPERTY(bool submitting READ isSubmitting NOTIFY submittingChanged)
public:
    static constexpr const char *title = "Finish creating your account";
    // The terms sentence without links and the checkbox label are the texts the
    // records carry: SignupConsentService::verbatimText and marketingConsentText.
    static constexpr const char *continueText = "Continue";
    static constexpr const char *retryText = "Try again";
    static constexpr const char *errorText =
        "Could not confirm your account setup. Check your connection and try again.";

    SIWAConsentConfirmView(TolvernAccountBridge &bridge, std::function<void()> onContinue,
                           QWidget *parent = nullptr);
    ~SIWAConsentConfirmView() override;

    bool marketingChecked() const { return m_marketingChecked; }
    bool touched() const { return m_touched; }
    bool isSubmitting() const { return m_submitting; }
    const std::optional<QString> &consentError() const { return m_consentError; }

    // The terms sentence with its two links, as Markdown.
    static QString termsMarkdown();
    static QUrl termsURL();
    static QUrl privacyURL();
    static QColor accent();
    static QColor backdropTop();
    static QColor backdropBottom();

Q_SIGNALS:
    void marketingCheckedChanged();
    void submittingChanged();

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    void toggleMarketing();
    void continueTapped();
    void setSubmitting(bool submitting);
    void refresh();
    static QCoro::Task<void> submit(QPointer<SIWAConsentConfirmView> view, TolvernAccountBridge *bridge,
                                    bool marketingChecked, bool touched);

    TolvernAccountBridge &m_bridge;
    std::function<void()> m_onContinue;
    bool m_marketingChecked;
    bool m_touched = false;
    bool m_submitting = false;
    std::optional<QString> m_consentError;

    QAbstractButton *m_checkRow = nullptr;
    QLabel *m_errorLabel = nullptr;
    QPushButton *m_button = nullptr;
    QLabel *m_buttonLabel = nullptr;
    TolvernSpinner *m_spinner = nullptr;
};

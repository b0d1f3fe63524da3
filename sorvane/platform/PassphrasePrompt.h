#pragma once

#include <QString>

#include <optional>

struct PassphraseRequest {
    QString messageText;
    QString informativeText;
    // Ask twice; the second field's placeholder is confirmationPlaceholder.
    bool confirming = false;
    QString placeholder = QStringLiteral("Passphrase");
    QString confirmationPlaceholder = QStringLiteral("Confirm passphrase");
};

struct PassphraseAnswer {
    QString passphrase;
    // The second entry when confirming; empty otherwise.
    QString confirmation;
};

// Modal secret questions (passphrases, the login password). Callers ask through
// this seam so tests can answer in place of the user.
class PassphrasePrompt
{
public:
    virtual ~PassphrasePrompt();

    // The entries when the user pressed OK, nothing when cancelled.
    virtual std::optional<PassphraseAnswer> ask(const PassphraseRequest &request) = 0;

    // The prompt of this process: a widget dialog unless one was installed.
    static PassphrasePrompt &shared();
    // Installs a prompt (not owned); nullptr restores the widget dialog.
    static void setShared(PassphrasePrompt *prompt);
};

// A dialog with the texts, one or two password-echo fields, and OK / Cancel.
class WidgetPassphrasePrompt : public PassphrasePrompt
{
public:
    std::optional<PassphraseAnswer> ask(const PassphraseRequest &request) override;
};

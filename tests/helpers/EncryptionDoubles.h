#pragma once

#include "documents/encryption/UserPresence.h"
#include "platform/PassphrasePrompt.h"

#include <QList>
#include <QStringList>

#include <optional>

// Answers the presence check without asking anyone; records each reason.
class FakeUserPresence : public UserPresence
{
public:
    bool allow = true;
    QStringList reasons;

    bool confirm(const QString &reason) override
    {
        reasons.append(reason);
        return allow;
    }
};

// Gives scripted answers in order (nothing = Cancel; cancels once the script runs
// out) and records every request.
class ScriptedPassphrasePrompt : public PassphrasePrompt
{
public:
    QList<std::optional<PassphraseAnswer>> answers;
    QList<PassphraseRequest> requests;

    std::optional<PassphraseAnswer> ask(const PassphraseRequest &request) override
    {
        requests.append(request);
        return answers.isEmpty() ? std::nullopt : answers.takeFirst();
    }
};

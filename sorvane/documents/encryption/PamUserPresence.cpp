#include "PamUserPresence.h"

#include "platform/PassphrasePrompt.h"

#include <security/pam_appl.h>

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>

namespace {
struct Credentials {
    QByteArray user;
    QByteArray password;
};

// PAM owns the answers it is given, so they are malloc'd copies.
int converse(int count, const struct pam_message **messages, struct pam_response **responses, void *data)
{
    if (count <= 0 || !messages || !responses || !data)
        return PAM_CONV_ERR;
    const auto *credentials = static_cast<const Credentials *>(data);
    auto *answers = static_cast<pam_response *>(calloc(static_cast<size_t>(count), sizeof(pam_response)));
    if (!answers)
        return PAM_BUF_ERR;
    for (int i = 0; i < count; ++i) {
        const char *text = nullptr;
        switch (messages[i]->msg_style) {
        case PAM_PROMPT_ECHO_OFF: text = credentials->password.constData(); break;
        case PAM_PROMPT_ECHO_ON: text = credentials->user.constData(); break;
        case PAM_ERROR_MSG:
        case PAM_TEXT_INFO: break;
        default:
            for (int j = 0; j < i; ++j)
                free(answers[j].resp);
            free(answers);
            return PAM_CONV_ERR;
        }
        if (text) {
            answers[i].resp = strdup(text);
            if (!answers[i].resp) {
                for (int j = 0; j < i; ++j)
                    free(answers[j].resp);
                free(answers);
                return PAM_BUF_ERR;
            }
        }
    }
    *responses = answers;
    return PAM_SUCCESS;
}

QString currentUser()
{
    if (const passwd *entry = getpwuid(getuid()))
        return QString::fromLocal8Bit(entry->pw_name);
    return qEnvironmentVariable("USER");
}
} // namespace

PamUserPresence::PamUserPresence(QString service, QString user)
    : m_service(std::move(service))
    , m_user(user.isEmpty() ? currentUser() : std::move(user))
{
}

bool PamUserPresence::confirm(const QString &reason)
{
    PassphraseRequest request;
    request.messageText = reason;
    request.informativeText = QStringLiteral("Enter your login password to continue.");
    request.placeholder = QStringLiteral("Password");
    const auto answer = PassphrasePrompt::shared().ask(request);
    return answer && checkPassword(answer->passphrase);
}

bool PamUserPresence::checkPassword(const QString &password) const
{
    if (password.isEmpty() || m_user.isEmpty())
        return false;
    Credentials credentials{m_user.toLocal8Bit(), password.toUtf8()};
    const pam_conv conversation{converse, &credentials};
    pam_handle_t *handle = nullptr;
    int status = pam_start(m_service.toLocal8Bit().constData(), credentials.user.constData(), &conversation, &handle);
    if (status == PAM_SUCCESS)
        status = pam_authenticate(handle, PAM_DISALLOW_NULL_AUTHTOK);
    if (status == PAM_SUCCESS)
        status = pam_acct_mgmt(handle, PAM_DISALLOW_NULL_AUTHTOK);
    if (handle)
        pam_end(handle, status);
    explicit_bzero(credentials.password.data(), static_cast<size_t>(credentials.password.size()));
    return status == PAM_SUCCESS;
}

#include "LoginFirstFlowModel.h"

LoginFirstFlowModel::LoginFirstFlowModel(LoginFirstStep initialStep, QObject *parent)
    : QObject(parent)
    , m_step(initialStep)
{
}

void LoginFirstFlowModel::setStep(LoginFirstStep step)
{
    if (m_step == step)
        return;
    m_step = step;
    Q_EMIT stepChanged(step);
}

void LoginFirstFlowModel::setWorking(bool working)
{
    if (m_isWorking == working)
        return;
    m_isWorking = working;
    Q_EMIT isWorkingChanged(working);
}

void LoginFirstFlowModel::setErrorMessage(const std::optional<QString> &message)
{
    if (m_errorMessage == message)
        return;
    m_errorMessage = message;
    Q_EMIT errorMessageChanged();
}

void LoginFirstFlowModel::setStatusMessage(const std::optional<QString> &message)
{
    if (m_statusMessage == message)
        return;
    m_statusMessage = message;
    Q_EMIT statusMessageChanged();
}

#pragma once

#include "LoginFirstStep.h"

#include <QObject>
#include <QString>

#include <optional>

// The sign-in window's state, kept by its host across presentations: the step, the
// guard of a sign-in started from the window, and the error and progress texts. Each
// setter signals only a real change. GUI thread only.
class LoginFirstFlowModel : public QObject
{
    Q_OBJECT
    Q_PROPERTY(bool isWorking READ isWorking WRITE setWorking NOTIFY isWorkingChanged)
public:
    explicit LoginFirstFlowModel(LoginFirstStep initialStep = LoginFirstStep::signIn, QObject *parent = nullptr);

    LoginFirstStep step() const { return m_step; }
    void setStep(LoginFirstStep step);
    bool isWorking() const { return m_isWorking; }
    void setWorking(bool working);
    const std::optional<QString> &errorMessage() const { return m_errorMessage; }
    void setErrorMessage(const std::optional<QString> &message);
    const std::optional<QString> &statusMessage() const { return m_statusMessage; }
    void setStatusMessage(const std::optional<QString> &message);

Q_SIGNALS:
    void stepChanged(LoginFirstStep step);
    void isWorkingChanged(bool working);
    void errorMessageChanged();
    void statusMessageChanged();

private:
    LoginFirstStep m_step;
    bool m_isWorking = false;
    std::optional<QString> m_errorMessage;
    std::optional<QString> m_statusMessage;
};

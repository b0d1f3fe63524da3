#include "TolvernSignInPhase.h"

#include <cstring>

bool TolvernSignInPhase::operator==(const TolvernSignInPhase &other) const
{
    if (m_kind != other.m_kind)
        return false;
    return m_kind != Kind::error || m_message == other.m_message;
}

char *toString(const TolvernSignInPhase &phase)
{
    QString text;
    switch (phase.kind()) {
    case TolvernSignInPhase::Kind::error: text = QStringLiteral("error(%1)").arg(phase.message()); break;
    case TolvernSignInPhase::Kind::ready: text = QStringLiteral("ready"); break;
    case TolvernSignInPhase::Kind::busy: text = QStringLiteral("busy"); break;
    case TolvernSignInPhase::Kind::offline: text = QStringLiteral("offline"); break;
    }
    return qstrdup(text.toUtf8().constData());
}

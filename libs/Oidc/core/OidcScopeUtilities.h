#pragma once

#include <QString>
#include <QStringList>

#include <optional>

// Scope strings: RFC 6749's scope tokens joined by single spaces.
class OidcScopeUtilities
{
public:
    OidcScopeUtilities() = delete;

    // The scopes joined by " "; none (with the assertion logged) when one is empty or
    // holds a character outside the scope-token syntax.
    static std::optional<QString> scopes(const QStringList &scopes);
    // Splits at every " ".
    static QStringList scopesArray(const QString &scope);
};

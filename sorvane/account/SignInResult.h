#pragma once

#include <QString>

// The outcome of one sign-in, as a view shows it.
struct SignInResult {
    enum class Kind { success, cancelled, failed };
    Kind kind = Kind::success;
    // English text to show; set for failed only.
    QString message;

    static SignInResult success() { return {Kind::success, {}}; }
    static SignInResult cancelled() { return {Kind::cancelled, {}}; }
    static SignInResult failed(QString message) { return {Kind::failed, std::move(message)}; }
    bool operator==(const SignInResult &other) const = default;
};

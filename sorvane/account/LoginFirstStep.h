#pragma once

// The step the sign-in window shows: the sign-in screen, or the consent step that
// follows a native Apple sign-in which created a new account.
enum class LoginFirstStep { signIn, consentConfirm };

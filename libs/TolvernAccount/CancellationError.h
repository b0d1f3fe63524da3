#pragma once

#include <exception>

// Raised by an operation of the library whose cancel token was cancelled while it
// waited.
class CancellationError : public std::exception
{
public:
    const char *what() const noexcept override { return "cancelled"; }
};

#pragma once

#include <QCoro/QCoroTask>

#include <exception>
#include <optional>
#include <type_traits>

// Runs a task to its end in a local event loop and answers its value or rethrows
// its exception. QCoro::waitFor alone never returns when the task throws, so the
// outcome is caught in a coroutine of its own first.
namespace AwaitTaskDetail {
template<class T>
QCoro::Task<void> capture(QCoro::Task<T> task, std::optional<T> *value, std::exception_ptr *error)
{
    try {
        *value = co_await std::move(task);
    } catch (...) {
        *error = std::current_exception();
    }
}

inline QCoro::Task<void> capture(QCoro::Task<void> task, std::exception_ptr *error)
{
    try {
        co_await std::move(task);
    } catch (...) {
        *error = std::current_exception();
    }
}
} // namespace AwaitTaskDetail

template<class T>
T awaitTask(QCoro::Task<T> task)
{
    std::exception_ptr error;
    if constexpr (std::is_void_v<T>) {
        QCoro::waitFor(AwaitTaskDetail::capture(std::move(task), &error));
        if (error)
            std::rethrow_exception(error);
    } else {
        std::optional<T> value;
        QCoro::waitFor(AwaitTaskDetail::capture(std::move(task), &value, &error));
        if (error)
            std::rethrow_exception(error);
        return std::move(*value);
    }
}

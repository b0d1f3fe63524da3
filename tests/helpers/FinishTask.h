#pragma once

#include <QCoro/QCoroTask>

#include <exception>
#include <optional>
#include <type_traits>

// Runs the event loop until `task` ends and answers its value or rethrows its error.
// QCoro::waitFor alone never returns when the task throws.
template<class T>
T finishTask(QCoro::Task<T> task)
{
    std::exception_ptr error;
    if constexpr (std::is_void_v<T>) {
        auto capture = [](QCoro::Task<T> inner, std::exception_ptr *caught) -> QCoro::Task<void> {
            try {
                co_await std::move(inner);
            } catch (...) {
                *caught = std::current_exception();
            }
        };
        QCoro::waitFor(capture(std::move(task), &error));
        if (error)
            std::rethrow_exception(error);
    } else {
        std::optional<T> value;
        auto capture = [](QCoro::Task<T> inner, std::optional<T> *result, std::exception_ptr *caught) -> QCoro::Task<void> {
            try {
                *result = co_await std::move(inner);
            } catch (...) {
                *caught = std::current_exception();
            }
        };
        QCoro::waitFor(capture(std::move(task), &value, &error));
        if (error)
            std::rethrow_exception(error);
        return std::move(*value);
    }
}

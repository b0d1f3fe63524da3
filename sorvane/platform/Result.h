#pragma once

#include <optional>
#include <utility>
#include <variant>

// The outcome of an operation that can fail: a value, or a typed error saying why.
// Operations that can fail return one of these instead of throwing, so no exception
// ever has to cross a Qt event handler. Result<void, E> carries no value.
//
//     Result<QString, DocumentAccessError> read = TabDocument::readText(url);
//     if (!read)
//         return showReadError(read.error());
//     use(*read);
template <typename T, typename E>
class [[nodiscard]] Result
{
public:
    Result(T value) : m_state(std::in_place_index<0>, std::move(value)) {}
    Result(E error) : m_state(std::in_place_index<1>, std::move(error)) {}

    static Result failure(E error) { return Result(std::in_place_index<1>, std::move(error)); }

    bool hasValue() const { return m_state.index() == 0; }
    explicit operator bool() const { return hasValue(); }

    T &value() & { return std::get<0>(m_state); }
    const T &value() const & { return std::get<0>(m_state); }
    T &&value() && { return std::get<0>(std::move(m_state)); }
    T &operator*() & { return value(); }
    const T &operator*() const & { return value(); }
    T &&operator*() && { return std::move(*this).value(); }
    T *operator->() { return &value(); }
    const T *operator->() const { return &value(); }

    const E &error() const { return std::get<1>(m_state); }

    template <typename U>
    T valueOr(U &&fallback) const { return hasValue() ? value() : T(std::forward<U>(fallback)); }

private:
    template <std::size_t I, typename A>
    Result(std::in_place_index_t<I> index, A &&argument) : m_state(index, std::forward<A>(argument)) {}

    std::variant<T, E> m_state;
};

template <typename E>
class [[nodiscard]] Result<void, E>
{
public:
    Result() = default;
    Result(E error) : m_error(std::move(error)) {}

    static Result success() { return Result(); }
    static Result failure(E error) { return Result(std::move(error)); }

    bool hasValue() const { return !m_error.has_value(); }
    explicit operator bool() const { return hasValue(); }
    const E &error() const { return *m_error; }

private:
    std::optional<E> m_error;
};

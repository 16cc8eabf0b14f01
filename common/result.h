#pragma once

#include <utility>
#include <variant>

namespace mirelo {

// A value or the reason there is none. C++20 has no std::expected; this is the small part of it the
// engine needs. A failure is always built as `Failure{error}` and converts to any Result with that
// error type.
template <class E>
struct Failure {
    E error;
};
template <class E>
Failure(E) -> Failure<E>;

template <class T, class E>
class [[nodiscard]] Result {
public:
    Result(T value) : v_(std::in_place_index<0>, std::move(value)) {}  // NOLINT: implicit by design
    Result(Failure<E> failure) : v_(std::in_place_index<1>, std::move(failure.error)) {}  // NOLINT

    bool has_value() const { return v_.index() == 0; }
    explicit operator bool() const { return has_value(); }
    const T& value() const { return std::get<0>(v_); }
    T& value() { return std::get<0>(v_); }
    const T& operator*() const { return value(); }
    T& operator*() { return value(); }
    const T* operator->() const { return &value(); }
    T* operator->() { return &value(); }
    const E& error() const { return std::get<1>(v_); }

private:
    std::variant<T, E> v_;
};

}  // namespace mirelo

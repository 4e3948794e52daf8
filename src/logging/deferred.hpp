#pragma once

#include <concepts>
#include <functional>
#include <memory>
#include <type_traits>
#include <utility>

namespace lumenary::logging {

// An argument of a log call whose value is built only if the record is
// admitted: either a value already at hand, or a callable that makes it.
//
//   logger.debug("plain text");
//   logger.debug([&] { return "expensive " + render(state); });
//
// A Deferred refers to the caller's argument without owning it, like a
// string_view, so it is a parameter type only: it must not outlive the call
// it was passed to.
template <class T>
class Deferred {
public:
    // The default value of T (for optional arguments: absent).
    Deferred() noexcept requires std::default_initializable<T> : object_(nullptr),
                                                                 make_([](const void*) -> T { return T{}; }) {}

    // A value at hand; an rvalue is moved from when the record is admitted.
    template <class Value>
    requires(!std::same_as<std::remove_cvref_t<Value>, Deferred>) &&
        (!std::invocable<Value&>)&&std::constructible_from<T, Value&&> Deferred(
            Value&& value) noexcept  // implicit: plain arguments read naturally at call sites
        : object_(std::addressof(value)),
    make_([](const void* object) -> T {
        using Object = std::remove_reference_t<Value>;
        return T(std::forward<Value>(*const_cast<Object*>(static_cast<const Object*>(object))));
    }) {}

    // A callable, called only when the record is admitted.
    template <class Make>
    requires(!std::same_as<std::remove_cvref_t<Make>, Deferred>) &&
        std::invocable<Make&>&& std::convertible_to<std::invoke_result_t<Make&>, T> Deferred(Make&& make) noexcept
        : object_(std::addressof(make)),
    make_([](const void* object) -> T {
        using Callable = std::remove_reference_t<Make>;
        return std::invoke(*const_cast<Callable*>(static_cast<const Callable*>(object)));
    }) {}

    // Builds the value; call at most once (an rvalue argument is moved from).
    T get() const { return make_(object_); }

private:
    const void* object_;
    T (*make_)(const void*);
};

}  // namespace lumenary::logging

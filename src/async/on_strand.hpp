#pragma once

#include <memory>
#include <utility>

#include <asio/awaitable.hpp>
#include <asio/co_spawn.hpp>
#include <asio/use_awaitable.hpp>

// The actor idiom: an object that owns a strand runs each public async member
// there, so the state it guards by that strand needs no lock. These helpers
// are the one way to do the hop.
namespace lumenary::async {

// Runs `body` on `strand` and resumes the caller, back on its own executor,
// with the body's result or exception.
template <typename Strand, typename T>
asio::awaitable<T> onStrand(const Strand& strand, asio::awaitable<T> body) {
    return asio::co_spawn(strand, std::move(body), asio::use_awaitable);
}

namespace detail {

template <typename Actor, typename T>
asio::awaitable<T> readField(std::shared_ptr<Actor> self, T Actor::*field) {
    co_return (*self).*field;
}

template <typename Actor, typename T>
asio::awaitable<void> writeField(std::shared_ptr<Actor> self, T Actor::*field, T value) {
    (*self).*field = std::move(value);
    co_return;
}

}  // namespace detail

// A copy of a strand-owned field, read on the strand. The actor is held for
// the hop, so it may be called from a member.
template <typename Strand, typename Actor, typename T>
asio::awaitable<T> readOnStrand(const Strand& strand, std::shared_ptr<Actor> self, T Actor::*field) {
    return onStrand(strand, detail::readField(std::move(self), field));
}

// Replaces a strand-owned field on the strand.
template <typename Strand, typename Actor, typename T>
asio::awaitable<void> writeOnStrand(const Strand& strand, std::shared_ptr<Actor> self, T Actor::*field, T value) {
    return onStrand(strand, detail::writeField(std::move(self), field, std::move(value)));
}

}  // namespace lumenary::async

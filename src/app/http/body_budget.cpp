#include "app/http/body_budget.hpp"

#include <utility>

namespace lumenary::http {

BodyBudget::Reservation::Reservation(Reservation&& other) noexcept
    : budget_(std::move(other.budget_)), bytes_(std::exchange(other.bytes_, 0)) {}

BodyBudget::Reservation& BodyBudget::Reservation::operator=(Reservation&& other) noexcept {
    if (this != &other) {
        release();
        budget_ = std::move(other.budget_);
        bytes_ = std::exchange(other.bytes_, 0);
    }
    return *this;
}

void BodyBudget::Reservation::release() noexcept {
    if (auto budget = std::exchange(budget_, nullptr)) {
        const std::size_t bytes = std::exchange(bytes_, 0);
        budget->reserved_.fetch_sub(bytes);
        if (budget->onRelease_ && bytes > 0) {
            budget->onRelease_(bytes);
        }
    }
}

void BodyBudget::Reservation::merge(Reservation&& more) noexcept {
    if (!budget_) {
        *this = std::move(more);
        return;
    }
    bytes_ += std::exchange(more.bytes_, 0);
    more.budget_ = nullptr;
}

std::shared_ptr<BodyBudget> BodyBudget::create(std::size_t capacityBytes, ReleaseHandler onRelease) {
    return std::shared_ptr<BodyBudget>(new BodyBudget(capacityBytes, std::move(onRelease)));
}

std::optional<BodyBudget::Reservation> BodyBudget::reserve(std::size_t bytes) {
    std::size_t reserved = reserved_.load();
    do {
        if (bytes > capacity_ || reserved > capacity_ - bytes) {
            return std::nullopt;
        }
    } while (!reserved_.compare_exchange_weak(reserved, reserved + bytes));
    return Reservation(shared_from_this(), bytes);
}

}  // namespace lumenary::http

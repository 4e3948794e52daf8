#pragma once

#include <stdlib.h>

#include <array>
#include <concepts>
#include <cstdint>
#include <source_location>
#include <string>
#include <type_traits>
#include <utility>
#include <variant>

#include "system/fatal_error.hpp"
#include "system/mach_kernel.hpp"

namespace lumenary::system::Mach {

// The kinds of right a Port owns.
struct ReceiveRight {};
struct SendRight {};
struct SendOnceRight {};

template <typename Right>
concept MachPortRight =
    std::same_as<Right, ReceiveRight> || std::same_as<Right, SendRight> || std::same_as<Right, SendOnceRight>;

enum class PortRightError { deadName };

// Stops the process unless `result` is KERN_SUCCESS: the calls that must not
// fail fail only when the caller broke the rules (a right it does not own).
inline void machPrecondition(KernelReturn result, std::source_location where = std::source_location::current()) {
    if (result != KERN_SUCCESS) {
        fatalError(std::string("Mach call failed with kern_return_t ") + std::to_string(result) + " at " +
                   where.file_name() + ":" + std::to_string(where.line()));
    }
}

// One user reference of one Mach port right of the current task, released
// exactly once: a receive right is destroyed with its guard context, other
// rights are deallocated. Move-only; a move leaves the source empty, and
// `relinquish()` or `unguardAndRelinquish()` hand the right to the caller
// without releasing it. Receive rights are guarded with a random context as
// soon as the Port takes them over.
//
// On a system whose kernel is not available every constructor throws
// UnavailableOnThisPlatform, so no Port exists there.
template <MachPortRight Right, typename Kernel = UnavailableKernel>
class Port {
public:
    static constexpr bool isReceiveRight = std::same_as<Right, ReceiveRight>;

    // Takes over an existing right by its name.
    explicit Port(PortName name) {
        requireKernel();
        requireName(name);
        if constexpr (isReceiveRight) {
            if (name == MACH_PORT_DEAD) {
                fatalError("Mach.Port: a receive right cannot be MACH_PORT_DEAD");
            }
            context_ = freshContext();
            machPrecondition(Kernel::guard(Kernel::taskSelf(), name, context_, false));
        }
        name_ = name;
    }

    // Takes over a receive right that is already guarded with `context`.
    Port(PortName name, PortContext context)
        requires isReceiveRight
    {
        requireKernel();
        requireName(name);
        name_ = name;
        context_ = context;
    }

    // A new, guarded receive right.
    Port()
        requires isReceiveRight
    {
        requireKernel();
        PortName name = MACH_PORT_NULL;
        machPrecondition(Kernel::allocate(Kernel::taskSelf(), MACH_PORT_RIGHT_RECEIVE, &name));
        if (name == MACH_PORT_NULL || name == MACH_PORT_DEAD) {
            fatalError("Mach.Port: the kernel allocated no usable name");
        }
        context_ = freshContext();
        machPrecondition(Kernel::guard(Kernel::taskSelf(), name, context_, false));
        name_ = name;
    }

    Port(const Port&) = delete;
    Port& operator=(const Port&) = delete;
    Port(Port&& other) noexcept
        : name_(std::exchange(other.name_, MACH_PORT_NULL)), context_(std::exchange(other.context_, 0)) {}
    Port& operator=(Port&& other) noexcept {
        if (this != &other) {
            release();
            name_ = std::exchange(other.name_, MACH_PORT_NULL);
            context_ = std::exchange(other.context_, 0);
        }
        return *this;
    }
    ~Port() { release(); }

    // Hands the right to the caller unreleased (and, for a receive right,
    // still guarded): the name, with the guard context for a receive right.
    auto relinquish() && {
        const PortName name = std::exchange(name_, MACH_PORT_NULL);
        const PortContext context = std::exchange(context_, 0);
        if constexpr (isReceiveRight) {
            return std::pair<PortName, PortContext>{name, context};
        } else {
            static_cast<void>(context);
            return name;
        }
    }

    // Removes the guard and hands the receive right to the caller.
    PortName unguardAndRelinquish() &&
        requires isReceiveRight
    {
        machPrecondition(Kernel::unguard(Kernel::taskSelf(), name_, context_));
        context_ = 0;
        return std::exchange(name_, MACH_PORT_NULL);
    }

    template <typename Body>
    decltype(auto) withBorrowedName(Body&& body) const {
        return std::forward<Body>(body)(name_);
    }
    template <typename Body>
    decltype(auto) withBorrowedNameAndContext(Body&& body) const
        requires isReceiveRight
    {
        return std::forward<Body>(body)(name_, context_);
    }

    // A send right to this port, under the same name.
    Port<SendRight, Kernel> makeSendRight() const
        requires isReceiveRight
    {
        machPrecondition(Kernel::insertRight(Kernel::taskSelf(), name_, name_, MACH_MSG_TYPE_MAKE_SEND));
        return Port<SendRight, Kernel>(name_);
    }

    // A send-once right to this port, under a name of its own.
    Port<SendOnceRight, Kernel> makeSendOnceRight() const
        requires isReceiveRight
    {
        PortName right = MACH_PORT_NULL;
        MessageTypeName rightType = 0;
        machPrecondition(
            Kernel::extractRight(Kernel::taskSelf(), name_, MACH_MSG_TYPE_MAKE_SEND_ONCE, &right, &rightType));
        if (rightType != MACH_MSG_TYPE_MOVE_SEND_ONCE || right == MACH_PORT_NULL) {
            fatalError("Mach.Port: extracting a send-once right gave something else");
        }
        return Port<SendOnceRight, Kernel>(right);
    }

    // One more user reference of this send right, or `deadName` when the
    // port has died; this value stays as it was either way.
    std::variant<Port, PortRightError> copySendRight() const
        requires std::same_as<Right, SendRight>
    {
        const KernelReturn result = Kernel::insertRight(Kernel::taskSelf(), name_, name_, MACH_MSG_TYPE_COPY_SEND);
        if (result == KERN_INVALID_NAME || result == KERN_INVALID_CAPABILITY) {
            return PortRightError::deadName;
        }
        machPrecondition(result);
        return Port(name_);
    }

    std::uint32_t makeSendCount() const
        requires isReceiveRight
    {
        std::array<std::int32_t, MACH_PORT_RECEIVE_STATUS_COUNT> status{};
        std::uint32_t count = MACH_PORT_RECEIVE_STATUS_COUNT;
        machPrecondition(
            Kernel::getAttributes(Kernel::taskSelf(), name_, MACH_PORT_RECEIVE_STATUS, status.data(), &count));
        return static_cast<std::uint32_t>(status[makeSendCountWord]);
    }
    void setMakeSendCount(std::uint32_t count)
        requires isReceiveRight
    {
        machPrecondition(Kernel::setMakeSendCount(Kernel::taskSelf(), name_, count));
    }
    // Reads once, lets `change` alter the count, writes once.
    template <typename Change>
    void modifyMakeSendCount(Change&& change)
        requires isReceiveRight
    {
        std::uint32_t count = makeSendCount();
        std::forward<Change>(change)(count);
        setMakeSendCount(count);
    }

private:
    static void requireKernel() {
        if constexpr (!Kernel::isAvailable) {
            throw UnavailableOnThisPlatform();
        }
    }
    static void requireName(PortName name) {
        if (name == MACH_PORT_NULL) {
            fatalError("Mach.Port: the name must not be MACH_PORT_NULL");
        }
    }
    static PortContext freshContext() { return static_cast<PortContext>(::arc4random()); }

    void release() noexcept {
        if (name_ == MACH_PORT_NULL) {
            return;
        }
        const PortName name = std::exchange(name_, MACH_PORT_NULL);
        if constexpr (isReceiveRight) {
            if (name == MACH_PORT_DEAD) {
                fatalError("Mach.Port: a receive right cannot be MACH_PORT_DEAD");
            }
            machPrecondition(Kernel::destruct(Kernel::taskSelf(), name, 0, std::exchange(context_, 0)));
        } else {
            machPrecondition(Kernel::deallocate(Kernel::taskSelf(), name));
        }
    }

    PortName name_ = MACH_PORT_NULL;
    PortContext context_ = 0;
};

}  // namespace lumenary::system::Mach

#pragma once

#include <cstdint>
#include <stdexcept>

// The small Mach kernel interface that Mach::Port is written against. This
// system has no Mach kernel: its default kernel answers "not available on
// this platform", and tests supply a fake. A kernel is a type with
// `static constexpr bool isAvailable` and these static calls, each on the
// task `taskSelf()` gives and answering a KernelReturn:
//
//   allocate(task, PortRight, PortName* name)                     mach_port_allocate
//   guard(task, name, PortContext, bool strict)                   mach_port_guard
//   unguard(task, name, PortContext)                              mach_port_unguard
//   destruct(task, name, int sendRightDelta, PortContext)         mach_port_destruct
//   deallocate(task, name)                                        mach_port_deallocate
//   insertRight(task, name, PortName right, MessageTypeName)      mach_port_insert_right
//   extractRight(task, name, MessageTypeName,
//                PortName* right, MessageTypeName* rightType)     mach_port_extract_right
//   getAttributes(task, name, PortFlavor, std::int32_t* info,
//                 std::uint32_t* count)                           mach_port_get_attributes
//   setMakeSendCount(task, name, std::uint32_t)                   mach_port_set_mscount
namespace lumenary::system::Mach {

using TaskName = std::uint32_t;
using PortName = std::uint32_t;
using PortContext = std::uintptr_t;
using KernelReturn = std::int32_t;
using PortRight = std::uint32_t;
using MessageTypeName = std::uint32_t;
using PortFlavor = std::int32_t;

// The kernel's own numbers; no header of this system defines them.
inline constexpr PortName MACH_PORT_NULL = 0;
inline constexpr PortName MACH_PORT_DEAD = ~PortName{0};
inline constexpr PortRight MACH_PORT_RIGHT_RECEIVE = 1;
inline constexpr MessageTypeName MACH_MSG_TYPE_MOVE_SEND_ONCE = 18;
inline constexpr MessageTypeName MACH_MSG_TYPE_COPY_SEND = 19;
inline constexpr MessageTypeName MACH_MSG_TYPE_MAKE_SEND = 20;
inline constexpr MessageTypeName MACH_MSG_TYPE_MAKE_SEND_ONCE = 21;
inline constexpr PortFlavor MACH_PORT_RECEIVE_STATUS = 2;
// The receive-status record in 32-bit words; the third is the make-send count.
inline constexpr std::uint32_t MACH_PORT_RECEIVE_STATUS_COUNT = 10;
inline constexpr std::size_t makeSendCountWord = 2;
inline constexpr KernelReturn KERN_SUCCESS = 0;
inline constexpr KernelReturn KERN_INVALID_NAME = 15;
inline constexpr KernelReturn KERN_INVALID_CAPABILITY = 20;

// What every port constructor throws on a system without the kernel.
class UnavailableOnThisPlatform : public std::runtime_error {
public:
    UnavailableOnThisPlatform() : std::runtime_error("not available on this platform") {}
};

// This system's kernel: there is none, so no port can be made and no call
// below is ever reached.
struct UnavailableKernel {
    static constexpr bool isAvailable = false;
    [[noreturn]] static TaskName taskSelf() { throw UnavailableOnThisPlatform(); }
    [[noreturn]] static KernelReturn allocate(TaskName, PortRight, PortName*) { throw UnavailableOnThisPlatform(); }
    [[noreturn]] static KernelReturn guard(TaskName, PortName, PortContext, bool) {
        throw UnavailableOnThisPlatform();
    }
    [[noreturn]] static KernelReturn unguard(TaskName, PortName, PortContext) { throw UnavailableOnThisPlatform(); }
    [[noreturn]] static KernelReturn destruct(TaskName, PortName, int, PortContext) {
        throw UnavailableOnThisPlatform();
    }
    [[noreturn]] static KernelReturn deallocate(TaskName, PortName) { throw UnavailableOnThisPlatform(); }
    [[noreturn]] static KernelReturn insertRight(TaskName, PortName, PortName, MessageTypeName) {
        throw UnavailableOnThisPlatform();
    }
    [[noreturn]] static KernelReturn extractRight(TaskName, PortName, MessageTypeName, PortName*, MessageTypeName*) {
        throw UnavailableOnThisPlatform();
    }
    [[noreturn]] static KernelReturn getAttributes(TaskName, PortName, PortFlavor, std::int32_t*, std::uint32_t*) {
        throw UnavailableOnThisPlatform();
    }
    [[noreturn]] static KernelReturn setMakeSendCount(TaskName, PortName, std::uint32_t) {
        throw UnavailableOnThisPlatform();
    }
};

}  // namespace lumenary::system::Mach

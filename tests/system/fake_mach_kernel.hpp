#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "system/mach_kernel.hpp"

namespace lumenary::system::Mach::testing {

// A Mach kernel in memory for one test at a time: names with their rights,
// user references, guard contexts, make-send counts and dead names. Every
// call is recorded as text with its arguments.
struct FakeMachKernel {
    static constexpr bool isAvailable = true;
    static constexpr TaskName task = 0x103;
    static constexpr KernelReturn KERN_INVALID_ARGUMENT = 4;
    static constexpr KernelReturn KERN_INVALID_RIGHT = 17;

    struct Entry {
        bool receive = false;
        std::uint32_t sendReferences = 0;
        bool sendOnce = false;
        std::optional<PortContext> guard;
        std::uint32_t makeSendCount = 0;
        bool dead = false;
    };

    struct State {
        std::map<PortName, Entry> entries;
        std::vector<std::string> calls;
        PortName nextName = 0x1003;
        std::optional<KernelReturn> nextInsertResult;  // answers the next insertRight as given
        MessageTypeName extractedRightType = MACH_MSG_TYPE_MOVE_SEND_ONCE;
        KernelReturn guardResult = KERN_SUCCESS;
    };

    static State& state() {
        static State shared;
        return shared;
    }
    static void reset() { state() = State(); }
    static std::vector<std::string> takeCalls() {
        std::vector<std::string> calls;
        calls.swap(state().calls);
        return calls;
    }

    static TaskName taskSelf() { return task; }

    static KernelReturn allocate(TaskName onTask, PortRight right, PortName* name) {
        *name = state().nextName++;
        state().entries[*name].receive = true;
        record("allocate", onTask, {right}, *name);
        return KERN_SUCCESS;
    }
    static KernelReturn guard(TaskName onTask, PortName name, PortContext context, bool strict) {
        record("guard", onTask, {name, context, strict ? 1u : 0u});
        if (state().guardResult != KERN_SUCCESS) return state().guardResult;
        Entry* entry = find(name);
        if (entry == nullptr || !entry->receive || entry->guard) return KERN_INVALID_ARGUMENT;
        entry->guard = context;
        return KERN_SUCCESS;
    }
    static KernelReturn unguard(TaskName onTask, PortName name, PortContext context) {
        record("unguard", onTask, {name, context});
        Entry* entry = find(name);
        if (entry == nullptr || entry->guard != context) return KERN_INVALID_ARGUMENT;
        entry->guard.reset();
        return KERN_SUCCESS;
    }
    static KernelReturn destruct(TaskName onTask, PortName name, int sendRightDelta, PortContext context) {
        record("destruct", onTask, {name, static_cast<std::uint64_t>(sendRightDelta), context});
        Entry* entry = find(name);
        if (entry == nullptr || !entry->receive || entry->guard != context) return KERN_INVALID_ARGUMENT;
        entry->receive = false;
        entry->guard.reset();
        forgetIfUnused(name);
        return KERN_SUCCESS;
    }
    static KernelReturn deallocate(TaskName onTask, PortName name) {
        record("deallocate", onTask, {name});
        Entry* entry = find(name);
        if (entry == nullptr) return KERN_INVALID_NAME;
        if (entry->sendOnce) {
            entry->sendOnce = false;
        } else if (entry->sendReferences > 0) {
            --entry->sendReferences;
        } else if (!entry->dead) {
            return KERN_INVALID_RIGHT;
        }
        forgetIfUnused(name);
        return KERN_SUCCESS;
    }
    static KernelReturn insertRight(TaskName onTask, PortName name, PortName right, MessageTypeName type) {
        record("insertRight", onTask, {name, right, type});
        if (auto result = std::exchange(state().nextInsertResult, std::nullopt)) return *result;
        Entry* entry = find(name);
        if (entry == nullptr) return KERN_INVALID_NAME;
        if (entry->dead) return KERN_INVALID_CAPABILITY;
        if (type == MACH_MSG_TYPE_MAKE_SEND && entry->receive) {
            ++entry->sendReferences;
            ++entry->makeSendCount;
            return KERN_SUCCESS;
        }
        if (type == MACH_MSG_TYPE_COPY_SEND && entry->sendReferences > 0) {
            ++entry->sendReferences;
            return KERN_SUCCESS;
        }
        return KERN_INVALID_RIGHT;
    }
    static KernelReturn extractRight(TaskName onTask, PortName name, MessageTypeName type, PortName* right,
                                     MessageTypeName* rightType) {
        Entry* entry = find(name);
        if (entry == nullptr || !entry->receive || type != MACH_MSG_TYPE_MAKE_SEND_ONCE) return KERN_INVALID_RIGHT;
        *right = state().nextName++;
        state().entries[*right].sendOnce = true;
        *rightType = state().extractedRightType;
        record("extractRight", onTask, {name, type}, *right);
        return KERN_SUCCESS;
    }
    static KernelReturn getAttributes(TaskName onTask, PortName name, PortFlavor flavor, std::int32_t* info,
                                      std::uint32_t* count) {
        record("getAttributes", onTask, {name, static_cast<std::uint64_t>(flavor), *count});
        Entry* entry = find(name);
        if (entry == nullptr || !entry->receive) return KERN_INVALID_RIGHT;
        for (std::uint32_t word = 0; word < *count; ++word) info[word] = 0;
        info[makeSendCountWord] = static_cast<std::int32_t>(entry->makeSendCount);
        return KERN_SUCCESS;
    }
    static KernelReturn setMakeSendCount(TaskName onTask, PortName name, std::uint32_t count) {
        record("setMakeSendCount", onTask, {name, count});
        Entry* entry = find(name);
        if (entry == nullptr || !entry->receive) return KERN_INVALID_RIGHT;
        entry->makeSendCount = count;
        return KERN_SUCCESS;
    }

    // A port whose receive right is gone: its send rights become a dead name.
    static void killPort(PortName name) { state().entries[name].dead = true; }

private:
    static Entry* find(PortName name) {
        const auto found = state().entries.find(name);
        return found == state().entries.end() ? nullptr : &found->second;
    }
    static void forgetIfUnused(PortName name) {
        const Entry& entry = state().entries[name];
        if (!entry.receive && entry.sendReferences == 0 && !entry.sendOnce && !entry.dead) {
            state().entries.erase(name);
        }
    }
    static void record(const char* operation, TaskName onTask, std::vector<std::uint64_t> arguments,
                       std::optional<PortName> result = std::nullopt) {
        std::string text = operation;
        text.append(onTask == task ? "(" : "(wrong task, ");
        for (std::size_t index = 0; index < arguments.size(); ++index) {
            text.append(index == 0 ? "" : ", ").append(std::to_string(arguments[index]));
        }
        text.append(")");
        if (result) text.append(" -> ").append(std::to_string(*result));
        state().calls.push_back(text);
    }
};

}  // namespace lumenary::system::Mach::testing

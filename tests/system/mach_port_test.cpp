#include "system/mach_port.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "system/fake_mach_kernel.hpp"

namespace lumenary::system::Mach {
namespace {

using testing::FakeMachKernel;
using Calls = std::vector<std::string>;
using Receive = Port<ReceiveRight, FakeMachKernel>;
using Send = Port<SendRight, FakeMachKernel>;
using SendOnce = Port<SendOnceRight, FakeMachKernel>;

std::string text(std::uint64_t number) { return std::to_string(number); }

class MachPort : public ::testing::Test {
protected:
    void SetUp() override { FakeMachKernel::reset(); }
    void TearDown() override { EXPECT_TRUE(FakeMachKernel::state().entries.empty()) << "a right was leaked"; }
};

TEST(MachPortOnThisPlatform, EveryConstructorThrowsAtOnce) {
    const auto expectUnavailable = [](auto make) {
        try {
            make();
            ADD_FAILURE() << "made a port";
        } catch (const UnavailableOnThisPlatform& error) {
            EXPECT_STREQ(error.what(), "not available on this platform");
        }
    };
    expectUnavailable([] { Port<ReceiveRight> port; });
    expectUnavailable([] { Port<ReceiveRight> port(5); });
    expectUnavailable([] { Port<ReceiveRight> port(5, 77); });
    expectUnavailable([] { Port<SendRight> port(5); });
    expectUnavailable([] { Port<SendOnceRight> port(5); });
}

TEST_F(MachPort, AReceiveRightIsGuardedWhenMadeAndDestroyedWithItsGuard) {
    PortContext context = 0;
    {
        Receive receive;
        receive.withBorrowedNameAndContext([&](PortName name, PortContext guard) {
            EXPECT_EQ(name, 0x1003u);
            context = guard;
        });
        EXPECT_LE(context, 0xFFFFFFFFu) << "a 32-bit random number";
        EXPECT_EQ(FakeMachKernel::state().entries[0x1003].guard, context);
    }
    EXPECT_EQ(FakeMachKernel::takeCalls(),
              (Calls{"allocate(" + text(MACH_PORT_RIGHT_RECEIVE) + ") -> 4099", "guard(4099, " + text(context) + ", 0)",
                     "destruct(4099, 0, " + text(context) + ")"}));
}

TEST_F(MachPort, TakingOverANamedReceiveRightGuardsItUnlessItsContextIsGiven) {
    FakeMachKernel::state().entries[40].receive = true;
    FakeMachKernel::state().entries[41] = {.receive = true, .guard = 1234};
    {
        Receive guarded(40);
        Receive alreadyGuarded(41, 1234);
    }
    const Calls calls = FakeMachKernel::takeCalls();
    ASSERT_EQ(calls.size(), 3u);
    EXPECT_EQ(calls[0].rfind("guard(40, ", 0), 0u);
    EXPECT_EQ(calls[1], "destruct(41, 0, 1234)");
    EXPECT_EQ(calls[2].rfind("destruct(40, 0, ", 0), 0u);
}

TEST_F(MachPort, RelinquishHandsTheRightOverWithoutAnyCall) {
    Receive receive;
    FakeMachKernel::takeCalls();
    const auto [name, context] = std::move(receive).relinquish();
    EXPECT_TRUE(FakeMachKernel::takeCalls().empty());
    EXPECT_EQ(FakeMachKernel::state().entries[name].guard, context) << "still guarded, now the caller's";
    { Receive again(name, context); }  // the caller releases it
    FakeMachKernel::state().entries[9].sendReferences = 1;
    EXPECT_EQ(Send(9).relinquish(), 9u);
    EXPECT_TRUE(FakeMachKernel::state().entries.contains(9));
    FakeMachKernel::state().entries.erase(9);
}

TEST_F(MachPort, UnguardAndRelinquishLeavesTheRightUnguarded) {
    Receive receive;
    PortContext context = 0;
    receive.withBorrowedNameAndContext([&](PortName, PortContext guard) { context = guard; });
    FakeMachKernel::takeCalls();
    const PortName name = std::move(receive).unguardAndRelinquish();
    EXPECT_EQ(FakeMachKernel::takeCalls(), (Calls{"unguard(4099, " + text(context) + ")"}));
    EXPECT_TRUE(FakeMachKernel::state().entries[name].receive) << "the right still exists";
    EXPECT_FALSE(FakeMachKernel::state().entries[name].guard.has_value());
    FakeMachKernel::state().entries.erase(name);
}

TEST_F(MachPort, SendRightsAreMadeUnderTheSameNameAndDeallocated) {
    {
        Receive receive;
        FakeMachKernel::takeCalls();
        {
            Send send = receive.makeSendRight();
            EXPECT_EQ(send.withBorrowedName([](PortName name) { return name; }), 4099u);
        }
        EXPECT_EQ(FakeMachKernel::takeCalls(),
                  (Calls{"insertRight(4099, 4099, " + text(MACH_MSG_TYPE_MAKE_SEND) + ")", "deallocate(4099)"}));
    }
    FakeMachKernel::takeCalls();
}

TEST_F(MachPort, SendOnceRightsGetANameOfTheirOwn) {
    Receive receive;
    FakeMachKernel::takeCalls();
    {
        SendOnce once = receive.makeSendOnceRight();
        EXPECT_EQ(once.withBorrowedName([](PortName name) { return name; }), 4100u);
    }
    EXPECT_EQ(FakeMachKernel::takeCalls(),
              (Calls{"extractRight(4099, " + text(MACH_MSG_TYPE_MAKE_SEND_ONCE) + ") -> 4100", "deallocate(4100)"}));
}

TEST_F(MachPort, CopyingASendRightAddsAReferenceReleasedWithItsOwnValue) {
    Receive receive;
    {
        Send send = receive.makeSendRight();
        auto copy = send.copySendRight();
        ASSERT_TRUE(std::holds_alternative<Send>(copy));
        EXPECT_EQ(FakeMachKernel::state().entries[4099].sendReferences, 2u);
        FakeMachKernel::takeCalls();
    }
    EXPECT_EQ(FakeMachKernel::takeCalls(), (Calls{"deallocate(4099)", "deallocate(4099)"}));
}

struct DeadNameCase {
    const char* name;
    KernelReturn result;
};

class MachPortDeadName : public MachPort, public ::testing::WithParamInterface<DeadNameCase> {};

// The send right stays live: it still owns its reference to the dead name.
TEST_P(MachPortDeadName, CopyingReportsDeadNameAndLeavesTheRightLive) {
    FakeMachKernel::state().entries[50].sendReferences = 1;
    {
        Send send(50);
        FakeMachKernel::state().nextInsertResult = GetParam().result;
        const auto copy = send.copySendRight();
        ASSERT_TRUE(std::holds_alternative<PortRightError>(copy));
        EXPECT_EQ(std::get<PortRightError>(copy), PortRightError::deadName);
        FakeMachKernel::takeCalls();
    }
    EXPECT_EQ(FakeMachKernel::takeCalls(), Calls{"deallocate(50)"});
}

INSTANTIATE_TEST_SUITE_P(Results, MachPortDeadName,
                         ::testing::Values(DeadNameCase{"InvalidName", KERN_INVALID_NAME},
                                           DeadNameCase{"InvalidCapability", KERN_INVALID_CAPABILITY}),
                         [](const auto& testCase) { return std::string(testCase.param.name); });

TEST_F(MachPort, ASendRightMayBeADeadName) {
    FakeMachKernel::state().entries[MACH_PORT_DEAD].dead = true;
    { Send dead{MACH_PORT_DEAD}; }
    EXPECT_EQ(FakeMachKernel::takeCalls(), Calls{"deallocate(" + text(MACH_PORT_DEAD) + ")"});
    FakeMachKernel::state().entries.erase(MACH_PORT_DEAD);
}

TEST_F(MachPort, TheMakeSendCountIsReadAndWrittenByOneCallEach) {
    Receive receive;
    receive.setMakeSendCount(4);
    EXPECT_EQ(receive.makeSendCount(), 4u);
    FakeMachKernel::takeCalls();
    receive.modifyMakeSendCount([](std::uint32_t& count) { count += 1; });
    EXPECT_EQ(FakeMachKernel::takeCalls(),
              (Calls{"getAttributes(4099, " + text(MACH_PORT_RECEIVE_STATUS) + ", " + text(MACH_PORT_RECEIVE_STATUS_COUNT) + ")",
                     "setMakeSendCount(4099, 5)"}));
    EXPECT_EQ(FakeMachKernel::state().entries[4099].makeSendCount, 5u);
}

TEST_F(MachPort, AMoveLeavesTheSourceEmptySoEachRightIsReleasedOnce) {
    {
        Receive first;
        Receive moved(std::move(first));
        Receive assigned;
        assigned = std::move(moved);  // releases the right `assigned` held
        FakeMachKernel::takeCalls();
    }
    const Calls calls = FakeMachKernel::takeCalls();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].rfind("destruct(4099, 0, ", 0), 0u);
}

TEST(MachPortDeathTest, BrokenPreconditionsStopTheProcess) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    FakeMachKernel::reset();
    EXPECT_DEATH(Receive{MACH_PORT_NULL}, "MACH_PORT_NULL");
    EXPECT_DEATH((Receive{MACH_PORT_NULL, 1}), "MACH_PORT_NULL");
    EXPECT_DEATH(Send{MACH_PORT_NULL}, "MACH_PORT_NULL");
    EXPECT_DEATH(SendOnce{MACH_PORT_NULL}, "MACH_PORT_NULL");
    EXPECT_DEATH(Receive{MACH_PORT_DEAD}, "cannot be MACH_PORT_DEAD");
    EXPECT_DEATH(Receive{77}, "Mach call failed with kern_return_t") << "guarding a name without a receive right";
    EXPECT_DEATH(
        {
            FakeMachKernel::state().extractedRightType = MACH_MSG_TYPE_COPY_SEND;
            Receive receive;
            static_cast<void>(receive.makeSendOnceRight());
        },
        "extracting a send-once right gave something else");
}

}  // namespace
}  // namespace lumenary::system::Mach

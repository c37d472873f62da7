#include "FaultLog.h"
#include "platform/Event.h"

#include <gtest/gtest.h>
#include <stdexcept>
#include <memory>
#include <string>
#include <utility>
#include <vector>

using namespace fk;

namespace {

using TTextEvent = TEvent<TObject*, std::string>;
using TTextEvents = TEventList<TObject*, std::string>;

struct Listener : TObject {
    std::vector<std::string> seen;
    void OnText(TObject*, std::string s) { seen.push_back(s); }
    void OnOther(TObject*, std::string s) { seen.push_back("other:" + s); }
    void Throw(TObject*, std::string) { throw std::runtime_error("handler failed"); }
};

struct Base : TObject {
    virtual void Handle(TObject*, std::string) {}
};
struct Derived : Base {
    std::string got;
    void Handle(TObject*, std::string s) override { got = s; }
};

} // namespace

TEST(Event, IdentityIsFunctionPlusObject)
{
    Listener a, b;
    EXPECT_TRUE(TTextEvent(&a, &Listener::OnText) == TTextEvent(&a, &Listener::OnText));
    EXPECT_FALSE(TTextEvent(&a, &Listener::OnText) == TTextEvent(&b, &Listener::OnText));
    EXPECT_FALSE(TTextEvent(&a, &Listener::OnText) == TTextEvent(&a, &Listener::OnOther));
    EXPECT_FALSE(TTextEvent(&a, &Listener::OnText) == TTextEvent());
    EXPECT_TRUE(TTextEvent() == TTextEvent());
}

TEST(Event, VirtualMethodsDispatchToTheObjectsOverride)
{
    Derived d;
    TTextEvent e(static_cast<Base*>(&d), &Base::Handle);
    e(nullptr, "x");
    EXPECT_EQ(d.got, "x");
}

TEST(EventList, AddAndRemoveFollowTheListRules)
{
    Listener a, b;
    TTextEvents list;
    EXPECT_FALSE(list.Add(TTextEvent()));                  // empty handler refused
    EXPECT_TRUE(list.Add(TTextEvent(&a, &Listener::OnText)));
    EXPECT_TRUE(list.Add(TTextEvent(&a, &Listener::OnText))); // already there: true, one entry
    EXPECT_TRUE(list.Add(TTextEvent(&b, &Listener::OnText)));
    EXPECT_EQ(list.Count(), 2u);
    EXPECT_TRUE(list.Remove(TTextEvent(&a, &Listener::OnText)));
    EXPECT_FALSE(list.Remove(TTextEvent(&a, &Listener::OnText)));
    EXPECT_EQ(list.Count(), 1u);
}

TEST(EventList, RaiseCallsSlotThenListInOrderAndReportsExceptions)
{
    test::TFaultLog faults;
    Listener a, b, c;
    std::vector<std::string> order;
    TTextEvent slot = TTextEvent::Bind(&order, [&](TObject*, std::string s) { order.push_back("slot:" + s); });
    TTextEvents list;
    list.Add(TTextEvent::Bind(&order, [&](TObject*, std::string s) { order.push_back("first:" + s); }, 1));
    list.Add(TTextEvent(&c, &Listener::Throw));
    list.Add(TTextEvent::Bind(&order, [&](TObject*, std::string s) { order.push_back("last:" + s); }, 2));
    // A string argument must reach every handler intact (nothing is moved from it).
    EXPECT_NO_THROW(RaiseEvent(slot, list, nullptr, std::string("v")));
    EXPECT_EQ(order, (std::vector<std::string>{"slot:v", "first:v", "last:v"}));
    // The slot throwing something that is no std::exception is reported as well.
    slot = TTextEvent::Bind(&order, [](TObject*, std::string) { throw 42; });
    EXPECT_NO_THROW(RaiseEvent(slot, list, nullptr, std::string("w")));
    EXPECT_EQ(order.back(), "last:w");
    EXPECT_EQ(faults.Lines(), (std::vector<std::string>{"an event handler: handler failed",
                                                        "an event handler: an exception of an unknown type",
                                                        "an event handler: handler failed"}));
}

TEST(EventList, RemovingDuringDispatchDoesNotCrash)
{
    TTextEvents list;
    int calls = 0;
    TTextEvent self;
    std::vector<TTextEvent> others;
    for (unsigned i = 0; i < 5; ++i)
        others.push_back(TTextEvent::Bind(&calls, [&](TObject*, std::string) { ++calls; }, i + 10));
    // The first handler clears the whole list, including itself, while it runs.
    self = TTextEvent::Bind(&list, [&](TObject*, std::string) {
        ++calls;
        list.Clear();
    });
    list.Add(self);
    for (auto& o : others)
        list.Add(o);
    list.Dispatch(nullptr, "x");
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(list.Count(), 0u);
}

TEST(EventList, HandlersAddedDuringDispatchAreCalledOnceEvenWhenTheListGrows)
{
    TTextEvents list;
    std::vector<int> calls(64, 0);
    int adderCalls = 0;
    const TTextEvent adder = TTextEvent::Bind(&list, [&, tag = std::string("adder")](TObject*, std::string) {
        // Enough entries to move the list's storage while this handler runs.
        for (unsigned i = 0; i < calls.size(); ++i)
            list.Add(TTextEvent::Bind(&calls, [&calls, i](TObject*, std::string) { ++calls[i]; }, i));
        // The handler's own state must still be there after the move.
        if (tag == "adder")
            ++adderCalls;
    });
    list.Add(adder);
    list.Dispatch(nullptr, "x");
    EXPECT_EQ(adderCalls, 1);
    EXPECT_EQ(calls, std::vector<int>(64, 1));
    EXPECT_EQ(list.Count(), 65u);
    list.Dispatch(nullptr, "y"); // the adds are duplicates now
    EXPECT_EQ(adderCalls, 2);
    EXPECT_EQ(calls, std::vector<int>(64, 2));
    EXPECT_EQ(list.Count(), 65u);
}

TEST(EventList, NestedDispatchWithRemovalsKeepsOrderAndRunningHandlersAlive)
{
    TTextEvents list;
    std::vector<std::string> order;
    int depth = 0;
    const TTextEvent a = TTextEvent::Bind(&order, [&](TObject*, std::string s) {
        order.push_back("a" + s);
        if (++depth == 1)
            list.Dispatch(nullptr, s + "'"); // the same list again, from inside its dispatch
        --depth;
    }, 1);
    const TTextEvent c = TTextEvent::Bind(&order, [&](TObject*, std::string s) { order.push_back("c" + s); }, 3);
    list.Add(a);
    // b removes itself and then still uses its own captured state.
    list.Add(TTextEvent::Bind(&order, [&, name = std::string("b")](TObject*, std::string s) {
        list.Remove(TTextEvent::Bind(&order, [](TObject*, std::string) {}, 2));
        EXPECT_EQ(list.Count(), 2u);
        EXPECT_FALSE(list.Remove(TTextEvent::Bind(&order, [](TObject*, std::string) {}, 2)));
        order.push_back(name + s);
    }, 2));
    list.Add(c);
    list.Dispatch(nullptr, "1");
    // The entry behind the removed one is not skipped; the removed one is not called again.
    EXPECT_EQ(order, (std::vector<std::string>{"a1", "a1'", "b1'", "c1'", "c1"}));
    EXPECT_EQ(list.Count(), 2u);
    EXPECT_TRUE(list.Contains(a));
    EXPECT_TRUE(list.Contains(c));

    // Removed and added again during a dispatch: listed once, called at its new place.
    order.clear();
    list.Clear();
    list.Add(TTextEvent::Bind(&order, [&](TObject*, std::string s) {
        order.push_back("x" + s);
        list.Remove(c);
        list.Add(c);
    }, 4));
    list.Add(c);
    list.Dispatch(nullptr, "2");
    EXPECT_EQ(order, (std::vector<std::string>{"x2", "c2"}));
    EXPECT_EQ(list.Count(), 2u);
}

namespace {

// Captured state that counts its own end (a moved-from copy does not count).
struct Witness {
    std::shared_ptr<int> deaths;
    std::string name;
    bool live = true;
    Witness(std::shared_ptr<int> d, std::string n)
        : deaths(std::move(d))
        , name(std::move(n))
    {
    }
    Witness(Witness&& other) noexcept
        : deaths(other.deaths)
        , name(other.name)
        , live(std::exchange(other.live, false))
    {
    }
    Witness(const Witness&) = delete;
    ~Witness()
    {
        if (live)
            ++*deaths;
    }
};

struct SelfClearing : TObject {
    TTextEvent* slot = nullptr;
    std::vector<std::string> seen;
    void Handle(TObject*, std::string s)
    {
        *slot = nullptr; // the binding that called us goes away
        seen.push_back(s);
    }
};

} // namespace

TEST(Event, AHandlerMayReassignOrClearItsOwnSlotWhileItRuns)
{
    auto deaths = std::make_shared<int>(0);
    std::vector<std::string> seen;
    TTextEvent slot;
    // Reassigned from inside: the running handler's captured state stays alive until it
    // returns, then goes with its last reference.
    slot = TTextEvent::Bind(&seen, [&, w = Witness(deaths, "first")](TObject*, std::string s) {
        slot = TTextEvent::Bind(&seen, [&](TObject*, std::string t) { seen.push_back("second:" + t); }, 2);
        EXPECT_EQ(*deaths, 0);
        seen.push_back(w.name + ":" + s);
    }, 1);
    slot.Invoke(nullptr, "a");
    EXPECT_EQ(*deaths, 1);
    slot.Invoke(nullptr, "b");
    EXPECT_EQ(seen, (std::vector<std::string>{"first:a", "second:b"}));

    // Cleared from inside, through the throwing call operator and through RaiseEvent.
    seen.clear();
    slot = TTextEvent::Bind(&seen, [&, w = Witness(deaths, "cleared")](TObject*, std::string s) {
        slot = nullptr;
        EXPECT_EQ(*deaths, 1);
        seen.push_back(w.name + ":" + s);
    });
    slot(nullptr, "c");
    EXPECT_FALSE(slot);
    EXPECT_EQ(*deaths, 2);
    TTextEvents list;
    slot = TTextEvent::Bind(&seen, [&, w = Witness(deaths, "raised")](TObject*, std::string s) {
        slot = nullptr;
        EXPECT_EQ(*deaths, 2);
        seen.push_back(w.name + ":" + s);
    });
    RaiseEvent(slot, list, nullptr, std::string("d"));
    EXPECT_EQ(*deaths, 3);
    EXPECT_EQ(seen, (std::vector<std::string>{"cleared:c", "raised:d"}));

    // A bound member function that clears its own slot.
    SelfClearing owner;
    TTextEvent memberSlot(&owner, &SelfClearing::Handle);
    owner.slot = &memberSlot;
    memberSlot.Invoke(nullptr, "e");
    EXPECT_FALSE(memberSlot);
    EXPECT_EQ(owner.seen, (std::vector<std::string>{"e"}));
}

#include "platform/Event.h"

#include <gtest/gtest.h>
#include <stdexcept>
#include <string>
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

TEST(EventList, RaiseCallsSlotThenListInOrderAndSwallowsExceptions)
{
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

#include "platform/Component.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <string>
#include <vector>

using namespace fk;

namespace {

std::vector<std::string>* g_log = nullptr;

struct Probe : TComponent {
    Probe(TComponent* owner, std::string name)
        : TComponent(owner)
    {
        SetName(std::move(name));
    }
    ~Probe() override
    {
        if (g_log)
            g_log->push_back("free " + Name() + (IsDestroying() ? " (destroying)" : ""));
    }
    TComponent* watched = nullptr;
    void Watch(TComponent* c)
    {
        watched = c;
        c->FreeNotification(this);
    }

protected:
    void Notification(TComponent* c, TOperation op) override
    {
        TComponent::Notification(c, op);
        if (op == opRemove && c == watched) {
            watched = nullptr;
            if (g_log)
                g_log->push_back(Name() + " forgets " + c->Name());
        }
    }
};

} // namespace

TEST(Component, OwnerFreesWhatItOwnsAndChildrenKnowTheyAreGoing)
{
    std::vector<std::string> log;
    g_log = &log;
    {
        auto root = Make<Probe>("root");
        Create<Probe>(root.get(), "a");
        Probe* b = Create<Probe>(root.get(), "b");
        Create<Probe>(b, "b1");
        EXPECT_EQ(root->ComponentCount(), 2);
        EXPECT_EQ(b->Owner(), root.get());
    }
    g_log = nullptr;
    // Last created first, each one's own destructor before what it owns; every destructor
    // already sees the destroying flag.
    EXPECT_EQ(log, (std::vector<std::string>{"free root (destroying)", "free b (destroying)",
                                             "free b1 (destroying)", "free a (destroying)"}));
}

TEST(Component, FreeingAChildRemovesItFromItsOwner)
{
    auto root = Make<Probe>("root");
    Probe* a = Create<Probe>(root.get(), "a");
    TComponent::Free(a);
    EXPECT_EQ(root->ComponentCount(), 0);
}

TEST(Component, FreeNotificationWorksBothWaysAndCanBeWithdrawn)
{
    std::vector<std::string> log;
    g_log = &log;
    auto watcher = Make<Probe>("watcher");
    {
        auto target = Make<Probe>("target");
        watcher->Watch(target.get());
        target->FreeNotification(watcher.get()); // twice: no second notice
    }
    EXPECT_EQ(watcher->watched, nullptr);
    EXPECT_EQ(std::count(log.begin(), log.end(), "watcher forgets target"), 1);

    log.clear();
    {
        auto target = Make<Probe>("target2");
        watcher->Watch(target.get());
        target->RemoveFreeNotification(watcher.get());
    }
    EXPECT_TRUE(std::find(log.begin(), log.end(), "watcher forgets target2") == log.end());

    // The watcher going first must not leave a dangling entry in the target.
    auto target = Make<Probe>("target3");
    {
        auto shortLived = Make<Probe>("short");
        shortLived->Watch(target.get());
    }
    g_log = nullptr;
    target.reset(); // would touch freed memory if "short" were still registered
    SUCCEED();
}

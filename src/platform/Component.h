#pragma once
// The component base: ownership and destruction notices.
//
// A component may have an owner; the owner frees what it owns when it is destroyed.
// Components are created through Create<T>(owner, ...) (owned) or Make<T>(...) (held by a
// TOwned pointer); these and the owner are the only places that allocate or free them.
//
// A component that keeps a pointer to another asks to be told of its destruction with
// FreeNotification; it then receives Notification(other, opRemove) and forgets the pointer.
// IsDestroying() tells code that runs during destruction (including a derived class's own
// destructor and handlers it triggers) that the component is on its way out.
#include "platform/Event.h"

#include <cassert>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace fk {

enum class TOperation { opInsert, opRemove };
using enum TOperation;

enum TComponentStateFlag : unsigned {
    csLoading = 0x01,
    csDestroying = 0x02,
    csDesigning = 0x04,
};

class TComponent : public TObject {
public:
    explicit TComponent(TComponent* owner = nullptr);
    ~TComponent() override;

    TComponent(const TComponent&) = delete;
    TComponent& operator=(const TComponent&) = delete;

    TComponent* Owner() const noexcept { return owner_; }
    const std::string& Name() const noexcept { return name_; }
    void SetName(std::string name) { name_ = std::move(name); }

    int ComponentCount() const noexcept { return static_cast<int>(components_.size()); }
    TComponent* Components(int index) const { return components_.at(static_cast<std::size_t>(index)); }

    unsigned ComponentState() const noexcept { return state_; }
    bool IsDestroying() const noexcept { return (state_ & csDestroying) != 0; }
    bool IsLoading() const noexcept { return (state_ & csLoading) != 0; }
    bool IsDesigning() const noexcept { return (state_ & csDesigning) != 0; }

    // Marks the component (and everything it owns) as being destroyed. Called before any
    // destructor runs when the component is freed through its owner or a TOwned pointer;
    // a derived destructor may call it first thing as well.
    void Destroying() noexcept;

    // Asks that `other` be sent Notification(this, opRemove) when this component is
    // destroyed, and this one when `other` is. Calling it twice has no further effect.
    void FreeNotification(TComponent* other);
    void RemoveFreeNotification(TComponent* other) noexcept;

    // Frees a component through its proper path (destroying flags first, then delete).
    static void Free(TComponent* component) noexcept;

protected:
    // Told when a component this one refers to (or owns) goes away.
    virtual void Notification(TComponent* component, TOperation operation);
    // Called after the component's properties have been set up by its loader.
    virtual void Loaded() { state_ &= ~unsigned(csLoading); }
    void SetComponentState(unsigned flags) noexcept { state_ |= flags; }
    void ClearComponentState(unsigned flags) noexcept { state_ &= ~flags; }

private:
    void InsertComponent(TComponent* component);
    void RemoveComponent(TComponent* component) noexcept;
    void RemoveNotification(TComponent* component) noexcept;

    TComponent* owner_ = nullptr;
    std::string name_;
    unsigned state_ = 0;
    std::vector<TComponent*> components_;   // owned, freed by this component
    std::vector<TComponent*> freeNotifies_; // told when this one goes, and vice versa
};

struct TComponentDeleter {
    void operator()(TComponent* c) const noexcept { TComponent::Free(c); }
};

template <class T>
using TOwned = std::unique_ptr<T, TComponentDeleter>;

// An owned component: the owner frees it.
template <class T, class... A>
T* Create(TComponent* owner, A&&... args)
{
    assert(owner != nullptr && "Create needs an owner; use Make for a component without one");
    return new T(owner, std::forward<A>(args)...);
}

// A component without an owner, freed by the returned pointer.
template <class T, class... A>
TOwned<T> Make(A&&... args)
{
    return TOwned<T>(new T(nullptr, std::forward<A>(args)...));
}

} // namespace fk

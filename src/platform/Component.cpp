#include "platform/Component.h"

#include <algorithm>

namespace fk {

TComponent::TComponent(TComponent* owner)
{
    if (owner)
        owner->InsertComponent(this);
}

TComponent::~TComponent()
{
    Destroying();
    // Tell everyone who asked; they drop their pointers to this one.
    while (!freeNotifies_.empty()) {
        TComponent* other = freeNotifies_.back();
        freeNotifies_.pop_back();
        other->RemoveNotification(this);
        other->Notification(this, opRemove);
    }
    // Free what this component owns, last created first.
    while (!components_.empty()) {
        TComponent* child = components_.back();
        child->Destroying();
        components_.pop_back();
        child->owner_ = nullptr;
        delete child;
    }
    if (owner_) {
        TComponent* owner = owner_;
        owner->RemoveComponent(this);
        if (!owner->IsDestroying())
            owner->Notification(this, opRemove);
    }
}

void TComponent::Destroying() noexcept
{
    if (IsDestroying())
        return;
    state_ |= csDestroying;
    for (TComponent* child : components_)
        child->Destroying();
}

void TComponent::Free(TComponent* component) noexcept
{
    if (!component)
        return;
    component->Destroying();
    delete component;
}

void TComponent::FreeNotification(TComponent* other)
{
    if (!other || other == this)
        return;
    if (std::find(freeNotifies_.begin(), freeNotifies_.end(), other) == freeNotifies_.end())
        freeNotifies_.push_back(other);
    if (std::find(other->freeNotifies_.begin(), other->freeNotifies_.end(), this) == other->freeNotifies_.end())
        other->freeNotifies_.push_back(this);
}

void TComponent::RemoveFreeNotification(TComponent* other) noexcept
{
    if (!other)
        return;
    RemoveNotification(other);
    other->RemoveNotification(this);
}

void TComponent::Notification(TComponent* component, TOperation operation)
{
    if (operation == opRemove)
        RemoveNotification(component);
}

void TComponent::InsertComponent(TComponent* component)
{
    components_.push_back(component);
    component->owner_ = this;
}

void TComponent::RemoveComponent(TComponent* component) noexcept
{
    components_.erase(std::remove(components_.begin(), components_.end(), component), components_.end());
    component->owner_ = nullptr;
}

void TComponent::RemoveNotification(TComponent* component) noexcept
{
    freeNotifies_.erase(std::remove(freeNotifies_.begin(), freeNotifies_.end(), component), freeNotifies_.end());
}

} // namespace fk

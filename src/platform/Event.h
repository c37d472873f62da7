#pragma once
// Event slots and multicast event lists.
//
// A TEvent is one handler: a callable bound to an object. Two handlers are equal when both
// the function and the bound object are equal, so a list can refuse duplicates and a
// listener can remove exactly what it added. The first argument of every event is the
// Sender by convention.
//
// A TEventList keeps further handlers of one event in the order they were added. Raising
// an event (RaiseEvent) calls the slot first and then every handler of the list; whatever
// a handler throws is caught and reported (TFaultReport: standard error and the diagnostic
// trace), and dispatch goes on with the next handler.
// A handler may add or remove list entries while the list is being dispatched, also from a
// nested dispatch of the same list: entries removed meanwhile are only marked, and the list
// drops them when the outermost dispatch ends, so a removed handler that is running stays
// alive until it returns, and the handlers behind it are neither skipped nor called twice.
// Handlers added meanwhile are called by the same dispatch. A list is dispatched and changed
// on one thread at a time (a port raises each event on one thread).
//
// A slot may be reassigned or cleared by its own handler while that handler runs: a handler
// that carries state (a callable made with Bind) is held for the length of its call, and a
// bound member function or plain function reads nothing of its binding once it is called.
#include "platform/FaultReport.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>
#include <type_traits>
#include <typeinfo>
#include <vector>

namespace fk {

// Root of everything that can be a Sender.
class TObject {
public:
    virtual ~TObject() = default;
};

template <class... Args>
class TEvent {
public:
    TEvent() = default;
    TEvent(std::nullptr_t) {}

    // A member function bound to an object.
    template <class T, class U>
    TEvent(T* object, void (U::*method)(Args...))
    {
        static_assert(std::is_base_of_v<U, T>, "the method must belong to the object's class");
        static_assert(sizeof(method) <= sizeof(Binding::method), "unexpected member pointer size");
        auto b = std::make_shared<Binding>();
        b->object = static_cast<const void*>(static_cast<U*>(object));
        b->type = &typeid(method);
        std::memcpy(b->method, &method, sizeof(method));
        b->target = static_cast<U*>(object);
        b->invoke = &CallMember<U>;
        binding_ = std::move(b);
    }

    // A plain function; its identity is the function itself.
    explicit TEvent(void (*function)(Args...))
    {
        if (!function)
            return;
        auto b = std::make_shared<Binding>();
        b->object = nullptr;
        b->type = &typeid(function);
        static_assert(sizeof(function) <= sizeof(Binding::method));
        std::memcpy(b->method, &function, sizeof(function));
        b->invoke = &CallFunction;
        binding_ = std::move(b);
    }

    // Any callable, with an explicit identity: handlers made with the same key and tag
    // compare equal. Meant for small adapters (the tool's views, tests).
    template <class F>
    static TEvent Bind(const void* key, F&& callable, unsigned tag = 0)
    {
        using Stored = CallableBinding<std::decay_t<F>>;
        TEvent e;
        auto b = std::make_shared<Stored>(std::forward<F>(callable));
        b->object = key;
        b->type = &typeid(TEvent);
        std::memcpy(b->method, &tag, sizeof(tag));
        b->invoke = &Stored::Call;
        b->stateful = true;
        e.binding_ = std::move(b);
        return e;
    }

    explicit operator bool() const noexcept { return binding_ != nullptr; }
    bool Assigned() const noexcept { return binding_ != nullptr; }

    // The object the handler is bound to (nullptr for plain functions).
    const void* Object() const noexcept { return binding_ ? binding_->object : nullptr; }

    friend bool operator==(const TEvent& a, const TEvent& b) noexcept
    {
        if (a.binding_ == b.binding_)
            return true;
        if (!a.binding_ || !b.binding_)
            return false;
        return a.binding_->object == b.binding_->object && *a.binding_->type == *b.binding_->type
            && std::memcmp(a.binding_->method, b.binding_->method, sizeof(Binding::method)) == 0;
    }

    // Calls the handler if one is assigned. Exceptions pass through.
    void operator()(Args... args) const { Call(std::forward<Args>(args)...); }

    // Calls the handler if one is assigned; whatever it throws is reported, not passed on.
    void Invoke(Args... args) const noexcept
    {
        try {
            Call(std::forward<Args>(args)...);
        } catch (...) {
            TFaultReport::Caught("an event handler");
        }
    }

private:
    template <class...>
    friend class TEventList;

    // A handler is called through invoke, straight to the member function, plain function or
    // callable it was made with. Member and plain functions copy what they need out of the
    // binding before the call; only a callable lives in its binding while it runs (stateful).
    struct Binding {
        void (*invoke)(const Binding&, Args...) = nullptr;
        bool stateful = false;
        void* target = nullptr;           // the object a member function is called on
        const void* object = nullptr;     // identity
        const std::type_info* type = nullptr;
        alignas(void*) unsigned char method[2 * sizeof(void*)] = {};
    };

    template <class F>
    struct CallableBinding : Binding {
        template <class G>
        explicit CallableBinding(G&& g)
            : callable(std::forward<G>(g))
        {
        }
        static void Call(const Binding& b, Args... args)
        {
            static_cast<const CallableBinding&>(b).callable(std::forward<Args>(args)...);
        }
        mutable F callable; // called like the copy a std::function would hold
    };

    template <class U>
    static void CallMember(const Binding& b, Args... args)
    {
        void (U::*method)(Args...);
        std::memcpy(&method, b.method, sizeof(method));
        (static_cast<U*>(b.target)->*method)(std::forward<Args>(args)...);
    }

    template <class... A>
    void Call(A&&... args) const
    {
        const Binding* b = binding_.get();
        if (!b)
            return;
        if (b->stateful) [[unlikely]] {
            const std::shared_ptr<const Binding> hold = binding_; // the handler may reassign this slot
            hold->invoke(*hold, std::forward<A>(args)...);
            return;
        }
        b->invoke(*b, std::forward<A>(args)...);
    }

    static void CallFunction(const Binding& b, Args... args)
    {
        void (*function)(Args...);
        std::memcpy(&function, b.method, sizeof(function));
        function(std::forward<Args>(args)...);
    }

    std::shared_ptr<const Binding> binding_;
};

template <class... Args>
class TEventList {
public:
    using Handler = TEvent<Args...>;

    TEventList() = default;
    TEventList(const TEventList&) = delete;
    TEventList& operator=(const TEventList&) = delete;

    // Appends the handler unless it is empty or already listed. False for an empty handler
    // or when no memory is left; true otherwise, also when it was already listed.
    bool Add(const Handler& handler) noexcept
    {
        if (!handler)
            return false;
        if (Contains(handler))
            return true;
        try {
            entries_.push_back(Entry{handler, false});
        } catch (const std::bad_alloc&) {
            return false;
        }
        return true;
    }

    // Erases every equal entry; true when one was found.
    bool Remove(const Handler& handler) noexcept
    {
        bool found = false;
        if (depth_ == 0) {
            found = std::erase_if(entries_, [&](const Entry& e) { return e.handler == handler; }) > 0;
        } else {
            for (Entry& e : entries_) {
                if (!e.removed && e.handler == handler) {
                    e.removed = true;
                    ++removed_;
                    found = true;
                }
            }
        }
        return found;
    }

    bool Contains(const Handler& handler) const noexcept
    {
        for (const Entry& e : entries_)
            if (!e.removed && e.handler == handler)
                return true;
        return false;
    }

    std::size_t Count() const noexcept { return entries_.size() - removed_; }
    bool Empty() const noexcept { return Count() == 0; }

    void Clear() noexcept
    {
        if (depth_ == 0) {
            entries_.clear();
            return;
        }
        for (Entry& e : entries_) {
            if (!e.removed) {
                e.removed = true;
                ++removed_;
            }
        }
    }

    // Calls every handler in list order; what one throws is reported, and the next one runs.
    void Dispatch(Args... args) const noexcept
    {
        ++depth_;
        // The vector may grow while a handler runs; the binding it points to does not move,
        // and a removed entry keeps its binding until the outermost dispatch ends. Nothing
        // is erased before that, so the index never passes the end.
        for (std::size_t i = 0; entries_.begin() + i != entries_.end(); ++i) {
            const Entry& entry = entries_.begin()[i];
            if (entry.removed)
                continue;
            const typename Handler::Binding* binding = entry.handler.binding_.get();
            try {
                binding->invoke(*binding, args...);
            } catch (...) {
                TFaultReport::Caught("an event handler");
            }
        }
        if (--depth_ == 0 && removed_ != 0) {
            std::erase_if(entries_, [](const Entry& e) { return e.removed; });
            removed_ = 0;
        }
    }

private:
    struct Entry {
        Handler handler;
        bool removed;
    };
    // Mutable: a dispatch of a const list still has to drop what its handlers removed.
    mutable std::vector<Entry> entries_;
    mutable std::size_t removed_ = 0; // entries marked removed during a dispatch
    mutable unsigned depth_ = 0;      // dispatches in progress
};

// Calls the slot if assigned, then every handler of the list; exceptions are reported.
template <class... Args>
void RaiseEventWith(const TEvent<Args...>& slot, const TEventList<Args...>& list,
                    std::type_identity_t<Args>... args) noexcept
{
    // Arguments are passed on as lvalues: every handler must see the same values.
    slot.Invoke(args...);
    list.Dispatch(args...);
}

template <class... Args, class... Actual>
void RaiseEvent(const TEvent<Args...>& slot, const TEventList<Args...>& list, Actual&&... args) noexcept
{
    // Taken as the event's own parameter types once, so that scalars travel in registers.
    RaiseEventWith<Args...>(slot, list, args...);
}

using TNotifyEvent = TEvent<TObject*>;
using TNotifyEvents = TEventList<TObject*>;

} // namespace fk

// Method pointers: an object and one of its member functions, typed by the
// arguments they take. They are the framework's events and callbacks.
#pragma once

#include <cstddef>
#include <type_traits>
#include <typeinfo>
#include <utility>

namespace Fw {

class TObject;

// Untyped view of any event: the invoker of one member function and the object
// it is called on. Two method pointers are equal when both halves are.
struct TMethod {
    void* Code = nullptr;
    void* Data = nullptr;

    bool operator==(const TMethod&) const = default;
    explicit operator bool() const { return Code != nullptr; }
};

// Identifies an event shape; published methods carry the tag of the event type
// they fit, so that assignment by name can refuse a method of another shape.
using TSignature = const std::type_info*;

template <class... Args>
class TEvent;

namespace Detail {

template <auto Member>
struct MemberInvoker;

// One invoker is instantiated per member function, so its address identifies
// the method exactly and survives a round trip through TMethod.
template <class C, class... Args, void (C::*Member)(Args...)>
struct MemberInvoker<Member> {
    using Class = C;
    using Event = TEvent<Args...>;
    static void Call(void* self, Args... args) {
        (static_cast<C*>(self)->*Member)(std::forward<Args>(args)...);
    }
};

}  // namespace Detail

template <class... Args>
class TEvent {
public:
    using Invoker = void (*)(void*, Args...);

    TEvent() = default;
    TEvent(std::nullptr_t) {}

    // Binds obj->*Member. The object is kept as a pointer to the class that
    // declares Member, which for the framework's single-inheritance classes
    // is the same address as the object itself.
    template <auto Member, class Obj>
    static TEvent Bind(Obj* obj) {
        using Inv = Detail::MemberInvoker<Member>;
        static_assert(std::is_same_v<typename Inv::Event, TEvent>,
                      "member function does not fit this event");
        TEvent e;
        e.FCode = &Inv::Call;
        e.FData = static_cast<void*>(static_cast<typename Inv::Class*>(obj));
        return e;
    }

    static TEvent FromMethod(const TMethod& m) {
        TEvent e;
        e.FCode = reinterpret_cast<Invoker>(m.Code);
        e.FData = m.Data;
        return e;
    }

    TMethod Method() const { return TMethod{reinterpret_cast<void*>(FCode), FData}; }
    void* Data() const { return FData; }

    static TSignature Signature() { return &typeid(TEvent); }

    explicit operator bool() const { return FCode != nullptr; }
    bool operator==(const TEvent&) const = default;

    void operator()(Args... args) const { FCode(FData, std::forward<Args>(args)...); }

private:
    Invoker FCode = nullptr;
    void* FData = nullptr;
};

// Binds a member function to an object, deducing the event type from the
// member function: Fw::MakeEvent<&TForm1::Button1Click>(form).
template <auto Member, class Obj>
auto MakeEvent(Obj* obj) {
    return Detail::MemberInvoker<Member>::Event::template Bind<Member>(obj);
}

using TNotifyEvent = TEvent<TObject*>;
using TThreadMethod = TEvent<>;

}  // namespace Fw

// COM for every unit: a pointer that holds its reference, and COM or OLE
// initialised for a scope. Units keep no copies of their own.
#pragma once

#include <windows.h>
#include <ole2.h>

#include <cstddef>
#include <utility>

namespace Fw {

// Holds one reference to an object counted by AddRef and Release (a COM
// interface, a framework interface such as IFormDesigner) and gives it back
// when reset, reassigned or destroyed.
template <class I>
class TComPtr {
public:
    TComPtr() = default;
    TComPtr(std::nullptr_t) {}
    // Takes a reference of its own to object.
    explicit TComPtr(I* object) : FObject(object) {
        if (FObject) FObject->AddRef();
    }
    // Takes over a reference the caller owns: one that a Create,
    // QueryInterface or CoCreateInstance handed out.
    static TComPtr Adopt(I* object) {
        TComPtr p;
        p.FObject = object;
        return p;
    }
    TComPtr(const TComPtr& other) : TComPtr(other.FObject) {}
    TComPtr(TComPtr&& other) noexcept : FObject(std::exchange(other.FObject, nullptr)) {}
    TComPtr& operator=(TComPtr other) noexcept {
        std::swap(FObject, other.FObject);
        return *this;
    }
    ~TComPtr() {
        if (FObject) FObject->Release();
    }

    I* Get() const { return FObject; }
    I* operator->() const { return FObject; }
    explicit operator bool() const { return FObject != nullptr; }

    // Gives back the reference held, and takes one to object.
    void Reset(I* object = nullptr) { *this = TComPtr(object); }
    // The slot a function that hands out a reference fills in; the
    // reference held before is given back first.
    I** Out() {
        Reset();
        return &FObject;
    }
    void** OutVoid() { return reinterpret_cast<void**>(Out()); }
    // Hands the reference held over to the caller.
    I* Detach() { return std::exchange(FObject, nullptr); }

private:
    I* FObject = nullptr;
};

// COM, or OLE (which includes it), initialised on the calling thread for
// the life of this object. Only an initialisation that succeeded (S_FALSE
// too: the thread had it already, and it is counted all the same) is
// undone; undoing a failed one would end an apartment that the thread had
// entered before.
class TComInit {
public:
    enum TKind { ikCom, ikOle };
    // With enabled false nothing is initialised (a component in the
    // designer stays inert).
    explicit TComInit(TKind kind = ikCom, bool enabled = true)
        : FKind(kind),
          FInitialized(enabled && SUCCEEDED(kind == ikOle ? OleInitialize(nullptr) : CoInitialize(nullptr))) {}
    ~TComInit() {
        if (!FInitialized) return;
        if (FKind == ikOle) OleUninitialize();
        else CoUninitialize();
    }
    TComInit(const TComInit&) = delete;
    TComInit& operator=(const TComInit&) = delete;

    bool Initialized() const { return FInitialized; }

private:
    TKind FKind;
    bool FInitialized;
};

}  // namespace Fw

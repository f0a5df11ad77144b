// Window subclassing and the message event dispatcher, on real windows.
#include <gtest/gtest.h>

#include <memory>

#include "framework/ObjectInstance.h"
#include "interceptors_support.h"

using namespace Fw;
using namespace Kit;
using namespace InterceptorsTest;

namespace {

WNDPROC SlotOf(HWND wnd) { return reinterpret_cast<WNDPROC>(GetWindowLongPtrA(wnd, GWLP_WNDPROC)); }

// The callback of one subclass: logs as its name; WM_USER + 1 it handles
// itself (Result 5), WM_USER + 2 it lets the window do first and adds 1000.
struct TCallback {
    std::string Name;
    TWindowSubclass* Subclass = nullptr;
    bool DeleteSubclassOn = false;  // deletes its subclass inside the callback

    void OnMessage(TObject* Sender, TMessage& Message, bool& Handled) {
        EXPECT_EQ(Subclass, Sender);
        if (Message.Msg >= WM_USER || Message.Msg == WM_DESTROY) Log().Add(Name, Message.Msg);
        if (Message.Msg == WM_USER + 1) {
            Message.Result = 5;
            Handled = true;
        } else if (Message.Msg == WM_USER + 2) {
            Subclass->CallOldProc(Message, Handled);
            Subclass->CallOldProc(Message, Handled);  // runs the window's procedure once only
            Message.Result += 1000;
        } else if (Message.Msg == WM_USER + 3 && DeleteSubclassOn) {
            delete Subclass;
            Subclass = nullptr;
        }
    }
    void Attach(TWindowSubclass* s, HWND wnd) {
        Subclass = s;
        s->OnWindowMessage = MakeEvent<&TCallback::OnMessage>(this);
        s->SetHandle(wnd);
    }
};

}  // namespace

TEST(WindowSubclass, HandledCallOldProcAndDestroyFollowTheirOrder) {
    Log().Clear();
    HWND wnd = PlainWindow();
    ASSERT_NE(nullptr, wnd);
    TWindowSubclass s;
    TCallback cb{"sub"};
    cb.Attach(&s, wnd);
    EXPECT_EQ(wnd, s.Handle());
    EXPECT_EQ(PlainProc(), s.PreviousProc());
    EXPECT_EQ(s.Proc(), SlotOf(wnd));

    EXPECT_EQ(5, SendMessageA(wnd, WM_USER + 1, 0, 0)) << "handled: the window's procedure is left out";
    EXPECT_EQ(kAnswer + 1000, SendMessageA(wnd, WM_USER + 2, 0, 0));
    EXPECT_EQ(kAnswer, SendMessageA(wnd, WM_USER + 3, 0, 0));
    EXPECT_EQ("sub:1025 sub:1026 wnd:1026 sub:1027 wnd:1027", Log().Text());

    // Hooked again: the previous procedure is put back and read again.
    s.SetHandle(wnd);
    EXPECT_EQ(PlainProc(), s.PreviousProc());

    Log().Clear();
    DestroyWindow(wnd);
    EXPECT_EQ("sub:2 wnd:2", Log().Text()) << "the callback first, then the window's own procedure";
    EXPECT_EQ(nullptr, s.Handle());
}

TEST(WindowSubclass, DestroyedWhileHookedGivesTheWindowItsProcedureBack) {
    HWND wnd = PlainWindow();
    auto* s = new TWindowSubclass;
    s->SetHandle(wnd);
    delete s;
    EXPECT_EQ(PlainProc(), SlotOf(wnd));
    // One deleted by its own callback: the message still reaches the window.
    TCallback cb{"self"};
    cb.DeleteSubclassOn = true;
    cb.Attach(new TWindowSubclass, wnd);
    EXPECT_EQ(kAnswer, SendMessageA(wnd, WM_USER + 3, 0, 0));
    EXPECT_EQ(PlainProc(), SlotOf(wnd));
    DestroyWindow(wnd);
}

// Two parties hook one window, and let go in either order: each message
// still reaches every party still hooked and the window's own procedure,
// no window calls freed code, and every thunk is gone with the window.
TEST(WindowSubclass, TwoSubclassesOnOneWindowLetGoInEitherOrder) {
    const int thunksBefore = ObjectInstanceCount();
    for (bool firstGoesFirst : {true, false}) {
        SCOPED_TRACE(firstGoesFirst ? "first hooked, first to go" : "last hooked, first to go");
        HWND wnd = PlainWindow();
        auto* a = new TWindowSubclass;
        auto* b = new TWindowSubclass;
        TCallback ca{"a"}, cb{"b"};
        ca.Attach(a, wnd);
        cb.Attach(b, wnd);
        Log().Clear();
        EXPECT_EQ(kAnswer, SendMessageA(wnd, WM_USER + 3, 0, 0));
        EXPECT_EQ("b:1027 a:1027 wnd:1027", Log().Text());

        Log().Clear();
        if (firstGoesFirst) {
            delete a;  // b still calls a's procedure: it stays, forwarding
            EXPECT_EQ(b->Proc(), SlotOf(wnd));
            EXPECT_EQ(kAnswer, SendMessageA(wnd, WM_USER + 3, 0, 0));
            EXPECT_EQ("b:1027 wnd:1027", Log().Text());
            delete b;
        } else {
            delete b;
            EXPECT_EQ(a->Proc(), SlotOf(wnd));
            EXPECT_EQ(kAnswer, SendMessageA(wnd, WM_USER + 3, 0, 0));
            EXPECT_EQ("a:1027 wnd:1027", Log().Text());
            delete a;
        }
        Log().Clear();
        EXPECT_EQ(kAnswer, SendMessageA(wnd, WM_USER + 3, 0, 0));
        EXPECT_EQ("wnd:1027", Log().Text());
        // The forwarder found itself on top again and stepped out.
        EXPECT_EQ(PlainProc(), SlotOf(wnd));
        DestroyWindow(wnd);
        EXPECT_EQ(thunksBefore, ObjectInstanceCount());
    }

    // The first party goes while the second stays until the window dies.
    HWND wnd = PlainWindow();
    auto* a = new TWindowSubclass;
    TWindowSubclass b;
    TCallback ca{"a"}, cb{"b"};
    ca.Attach(a, wnd);
    cb.Attach(&b, wnd);
    delete a;
    Log().Clear();
    DestroyWindow(wnd);
    EXPECT_EQ("b:2 wnd:2", Log().Text());
    EXPECT_EQ(nullptr, b.Handle());
    EXPECT_EQ(thunksBefore, ObjectInstanceCount()) << "b let go of its procedure with the window";
}

// A Unicode window read through the ANSI functions has a stand-in for its
// procedure, which only CallWindowProc can call; the text still arrives.
namespace {
std::wstring gWideText;
LRESULT CALLBACK WideProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_SETTEXT) gWideText = reinterpret_cast<const wchar_t*>(lParam);
    return DefWindowProcW(wnd, msg, wParam, lParam);
}
}  // namespace

TEST(WindowSubclass, AUnicodeWindowGetsItsMessagesThroughTheSystem) {
    WNDCLASSW wc{};
    wc.lpfnWndProc = &WideProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = L"KitInterceptorsTestWide";
    RegisterClassW(&wc);
    HWND wnd = CreateWindowExW(0, wc.lpszClassName, L"", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, wc.hInstance,
                               nullptr);
    ASSERT_TRUE(IsWindowUnicode(wnd));
    TWindowSubclass s;
    s.SetHandle(wnd);
    EXPECT_NE(reinterpret_cast<WNDPROC>(&WideProc), s.PreviousProc());
    SendMessageA(wnd, WM_SETTEXT, 0, reinterpret_cast<LPARAM>("壁紙"));
    EXPECT_EQ(L"\u58c1\u7d19", gWideText);
    s.SetHandle(nullptr);
    DestroyWindow(wnd);
}

// ---- The dispatcher ----

namespace {

struct THandlers {
    TMessageEventDispatcher* Dispatcher = nullptr;
    std::vector<std::string> Calls;
    TMessageEventDispatcher* Sender = nullptr;
    std::unique_ptr<TMessageEventDispatcher>* Owned = nullptr;

    void A(TObject* s, TMessage&, bool&) {
        Calls.push_back("A");
        Sender = static_cast<TMessageEventDispatcher*>(s);
    }
    void B(TObject*, TMessage& m, bool& handled) {
        Calls.push_back(handled ? "B(seen)" : "B");
        handled = true;
        m.Result = 9;
    }
    void C(TObject*, TMessage& m, bool&) { Calls.push_back(std::string("C").append(std::to_string(m.Result))); }
    // Deletes C and adds A while the walk runs.
    void Changer(TObject*, TMessage& m, bool&) {
        Calls.push_back("changer");
        Dispatcher->DeleteHandler(m.Msg, Ev<&THandlers::C>());
        Dispatcher->AddHandler(m.Msg, Ev<&THandlers::A>());
    }
    void Destroyer(TObject*, TMessage&, bool&) {
        Calls.push_back("destroyer");
        Owned->reset();
    }
    template <auto M>
    TMessageHandler Ev() {
        return MakeEvent<M>(this);
    }
};

}  // namespace

TEST(MessageEventDispatcher, CallsEveryHandlerInOrderAndCombinesHandled) {
    TMessageEventDispatcher d;
    THandlers h;
    TMessage m{WM_USER, 0, 0, 0};
    bool handled = false;
    d.DispatchEvent(nullptr, m, handled);
    EXPECT_FALSE(handled);
    EXPECT_TRUE(d.HasList(WM_USER)) << "a number looked up keeps its (empty) list";

    d.AddHandler(WM_USER, h.Ev<&THandlers::A>());
    d.AddHandler(WM_USER, h.Ev<&THandlers::B>());
    d.AddHandler(WM_USER, h.Ev<&THandlers::C>());
    d.AddHandler(WM_USER, h.Ev<&THandlers::B>());
    d.DispatchEvent(nullptr, m, handled);
    EXPECT_TRUE(handled);
    EXPECT_EQ((std::vector<std::string>{"A", "B", "C9", "B"}), h.Calls) << "each flag starts false";
    EXPECT_EQ(&d, h.Sender);

    d.DeleteHandler(WM_USER + 1, h.Ev<&THandlers::B>());
    EXPECT_EQ(4u, d.Handlers(WM_USER).size()) << "another message's list is not touched";
    d.DeleteHandler(WM_USER, h.Ev<&THandlers::B>());
    EXPECT_EQ((std::vector<TMessageHandler>{h.Ev<&THandlers::A>(), h.Ev<&THandlers::C>()}), d.Handlers(WM_USER));
    handled = true;
    d.DispatchEvent(nullptr, m, handled);
    EXPECT_TRUE(handled) << "never cleared";
}

TEST(MessageEventDispatcher, AWalkStaysSafeWhileItsHandlersChange) {
    TMessageEventDispatcher d;
    THandlers h;
    h.Dispatcher = &d;
    d.AddHandler(WM_USER, h.Ev<&THandlers::Changer>());
    d.AddHandler(WM_USER, h.Ev<&THandlers::C>());
    TMessage m{WM_USER, 0, 0, 0};
    bool handled = false;
    d.DispatchEvent(nullptr, m, handled);
    EXPECT_EQ((std::vector<std::string>{"changer"}), h.Calls) << "C deleted, A added: neither called in this walk";
    EXPECT_EQ((std::vector<TMessageHandler>{h.Ev<&THandlers::Changer>(), h.Ev<&THandlers::A>()}),
              d.Handlers(WM_USER));
    h.Calls.clear();
    d.DeleteHandler(WM_USER, h.Ev<&THandlers::Changer>());
    d.DispatchEvent(nullptr, m, handled);
    EXPECT_EQ((std::vector<std::string>{"A"}), h.Calls);

    // A handler that destroys the dispatcher ends the walk.
    auto owned = std::make_unique<TMessageEventDispatcher>();
    THandlers g;
    g.Owned = &owned;
    owned->AddHandler(WM_USER, g.Ev<&THandlers::Destroyer>());
    owned->AddHandler(WM_USER, g.Ev<&THandlers::A>());
    owned->DispatchEvent(nullptr, m, handled);
    EXPECT_EQ(nullptr, owned);
    EXPECT_EQ((std::vector<std::string>{"destroyer"}), g.Calls);
}

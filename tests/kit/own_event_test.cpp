// A component destroyed by its own event: for every published event of every
// Kit component that fires on the main thread, a handler that frees the
// component, and one that frees the form that owns it. The heap is guarded
// meanwhile, so any later touch of a freed object stops the program and
// names the case.
#include <gtest/gtest.h>

#include <functional>
#include <iostream>
#include <map>
#include <set>
#include <string>
#include <utility>

#include "framework/ExtCtrls.h"
#include "framework/Forms.h"
#include "framework/Menus.h"
#include "framework/StdCtrls.h"
#include "kit/Catools.h"
#include "kit/Componentarray.h"
#include "kit/Interceptors.h"
#include "kit/Olednd.h"
#include "kit/Threads.h"
#include "tests/kit/threads_support.h"
#include "tests/support/GuardedHeap.h"

using namespace Fw;
using namespace Kit;

namespace {

// Frees its target from inside whichever event it is given to.
struct TKiller {
    TComponent* Target = nullptr;
    int Calls = 0;
    template <class... A>
    void Kill(A...) {
        ++Calls;
        FreeComponent(std::exchange(Target, nullptr));
    }
};

template <class E>
struct TShape;
template <class... A>
struct TShape<TEvent<A...>> {
    static std::pair<TSignature, TMethod> Killer(TKiller* k) {
        return {TEvent<A...>::Signature(), TEvent<A...>::template Bind<&TKiller::template Kill<A...>>(k).Method()};
    }
};

// The killer as a method of every event shape Kit publishes.
template <class... E>
std::map<TSignature, TMethod> Killers(TKiller* k) {
    return {TShape<E>::Killer(k)...};
}

HWND HandleOf(TWinControl* c) { return c->Handle(); }

// The component's window, through a form interceptor it is put on.
TFormMessageInterceptor* Interceptor(TForm* form) {
    for (int i = 0; i < form->ComponentCount(); ++i)
        if (auto* found = dynamic_cast<TFormMessageInterceptor*>(form->Components(i))) return found;
    return NewComponent<TFormMessageInterceptor>(form);
}

template <class T>
T* OnInterceptor(TForm* form) {
    T* user = NewComponent<T>(form);
    user->SetInterceptor(Interceptor(form));
    user->SetActive(true);
    return user;
}

struct TCase {
    const char* Class;
    const char* Event;
    // Puts the component on form; source is what publishes the event (the
    // component, or an item of it).
    std::function<TComponent*(TForm* form, TPersistent*& source)> Make;
    // Makes the event fire; touches the component only before it fires.
    std::function<void(TComponent* c, TForm* form)> Fire;
    bool MdiForm = false;
};

ThreadsTest::TTempFolder& Folder() {
    static ThreadsTest::TTempFolder folder("_own");
    return folder;
}

HANDLE Signal() {
    static HANDLE event = ThreadsTest::NewEvent(true);
    return event;
}

const UINT kAnyMessage = WM_USER + 77;

std::vector<TCase> Cases() {
    auto self = [](TComponent* c, TPersistent*& source) {
        source = c;
        return c;
    };
    auto send = [](UINT msg, WPARAM w = 0, LPARAM l = 0) {
        return [=](TComponent*, TForm* form) { SendMessageA(HandleOf(form), msg, w, l); };
    };
    // Enter, over, leave, enter again and drop, as the system calls a
    // registered target during two drags.
    auto drag = [](TComponent* c, TForm*) {
        IDropTarget* target = static_cast<TOleDropTarget*>(c)->DropTarget();
        target->AddRef();
        TDOText* data = TDOText::Create();
        data->SetText("x");
        DWORD effect = DROPEFFECT_COPY;
        target->DragEnter(data, 0, POINTL{5, 5}, &effect);
        target->DragOver(0, POINTL{6, 6}, &effect);
        target->DragLeave();
        effect = DROPEFFECT_COPY;
        target->DragEnter(data, 0, POINTL{5, 5}, &effect);
        target->Drop(data, 0, POINTL{6, 6}, &effect);
        data->Release();
        target->Release();
    };
    auto dropTarget = [](TForm* form, TPersistent*& source, bool onItem) -> TComponent* {
        auto* target = NewComponent<TOleDropTarget>(form);
        TDFItem* item = target->Formats()->Add();
        item->SetFormatName("CF_TEXT");
        target->Formats()->RegisterAll();
        target->SetControl(form);
        target->SetActive(true);
        source = onItem ? static_cast<TPersistent*>(item) : target;
        return target;
    };
    auto gesture = [](TComponent*, TForm* form) {
        HWND wnd = HandleOf(form);
        SendMessageA(wnd, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(10, 10));
        SendMessageA(wnd, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(60, 10));
        SendMessageA(wnd, WM_LBUTTONUP, 0, MAKELPARAM(60, 10));
    };
    auto recognizer = [](TForm* form, TPersistent*& source) -> TComponent* {
        auto* r = NewComponent<TDragGestureRecognizer>(form);
        r->SetControl(form);
        r->SetActive(true);
        return source = r, r;
    };
    auto broker = [self](TForm* form, TPersistent*& source) { return self(NewComponent<TThreadBroker>(form), source); };
    auto array = [](TForm* form, TPersistent*& source) -> TComponent* {
        auto* a = NewComponent<TComponentArray>(form);
        a->SetElementClassName("TComponent");
        return source = a, a;
    };
    return {
        {"TThreadBroker", "OnStart", broker, [](TComponent* c, TForm*) { static_cast<TThreadBroker*>(c)->SetEnabled(true); }},
        {"TThreadBroker", "OnEnd", broker, [](TComponent* c, TForm*) { static_cast<TThreadBroker*>(c)->SetEnabled(true); }},
        {"TThreadBroker", "OnTerminate", broker,
         [](TComponent* c, TForm*) {
             // A run that is cancelled while it works: its worker ends.
             static HANDLE working = ThreadsTest::NewEvent(), release = ThreadsTest::NewEvent();
             struct TWork {
                 void Execute(TObject*, TBrokerThread*) {
                     SetEvent(working);
                     WaitForSingleObject(release, ThreadsTest::kGenerous);
                 }
             } static work;
             auto* b = static_cast<TThreadBroker*>(c);
             b->OnExecute = MakeEvent<&TWork::Execute>(&work);
             b->SetEnabled(true);
             ASSERT_TRUE(ThreadsTest::WaitServing(working));
             b->SetEnabled(false);
             SetEvent(release);
         }},
        {"TPathObserver", "OnNotify",
         [self](TForm* form, TPersistent*& source) {
             auto* o = NewComponent<TPathObserver>(form);
             o->SetPath(Folder().Path().c_str());
             o->SetNotifyState(TNotifications{ntFileName, ntLastWrite});
             o->SetActive(true);
             return self(o, source);
         },
         [](TComponent*, TForm*) { ThreadsTest::WriteInto(Folder() / "changed.txt", "x"); }},
        {"TEventAlerter", "OnSignal",
         [self](TForm* form, TPersistent*& source) {
             ResetEvent(Signal());
             auto* a = NewComponent<TEventAlerter>(form);
             a->GetEvent()->Add(HandleValue(Signal()));
             a->SetEnabled(true);
             return self(a, source);
         },
         [](TComponent*, TForm*) { SetEvent(Signal()); }},
        {"TEventAlerter", "OnAbandone",
         [self](TForm* form, TPersistent*& source) {
             auto* a = NewComponent<TEventAlerter>(form);
             a->GetEvent()->Add(HandleValue(ThreadsTest::AbandonedMutex()));
             return self(a, source);
         },
         [](TComponent* c, TForm*) { static_cast<TEventAlerter*>(c)->SetEnabled(true); }},
        {"TFormMessageInterceptor", "OnMessage",
         [self](TForm* form, TPersistent*& source) { return self(NewComponent<TFormMessageInterceptor>(form), source); },
         send(kAnyMessage)},
        {"TMDIFormClientMessageInterceptor", "OnMessage",
         [self](TForm* form, TPersistent*& source) {
             return self(NewComponent<TMDIFormClientMessageInterceptor>(form), source);
         },
         [](TComponent*, TForm* form) { SendMessageA(form->ClientHandle(), kAnyMessage, 0, 0); }, true},
        {"TControlMessageInterceptor", "OnMessage",
         [self](TForm* form, TPersistent*& source) {
             auto* panel = NewComponent<TPanel>(form);
             panel->SetParent(form);
             auto* i = NewComponent<TControlMessageInterceptor>(form);
             i->SetControl(panel);
             return self(i, source);
         },
         [](TComponent* c, TForm*) {
             SendMessageA(HandleOf(static_cast<TControlMessageInterceptor*>(c)->Control()), kAnyMessage, 0, 0);
         }},
        {"TFileDrop", "OnDropFiles", [self](TForm* form, TPersistent*& source) { return self(OnInterceptor<TFileDrop>(form), source); },
         [](TComponent*, TForm* form) {
             TStringList names;
             names.Add("a.txt");
             SendMessageA(HandleOf(form), WM_DROPFILES, reinterpret_cast<WPARAM>(GetDropFiles("C:\\", &names)), 0);
         }},
        {"TMouseWheel", "OnWheel", [self](TForm* form, TPersistent*& source) { return self(OnInterceptor<TMouseWheel>(form), source); },
         send(WM_MOUSEWHEEL, MAKEWPARAM(0, WHEEL_DELTA), MAKELPARAM(10, 10))},
        {"TRMItem", "OnMessage",
         [](TForm* form, TPersistent*& source) -> TComponent* {
             auto* r = NewComponent<TRegisteredMessage>(form);
             TRMItem* item = r->Messages()->Add();
             item->SetText("VelmoraOwnEventTest");
             r->SetInterceptor(Interceptor(form));
             r->SetActive(true);
             source = item;
             return r;
         },
         send(RegisterWindowMessageA("VelmoraOwnEventTest"))},
        {"TOleDropSource", "OnQueryContinueDrag",
         [self](TForm* form, TPersistent*& source) { return self(NewComponent<TOleDropSource>(form), source); },
         [](TComponent* c, TForm*) {
             IDropSource* s = static_cast<TOleDropSource*>(c)->DropSource();
             s->AddRef();
             s->QueryContinueDrag(FALSE, MK_LBUTTON);
             s->Release();
         }},
        {"TOleDropSource", "OnGiveFeedback",
         [self](TForm* form, TPersistent*& source) { return self(NewComponent<TOleDropSource>(form), source); },
         [](TComponent* c, TForm*) {
             IDropSource* s = static_cast<TOleDropSource*>(c)->DropSource();
             s->AddRef();
             s->GiveFeedback(DROPEFFECT_COPY);
             s->Release();
         }},
        {"TDragGestureRecognizer", "OnRecognizeStart", recognizer, gesture},
        {"TDragGestureRecognizer", "OnRecognized", recognizer, gesture},
        {"TDragGestureRecognizer", "OnRecognizeEnd", recognizer, gesture},
        {"TOleDropTarget", "OnDragEnter", [=](TForm* f, TPersistent*& s) { return dropTarget(f, s, false); }, drag},
        {"TOleDropTarget", "OnDragOver", [=](TForm* f, TPersistent*& s) { return dropTarget(f, s, false); }, drag},
        {"TOleDropTarget", "OnDragLeave", [=](TForm* f, TPersistent*& s) { return dropTarget(f, s, false); }, drag},
        {"TOleDropTarget", "OnDrop", [=](TForm* f, TPersistent*& s) { return dropTarget(f, s, false); }, drag},
        {"TDFItem", "OnDragEnter", [=](TForm* f, TPersistent*& s) { return dropTarget(f, s, true); }, drag},
        {"TDFItem", "OnDragOver", [=](TForm* f, TPersistent*& s) { return dropTarget(f, s, true); }, drag},
        {"TDFItem", "OnDrop", [=](TForm* f, TPersistent*& s) { return dropTarget(f, s, true); }, drag},
        {"TComponentArray", "OnCreateNew", array, [](TComponent* c, TForm*) { static_cast<TComponentArray*>(c)->CreateNew(""); }},
        {"TComponentArray", "OnAdd", array,
         [](TComponent* c, TForm* form) { static_cast<TComponentArray*>(c)->Add(NewComponent<TComponent>(form)); }},
        {"TComponentArray", "OnDelete", array,
         [](TComponent* c, TForm* form) {
             auto* a = static_cast<TComponentArray*>(c);
             a->Add(NewComponent<TComponent>(form));
             a->Delete(0);
         }},
    };
}

// The framework's events whose firing code goes on with its component.
std::vector<TCase> FrameworkCases() {
    auto form = [](TForm* f, TPersistent*& source) -> TComponent* { return source = f, f; };
    auto panel = [](TForm* f, TPersistent*& source) -> TComponent* {
        auto* p = NewComponent<TPanel>(f);
        p->SetParent(f);
        return source = p, p;
    };
    auto click = [](UINT down, UINT up) {
        return [=](TComponent* c, TForm*) {
            HWND wnd = HandleOf(static_cast<TWinControl*>(c));
            SendMessageA(wnd, down, MK_LBUTTON, MAKELPARAM(2, 2));
            SendMessageA(wnd, up, 0, MAKELPARAM(2, 2));
        };
    };
    return {
        {"TForm", "OnShow", form, [](TComponent*, TForm* f) { f->Show(); }},
        {"TForm", "OnHide",
         [](TForm* f, TPersistent*& source) -> TComponent* {
             f->Show();
             return source = f, f;
         },
         [](TComponent*, TForm* f) { f->Hide(); }},
        {"TForm", "OnCloseQuery", form, [](TComponent*, TForm* f) { f->Close(); }},
        {"TForm", "OnClose", form, [](TComponent*, TForm* f) { f->Close(); }},
        {"TForm", "OnKeyDown",
         [](TForm* f, TPersistent*& source) -> TComponent* {
             auto* edit = NewComponent<TEdit>(f);
             edit->SetParent(f);
             f->SetKeyPreview(true);
             return source = f, f;
         },
         [](TComponent*, TForm* f) {
             auto* edit = static_cast<TEdit*>(f->Components(0));
             edit->Perform(CN_KEYDOWN, 'A', 0);
         }},
        {"TPanel", "OnDblClick", panel, click(WM_LBUTTONDBLCLK, WM_LBUTTONUP)},
        {"TPanel", "OnMouseUp", panel, click(WM_LBUTTONDOWN, WM_LBUTTONUP)},
        {"TButton", "OnClick",
         [](TForm* f, TPersistent*& source) -> TComponent* {
             auto* b = NewComponent<TButton>(f);
             b->SetParent(f);
             return source = b, b;
         },
         [](TComponent* c, TForm* f) {
             HWND button = HandleOf(static_cast<TButton*>(c));
             SendMessageA(HandleOf(f), WM_COMMAND, MAKEWPARAM(1, BN_CLICKED), reinterpret_cast<LPARAM>(button));
         }},
        {"TPopupMenu", "OnPopup",
         [](TForm* f, TPersistent*& source) -> TComponent* {
             auto* menu = NewComponent<TPopupMenu>(f);
             return source = menu, menu;
         },
         [](TComponent* c, TForm*) { static_cast<TPopupMenu*>(c)->Popup(0, 0); }},
    };
}

// Events that run on a worker thread, where no component may be freed.
const std::set<std::string> kWorkerEvents = {"TThreadBroker.OnExecute", "TThreadBroker.OnException"};

std::set<std::string> KitEvents() {
    std::set<std::string> events;
    for (TUnit* unit : {&FwUnitThreads(), &FwUnitInterceptors(), &FwUnitOledndinterfaces(), &FwUnitOledndimpl(),
                        &FwUnitOlednd(), &FwUnitComponentarray(), &FwUnitCatools()})
        for (TMetaClass* cls : unit->ClassList())
            for (const TPropInfo* prop : GetPropList(cls))
                if (prop->Kind() == tkMethod) events.insert(cls->ClassName() + "." + prop->Name);
    return events;
}

// Serves window messages and synchronised calls until done().
template <class F>
bool PumpUntil(F done) {
    const DWORD start = GetTickCount();
    HANDLE sync = SyncEvent();
    while (!done()) {
        if (GetTickCount() - start > ThreadsTest::kGenerous) return false;
        MsgWaitForMultipleObjects(1, &sync, FALSE, 100, QS_ALLINPUT);
        CheckSynchronize();
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
    }
    return true;
}

}  // namespace

TEST(OwnEvent, AComponentFreedByAnyOfItsEventsOrWithItsFormIsNeverTouchedAgain) {
    TKiller killer;
    const auto killers = Killers<TNotifyEvent, TMessageHandler, TWheelEvent, TRMMessageEvent, TQueryContinueDragEvent,
                                 TGiveFeedbackEvent, TRecognizeStartEvent, TRecognizedEvent, TDragEvent,
                                 TDragLeaveEvent, TCreateNewEvent, TElementEvent, TSignalEvent, TCloseEvent, TKeyEvent,
                                 TMouseEvent>(&killer);
    std::set<std::string> covered;
    std::vector<TCase> cases = Cases();
    const std::size_t kitCases = cases.size();
    for (TCase& c : FrameworkCases()) cases.push_back(std::move(c));
    for (const TCase& c : cases) {
        const std::string name = std::string(c.Class) + "." + c.Event;
        for (bool freeForm : {false, true}) {
            const std::string label = name + (freeForm ? ", frees its form" : ", frees the component");
            SCOPED_TRACE(label);
            TestSupport::TGuardedHeap guard(label.c_str());
            TForm* form = NewComponent<TForm>(nullptr);
            if (c.MdiForm) form->SetFormStyle(fsMDIForm);
            TPersistent* source = nullptr;
            TComponent* component = c.Make(form, source);
            ASSERT_EQ(c.Class, source->ClassName());
            const TPropInfo* event = GetPropInfo(source, c.Event);
            ASSERT_TRUE(event && event->Kind() == tkMethod);
            ASSERT_EQ(1u, killers.count(event->PropType->Signature)) << "no killer of this shape";
            SetMethodProp(source, event, killers.at(event->PropType->Signature));
            killer.Calls = 0;
            killer.Target = freeForm ? form : component;
            c.Fire(component, form);
            // An event may fire again while its component goes (an
            // interceptor's OnMessage sees the window's WM_DESTROY).
            EXPECT_TRUE(PumpUntil([&] { return killer.Calls > 0; })) << "the event did not fire";
            if (killer.Target || (!freeForm && component != form)) FreeComponent(form);
        }
        covered.insert(name);
    }
    std::cout << "Events covered: " << kitCases << " of Kit, " << cases.size() - kitCases
              << " of the framework; each freeing its component, and its form\n";
    std::set<std::string> missing;
    for (const std::string& e : KitEvents())
        if (!covered.count(e) && !kWorkerEvents.count(e)) missing.insert(e);
    EXPECT_TRUE(missing.empty()) << "published events with no case: " << ::testing::PrintToString(missing);
}

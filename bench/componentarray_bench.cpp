// Costs of the run-time type tools and the property serializer: a property
// set by name (Kit::SetProperty) against the setter called directly, and
// 1,000 serializer entries saved to a stream and loaded back.
#include <windows.h>

#include <cstdio>

#include "framework/StdCtrls.h"
#include "framework/Streams.h"
#include "kit/Componentarray.h"

using namespace Fw;

namespace {

double Now() {
    LARGE_INTEGER c, f;
    QueryPerformanceCounter(&c);
    QueryPerformanceFrequency(&f);
    return double(c.QuadPart) / double(f.QuadPart);
}

template <class F>
double Time(F&& f) {
    double start = Now();
    f();
    return Now() - start;
}

}  // namespace

int main() {
    TComponent root(nullptr);
    root.SetName("Root");

    // One button without a window: the setter stores the value and returns.
    TButton* volatile button = NewComponent<TButton>(&root);
    const int n = 1000000;
    double direct = Time([&] {
        for (int i = 0; i < n; ++i) button->SetLeft(i);
    });
    double byName = Time([&] {
        for (int i = 0; i < n; ++i) Kit::SetProperty(button, "Left", i);
    });
    const Variant text("123");
    double fromText = Time([&] {
        for (int i = 0; i < n; ++i) Kit::SetProperty(button, "Left", text);
    });
    Kit::ObjectAttributes attributes(button);
    double read = Time([&] {
        for (int i = 0; i < n; ++i) attributes.GetProperties("Left");
    });
    std::printf("property Left of a TButton, %d calls:\n", n);
    std::printf("  direct setter                 %8.1f ns/call\n", direct * 1e9 / n);
    std::printf("  SetProperty by name (integer) %8.1f ns/call\n", byName * 1e9 / n);
    std::printf("  SetProperty by name (\"123\")   %8.1f ns/call\n", fromText * 1e9 / n);
    std::printf("  GetProperties by name         %8.1f ns/call\n", read * 1e9 / n);

    // 200 buttons, five properties each: integers, a Boolean and a string.
    auto* serializer = NewComponent<Kit::TPropertySerializer>(&root);
    for (int i = 0; i < 200; ++i) {
        TButton* b = NewComponent<TButton>(&root);
        b->SetName("Button" + std::to_string(i + 1));
        b->SetBounds(i, i * 2, 75, 25);
        b->SetCaption("ボタン " + std::to_string(i + 1));
        serializer->Items()->Add(b->Name());
        for (const char* p : {"Left", "Top", "Caption", "Enabled", "Tag"}) serializer->Items()->Add(AnsiString("\t") + p);
    }
    const int rounds = 50;
    TMemoryStream stream;
    double save = Time([&] {
        for (int r = 0; r < rounds; ++r) {
            stream.SetSize(0);
            stream.SetPosition(0);
            serializer->SaveToStream(&stream);
        }
    });
    double load = Time([&] {
        for (int r = 0; r < rounds; ++r) {
            stream.SetPosition(0);
            serializer->LoadFromStream(&stream);
        }
    });
    std::printf("1,000 serializer entries (%lld bytes):\n", static_cast<long long>(stream.Size()));
    std::printf("  save %8.3f ms (%6.0f ns/entry)\n", save * 1e3 / rounds, save * 1e9 / rounds / 1000);
    std::printf("  load %8.3f ms (%6.0f ns/entry)\n", load * 1e3 / rounds, load * 1e9 / rounds / 1000);
    return 0;
}

// Costs of the framework core: a property set by name against a direct
// setter call, and writing and reading 1,000 components as form text.
#include <windows.h>

#include <cstdio>

#include "framework/Filer.h"

using namespace Fw;

namespace {

class TBenchComponent : public TComponent {
public:
    FW_CLASS(TBenchComponent, TComponent)
    explicit TBenchComponent(TComponent* owner) : TComponent(owner) {}
    int Value() const { return FValue; }
    void SetValue(int v) { FValue = v; }
    AnsiString Caption;
    double Ratio = 0;
    bool Flag = false;

private:
    int FValue = 0;
};

}  // namespace

FW_PUBLISH(TBenchComponent)
    .Property("Value", &TBenchComponent::Value, &TBenchComponent::SetValue).Default(0)
    .Property("Caption", &TBenchComponent::Caption, &TBenchComponent::Caption)
    .Property("Ratio", &TBenchComponent::Ratio, &TBenchComponent::Ratio)
    .Property("Flag", &TBenchComponent::Flag, &TBenchComponent::Flag).Default(false)
FW_END_PUBLISH

namespace {

double Seconds(LARGE_INTEGER a, LARGE_INTEGER b) {
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return double(b.QuadPart - a.QuadPart) / double(f.QuadPart);
}

template <class F>
double Time(F&& f) {
    LARGE_INTEGER a, b;
    QueryPerformanceCounter(&a);
    f();
    QueryPerformanceCounter(&b);
    return Seconds(a, b);
}

}  // namespace

int main() {
    TBenchComponent c(nullptr);
    const int n = 2000000;
    // volatile keeps the direct calls from being folded away.
    TBenchComponent* volatile target = &c;
    double direct = Time([&] {
        for (int i = 0; i < n; ++i) target->SetValue(i);
    });
    double byName = Time([&] {
        for (int i = 0; i < n; ++i) SetOrdProp(target, "Value", i);
    });
    const TPropInfo* info = GetPropInfo(&c, "Value");
    double byInfo = Time([&] {
        for (int i = 0; i < n; ++i) SetOrdProp(target, info, i);
    });
    std::printf("property set, %d calls:\n", n);
    std::printf("  direct setter      %8.1f ns/call\n", direct * 1e9 / n);
    std::printf("  SetOrdProp by info %8.1f ns/call\n", byInfo * 1e9 / n);
    std::printf("  SetOrdProp by name %8.1f ns/call\n", byName * 1e9 / n);

    TComponent root(nullptr);
    root.SetName("Root");
    for (int i = 0; i < 1000; ++i) {
        auto* b = new TBenchComponent(&root);
        b->SetName("Item" + std::to_string(i));
        b->SetValue(i);
        b->Caption = "項目 " + std::to_string(i);
        b->Ratio = i / 3.0;
        b->Flag = i % 2;
    }
    AnsiString text;
    const int rounds = 20;
    double write = Time([&] {
        for (int r = 0; r < rounds; ++r) text = ComponentToText(&root);
    });
    double read = Time([&] {
        for (int r = 0; r < rounds; ++r) {
            TComponent copy(nullptr);
            ComponentFromText(text, &copy);
        }
    });
    std::printf("1,000 components (%u bytes of form text):\n", unsigned(text.size()));
    std::printf("  write %8.2f ms\n", write * 1e3 / rounds);
    std::printf("  read  %8.2f ms\n", read * 1e3 / rounds);
    return 0;
}

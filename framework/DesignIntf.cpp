#include "framework/DesignIntf.h"

#include <memory>

namespace Fw {

FW_UNIT_BEGIN(DesignIntf)
    .Classes<TDesignerSelectionList, TPropertyEditor>()
FW_UNIT_END

FW_PUBLISH(TDesignerSelectionList)
FW_END_PUBLISH

FW_PUBLISH(TPropertyEditor)
FW_END_PUBLISH

int TDesignerSelectionList::Add(TPersistent* item) {
    FItems.push_back(item);
    return Count() - 1;
}

TPersistent* TDesignerSelectionList::Items(int index) const {
    if (index < 0 || index >= Count())
        throw EListError("リストのインデックスが範囲を超えています (" + IntToStr(index) + ").");
    return FItems[index];
}

TPropertyEditor::TPropertyEditor(IFormDesigner* designer,
                                 std::vector<std::pair<TPersistent*, const TPropInfo*>> props)
    : FDesigner(designer), FProps(std::move(props)) {
    if (FProps.empty()) throw EPropertyError("プロパティ エディタに編集するプロパティがありません.");
}

TPersistent* TPropertyEditor::GetComponent(int index) const {
    if (index < 0 || index >= PropCount())
        throw EListError("リストのインデックスが範囲を超えています (" + IntToStr(index) + ").");
    return FProps[index].first;
}

AnsiString TPropertyEditor::GetName() const { return GetPropInfo()->Name; }

void GetComponentProperties(TDesignerSelectionList* components, TTypeKinds filter, IFormDesigner* designer,
                            const TGetPropEditProc& proc) {
    if (!components || components->Count() == 0 || !proc) return;
    TPersistent* first = components->Items(0);
    const TMetaClass* cls = first->ClassType();
    for (const TPropInfo* prop : GetPropList(cls)) {
        if (!filter.Contains(prop->Kind())) continue;
        // Declared again further down: the later declaration stands for it.
        if (GetPropInfo(cls, prop->Name) != prop) continue;
        std::vector<std::pair<TPersistent*, const TPropInfo*>> props{{first, prop}};
        for (int i = 1; i < components->Count(); ++i) {
            TPersistent* other = components->Items(i);
            const TPropInfo* same = GetPropInfo(other, prop->Name);
            if (!same || same->Kind() != prop->Kind()) break;
            props.emplace_back(other, same);
        }
        if (static_cast<int>(props.size()) != components->Count()) continue;
        auto editor = std::make_unique<TPropertyEditor>(designer, std::move(props));
        proc(editor.get());
    }
}

}  // namespace Fw

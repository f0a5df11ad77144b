// The design-time names: a selection, and the property editors that
// GetComponentProperties hands out for it.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "framework/DesignIntf.h"
#include "framework/StdCtrls.h"

using namespace Fw;

namespace {

struct TEditorNames {
    std::vector<std::string> Names;
    std::vector<int> Counts;
    void Take(TPropertyEditor* editor) {
        Names.push_back(editor->GetName());
        Counts.push_back(editor->PropCount());
    }
};

}  // namespace

TEST(DesignIntf, EditorsForThePropertiesEverySelectedObjectHas) {
    TComponent owner(nullptr);
    TDesignerSelectionList selection;
    selection.Add(NewComponent<TButton>(&owner));
    TEditorNames one;
    GetComponentProperties(&selection, tkAny, nullptr, MakeEvent<&TEditorNames::Take>(&one));
    EXPECT_EQ(GetPropList(TButton::StaticClass()).size(), one.Names.size());
    EXPECT_EQ("Name", one.Names.front());

    // With a check box beside it: only what both publish, events left out.
    selection.Add(NewComponent<TCheckBox>(&owner));
    TEditorNames both;
    GetComponentProperties(&selection, tkProperties, nullptr, MakeEvent<&TEditorNames::Take>(&both));
    const std::vector<std::string> start{"Name", "Tag", "Left", "Top", "Width", "Height", "Caption", "Cursor", "Enabled"};
    EXPECT_EQ(start, std::vector<std::string>(both.Names.begin(), both.Names.begin() + start.size()));
    for (const auto& absent : {"Cancel", "Checked", "OnClick"})
        EXPECT_EQ(both.Names.end(), std::find(both.Names.begin(), both.Names.end(), absent)) << absent;
    EXPECT_EQ(std::vector<int>(both.Names.size(), 2), both.Counts);
    EXPECT_THROW(selection.Items(2), EListError);
}

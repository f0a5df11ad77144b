// Clipboard format names and drop effects.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "kit/Oledndinterfaces.h"

using namespace Kit;

TEST(OleFormats, DropEffectsConvertBetweenBitsKindsAndKeys) {
    EXPECT_EQ(GetDropEffectValue(ekLink), 4u);
    EXPECT_EQ(GetDropEffectValue(static_cast<TDropEffectKind>(9)), 0u);
    EXPECT_EQ(GetDropEffectKind(2), ekMove);
    EXPECT_EQ(GetDropEffectKind(3), ekNone);           // two effects at once
    EXPECT_EQ(GetDropEffectKind(0x80000001), ekNone);  // with DROPEFFECT_SCROLL
    EXPECT_EQ(GetDropEffects(0x80000007), (TDropEffectKinds{ekCopy, ekMove, ekLink}));
    EXPECT_EQ(GetDropEffects(TDropEffectKinds{}), 0u);
    EXPECT_EQ(GetDropEffects(TDropEffectKinds{ekNone, ekCopy, ekLink}), 5u);
    EXPECT_EQ(GetStdDropEffect(0), ekCopy);
    EXPECT_EQ(GetStdDropEffect(MK_CONTROL | MK_LBUTTON), ekCopy);
    EXPECT_EQ(GetStdDropEffect(MK_SHIFT | MK_RBUTTON | MK_ALT), ekMove);
    EXPECT_EQ(GetStdDropEffect(MK_SHIFT | MK_CONTROL), ekLink);
}

TEST(OleFormats, NamesOfStandardAndRegisteredFormats) {
    struct TNames : std::vector<std::string> {
        void Add(const Fw::AnsiString& name) { push_back(name); }
    } names;
    GetCFNames(Fw::MakeEvent<&TNames::Add>(&names));
    ASSERT_EQ(names.size(), 40u);
    EXPECT_EQ(names[21], "CF_WAVE");
    EXPECT_EQ(names[22], "Shell IDList Array");
    EXPECT_EQ(names[39], "Link Source Descriptor");
    for (int i = 0; i < 22; ++i) EXPECT_EQ(GetCFName(GetCFValue(names[i])), names[i]);
    EXPECT_EQ(GetCFName(0x8E), "CF_DSPENHMETAFILE");
    EXPECT_EQ(GetCFName(17), "");
    EXPECT_EQ(GetCFName(0), "");
    EXPECT_EQ(GetCFValue(""), 0);

    // Near misses of a standard name are registered under exactly that name.
    for (const char* name : {"CF_TEXT ", "cf_text", "CF_NOSUCH", "CF"}) {
        EXPECT_GE(GetCFValue(name), 0xC000) << name;
        EXPECT_EQ(GetCFName(GetCFValue(name)), name);
    }
    EXPECT_EQ(GetCFValue("Rich Text Format"), RegisterClipboardFormatA("Rich Text Format"));
    // The longest name the system keeps comes back whole.
    std::string longest(255, 'n');
    EXPECT_EQ(GetCFName(GetCFValue(longest)), longest);

    EXPECT_EQ(GetPackedString("  Rich Text\tFormat "), "RichText\tFormat");
    FORMATETC fe{CF_TEXT, nullptr, DVASPECT_CONTENT, -1, TYMED_ISTREAM};
    EXPECT_TRUE(IsNormalFormatEtc(&fe));
    fe.lindex = 0;
    EXPECT_FALSE(IsNormalFormatEtc(&fe));
    EXPECT_FALSE(IsNormalFormatEtc(nullptr));
}

// The tagged value: types, casts between them and their failures.
#include <gtest/gtest.h>

#include <cmath>

#include "framework/Variant.h"

using namespace Fw;

TEST(Variant, ConstructorsChooseTheType) {
    EXPECT_EQ(varEmpty, VarType(Variant()));
    EXPECT_EQ(varInteger, VarType(Variant(5)));
    EXPECT_EQ(varDouble, VarType(Variant(2.5)));
    EXPECT_EQ(varBoolean, VarType(Variant(true)));
    EXPECT_EQ(varString, VarType(Variant(AnsiString("x"))));
    // A literal is text, not a Boolean.
    EXPECT_EQ(varString, VarType(Variant("12")));
    Variant v(3);
    v.Clear();
    EXPECT_TRUE(VarIsEmpty(v));
}

TEST(Variant, ToIntegerRoundsHalvesToEven) {
    EXPECT_EQ(2, Variant(2.5).AsInteger());
    EXPECT_EQ(4, Variant(3.5).AsInteger());
    EXPECT_EQ(-2, Variant(-2.5).AsInteger());
    EXPECT_EQ(3, Variant(2.6).AsInteger());
    EXPECT_EQ(-3, Variant(-2.6).AsInteger());
    EXPECT_THROW(Variant(3e9).AsInteger(), EVariantError);
    EXPECT_THROW(Variant(NAN).AsInteger(), EVariantError);
    EXPECT_EQ(-2147483647 - 1, Variant(-2147483648.0).AsInteger());
}

TEST(Variant, ToIntegerFromOtherTypes) {
    EXPECT_EQ(0, Variant().AsInteger());
    EXPECT_EQ(1, Variant(true).AsInteger());
    EXPECT_EQ(0, Variant(false).AsInteger());
    EXPECT_EQ(42, Variant("42").AsInteger());
    EXPECT_EQ(31, Variant(" $1F").AsInteger());
    try {
        Variant("abc").AsInteger();
        FAIL() << "text that is no number converted";
    } catch (const EConvertError& e) {
        EXPECT_EQ("'abc' は整数値ではありません.", e.Message());
    }
    EXPECT_THROW(Variant("2147483648").AsInteger(), EConvertError);
    EXPECT_THROW(Variant("1.5").AsInteger(), EConvertError);
}

TEST(Variant, ToStringAndBack) {
    EXPECT_EQ("", Variant().AsString());
    EXPECT_EQ("-5", Variant(-5).AsString());
    EXPECT_EQ("3.75", Variant(3.75).AsString());
    EXPECT_EQ("0.1", Variant(0.1).AsString());
    EXPECT_EQ("True", Variant(true).AsString());
    EXPECT_EQ("False", Variant(false).AsString());
    double third = 1.0 / 3.0;
    EXPECT_EQ(third, Variant(Variant(third).AsString()).AsDouble());
}

TEST(Variant, ToDoubleAndBoolean) {
    EXPECT_EQ(0.0, Variant().AsDouble());
    EXPECT_EQ(1000.0, Variant("1e3").AsDouble());
    EXPECT_EQ(16.0, Variant("$10").AsDouble());
    EXPECT_EQ(1.0, Variant(true).AsDouble());
    EXPECT_THROW(Variant("x1").AsDouble(), EConvertError);

    EXPECT_FALSE(Variant().AsBoolean());
    EXPECT_TRUE(Variant(-1).AsBoolean());
    EXPECT_TRUE(Variant(0.5).AsBoolean());
    EXPECT_TRUE(Variant("true").AsBoolean());
    EXPECT_FALSE(Variant("FALSE").AsBoolean());
    EXPECT_FALSE(Variant("0").AsBoolean());
    EXPECT_TRUE(Variant("2.5").AsBoolean());
    EXPECT_THROW(Variant("yes").AsBoolean(), EConvertError);
}

TEST(Variant, VarCastMakesTheTargetType) {
    Variant s = VarCast(Variant(12), varString);
    EXPECT_EQ(varString, VarType(s));
    EXPECT_EQ("12", s.AsString());
    Variant i = VarCast(Variant("7"), varInteger);
    EXPECT_EQ(varInteger, VarType(i));
    EXPECT_EQ(7, i.AsInteger());
    EXPECT_EQ(varDouble, VarType(VarCast(Variant(1), varDouble)));
    EXPECT_EQ(varBoolean, VarType(VarCast(Variant(1), varBoolean)));
    EXPECT_TRUE(VarIsEmpty(VarCast(Variant(1), varEmpty)));
    try {
        VarCast(Variant(1), static_cast<VarTypeCode>(0x4000));
        FAIL() << "cast to an unknown type succeeded";
    } catch (const EVariantError& e) {
        EXPECT_EQ("バリアント型の変換が無効です.", e.Message());
    }
}

TEST(Variant, Equality) {
    EXPECT_TRUE(Variant() == Variant());
    EXPECT_TRUE(Variant(2) == Variant(2.0));
    EXPECT_FALSE(Variant(2) == Variant(2.5));
    EXPECT_TRUE(Variant("a") == Variant(AnsiString("a")));
    EXPECT_FALSE(Variant("a") == Variant("A"));
    EXPECT_FALSE(Variant(1) == Variant("1"));
    EXPECT_FALSE(Variant(1) == Variant(true));
    EXPECT_FALSE(Variant(0) == Variant());
    EXPECT_TRUE(Variant(false) != Variant(true));
}

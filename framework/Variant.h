// The tagged value that carries property values between components, streams
// and code that knows their types only at run time.
#pragma once

#include <variant>

#include "framework/SysUtils.h"

namespace Fw {

// The type codes keep the platform's numbers, so that code which stores or
// compares them meets the values it expects.
enum VarTypeCode : unsigned short {
    varEmpty = 0x0000,
    varInteger = 0x0003,
    varDouble = 0x0005,
    varBoolean = 0x000B,
    varString = 0x0100,
};

// Conversions between the types:
//   to integer: empty 0; Boolean 1 or 0; double rounded to the nearest
//     integer, halves to the even one (2.5 -> 2, 3.5 -> 4); string by
//     StrToInt's rules.
//   to double: empty 0; Boolean 1 or 0; string by StrToFloat's rules, or as
//     an integer in StrToInt's notation ("$FF").
//   to Boolean: empty false; numbers true when not zero; string "True" or
//     "False" in any case, or a number.
//   to string: empty ""; integer in decimal; double by FloatToStr (shortest
//     exact text, '.' as the decimal point); Boolean "True" or "False".
// Text that is not a number (or not a Boolean) raises EConvertError naming
// the text, as StrToInt does, so the error reads the same whichever road the
// text took. A double outside the integer range, or NaN, raises EVariantError.
class Variant {
public:
    Variant() = default;
    Variant(int value) : FValue(value) {}
    Variant(long value) : FValue(static_cast<int>(value)) {}
    Variant(double value) : FValue(value) {}
    Variant(bool value) : FValue(value) {}
    Variant(const AnsiString& value) : FValue(value) {}
    Variant(AnsiString&& value) : FValue(std::move(value)) {}
    // Without these a string literal would choose the Boolean constructor.
    Variant(const char* value) : FValue(AnsiString(value)) {}
    Variant(char* value) : FValue(AnsiString(value)) {}
    // Any other pointer would silently become a Boolean as well.
    template <class T>
    Variant(T*) = delete;

    VarTypeCode Type() const;
    bool IsEmpty() const { return FValue.index() == 0; }
    void Clear() { FValue = std::monostate(); }

    int AsInteger() const;
    double AsDouble() const;
    bool AsBoolean() const;
    AnsiString AsString() const;

    // Equal when both are empty, both are numbers (integer or double) of the
    // same value, both Booleans or both strings of the same bytes. Values of
    // other types differ: Variant(1) is not Variant("1") nor Variant(true).
    bool operator==(const Variant& other) const;

private:
    std::variant<std::monostate, int, double, bool, AnsiString> FValue;
};

VarTypeCode VarType(const Variant& v);
bool VarIsEmpty(const Variant& v);
// The value converted to the type; EVariantError for a code that is not one
// of VarTypeCode's.
Variant VarCast(const Variant& v, VarTypeCode type);
// The value as text, as AsString.
AnsiString VarToStr(const Variant& v);

}  // namespace Fw

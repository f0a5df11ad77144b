#include "framework/Variant.h"

#include <cmath>

namespace Fw {

namespace {

const char* const SInvalidVarCast = "バリアント型の変換が無効です.";
const char* const SVarOverflow = "バリアント型の変換で値が範囲を超えました.";

int RoundToInteger(double d) {
    if (std::isnan(d))
        throw EVariantError(SInvalidVarCast);
    // nearbyint rounds halves to even in the default rounding mode.
    double r = std::nearbyint(d);
    if (r < -2147483648.0 || r > 2147483647.0)
        throw EVariantError(SVarOverflow);
    return static_cast<int>(r);
}

bool TextToBoolean(const AnsiString& s) {
    AnsiString t = Trim(s);
    if (SameText(t, "True"))
        return true;
    if (SameText(t, "False"))
        return false;
    double d;
    if (TryStrToFloat(t, d))
        return d != 0;
    int i;
    if (TryStrToInt(t, i))
        return i != 0;
    throw EConvertError(Format("'%s' はブール値ではありません.", s.c_str()));
}

}  // namespace

VarTypeCode Variant::Type() const {
    switch (FValue.index()) {
        case 1: return varInteger;
        case 2: return varDouble;
        case 3: return varBoolean;
        case 4: return varString;
        default: return varEmpty;
    }
}

int Variant::AsInteger() const {
    switch (FValue.index()) {
        case 1: return std::get<int>(FValue);
        case 2: return RoundToInteger(std::get<double>(FValue));
        case 3: return std::get<bool>(FValue) ? 1 : 0;
        case 4: return StrToInt(std::get<AnsiString>(FValue));
        default: return 0;
    }
}

double Variant::AsDouble() const {
    switch (FValue.index()) {
        case 1: return std::get<int>(FValue);
        case 2: return std::get<double>(FValue);
        case 3: return std::get<bool>(FValue) ? 1.0 : 0.0;
        case 4: {
            const AnsiString& s = std::get<AnsiString>(FValue);
            double d;
            if (TryStrToFloat(s, d))
                return d;
            int i;
            if (TryStrToInt(s, i))
                return i;
            return StrToFloat(s);  // raises the conversion error
        }
        default: return 0.0;
    }
}

bool Variant::AsBoolean() const {
    switch (FValue.index()) {
        case 1: return std::get<int>(FValue) != 0;
        case 2: return std::get<double>(FValue) != 0;
        case 3: return std::get<bool>(FValue);
        case 4: return TextToBoolean(std::get<AnsiString>(FValue));
        default: return false;
    }
}

AnsiString Variant::AsString() const {
    switch (FValue.index()) {
        case 1: return IntToStr(std::get<int>(FValue));
        case 2: return FloatToStr(std::get<double>(FValue));
        case 3: return std::get<bool>(FValue) ? "True" : "False";
        case 4: return std::get<AnsiString>(FValue);
        default: return AnsiString();
    }
}

bool Variant::operator==(const Variant& other) const {
    bool numeric = (FValue.index() == 1 || FValue.index() == 2);
    bool otherNumeric = (other.FValue.index() == 1 || other.FValue.index() == 2);
    if (numeric && otherNumeric)
        return AsDouble() == other.AsDouble();
    return FValue == other.FValue;
}

VarTypeCode VarType(const Variant& v) {
    return v.Type();
}

bool VarIsEmpty(const Variant& v) {
    return v.IsEmpty();
}

Variant VarCast(const Variant& v, VarTypeCode type) {
    switch (type) {
        case varEmpty: return Variant();
        case varInteger: return Variant(v.AsInteger());
        case varDouble: return Variant(v.AsDouble());
        case varBoolean: return Variant(v.AsBoolean());
        case varString: return Variant(v.AsString());
    }
    throw EVariantError(SInvalidVarCast);
}

AnsiString VarToStr(const Variant& v) {
    return v.AsString();
}

}  // namespace Fw

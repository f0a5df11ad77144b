// Open-array argument records: one argument of any of the platform's basic
// types, tagged with its kind, as a routine that takes "array of const"
// receives it.
#pragma once

#include <windows.h>

#include <cstdint>
#include <cstring>

#include "framework/Variant.h"

namespace Fw {

class TObject;
class TMetaClass;

// The kinds of a record (its VType byte), numbered as the platform numbers
// them; code that stores or compares them meets the values it expects.
enum TVarRecKind : unsigned char {
    vtInteger = 0,
    vtBoolean = 1,
    vtChar = 2,
    vtExtended = 3,
    vtString = 4,
    vtPointer = 5,
    vtPChar = 6,
    vtObject = 7,
    vtClass = 8,
    vtWideChar = 9,
    vtPWideChar = 10,
    vtAnsiString = 11,
    vtCurrency = 12,
    vtVariant = 13,
    vtInterface = 14,
    vtWideString = 15,
    vtInt64 = 16,
};

// A short string: up to 255 bytes, its length in front of them.
struct ShortString {
    unsigned char Length = 0;
    char Data[255] = {};

    ShortString() = default;
    // Keeps the first 255 bytes of text.
    ShortString(const AnsiString& text) {
        Length = static_cast<unsigned char>(text.size() < 255 ? text.size() : 255);
        std::memcpy(Data, text.data(), Length);
    }
    AnsiString Text() const { return AnsiString(Data, Length); }
};

// One argument. Values wider than a pointer, and strings, are held by
// address, as the platform holds them: what a record points at must outlive
// it. Records of the kinds that have no constructor here (vtCurrency,
// vtInterface, vtWideString) are filled in field by field.
struct TVarRec {
    union {
        int VInteger;
        bool VBoolean;
        char VChar;
        const long double* VExtended;
        const ShortString* VString;
        const void* VPointer;
        const char* VPChar;
        TObject* VObject;
        TMetaClass* VClass;
        wchar_t VWideChar;
        const wchar_t* VPWideChar;
        const AnsiString* VAnsiString;
        const std::int64_t* VCurrency;  // the amount times 10,000
        const Variant* VVariant;
        IUnknown* VInterface;
        const wchar_t* VWideString;  // the characters of a BSTR
        const std::int64_t* VInt64;
    };
    unsigned char VType;

    TVarRec() : VInteger(0), VType(vtInteger) {}
    TVarRec(int value) : VInteger(value), VType(vtInteger) {}
    TVarRec(bool value) : VInteger(0), VType(vtBoolean) { VBoolean = value; }
    TVarRec(char value) : VInteger(0), VType(vtChar) { VChar = value; }
    TVarRec(const long double& value) : VExtended(&value), VType(vtExtended) {}
    TVarRec(const ShortString& value) : VString(&value), VType(vtString) {}
    TVarRec(const void* value) : VPointer(value), VType(vtPointer) {}
    TVarRec(const char* value) : VPChar(value), VType(vtPChar) {}
    TVarRec(TObject* value) : VObject(value), VType(vtObject) {}
    TVarRec(TMetaClass* value) : VClass(value), VType(vtClass) {}
    TVarRec(wchar_t value) : VInteger(0), VType(vtWideChar) { VWideChar = value; }
    TVarRec(const wchar_t* value) : VPWideChar(value), VType(vtPWideChar) {}
    TVarRec(const AnsiString& value) : VAnsiString(&value), VType(vtAnsiString) {}
    TVarRec(const Variant& value) : VVariant(&value), VType(vtVariant) {}
    TVarRec(const std::int64_t& value) : VInt64(&value), VType(vtInt64) {}
};

}  // namespace Fw

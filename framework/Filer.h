// Component streaming in the form text format:
//
//     object Form1: TForm1
//       Caption = 'バージョン情報'
//       Font.Height = -12
//       NotifyState = [ntLastWrite]
//       OnNotify = PathObserver1Notify
//       Items = <
//         item
//           Name = 'a'
//         end>
//       object Button1: TButton
//         Default = True
//       end
//     end
//
// The text is UTF-8. Strings are quoted ('' stands for a quote); bytes that are
// not a whole Shift-JIS character, and control characters, are written as #N,
// so that any byte string survives a write and a read unchanged.
#pragma once

#include <memory>
#include <vector>

#include "framework/Component.h"

namespace Fw {

class TStream;
class TCollection;

using TReaderProc = TEvent<TReader*>;
using TWriterProc = TEvent<TWriter*>;
using TStreamProc = TEvent<TStream*>;

enum TValueType { vaNull, vaList, vaInteger, vaFloat, vaString, vaIdent, vaFalse, vaTrue, vaSet, vaCollection, vaBinary, vaNil };

class TFiler : public TObject {
public:
    explicit TFiler(TStream* stream) : FStream(stream) {}

    TComponent* Root() const { return FRoot; }
    TStream* Stream() const { return FStream; }

    // Custom data that a persistent object stores beside its published
    // properties, under a property name of its own. hasData decides whether
    // a writer writes the value at all.
    virtual void DefineProperty(const AnsiString& name, const TReaderProc& readData,
                                const TWriterProc& writeData, bool hasData) = 0;
    virtual void DefineBinaryProperty(const AnsiString& name, const TStreamProc& readData,
                                      const TStreamProc& writeData, bool hasData) = 0;

protected:
    TStream* FStream;
    TComponent* FRoot = nullptr;
};

class TWriter : public TFiler {
public:
    explicit TWriter(TStream* stream);
    ~TWriter() override;

    // Writes root with every component it holds (see TComponent::GetChildren).
    void WriteRootComponent(TComponent* root);
    void WriteComponent(TComponent* component);

    void DefineProperty(const AnsiString& name, const TReaderProc& readData,
                        const TWriterProc& writeData, bool hasData) override;
    void DefineBinaryProperty(const AnsiString& name, const TStreamProc& readData,
                              const TStreamProc& writeData, bool hasData) override;

    // Values, for the writers of custom properties.
    void WriteInteger(int value);
    void WriteBoolean(bool value);
    void WriteFloat(double value);
    void WriteString(const AnsiString& value);
    void WriteChar(char value);
    void WriteIdent(const AnsiString& ident);
    void WriteListBegin();
    void WriteListEnd();
    void WriteCollection(TCollection* collection);

private:
    void WriteProperties(TPersistent* instance, const AnsiString& prefix);
    void WriteProperty(TPersistent* instance, const TPropInfo* prop, const AnsiString& prefix);
    void BeginValue(const AnsiString& name);
    void Out(const AnsiString& text);
    void NewLine();
    AnsiString ReferenceName(TComponent* component) const;
    void Flush();

    AnsiString FText;
    int FIndent = 0;
    int FListDepth = 0;
    AnsiString FPrefix;  // dotted path of the nested object whose properties are written
};

class TReader : public TFiler {
public:
    explicit TReader(TStream* stream);
    ~TReader() override;

    // Reads the whole stream into root (when given) or into a new component of
    // the stream's class owned by owner. Components stay in csLoading until all
    // references are resolved; then each gets Loaded, in reading order. On
    // failure every component made so far is freed and EReadError (or
    // EClassNotFound) names the line. A reference to a component of another
    // root that is not there yet waits for it (see below); once this root is
    // loaded, the references that waited for it are set.
    TComponent* ReadRootComponent(TComponent* root, TComponent* owner = nullptr);

    void DefineProperty(const AnsiString& name, const TReaderProc& readData,
                        const TWriterProc& writeData, bool hasData) override;
    void DefineBinaryProperty(const AnsiString& name, const TStreamProc& readData,
                              const TStreamProc& writeData, bool hasData) override;

    TValueType NextValue();
    int ReadInteger();
    bool ReadBoolean();
    double ReadFloat();
    AnsiString ReadString();
    char ReadChar();
    AnsiString ReadIdent();
    void ReadListBegin();
    void ReadListEnd();
    bool EndOfList();
    void ReadCollection(TCollection* collection);

    int Line() const;

private:
    struct Token;
    struct Lexer;
    struct Fixup;

    TComponent* ReadComponent(TComponent* instance, TComponent* parent);
    void ReadProperty(TPersistent* instance);
    void ReadPropValue(TPersistent* instance, const TPropInfo* prop);
    void ReadSet(TPersistent* instance, const TPropInfo* prop);
    void ResolveFixups();
    void Fail(const AnsiString& message) const;
    [[noreturn]] void Error(const AnsiString& message) const;

    std::unique_ptr<Lexer> FLexer;
    TComponent* FComponent = nullptr;   // the component whose object is being read
    std::vector<TComponent*> FLoaded;   // components read, in order
    std::vector<TComponent*> FCreated;  // components this reader made
    std::vector<Fixup> FFixups;
    std::vector<std::pair<const TPublishedField*, TComponent*>> FAssignedFields;
    TComponent* FOwnerForRoot = nullptr;
    AnsiString FPendingProperty;  // name awaiting a DefineProperty claim
    bool FPropertyClaimed = false;
};

// ---- References between roots ----
//
// A component of one root (a form) may refer to a component of another: the
// writer stores the reference as Root.Name (FormB.Target). The reader finds
// the other root among the global components, which procedures registered
// here know of (the application's unit registers its forms). When that root
// does not exist yet, or is still being read, the reference waits: it is set
// when that root has been read, whichever of the two is read first, as every
// read of a root ends with GlobalFixupReferences. A component destroyed
// while references it holds still wait takes them with it.
using TFindGlobalComponent = TComponent* (*)(const AnsiString& name);
void RegisterFindGlobalComponentProc(TFindGlobalComponent proc);
void UnRegisterFindGlobalComponentProc(TFindGlobalComponent proc);
// The component that the first registered procedure to know one finds
// under name (ASCII case ignored), or null.
TComponent* FindGlobalComponent(const AnsiString& name);
// Sets every waiting reference whose root exists now and is loaded. An
// exception from a property's setter is reported (HandleException) and that
// reference is dropped.
void GlobalFixupReferences();
// Drops the waiting references held by holder (and the objects it holds).
void RemoveFixupReferences(TComponent* holder);

// Whole trees to and from streams.
void WriteComponentToStream(TStream* stream, TComponent* root);
TComponent* ReadComponentFromStream(TStream* stream, TComponent* root, TComponent* owner = nullptr);
// Form text as a string, for tests and tools.
AnsiString ComponentToText(TComponent* root);
TComponent* ComponentFromText(const AnsiString& utf8Text, TComponent* root, TComponent* owner = nullptr);

// Reads instance from the RCDATA resource of the program named after its
// class (TFORM1 for TForm1). Returns false when there is no such resource.
bool ReadComponentRes(TComponent* instance);
bool ReadComponentRes(const AnsiString& resourceName, TComponent* instance);

}  // namespace Fw

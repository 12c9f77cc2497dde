#include "sim/hii/ifr_forms.h"

#include <cstring>

namespace sim {

namespace {

// Deeper nesting than any form needs; bounds the walk over outside data.
constexpr size_t MAX_SCOPE_DEPTH = 64;
constexpr size_t QUESTION_HEADER_SIZE = 11;

UINT16 U16At(const UINT8* P) { return (UINT16)(P[0] | (P[1] << 8)); }

UINT64 UnsignedAt(const UINT8* P, size_t Width) {
  UINT64 v = 0;
  for (size_t i = 0; i < Width; ++i) v |= (UINT64)P[i] << (8 * i);
  return v;
}

// EFI_IFR_TYPE_NUM_SIZE_8 .. _64 and BOOLEAN: the value's width in bytes.
size_t TypeWidth(UINT8 Type) {
  switch (Type) {
    case 0: return 1;
    case 1: return 2;
    case 2: return 4;
    case 3: return 8;
    case 4: return 1;
    default: return 0;
  }
}

class FormPackageReader {
 public:
  FormPackageReader(std::vector<IfrFormSet>& Out, std::string& Error) : Out_(Out), Error_(Error) {}

  bool Read(const UINT8* Ops, size_t Size) {
    size_t offset = 0;
    while (offset < Size) {
      if (Size - offset < 2) return Fail("an opcode header is cut off", offset);
      UINT8 code = Ops[offset];
      size_t length = Ops[offset + 1] & 0x7F;
      bool scope = (Ops[offset + 1] & 0x80) != 0;
      if (length < 2 || length > Size - offset) return Fail("an opcode's length does not fit", offset);
      if (!Op(code, Ops + offset, length, offset)) return false;
      if (code == IFR_END_OP) {
        if (Depth_.empty()) return Fail("an END closes no scope", offset);
        Close();
      } else if (scope) {
        if (Depth_.size() == MAX_SCOPE_DEPTH) return Fail("scopes nest too deep", offset);
        Depth_.push_back(code);
      }
      offset += length;
    }
    if (!Depth_.empty()) return Fail("a scope is left open", offset);
    return true;
  }

 private:
  bool Fail(const char* What, size_t Offset) {
    Error_ = std::string(What) + " at byte " + std::to_string(Offset);
    return false;
  }

  void Close() {
    UINT8 code = Depth_.back();
    Depth_.pop_back();
    // A form or question whose opcode opened no scope ends with its form set:
    // nothing may point into a closed form set.
    if (code == IFR_FORM_SET_OP) {
      FormSet_ = nullptr;
      Form_ = nullptr;
      Question_ = SIZE_MAX;
    }
    if (code == IFR_FORM_OP) {
      Form_ = nullptr;
      Question_ = SIZE_MAX;
    }
    if (code == IFR_ONE_OF_OP || code == IFR_NUMERIC_OP || code == IFR_CHECKBOX_OP || code == IFR_ACTION_OP)
      Question_ = SIZE_MAX;
  }

  IfrItem* OpenQuestion() { return Form_ != nullptr && Question_ < Form_->Items.size() ? &Form_->Items[Question_] : nullptr; }

  bool Op(UINT8 Code, const UINT8* P, size_t Length, size_t Offset) {
    switch (Code) {
      case IFR_FORM_SET_OP: {
        if (FormSet_ != nullptr) return Fail("a form set inside a form set", Offset);
        if (Length < 23) return Fail("a form set opcode is too short", Offset);
        IfrFormSet set;
        std::memcpy(&set.Guid, P + 2, sizeof(EFI_GUID));
        set.Title = U16At(P + 18);
        set.Help = U16At(P + 20);
        size_t classes = P[22] & 0x3;
        if (Length < 23 + 16 * classes) return Fail("a form set's class GUIDs do not fit", Offset);
        for (size_t i = 0; i < classes; ++i) {
          EFI_GUID g;
          std::memcpy(&g, P + 23 + 16 * i, sizeof(g));
          set.ClassGuids.push_back(g);
        }
        Out_.push_back(std::move(set));
        FormSet_ = &Out_.back();
        return true;
      }
      case IFR_VARSTORE_EFI_OP: {
        if (FormSet_ == nullptr) return Fail("a variable store outside a form set", Offset);
        if (Length < 27) return Fail("a variable store opcode is too short", Offset);
        IfrStore store;
        store.Id = U16At(P + 2);
        std::memcpy(&store.Guid, P + 4, sizeof(EFI_GUID));
        std::memcpy(&store.Attributes, P + 20, 4);
        store.Size = U16At(P + 24);
        const char* name = (const char*)P + 26;
        size_t room = Length - 26;
        size_t n = strnlen(name, room);
        if (n == room) return Fail("a variable store's name is not terminated", Offset);
        store.Name.assign(name, n);
        if (store.Id == 0 || FormSet_->FindStore(store.Id) != nullptr)
          return Fail("a variable store's id is zero or used twice", Offset);
        FormSet_->Stores.push_back(std::move(store));
        return true;
      }
      case IFR_FORM_OP: {
        if (FormSet_ == nullptr || Form_ != nullptr) return Fail("a form outside a form set or inside a form", Offset);
        if (Length < 6) return Fail("a form opcode is too short", Offset);
        FormSet_->Forms.push_back(IfrForm{U16At(P + 2), U16At(P + 4), {}});
        Form_ = &FormSet_->Forms.back();
        return true;
      }
      case IFR_SUBTITLE_OP:
      case IFR_TEXT_OP: {
        if (Form_ == nullptr) return true;
        size_t need = Code == IFR_TEXT_OP ? 8 : 6;
        if (Length < need) return Fail("a statement is too short", Offset);
        IfrItem item;
        item.Kind = Code == IFR_TEXT_OP ? IfrKind::Text : IfrKind::Subtitle;
        item.Prompt = U16At(P + 2);
        item.Help = U16At(P + 4);
        if (Code == IFR_TEXT_OP) item.TextTwo = U16At(P + 6);
        Form_->Items.push_back(item);
        return true;
      }
      case IFR_NUMERIC_OP:
      case IFR_ONE_OF_OP:
      case IFR_CHECKBOX_OP:
      case IFR_ACTION_OP:
        return Question(Code, P, Length, Offset);
      case IFR_ONE_OF_OPTION_OP: {
        IfrItem* q = OpenQuestion();
        if (q == nullptr || q->Kind != IfrKind::OneOf) return true;  // options of questions not shown
        if (Length < 6) return Fail("an option is too short", Offset);
        size_t width = TypeWidth(P[5]);
        if (width == 0 || Length < 6 + width) return Fail("an option's value does not fit", Offset);
        q->Options.push_back(IfrOption{U16At(P + 2), UnsignedAt(P + 6, width)});
        return true;
      }
      default:
        return true;
    }
  }

  bool Question(UINT8 Code, const UINT8* P, size_t Length, size_t Offset) {
    if (Form_ == nullptr) return true;
    if (Length < 2 + QUESTION_HEADER_SIZE) return Fail("a question header is cut off", Offset);
    IfrItem q;
    q.Prompt = U16At(P + 2);
    q.Help = U16At(P + 4);
    q.QuestionId = U16At(P + 6);
    q.StoreId = U16At(P + 8);
    q.Offset = U16At(P + 10);
    q.Flags = P[12];
    const UINT8* rest = P + 2 + QUESTION_HEADER_SIZE;
    size_t left = Length - 2 - QUESTION_HEADER_SIZE;
    switch (Code) {
      case IFR_ACTION_OP:
        q.Kind = IfrKind::Action;
        break;
      case IFR_CHECKBOX_OP:
        q.Kind = IfrKind::Checkbox;
        q.Width = 1;
        break;
      default: {
        q.Kind = Code == IFR_NUMERIC_OP ? IfrKind::Numeric : IfrKind::OneOf;
        if (left < 1) return Fail("a numeric question has no size flags", Offset);
        size_t width = TypeWidth(rest[0] & 0x3);
        if (left < 1 + 3 * width) return Fail("a question's range does not fit", Offset);
        q.Width = (UINT8)width;
        q.Min = UnsignedAt(rest + 1, width);
        q.Max = UnsignedAt(rest + 1 + width, width);
        q.Step = UnsignedAt(rest + 1 + 2 * width, width);
        break;
      }
    }
    if (q.StoreId != 0) {
      const IfrStore* store = FormSet_->FindStore(q.StoreId);
      if (store == nullptr) return Fail("a question names an undeclared store", Offset);
      if ((size_t)q.Offset + q.Width > store->Size) return Fail("a question lies outside its store", Offset);
    }
    Form_->Items.push_back(std::move(q));
    if ((P[1] & 0x80) != 0) Question_ = Form_->Items.size() - 1;
    return true;
  }

  std::vector<IfrFormSet>& Out_;
  std::string& Error_;
  std::vector<UINT8> Depth_;  // opcode that opened each scope
  IfrFormSet* FormSet_ = nullptr;
  IfrForm* Form_ = nullptr;
  size_t Question_ = SIZE_MAX;  // index in Form_ of the question whose scope is open
};

}  // namespace

const IfrStore* IfrFormSet::FindStore(UINT16 Id) const {
  for (const auto& s : Stores)
    if (s.Id == Id) return &s;
  return nullptr;
}

bool ReadFormPackage(const UINT8* Data, size_t Size, std::vector<IfrFormSet>& Out, std::string& Error) {
  if (Data == nullptr || Size < sizeof(EFI_HII_PACKAGE_HEADER)) {
    Error = "no package header";
    return false;
  }
  EFI_HII_PACKAGE_HEADER header;
  std::memcpy(&header, Data, sizeof(header));
  if (header.Type() != EFI_HII_PACKAGE_FORMS || header.Length() < sizeof(header) || header.Length() > Size) {
    Error = "not a form package of fitting length";
    return false;
  }
  FormPackageReader reader(Out, Error);
  return reader.Read(Data + sizeof(header), header.Length() - sizeof(header));
}

bool ReadForms(const HiiPackageList& List, std::vector<IfrFormSet>& Out, std::string& Error) {
  for (const auto& p : List.Packages)
    if (p.Type == EFI_HII_PACKAGE_FORMS && !ReadFormPackage(p.Raw.data(), p.Raw.size(), Out, Error)) return false;
  return true;
}

bool QuestionValue(const IfrItem& Question, const std::vector<UINT8>& Store, UINT64& Value) {
  if (!Question.IsQuestion() || Question.Width == 0 || (size_t)Question.Offset + Question.Width > Store.size())
    return false;
  Value = UnsignedAt(Store.data() + Question.Offset, Question.Width);
  return true;
}

}  // namespace sim

#include "tools/boardsim/page_capture.h"

#include <set>

#include "forms/form_packages.h"
#include "tools/boardsim/text_util.h"

namespace boardsim {
namespace {

std::string PrimaryLanguage(const sim::HiiStringPackage& Package) {
  return Package.Primary.empty() ? Package.Language : Package.Primary;
}

PackagedFormSets ParseCompiled() {
  PackagedFormSets Result;
  for (UINTN I = 0; I < gFormPackageCount; ++I) {
    const FORM_PACKAGE& Package = gFormPackages[I];
    sim::HiiPackageList List;
    if (EFI_ERROR(sim::ParsePackageList(Package.Data, Package.Size, List))) {
      Result.FormSets.clear();
      Result.Error = std::string("the compiled package list of ") + Package.Name + " does not parse";
      return Result;
    }
    PackagedFormSet FormSet;
    FormSet.Class = Package.Class;
    FormSet.Name = Package.Name;
    FormSet.Guid = *Package.Guid;
    FormSet.FormStringsFirst = Package.FormStringsFirst;
    FormSet.FormStringsLast = Package.FormStringsLast;
    for (const sim::HiiStringPackage& Strings : List.StringPackages) {
      const std::string Language = PrimaryLanguage(Strings);
      FormSet.Languages.push_back(Language);
      for (const auto& [Id, Text] : Strings.Strings) {
        if (FormSet.IsFormString(Id)) continue;
        FormSet.Strings[Language][Id] = Text;
      }
    }
    std::string FormError;
    if (!sim::ReadForms(List, FormSet.Forms, FormError)) {
      Result.FormSets.clear();
      Result.Error = std::string("the form of ") + Package.Name + " does not read: " + FormError;
      return Result;
    }
    Result.FormSets.push_back(std::move(FormSet));
  }
  return Result;
}

}  // namespace

const PackagedFormSets& CompiledFormSets() {
  static const PackagedFormSets Parsed = ParseCompiled();
  return Parsed;
}

std::vector<std::string> PackagedLanguages(const std::vector<PackagedFormSet>& FormSets) {
  std::vector<std::string> Languages;
  for (const PackagedFormSet& F : FormSets) {
    for (const std::string& L : F.Languages) {
      bool Known = false;
      for (const std::string& K : Languages) {
        Known = Known || K == L;
      }
      if (!Known) {
        Languages.push_back(L);
      }
    }
  }
  return Languages;
}

FormSetPage CapturePage(const PackagedFormSet& Packaged, const sim::HiiPackageList* Live, bool Kept) {
  FormSetPage Page;
  Page.Class = Packaged.Class;
  Page.Name = Packaged.Name;
  Page.Guid = GuidText(Packaged.Guid);
  Page.Published = Live != nullptr;
  Page.Kept = Kept;
  Page.Languages = Packaged.Languages;
  if (Live == nullptr) {
    return Page;
  }
  std::map<uint16_t, PageString> ById;
  for (const auto& [Language, Strings] : Packaged.Strings) {
    for (const auto& [Id, Text] : Strings) {
      PageString& S = ById[Id];
      S.Id = Id;
      S.PackageText[Language] = Utf8FromUcs2(Text);
    }
  }
  for (const sim::HiiStringPackage& Strings : Live->StringPackages) {
    const std::string Language = PrimaryLanguage(Strings);
    bool Listed = false;
    for (const std::string& L : Page.Languages) {
      Listed = Listed || L == Language;
    }
    if (!Listed) {
      Page.Languages.push_back(Language);  // a language added at run time
    }
    for (const auto& [Id, Text] : Strings.Strings) {
      if (Packaged.IsFormString(Id)) continue;
      PageString& S = ById[Id];
      S.Id = Id;
      S.Text[Language] = Utf8FromUcs2(Text);
    }
  }
  for (auto& [Id, S] : ById) {
    Page.Strings.push_back(std::move(S));
  }
  return Page;
}

void CaptureFormItems(FormSetPage& Page, const PackagedFormSet& Packaged, const sim::HiiPackageList& List,
                      const StoreLookup& StoreBytes) {
  static const char* const KindNames[] = {"subtitle", "text", "numeric", "oneof", "checkbox", "action"};
  auto Remember = [&](uint16_t Id) {
    if (Id == 0) return;
    for (const sim::HiiStringPackage& Strings : List.StringPackages) {
      auto T = Strings.Strings.find(Id);
      if (T != Strings.Strings.end()) {
        Page.ItemTexts[Id][PrimaryLanguage(Strings)] = Utf8FromUcs2(T->second);
      }
    }
  };
  for (const sim::IfrFormSet& Set : Packaged.Forms) {
    for (const sim::IfrForm& Form : Set.Forms) {
      for (const sim::IfrItem& I : Form.Items) {
        PageItem Item;
        Item.Kind = KindNames[static_cast<int>(I.Kind)];
        Item.Prompt = I.Prompt;
        Item.TextTwo = I.TextTwo;
        Remember(I.Prompt);
        Remember(I.TextTwo);
        if (I.IsQuestion()) {
          Item.QuestionId = I.QuestionId;
          Item.Offset = I.Offset;
          Item.Width = I.Width;
          if (const sim::IfrStore* Store = Set.FindStore(I.StoreId)) {
            Item.Store = Store->Name;
            UINT64 Value = 0;
            const std::vector<UINT8>* Bytes = StoreBytes(*Store);
            if (Bytes != nullptr && sim::QuestionValue(I, *Bytes, Value)) Item.Value = Value;
          }
          for (const sim::IfrOption& O : I.Options) {
            Item.Options.emplace_back(O.Value, O.Text);
            Remember(O.Text);
          }
        }
        Page.Items.push_back(std::move(Item));
      }
    }
  }
}

void AddToSnapshot(StringSnapshot& Snapshot, const FormSetPage& Page) {
  for (const PageString& S : Page.Strings) {
    for (const auto& [Language, Text] : S.Text) {
      Snapshot[{Page.Class, Language, S.Id}] = Text;
    }
  }
}

std::vector<StringChange> DiffStrings(const StringSnapshot& Before, const StringSnapshot& After) {
  std::vector<StringChange> Changes;
  std::set<std::tuple<uint16_t, std::string, uint16_t>> Keys;
  for (const auto& [Key, Text] : Before) {
    Keys.insert(Key);
  }
  for (const auto& [Key, Text] : After) {
    Keys.insert(Key);
  }
  for (const auto& Key : Keys) {
    auto Old = Before.find(Key);
    auto New = After.find(Key);
    const std::string OldText = Old == Before.end() ? std::string() : Old->second;
    const std::string NewText = New == After.end() ? std::string() : New->second;
    if (OldText != NewText || (Old == Before.end()) != (New == After.end())) {
      Changes.push_back(StringChange{std::get<0>(Key), std::get<2>(Key), std::get<1>(Key), OldText, NewText});
    }
  }
  return Changes;
}

const PackagedFormSet* FindFormSet(const std::vector<PackagedFormSet>& FormSets, const std::string& Selector) {
  if (auto Class = ParseUnsigned(Selector)) {
    for (const PackagedFormSet& F : FormSets) {
      if (F.Class == *Class) {
        return &F;
      }
    }
    return nullptr;
  }
  const std::string Key = NameKey(Selector);
  for (const PackagedFormSet& F : FormSets) {
    if (NameKey(F.Name) == Key) {
      return &F;
    }
  }
  return nullptr;
}

std::string FormSetChoices(const std::vector<PackagedFormSet>& FormSets) {
  std::string Out;
  for (const PackagedFormSet& F : FormSets) {
    std::string Name = NameKey(F.Name);
    for (char& C : Name) {
      C = C == ' ' ? '-' : C;
    }
    Out += (Out.empty() ? "" : ", ") + Name + " (" + Hex(F.Class) + ")";
  }
  return Out;
}

}  // namespace boardsim

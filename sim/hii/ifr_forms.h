// Forms read back from IFR: the form sets of a form package as a browser
// sees them (stores, forms, statements and questions), for tools that show
// pages and for checks of compiled package lists.
#pragma once

#include <string>
#include <vector>

#include "sim/hii/hii_database.h"

namespace sim {

constexpr UINT8 IFR_FORM_OP = 0x01;
constexpr UINT8 IFR_SUBTITLE_OP = 0x02;
constexpr UINT8 IFR_TEXT_OP = 0x03;
constexpr UINT8 IFR_ONE_OF_OP = 0x05;
constexpr UINT8 IFR_CHECKBOX_OP = 0x06;
constexpr UINT8 IFR_NUMERIC_OP = 0x07;
constexpr UINT8 IFR_ONE_OF_OPTION_OP = 0x09;
constexpr UINT8 IFR_ACTION_OP = 0x0C;
constexpr UINT8 IFR_FORM_SET_OP = 0x0E;
constexpr UINT8 IFR_VARSTORE_EFI_OP = 0x26;
constexpr UINT8 IFR_END_OP = 0x29;
constexpr UINT8 IFR_FLAG_CALLBACK = 0x04;

struct IfrStore {
  UINT16 Id = 0;
  EFI_GUID Guid{};
  UINT32 Attributes = 0;
  UINT16 Size = 0;
  std::string Name;
};

struct IfrOption {
  EFI_STRING_ID Text = 0;
  UINT64 Value = 0;
};

enum class IfrKind { Subtitle, Text, Numeric, OneOf, Checkbox, Action };

struct IfrItem {
  IfrKind Kind = IfrKind::Text;
  EFI_STRING_ID Prompt = 0;
  EFI_STRING_ID Help = 0;
  EFI_STRING_ID TextTwo = 0;  // a text item's value string, 0 when none
  // Questions only.
  EFI_QUESTION_ID QuestionId = 0;
  UINT16 StoreId = 0;  // 0: no storage (actions)
  UINT16 Offset = 0;
  UINT8 Width = 0;  // bytes the question occupies in its store
  UINT8 Flags = 0;  // question flags (EFI_IFR_FLAG_...)
  UINT64 Min = 0, Max = 0, Step = 0;
  std::vector<IfrOption> Options;
  bool IsQuestion() const { return Kind != IfrKind::Subtitle && Kind != IfrKind::Text; }
};

struct IfrForm {
  UINT16 FormId = 0;
  EFI_STRING_ID Title = 0;
  std::vector<IfrItem> Items;
};

struct IfrFormSet {
  EFI_GUID Guid{};
  EFI_STRING_ID Title = 0;
  EFI_STRING_ID Help = 0;
  std::vector<EFI_GUID> ClassGuids;
  std::vector<IfrStore> Stores;
  std::vector<IfrForm> Forms;
  const IfrStore* FindStore(UINT16 Id) const;
};

// Reads one form package, header included, that lies in Size bytes. Every
// opcode must fit the package, every scope must be closed by the package's
// end and nesting is bounded; a question must fit its store. Opcodes it
// does not show are stepped over. On a fault Error names it and false is
// returned.
bool ReadFormPackage(const UINT8* Data, size_t Size, std::vector<IfrFormSet>& Out, std::string& Error);

// The form sets of every form package of a package list, in list order.
bool ReadForms(const HiiPackageList& List, std::vector<IfrFormSet>& Out, std::string& Error);

// A question's current value: Width bytes little-endian at Offset of the
// store bytes; false when they do not hold the question.
bool QuestionValue(const IfrItem& Question, const std::vector<UINT8>& Store, UINT64& Value);

}  // namespace sim

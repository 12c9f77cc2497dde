// Everything one boardsim run found out, in the order it happened; the text
// and JSON writers both render this and nothing else.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "tools/boardsim/action_script.h"
#include "uefi/base.h"

namespace boardsim {

struct PageString {
  uint16_t Id = 0;
  std::map<std::string, std::string> Text;         // language -> text now (UTF-8)
  std::map<std::string, std::string> PackageText;  // language -> text as packaged
  // The drivers changed it in this language.
  bool SetIn(const std::string& Language) const;
  bool SetInAny() const;
};

// One statement or question of a page's form, as a browser shows it.
struct PageItem {
  std::string Kind;  // subtitle, text, numeric, oneof, checkbox, action
  uint16_t Prompt = 0;
  uint16_t TextTwo = 0;     // a text item's value string, 0 when none
  uint16_t QuestionId = 0;  // questions: the key
  std::string Store;        // questions with storage: the store's name
  uint16_t Offset = 0;
  uint8_t Width = 0;
  std::optional<uint64_t> Value;  // from the browser's working copy; none without the store
  std::vector<std::pair<uint64_t, uint16_t>> Options;  // one-of: value and text ID
};

struct FormSetPage {
  uint16_t Class = 0;
  std::string Name;
  std::string Guid;
  bool Published = false;  // the form utility service gave it an HII handle
  bool Kept = true;        // still in the HII database (false: texts as they were at removal)
  std::vector<std::string> Languages;
  std::vector<PageString> Strings;  // by ID
  // The page's form: its items, and the texts they show (id -> language ->
  // text), prompts included.
  std::vector<PageItem> Items;
  std::map<uint16_t, std::map<std::string, std::string>> ItemTexts;
};

struct VariableWrite {
  std::string Name;
  std::string Guid;
  uint32_t Attributes = 0;
  std::vector<uint8_t> Data;
  EFI_STATUS Status = EFI_SUCCESS;
};

struct LanguageVariable {
  std::string Name;
  std::string Guid;
  bool Present = false;
  uint32_t Attributes = 0;
  std::string Text;  // up to the first NUL
};

struct BootRecord {
  unsigned Number = 1;
  bool Deferred = false;          // the form sets waited for the trigger protocol
  bool TriggerInstalled = false;  // boardsim installed the trigger protocol
  EFI_STATUS SetupInfoStatus = EFI_SUCCESS;
  EFI_STATUS UpdateFetchStatus = EFI_SUCCESS;
  size_t FormSetsPublished = 0;
  bool SetupStoreCreated = false;  // no Setup variable: the browser started from zeros
  std::vector<VariableWrite> VariablesWritten;
  std::vector<LanguageVariable> LanguageVariables;
};

struct ByteChange {
  uint32_t Offset = 0;
  uint8_t Before = 0;
  uint8_t After = 0;
};

struct StoreDiff {
  std::string Store;
  std::string Guid;
  std::vector<ByteChange> Bytes;
};

struct StringChange {
  uint16_t Class = 0;
  uint16_t Id = 0;
  std::string Language;
  std::string Before;
  std::string After;
};

// A message box the board's service showed during an action.
struct BoxShown {
  std::string Title;
  std::string Text;
  unsigned Kind = 0;  // 1 notice, 2 confirm, 3 yes/no
};

// A text prompt of the profile storage protocol during an action.
struct TextPromptRecord {
  unsigned PromptId = 0;
  std::string Prompt;    // the prompt string in the form set's current language
  std::string Proposed;  // the text the driver offered
  std::optional<std::string> Typed;  // none: the user cancelled (or the prompt failed)
};

// A list box the board's service showed during an action, its title and
// items resolved in the board's language ("" for an item without text).
struct ListShown {
  std::string Title;
  std::vector<std::string> Items;
};

// Test bench records.
// A call of an item callback registered by the "register" action.
struct RegisteredCall {
  unsigned Slot = 0;  // the registration's number in its boot, from 1
  uint16_t Class = 0, SubClass = 0, Key = 0;
  EFI_STATUS Returned = EFI_SUCCESS;
};
// One write of a string through the HII String protocol (--log-strings).
struct StringWrite {
  unsigned Boot = 0;
  std::string Call;  // "SetString" or "NewString"
  std::optional<uint16_t> Class;  // none: a package list no form set was published with
  uint16_t Id = 0;
  std::string Language;
  std::string Text;
  EFI_STATUS Status = EFI_SUCCESS;
};
// One I/O port access of the board (--log-ports).
struct PortRecord {
  unsigned Boot = 0;
  uint16_t Port = 0;
  uint8_t Width = 1;
  bool Write = false;
  uint32_t Value = 0;
};
struct ServiceCount {
  std::string Service;
  size_t Calls = 0, Failures = 0;
};

struct ActionResult {
  Action Source;
  std::vector<BoxShown> Boxes;
  std::vector<TextPromptRecord> Prompts;
  std::vector<ListShown> Lists;
  // ready-to-boot: the restart a driver asked for, carried out as a reboot
  bool Restarted = false;
  std::string ResetType;
  unsigned BootNumber = 0;  // the boot that the restart began
  // callback and show
  uint16_t Class = 0;
  std::string FormSetName;
  // callback
  EFI_STATUS Status = EFI_SUCCESS;
  uint64_t ActionRequest = 0;
  std::string BrowserOutcome;  // what the browser did with the request
  std::vector<StoreDiff> StoreChanges;
  std::vector<StringChange> StringChanges;
  std::vector<VariableWrite> VariablesWritten;
  std::vector<std::string> DeviceCalls;  // into the board's device stand-ins
  // show
  std::optional<FormSetPage> Page;
  // test bench actions
  std::string BenchDetail;                       // what the action did, one line
  std::optional<size_t> FormSetsPublished;        // trigger
  std::vector<RegisteredCall> RegisteredCalls;    // registered callbacks called during the action
};

struct UpdateRecord {
  EFI_STATUS Result = EFI_SUCCESS;
  bool Found = false;  // host, path and address are valid
  std::string ResultName;
  std::string Meaning;
  std::string Host;
  std::string Path;
  std::string Address;  // dotted, set on success
  std::string Request;  // what went to the server, when something did
  std::vector<std::string> Queries;  // host names asked of the name service
  std::optional<unsigned> ServerChoice;  // none: no NetConfigData byte 105 in the browser
};

struct PoolRecord {
  size_t LiveAllocations = 0;
  std::string LeakReport;  // empty when nothing leaked
  std::vector<std::string> Misuse;
};

// The Secure Boot state bytes as the variable store holds them at the end.
struct SecureBootRecord {
  std::optional<std::vector<uint8_t>> SecureVarPresent;  // none: not written
  std::optional<uint8_t> SecureBoot;
  std::optional<uint8_t> SetupMode;
};

// A simple-file-system volume and every file on it at the end of the run.
struct VolumeFile {
  std::string Path;  // below the root, backslash-separated
  bool Directory = false;
  std::vector<uint8_t> Data;
};
struct VolumeRecord {
  std::string Label;
  bool HasDevicePath = false;
  std::vector<VolumeFile> Files;
};

struct RunReport {
  std::string Intro;  // a line or two before everything else (the tour)
  std::string BoardName;
  std::string BoardFile;  // empty: built-in
  std::string Language;
  bool AllStrings = false;
  bool Prompts = false;     // text: pages as the browser shows them
  bool BriefBoots = false;  // text: one line per boot
  std::vector<BootRecord> Boots;
  std::vector<FormSetPage> Pages;  // as selected for printing
  std::vector<ActionResult> Actions;
  std::optional<UpdateRecord> Update;
  PoolRecord Pool;
  std::optional<SecureBootRecord> SecureBoot;  // boards with Secure Boot keys
  std::vector<VolumeRecord> Volumes;
  std::string StoppedBy;  // the action that stopped the run, and why
  // Test bench: shown only when asked for (a fault armed, --log-strings, --log-ports).
  std::optional<std::vector<ServiceCount>> ServiceCalls;
  std::optional<std::vector<StringWrite>> StringWrites;
  std::optional<std::vector<PortRecord>> PortAccesses;
  int ExitCode = 0;
};

// The offsets where two byte strings differ; bytes past the shorter one count
// as changed from (or to) 0.
std::vector<ByteChange> DiffBytes(const std::vector<uint8_t>& Before, const std::vector<uint8_t>& After);

// "immediate"/"deferred".
const char* LoadPathName(bool Deferred);

// Text of the attribute bits: "NV+BS+RT", "BS", "NV+BS+RT+TA" ...
std::string AttributeNames(uint32_t Attributes);

}  // namespace boardsim

#include "setupinfo/pages/platform/network_page.h"

#include "lib/firmware_services.h"
#include "setupinfo/core/browser_store.h"
#include "setupinfo/core/callback_parameters.h"
#include "setupinfo/core/console_silence.h"
#include "setupinfo/core/form_set_table.h"
#include "setupinfo/core/page_strings.h"

namespace {

NETWORK_PAGE_STATE& State() { return NetworkPageState(); }

constexpr BROWSER_STORE NetConfigStore = {NET_CONFIG_DATA_NAME, &NET_CONFIG_DATA_GUID, NET_CONFIG_DATA_SIZE};

// The two bytes the summary shows. A record shorter than 490 bytes would
// leave them unset, so only a whole record counts as read.
struct NET_SUMMARY_BYTES {
  UINT8 Template;
  UINT8 ServerChoice;
};

bool ReadStored(NET_SUMMARY_BYTES* Out) {
  if (gRT() == nullptr) return false;
  UINT8 Bytes[NET_CONFIG_DATA_SIZE] = {};
  UINTN Size = sizeof(Bytes);
  if (EFI_ERROR(gRT()->GetVariable(NET_CONFIG_DATA_NAME, &NET_CONFIG_DATA_GUID, nullptr, &Size, Bytes))) return false;
  if (Size != NET_CONFIG_DATA_SIZE) return false;
  *Out = {Bytes[NET_CONFIG_TEMPLATE_OFFSET], Bytes[NET_CONFIG_SERVER_CHOICE_OFFSET]};
  return true;
}

// The values being edited on the open page. Nothing is handed back: the
// refresh only reads the browser's copy.
bool ReadFromBrowser(NET_SUMMARY_BYTES* Out) {
  BrowserStoreEdit Edit(NetConfigStore);
  if (EFI_ERROR(Edit.Fetch()) || Edit.Size() != NET_CONFIG_DATA_SIZE) return false;
  *Out = {Edit.Bytes()[NET_CONFIG_TEMPLATE_OFFSET], Edit.Bytes()[NET_CONFIG_SERVER_CHOICE_OFFSET]};
  return true;
}

// Both strings are rebuilt from their templates each time, so a refresh
// can follow every change of the settings.
void BuildSummary(EFI_HII_HANDLE HiiHandle, UINT16 TemplateId, UINT16 ServerId) {
  // "%s" as the argument keeps the template's own placeholder for the next step.
  SetPageStringAllLanguages(HiiHandle, STR_NETWORK_SUMMARY, TemplateId, TRUE, nullptr, u"%s");
  SetPageStringAllLanguages(HiiHandle, STR_NETWORK_SUMMARY, ServerId, FALSE, nullptr);
  SetPageStringAllLanguages(HiiHandle, STR_MAIN_NETWORK_LINE, STR_MAIN_NETWORK_TEMPLATE, TRUE, nullptr, u"%s");
  SetPageStringAllLanguages(HiiHandle, STR_MAIN_NETWORK_LINE, STR_NETWORK_SUMMARY, FALSE, nullptr);
}

template <typename Protocol>
Protocol* Located(Protocol*& Kept) {
  if (Kept == nullptr) Kept = LocateProtocol<Protocol>();
  return Kept;
}

}  // namespace

VOID EFIAPI InitNetworkPage(EFI_HII_HANDLE HiiHandle, UINT16 Class) {
  NETWORK_CONFIG_PROTOCOL* Config = Located(State().Config);
  if (Config == nullptr) return;
  Config->Refresh = RefreshNetworkSummary;
  if (Class != FORM_SET_CLASS_TOOLS) return;
  Config->HiiHandle = HiiHandle;
  State().PageHandle = HiiHandle;
  RefreshNetworkSummary(FALSE);
}

VOID EFIAPI RefreshNetworkSummary(BOOLEAN ViaBrowser) {
  if (State().PageHandle == nullptr) return;
  NET_SUMMARY_BYTES Bytes = {};
  if (!(ViaBrowser ? ReadFromBrowser(&Bytes) : ReadStored(&Bytes))) return;
  // Choices past the table have no name: the strings stay as they are.
  if (Bytes.ServerChoice >= NETWORK_SERVER_CHOICES) return;
  const UINT16 TemplateId = Bytes.Template == 0 ? STR_NETWORK_TEMPLATE_OFF : STR_NETWORK_TEMPLATE_ON;
  const UINT16 ServerId = NetworkServerStrings[Bytes.ServerChoice];
  BuildSummary(State().PageHandle, TemplateId, ServerId);
  if (EFI_HII_HANDLE Main = FormSetHiiHandle(FORM_SET_CLASS_MAIN)) BuildSummary(Main, TemplateId, ServerId);
}

EFI_STATUS EFIAPI OnNetworkConfigure(EFI_HII_HANDLE HiiHandle, UINT16 Class, UINT16 SubClass, UINT16 Key) {
  if (!CurrentActionIs(EFI_BROWSER_ACTION_CHANGING)) return EFI_UNSUPPORTED;
  NETWORK_CONFIG_PROTOCOL* Config = Located(State().Config);
  if (Config == nullptr || Config->Configure == nullptr) return EFI_UNSUPPORTED;
  return WithStandardErrorSilenced([&] { return Config->Configure(HiiHandle, Class, SubClass, Key); });
}

EFI_STATUS EFIAPI OnNetworkAction52A(EFI_HII_HANDLE, UINT16, UINT16, UINT16) {
  if (!CurrentActionIs(EFI_BROWSER_ACTION_CHANGING)) return EFI_UNSUPPORTED;
  NETWORK_ACTION_52A_PROTOCOL* Action = Located(State().Action52A);
  if (Action == nullptr || Action->Run == nullptr) return EFI_UNSUPPORTED;
  return Action->Run(0);
}

EFI_STATUS EFIAPI OnNetworkAction52D(EFI_HII_HANDLE HiiHandle, UINT16, UINT16, UINT16) {
  if (!CurrentActionIs(EFI_BROWSER_ACTION_CHANGING)) return EFI_UNSUPPORTED;
  NETWORK_ACTION_52D_PROTOCOL* Action = Located(State().Action52D);
  if (Action == nullptr || Action->Run == nullptr) return EFI_UNSUPPORTED;
  return Action->Run(HiiHandle);
}

EFI_STATUS EFIAPI OnNetworkAction52E(EFI_HII_HANDLE HiiHandle, UINT16, UINT16, UINT16) {
  if (!CurrentActionIs(EFI_BROWSER_ACTION_CHANGING)) return EFI_UNSUPPORTED;
  NETWORK_ACTION_52E_PROTOCOL* Action = Located(State().Action52E);
  if (Action == nullptr || Action->Run == nullptr) return EFI_UNSUPPORTED;
  Action->HiiHandle = FormSetHiiHandle(FORM_SET_CLASS_HARDWARE_MONITOR);
  return WithStandardErrorSilenced([&] { return Action->Run(HiiHandle, Action); });
}

// Directory reading over whatever a volume's Read hands back: sizes that
// change between the probe and the read, records whose own size is below
// the header or past what was read, names without a terminator, more bytes
// reported than were asked for, errors and endless directories. Every
// entry kept must have a terminated name inside its record, and nothing may
// be left in the pool.
#include <cstdlib>
#include <cstring>

#include "fuzz/setupinfo_fuzz_machine.h"
#include "setupinfo/core/form_set_table.h"
#include "setupinfo/image_state.h"
#include "setupinfo/secureboot/key_file_selection.h"
#include "uefi/file.h"

namespace {

struct FuzzDirectory {
  EFI_FILE_PROTOCOL Protocol;
  FuzzReader* Input;
};

EFI_STATUS EFIAPI Read(EFI_FILE_PROTOCOL* This, UINTN* BufferSize, VOID* Buffer) {
  FuzzReader& In = *reinterpret_cast<FuzzDirectory*>(This)->Input;
  if (In.Done()) {
    *BufferSize = 0;
    return EFI_SUCCESS;
  }
  const UINTN Asked = *BufferSize;
  switch (In.U8() % 6) {
    case 0:  // end of the directory
      *BufferSize = 0;
      return EFI_SUCCESS;
    case 1:  // a size to ask for, any size
      *BufferSize = In.U16();
      return EFI_BUFFER_TOO_SMALL;
    case 2:  // an error
      return EFI_DEVICE_ERROR;
    default: {
      // A record: as many bytes as the input gives, never more than asked
      // (a driver writing past the buffer is not ours to survive), and a
      // reported size that may say anything.
      if (Buffer == nullptr) {
        *BufferSize = SIZE_OF_EFI_FILE_INFO + (In.U8() % 40) * 2;
        return EFI_BUFFER_TOO_SMALL;
      }
      UINTN Fill = In.U16() % (Asked + 1);
      for (UINTN I = 0; I < Fill; ++I) ((UINT8*)Buffer)[I] = In.U8();
      const UINT8 Report = In.U8();
      *BufferSize = Report < 128 ? Fill : Report < 192 ? Asked : Asked + Report;
      return EFI_SUCCESS;
    }
  }
}

EFI_STATUS EFIAPI Unused(EFI_FILE_PROTOCOL*) { return EFI_UNSUPPORTED; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  SetupMachine Machine;
  if (EFI_ERROR(Machine.LoadSetupInfo())) abort();
  SecureBootPageState().HiiHandle = FormSetHiiHandle(FORM_SET_CLASS_SECURE_BOOT);
  FuzzReader In(Data, Size);
  FuzzDirectory Directory{};
  Directory.Protocol.Read = Read;
  Directory.Protocol.Close = Unused;
  Directory.Input = &In;
  KEY_FILE_ENTRY* Entries = nullptr;
  UINTN Count = 0;
  EFI_STATUS Status = ReadKeyFileDirectory(&Directory.Protocol, &Entries, &Count);
  if (EFI_ERROR(Status)) {
    if (Entries != nullptr || Count != 0) abort();
    return 0;
  }
  if (Entries == nullptr || Count == 0 || Count > DIRECTORY_ENTRY_LIMIT) abort();
  for (UINTN I = 0; I < Count; ++I) {
    const CHAR16* Name = Entries[I].Name;
    if (Name == nullptr || Name[0] == 0) abort();
    UINTN Length = 0;
    while (Name[Length] != 0) {
      if (Name[Length] == u'\\') abort();
      if (++Length > (FILE_INFO_SIZE_LIMIT - SIZE_OF_EFI_FILE_INFO) / 2) abort();
    }
    if ((Entries[I].Kind & ~EFI_FILE_DIRECTORY) != 0) abort();
  }
  FreeKeyFileEntries(Entries, Count);
  return 0;
}

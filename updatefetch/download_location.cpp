#include "updatefetch/download_location.h"

#include "lib/strings.h"
#include "updatefetch/ascii_append.h"
#include "updatefetch/reply_search.h"

EFI_STATUS ServerChoiceFromReply(const CHAR8* Reply, UINTN Length, UINT8* Choice) {
  if (Reply == nullptr || Choice == nullptr) return EFI_NOT_FOUND;
  UINTN At = PlainSearch(Reply, 0, Length, "URL=", false);
  if (At == NO_POSITION) return EFI_NOT_FOUND;
  UINTN Quote = PlainSearch(Reply, At + 4, Length, "\"", false);
  if (Quote == NO_POSITION) return EFI_NOT_FOUND;

  // The quoted value reads URL<n>; its digits start four characters on. No
  // digits (or a reply that ends first) gives 0, so the choice becomes 255
  // and no location is found.
  UINT32 Value = 0;
  for (UINTN p = Quote + 4; p < Length && Reply[p] >= '0' && Reply[p] <= '9'; ++p) {
    Value = Value * 10 + (UINT32)(Reply[p] - '0');
  }
  *Choice = (UINT8)(Value - 1);
  return EFI_SUCCESS;
}

EFI_STATUS ExtractDownloadLocation(const CHAR8* Reply, UINTN Length, UINT8 Choice, CHAR8* Location) {
  if (Choice > LAST_MIRROR_CHOICE || Reply == nullptr || Length == 0 || Location == nullptr) {
    return EFI_NOT_FOUND;
  }
  ELEMENT_RECORD Download;
  EFI_STATUS Status = FindElement(Reply, 0, Length, "Download", &Download);
  if (EFI_ERROR(Status)) return Status;
  if (Download.ContentStart == NO_POSITION) return EFI_NOT_FOUND;

  // "URL1" to "URL4": one digit, as LAST_MIRROR_CHOICE allows.
  static_assert(LAST_MIRROR_CHOICE < 9);
  CHAR8 MirrorName[8] = {'U', 'R', 'L', (CHAR8)('1' + Choice), 0};
  ELEMENT_RECORD Mirror;
  Status = FindElement(Reply, Download.ContentStart, Download.ContentEnd + 1, MirrorName, &Mirror);
  if (EFI_ERROR(Status)) return Status;
  if (Mirror.ContentStart == NO_POSITION) return EFI_NOT_FOUND;

  UINTN ContentLength = Mirror.ContentEnd - Mirror.ContentStart + 1;
  if (ContentLength <= LOCATION_PREFIX_LENGTH) return EFI_NOT_FOUND;
  UINTN LocationLength = ContentLength - LOCATION_PREFIX_LENGTH;
  if (LocationLength >= LOCATION_BUFFER_SIZE) return EFI_BAD_BUFFER_SIZE;
  MemMove(Location, Reply + Mirror.ContentStart + LOCATION_PREFIX_LENGTH, LocationLength);
  Location[LocationLength] = '\0';
  return EFI_SUCCESS;
}

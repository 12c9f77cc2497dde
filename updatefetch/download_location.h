// Picks the download location out of the server's reply.
#pragma once

#include "uefi/base.h"

// Location buffer: host name plus path, scheme prefix removed, NUL included.
constexpr UINTN LOCATION_BUFFER_SIZE = 128;
// Characters dropped from the front of a URL element's content (the scheme).
constexpr UINTN LOCATION_PREFIX_LENGTH = 7;
// Highest server choice that names a mirror element (URL1 .. URL4).
constexpr UINT8 LAST_MIRROR_CHOICE = 3;
// Server choice meaning "as the reply says".
constexpr UINT8 SERVER_CHOICE_FROM_REPLY = 4;

// For server choice 4: finds URL= (letters in any case, quotes not
// honoured), the next double quote after it, and the decimal digits four
// characters after that quote; the choice is their value minus one, cut to
// 8 bits. EFI_NOT_FOUND when there is no URL= or no quote after it.
EFI_STATUS ServerChoiceFromReply(const CHAR8* Reply, UINTN Length, UINT8* Choice);

// Copies the content of element URL<Choice + 1> inside element Download,
// less its first seven characters, NUL-terminated into Location
// (LOCATION_BUFFER_SIZE bytes). Fails with EFI_NOT_FOUND when the choice is
// above 3, the reply is empty, an element is missing or the content is not
// longer than the prefix; EFI_BAD_BUFFER_SIZE when the location would not
// fit; EFI_OUT_OF_RESOURCES from the element search.
EFI_STATUS ExtractDownloadLocation(const CHAR8* Reply, UINTN Length, UINT8 Choice, CHAR8* Location);

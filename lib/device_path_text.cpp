#include "lib/device_path_text.h"

#include "lib/firmware_services.h"
#include "lib/strings.h"
#include "lib/text_format.h"
#include "lib/util.h"

// Device paths come from other drivers. Every read stays inside the node's
// own Length: a node too short for the fields its text needs is shown
// generically, and a Length below the 4-byte header ends a walk, since it
// would stall or misread the path.

namespace {
constexpr UINTN WORK_AREA = 512;
constexpr UINTN NODE_HEADER = sizeof(EFI_DEVICE_PATH_PROTOCOL);

bool IsEndType(UINT8 Type) { return Type == END_DEVICE_PATH_TYPE || Type == 0xFF; }

bool IsEndOfPath(const EFI_DEVICE_PATH_PROTOCOL* Node) {
  return IsEndType(Node->Type) && Node->SubType == END_ENTIRE_DEVICE_PATH_SUBTYPE;
}

const EFI_DEVICE_PATH_PROTOCOL* NextNode(const EFI_DEVICE_PATH_PROTOCOL* Node) {
  return (const EFI_DEVICE_PATH_PROTOCOL*)((const UINT8*)Node + DevicePathNodeLength(Node));
}

// Node data may sit at any alignment.
EFI_GUID GuidAt(const UINT8* Node, UINTN Offset) {
  EFI_GUID Guid;
  MemMove(&Guid, Node + Offset, sizeof(Guid));
  return Guid;
}

// The file path of a media node, narrowed to printable ASCII. The path is
// not trusted to carry its NUL within the node.
UINTN NarrowFilePath(const UINT8* Node, UINTN Length, CHAR8* Out, UINTN OutSize) {
  UINTN Count = 0;
  for (UINTN Offset = NODE_HEADER; Offset + 2 <= Length && Count + 1 < OutSize; Offset += 2) {
    UINT16 c = ReadLe16(Node + Offset);
    if (c == 0) break;
    Out[Count++] = (c >= 0x20 && c < 0x7F) ? (CHAR8)c : '?';
  }
  Out[Count] = 0;
  return Count;
}

// Writes one node's text at Out with at most Capacity characters including
// the terminator; returns the characters written or FORMAT_ERROR.
UINTN FormatNode(CHAR8* Out, UINTN Capacity, const EFI_DEVICE_PATH_PROTOCOL* Node) {
  const UINT8* p = (const UINT8*)Node;
  const UINT16 Length = DevicePathNodeLength(Node);
  const UINT8 Type = Node->Type;
  const UINT8 SubType = Node->SubType;

  switch (Type) {
    case END_DEVICE_PATH_TYPE:
      return FormatAscii(Out, Capacity, "");
    case 0xFF:
      return FormatAscii(Out, Capacity, "|");
    case HARDWARE_DEVICE_PATH:
      if (SubType == HW_PCI_DP && Length >= 6) return FormatAscii(Out, Capacity, "PCI(%X|%X)\\", p[5], p[4]);
      if (SubType == HW_PCCARD_DP && Length >= 5) return FormatAscii(Out, Capacity, "Pccard(Socket %i)\\", p[4]);
      if (SubType == HW_VENDOR_DP && Length >= 20) {
        EFI_GUID Guid = GuidAt(p, 4);
        return FormatAscii(Out, Capacity, "VenHw(%g)\\", &Guid);
      }
      break;
    case ACPI_DEVICE_PATH:
      if (SubType == ACPI_DP && Length >= 12)
        return FormatAscii(Out, Capacity, "Acpi(%x, %x)\\", ReadLe32(p + 4), ReadLe32(p + 8));
      break;
    case MESSAGING_DEVICE_PATH:
      if (SubType == MSG_ATAPI_DP && Length >= 8 && p[4] <= 1)
        return FormatAscii(Out, Capacity, "ATA(%s, %i)\\", p[4] == 0 ? "Master" : "Slave", ReadLe16(p + 6));
      if (SubType == MSG_SCSI_DP && Length >= 8)
        return FormatAscii(Out, Capacity, "SCSI(%i, %i)\\", ReadLe16(p + 4), ReadLe16(p + 6));
      if (SubType == MSG_USB_DP && Length >= 6) return FormatAscii(Out, Capacity, "USB(%x,%x)\\", p[4], p[5]);
      if (SubType == MSG_VENDOR_DP && Length >= 20) {
        EFI_GUID Guid = GuidAt(p, 4);
        return FormatAscii(Out, Capacity, "VenMsg(%g)\\", &Guid);
      }
      break;
    case MEDIA_DEVICE_PATH:
      if (SubType == MEDIA_HARDDRIVE_DP && Length >= 8)
        return FormatAscii(Out, Capacity, "HD(Part%i, Sig %s)\\", ReadLe32(p + 4), "?");
      if (SubType == MEDIA_CDROM_DP && Length >= 8)
        return FormatAscii(Out, Capacity, "CDROM(Entry%i)\\", ReadLe32(p + 4));
      if (SubType == MEDIA_VENDOR_DP && Length >= 20) {
        EFI_GUID Guid = GuidAt(p, 4);
        return FormatAscii(Out, Capacity, "VenMedia(%g)\\", &Guid);
      }
      if (SubType == MEDIA_FILEPATH_DP) {
        // The path itself, like the other spelled-out nodes followed by one
        // backslash; an empty path falls back to the generic text.
        CHAR8 Path[WORK_AREA];
        if (NarrowFilePath(p, Length, Path, sizeof(Path)) != 0) return FormatAscii(Out, Capacity, "%a\\", Path);
      }
      break;
    default:
      break;
  }
  return FormatAscii(Out, Capacity, "DevicePath(Type %i, SubType %i)", Type, SubType);
}
}  // namespace

// A text longer than the work area is cut at 511 characters and the walk
// stops there: the result is display text, and a cut one still names the
// device. A node with a Length below its header makes the path malformed:
// EFI_INVALID_PARAMETER, nothing allocated.
EFI_STATUS DescribeDevicePath(const EFI_DEVICE_PATH_PROTOCOL* DevicePath, CHAR8** Text) {
  if (DevicePath == nullptr || Text == nullptr) return EFI_INVALID_PARAMETER;

  CHAR8 Work[WORK_AREA];
  UINTN Used = 0;
  Work[0] = 0;
  for (const EFI_DEVICE_PATH_PROTOCOL* Node = DevicePath; Used + 1 < WORK_AREA; Node = NextNode(Node)) {
    UINTN Written = FormatNode(Work + Used, WORK_AREA - Used, Node);
    if (Written == FORMAT_ERROR) return EFI_UNSUPPORTED;
    Used += Written;
    if (IsEndOfPath(Node)) break;
    if (DevicePathNodeLength(Node) < NODE_HEADER) return EFI_INVALID_PARAMETER;
  }

  CHAR8* Result = (CHAR8*)AllocateZeroedBootPool(Used + 1);
  if (Result == nullptr) return EFI_OUT_OF_RESOURCES;
  MemMove(Result, Work, Used);
  *Text = Result;
  return EFI_SUCCESS;
}

// A node of type 0 or with a Length below its header ends the count early,
// without the end node's 4 bytes.
UINTN DevicePathLength(const EFI_DEVICE_PATH_PROTOCOL* DevicePath) {
  if (DevicePath == nullptr) return 0;
  UINTN Size = 0;
  for (const EFI_DEVICE_PATH_PROTOCOL* Node = DevicePath;; Node = NextNode(Node)) {
    if (IsEndOfPath(Node)) return Size + NODE_HEADER;
    UINT16 Length = DevicePathNodeLength(Node);
    if (Node->Type == 0 || Length < NODE_HEADER) return Size;
    Size += Length;
  }
}

// A path that cannot be walked to its end (a Length below the header) has no
// trustworthy last node: null.
const EFI_DEVICE_PATH_PROTOCOL* LastDevicePathNode(const EFI_DEVICE_PATH_PROTOCOL* DevicePath) {
  if (DevicePath == nullptr) return nullptr;
  const EFI_DEVICE_PATH_PROTOCOL* Previous = nullptr;
  for (const EFI_DEVICE_PATH_PROTOCOL* Node = DevicePath; !IsEndType(Node->Type); Node = NextNode(Node)) {
    if (DevicePathNodeLength(Node) < NODE_HEADER) return nullptr;
    Previous = Node;
  }
  return Previous;
}

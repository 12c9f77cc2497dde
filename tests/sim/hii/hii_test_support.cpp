#include "tests/sim/hii/hii_test_support.h"

#include <cstdio>

namespace hiitest {

// ---- Package-list builder -----------------------------------------------------

static void Put32(std::vector<UINT8>& Out, size_t At, UINT32 Value) { std::memcpy(Out.data() + At, &Value, 4); }

PackageListBuilder& PackageListBuilder::Strings(const std::string& Language, const std::vector<UINT8>& Blocks) {
  std::vector<UINT8> package(EFI_HII_STRING_PACKAGE_HDR_FIXED_SIZE);
  package.insert(package.end(), Language.begin(), Language.end());
  package.push_back(0);
  UINT32 hdrSize = (UINT32)package.size();
  Put32(package, 4, hdrSize);
  Put32(package, 8, hdrSize);
  package.insert(package.end(), Blocks.begin(), Blocks.end());
  EFI_HII_PACKAGE_HEADER header;
  header.Set((UINT32)package.size(), EFI_HII_PACKAGE_STRINGS);
  Put32(package, 0, header.LengthAndType);
  Body_.insert(Body_.end(), package.begin(), package.end());
  return *this;
}

PackageListBuilder& PackageListBuilder::Raw(UINT8 Type, const std::vector<UINT8>& Body) {
  std::vector<UINT8> package(4);
  package.insert(package.end(), Body.begin(), Body.end());
  EFI_HII_PACKAGE_HEADER header;
  header.Set((UINT32)package.size(), Type);
  Put32(package, 0, header.LengthAndType);
  Body_.insert(Body_.end(), package.begin(), package.end());
  return *this;
}

std::vector<UINT8> PackageListBuilder::Build(bool WithEnd) const {
  std::vector<UINT8> out(20);
  std::memcpy(out.data(), &Guid_, 16);
  out.insert(out.end(), Body_.begin(), Body_.end());
  if (WithEnd) {
    EFI_HII_PACKAGE_HEADER end;
    end.Set(4, EFI_HII_PACKAGE_END);
    out.resize(out.size() + 4);
    Put32(out, out.size() - 4, end.LengthAndType);
  }
  Put32(out, 16, (UINT32)out.size());
  return out;
}

std::vector<UINT8> Ucs2Block(const std::u16string& Text) {
  std::vector<UINT8> out{EFI_HII_SIBT_STRING_UCS2};
  for (char16_t c : Text) {
    out.push_back((UINT8)c);
    out.push_back((UINT8)(c >> 8));
  }
  out.push_back(0);
  out.push_back(0);
  return out;
}

std::vector<UINT8> Skip1(UINT8 Count) { return {EFI_HII_SIBT_SKIP1, Count}; }
std::vector<UINT8> Skip2(UINT16 Count) { return {EFI_HII_SIBT_SKIP2, (UINT8)Count, (UINT8)(Count >> 8)}; }

std::vector<UINT8> Cat(std::initializer_list<std::vector<UINT8>> Parts) {
  std::vector<UINT8> out;
  for (const auto& p : Parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

// ---- Fixture -------------------------------------------------------------------

size_t HiiTest::HandleCount() {
  UINTN count = 0;
  EFI_HANDLE* handles = nullptr;
  if (EFI_ERROR(BS()->LocateHandleBuffer(AllHandles, nullptr, nullptr, &count, &handles))) return 0;
  BS()->FreePool(handles);
  return count;
}

EFI_HII_STRING_PROTOCOL* HiiTest::StringProtocol() {
  VOID* p = nullptr;
  St()->BootServices->LocateProtocol(&EFI_HII_STRING_PROTOCOL::Guid, nullptr, &p);
  return (EFI_HII_STRING_PROTOCOL*)p;
}

EFI_HII_DATABASE_PROTOCOL* HiiTest::DatabaseProtocol() {
  VOID* p = nullptr;
  St()->BootServices->LocateProtocol(&EFI_HII_DATABASE_PROTOCOL::Guid, nullptr, &p);
  return (EFI_HII_DATABASE_PROTOCOL*)p;
}

EFI_HII_HANDLE HiiTest::Add(const std::vector<UINT8>& List) {
  EFI_HII_HANDLE handle = nullptr;
  EFI_HII_DATABASE_PROTOCOL* db = DatabaseProtocol();
  EXPECT_EQ(db->NewPackageList(db, (const EFI_HII_PACKAGE_LIST_HEADER*)List.data(), nullptr, &handle), EFI_SUCCESS);
  return handle;
}

std::u16string HiiTest::Text(EFI_HII_HANDLE Handle, const char* Language, EFI_STRING_ID Id) {
  EFI_HII_STRING_PROTOCOL* s = StringProtocol();
  CHAR16 buffer[512];
  UINTN size = sizeof(buffer);
  EFI_STATUS status = s->GetString(s, Language, Handle, Id, buffer, &size, nullptr);
  if (EFI_ERROR(status)) {
    char text[32];
    std::snprintf(text, sizeof(text), "!%llx", (unsigned long long)(status & ~EFI_ERROR_BIT));
    return std::u16string(text, text + std::strlen(text));
  }
  return std::u16string(buffer);
}

}  // namespace hiitest

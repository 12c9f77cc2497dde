// Test support for the HII services: a fixture on a simulated machine (which
// installs them at power-on) and a builder for package lists.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "sim/hii/form_utility_service.h"
#include "sim/hii/hii_database.h"
#include "sim/hii/hii_services.h"
#include "sim/hii/setup_browser.h"
#include "sim/machine_test.h"

namespace hiitest {

// Builds package lists byte by byte, right or deliberately wrong.
class PackageListBuilder {
 public:
  explicit PackageListBuilder(const EFI_GUID& Guid) : Guid_(Guid) {}
  // A string package for Language whose blocks are given raw (END included).
  PackageListBuilder& Strings(const std::string& Language, const std::vector<UINT8>& Blocks);
  PackageListBuilder& Raw(UINT8 Type, const std::vector<UINT8>& Body);
  std::vector<UINT8> Build(bool WithEnd = true) const;

 private:
  EFI_GUID Guid_;
  std::vector<UINT8> Body_;
};

// Block helpers.
std::vector<UINT8> Ucs2Block(const std::u16string& Text);
std::vector<UINT8> Skip1(UINT8 Count);
std::vector<UINT8> Skip2(UINT16 Count);
std::vector<UINT8> Cat(std::initializer_list<std::vector<UINT8>> Parts);
constexpr UINT8 EndBlock = EFI_HII_SIBT_END;

constexpr EFI_GUID TestListGuid = {0x11111111, 0x2222, 0x3333, {0x44, 0x44, 0x55, 0x55, 0x55, 0x55, 0x55, 0x55}};
constexpr EFI_GUID MainFormSetGuid = {0x985EEE91, 0xBCAC, 0x4238, {0x87, 0x78, 0x57, 0xEF, 0xDC, 0x93, 0xF2, 0x4E}};

// Every test runs on a fresh machine, which ends the test with a failure
// for any pool buffer left allocated.
class HiiTest : public sim::MachineTest {
 protected:
  EFI_SYSTEM_TABLE* St() { return ST(); }
  sim::HiiDatabase& Db() { return *M().Hii().Database; }
  sim::FormUtilityService& Forms() { return *M().Hii().Forms; }
  sim::SetupBrowser& Browser() { return *M().Hii().Browser; }
  EFI_HII_STRING_PROTOCOL* StringProtocol();
  EFI_HII_DATABASE_PROTOCOL* DatabaseProtocol();

  void PutVariable(const std::u16string& Name, const EFI_GUID& Guid, UINT32 Attributes, std::vector<UINT8> Data) {
    M().Variables().Put(Name, Guid, Attributes, std::move(Data));
  }
  // Null when the variable does not exist.
  const sim::VariableStore::Variable* FindVariable(const std::u16string& Name, const EFI_GUID& Guid) {
    return M().Variables().Find(Name, Guid);
  }
  size_t SetVariableCalls() { return M().Variables().SetLog().size(); }
  size_t HandleCount();

  // Adds a package list through the protocol; fails the test when refused.
  EFI_HII_HANDLE Add(const std::vector<UINT8>& List);
  // GetString through the protocol; the text, or the status as "!<hex>".
  std::u16string Text(EFI_HII_HANDLE Handle, const char* Language, EFI_STRING_ID Id);
};

}  // namespace hiitest

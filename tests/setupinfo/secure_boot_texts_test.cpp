// The page's texts in the language the platform names, and when the
// platform names one the package does not carry.
#include "secure_boot_page_fixture.h"

namespace setupinfo_test {
namespace {

constexpr UINT32 NV_BS_RT = 7;

class SecureBootTexts : public SecureBootPageTest {
 protected:
  void PutPlatformLang(const char* Code) {
    PutVariable(u"PlatformLang", EFI_GLOBAL_VARIABLE_GUID, std::string(Code, strlen(Code) + 1), NV_BS_RT);
  }
};

TEST_F(SecureBootTexts, APlatformLanguageOutsideThePackageStillGivesTexts) {
  // OVMF keeps PlatformLang "en"; the package has en-US, de-DE and ja-JP.
  PutPlatformLang("en");
  Answer({YES});
  Press(0x512);
  EXPECT_EQ(Shown(), (std::vector<std::u16string>{Box(3044, u"Delete db?"), Box(3044, 3040)}));

  // A language the package carries is still the one used.
  PutPlatformLang("de-DE");
  Answer({NO});
  Press(0x50D);
  const auto Handle = FormSetHandle(FORM_SET_CLASS_SECURE_BOOT);
  ASSERT_FALSE(Shown().empty());
  EXPECT_EQ(Shown().back().substr(0, HiiText(Handle, 3044, "de-DE").size()), HiiText(Handle, 3044, "de-DE"));
  EXPECT_NE(HiiText(Handle, 3044, "de-DE"), Text(3044));
}

}  // namespace
}  // namespace setupinfo_test

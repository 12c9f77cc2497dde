#include "forms/form_packages.h"
#include "sim/hii/ifr_forms.h"
#include "tests/sim/hii/hii_test_support.h"

using namespace hiitest;

namespace {

constexpr EFI_GUID PlatformSetupClass = {0x93039971, 0x8545, 0x4B04, {0xB4, 0x5E, 0x32, 0xEB, 0x83, 0x26, 0x04, 0x0E}};

class IfrFormsTest : public HiiTest {};

// The database keeps each compiled list's form package, finds the lists by
// that package type, and the reader gets one form set back whose texts all
// resolve in every language.
TEST_F(IfrFormsTest, CompiledListsCarryOneReadableFormSet) {
  std::vector<EFI_HII_HANDLE> handles;
  for (UINTN i = 0; i < gFormPackageCount; ++i) {
    const FORM_PACKAGE& p = gFormPackages[i];
    EFI_HII_HANDLE h = nullptr;
    ASSERT_EQ(Db().AddPackageList(p.Data, p.Size, nullptr, &h), EFI_SUCCESS) << p.Name;
    handles.push_back(h);
    std::vector<sim::IfrFormSet> sets;
    std::string error;
    ASSERT_TRUE(sim::ReadForms(*Db().Find(h), sets, error)) << p.Name << ": " << error;
    ASSERT_EQ(sets.size(), 1u) << p.Name;
    const sim::IfrFormSet& set = sets[0];
    EXPECT_FALSE(set.Guid == *p.Guid) << p.Name;
    ASSERT_EQ(set.ClassGuids.size(), 1u);
    EXPECT_EQ(set.ClassGuids[0], PlatformSetupClass);
    ASSERT_EQ(set.Forms.size(), 1u);
    EXPECT_EQ(set.Title, 1);

    std::vector<EFI_STRING_ID> ids{set.Title, set.Forms[0].Title};
    for (const auto& item : set.Forms[0].Items) {
      ids.insert(ids.end(), {item.Prompt, item.Help});
      if (item.TextTwo != 0) ids.push_back(item.TextTwo);
      for (const auto& o : item.Options) ids.push_back(o.Text);
    }
    for (EFI_STRING_ID id : ids)
      for (const char* language : {"en-US", "de-DE", "ja-JP"}) {
        std::u16string text = Text(h, language, id);
        EXPECT_TRUE(text.empty() || text[0] != u'!') << p.Name << " " << language << " " << id;
      }
  }
  UINTN size = 0;
  EXPECT_EQ(Db().ListPackageLists(EFI_HII_PACKAGE_FORMS, nullptr, &size, nullptr), EFI_BUFFER_TOO_SMALL);
  EXPECT_EQ(size, handles.size() * sizeof(EFI_HII_HANDLE));
}

// ---- the reader on hand-made packages --------------------------------------

std::vector<UINT8> Op(UINT8 Code, std::vector<UINT8> Body, bool Scope = false) {
  std::vector<UINT8> out{Code, (UINT8)((Body.size() + 2) | (Scope ? 0x80 : 0))};
  out.insert(out.end(), Body.begin(), Body.end());
  return out;
}
std::vector<UINT8> End() { return Op(sim::IFR_END_OP, {}); }
std::vector<UINT8> FormSetOp() {
  std::vector<UINT8> body(16, 0xAB);
  body.insert(body.end(), {1, 0, 2, 0, 0});
  return Op(sim::IFR_FORM_SET_OP, body, true);
}
// Store 1, "S", Size bytes.
std::vector<UINT8> StoreOp(UINT16 Size) {
  std::vector<UINT8> body{1, 0};
  body.insert(body.end(), 16, 0xCD);
  body.insert(body.end(), {7, 0, 0, 0, (UINT8)Size, (UINT8)(Size >> 8), 'S', 0});
  return Op(sim::IFR_VARSTORE_EFI_OP, body);
}
std::vector<UINT8> FormOp() { return Op(sim::IFR_FORM_OP, {1, 0, 1, 0}, true); }
// A 16-bit numeric question at Offset of store Store, key 0x413, range 5..900.
std::vector<UINT8> NumericOp(UINT16 Store, UINT16 Offset) {
  return Op(sim::IFR_NUMERIC_OP, {3, 0, 4, 0, 0x13, 0x04, (UINT8)Store, 0, (UINT8)Offset, 0, sim::IFR_FLAG_CALLBACK,
                                  0x11, 5, 0, 0x84, 3, 0, 0},
            true);
}
std::vector<UINT8> FormPackage(std::initializer_list<std::vector<UINT8>> Ops) {
  std::vector<UINT8> body = Cat(Ops);
  UINT32 word = (UINT32)(body.size() + 4) | ((UINT32)EFI_HII_PACKAGE_FORMS << 24);
  std::vector<UINT8> out{(UINT8)word, (UINT8)(word >> 8), (UINT8)(word >> 16), (UINT8)(word >> 24)};
  out.insert(out.end(), body.begin(), body.end());
  return out;
}

TEST(IfrReader, DecodesQuestionsAndOptions) {
  auto oneOf = Op(sim::IFR_ONE_OF_OP, {6, 0, 6, 0, 0x14, 0x04, 1, 0, 3, 0, 0x04, 0x10, 0, 0xFF, 0}, true);
  auto option = [](UINT8 Text, UINT8 Value) { return Op(sim::IFR_ONE_OF_OPTION_OP, {Text, 0, 0, 0, Value}); };
  auto text = Op(sim::IFR_TEXT_OP, {8, 0, 8, 0, 9, 0});
  auto data = FormPackage({FormSetOp(), StoreOp(16), FormOp(), text, NumericOp(1, 14), End(), oneOf, option(10, 0),
                           option(11, 2), End(), End(), End()});
  std::vector<sim::IfrFormSet> sets;
  std::string error;
  ASSERT_TRUE(sim::ReadFormPackage(data.data(), data.size(), sets, error)) << error;
  ASSERT_EQ(sets.size(), 1u);
  ASSERT_EQ(sets[0].Stores.size(), 1u);
  EXPECT_EQ(sets[0].Stores[0].Name, "S");
  EXPECT_EQ(sets[0].Stores[0].Size, 16);
  const auto& items = sets[0].Forms.at(0).Items;
  ASSERT_EQ(items.size(), 3u);
  EXPECT_EQ(items[0].Kind, sim::IfrKind::Text);
  EXPECT_EQ(items[0].TextTwo, 9);
  EXPECT_EQ(items[1].Kind, sim::IfrKind::Numeric);
  EXPECT_EQ(items[1].QuestionId, 0x413);
  EXPECT_EQ(items[1].Width, 2);
  EXPECT_EQ(items[1].Offset, 14);
  EXPECT_EQ(items[1].Min, 5u);
  EXPECT_EQ(items[1].Max, 900u);
  EXPECT_EQ(items[2].Kind, sim::IfrKind::OneOf);
  ASSERT_EQ(items[2].Options.size(), 2u);
  EXPECT_EQ(items[2].Options[1].Text, 11);
  EXPECT_EQ(items[2].Options[1].Value, 2u);

  std::vector<UINT8> store(16, 0);
  store[14] = 0x34;
  store[15] = 0x12;
  UINT64 value = 0;
  ASSERT_TRUE(sim::QuestionValue(items[1], store, value));
  EXPECT_EQ(value, 0x1234u);
  store.resize(15);
  EXPECT_FALSE(sim::QuestionValue(items[1], store, value));
  EXPECT_FALSE(sim::QuestionValue(items[0], store, value));
}

// A form whose opcode opened no scope ends with its form set; a question
// after that belongs to no form and is stepped over.
TEST(IfrReader, AFormWithoutScopeEndsWithItsFormSet) {
  auto data = FormPackage({FormSetOp(), StoreOp(16), Op(sim::IFR_FORM_OP, {1, 0, 1, 0}), End(), NumericOp(1, 0), End(),
                           FormSetOp(), FormOp(), End(), End()});
  std::vector<sim::IfrFormSet> sets;
  std::string error;
  ASSERT_TRUE(sim::ReadFormPackage(data.data(), data.size(), sets, error)) << error;
  ASSERT_EQ(sets.size(), 2u);
  ASSERT_EQ(sets[0].Forms.size(), 1u);
  EXPECT_TRUE(sets[0].Forms[0].Items.empty());
  EXPECT_EQ(sets[1].Forms.size(), 1u);
}

struct Malformed {
  const char* Name;
  std::vector<UINT8> Data;
  const char* Message;
};

std::vector<UINT8> Nested(size_t Depth) {
  std::vector<UINT8> ops = Cat({FormSetOp(), FormOp()});
  for (size_t i = 0; i < Depth; ++i) {
    auto open = Op(0x5F, {0}, true);  // a scoped opcode the reader steps over
    ops.insert(ops.end(), open.begin(), open.end());
  }
  for (size_t i = 0; i < Depth + 2; ++i) ops.insert(ops.end(), {sim::IFR_END_OP, 2});
  return FormPackage({ops});
}

std::vector<UINT8> Truncated(std::vector<UINT8> Data, size_t Cut) {
  Data.resize(Data.size() - Cut);
  UINT32 word = (UINT32)Data.size() | ((UINT32)EFI_HII_PACKAGE_FORMS << 24);
  std::memcpy(Data.data(), &word, 4);
  return Data;
}

TEST(IfrReader, RefusesMalformedPackages) {
  auto good = FormPackage({FormSetOp(), StoreOp(16), FormOp(), NumericOp(1, 14), End(), End(), End()});
  auto unterminatedName = StoreOp(16);
  unterminatedName.back() = 'X';
  const Malformed cases[] = {
      {"no header", {0x04, 0, 0}, "no package header"},
      {"not a form package", {4, 0, 0, EFI_HII_PACKAGE_STRINGS}, "not a form package"},
      {"cut header", Truncated(good, 1), "cut off"},
      {"zero length", FormPackage({FormSetOp(), {0x01, 0x00}}), "length does not fit"},
      {"length past the end", FormPackage({FormSetOp(), {0x01, 0x7F, 0, 0}}), "length does not fit"},
      {"stray end", FormPackage({End()}), "closes no scope"},
      {"open scope", FormPackage({FormSetOp(), FormOp(), End()}), "left open"},
      {"too deep", Nested(64), "too deep"},
      {"unterminated store name", FormPackage({FormSetOp(), unterminatedName, End()}), "not terminated"},
      {"question past its store", FormPackage({FormSetOp(), StoreOp(15), FormOp(), NumericOp(1, 14), End(), End(), End()}),
       "outside its store"},
      {"undeclared store", FormPackage({FormSetOp(), FormOp(), NumericOp(2, 0), End(), End(), End()}), "undeclared store"},
      {"short question", FormPackage({FormSetOp(), FormOp(), Op(sim::IFR_CHECKBOX_OP, {1, 0, 1, 0}), End(), End()}),
       "cut off"},
      {"form set in a form set", FormPackage({FormSetOp(), FormSetOp(), End(), End()}), "inside a form set"},
      {"store outside a form set", FormPackage({StoreOp(4)}), "outside a form set"},
  };
  for (const auto& c : cases) {
    std::vector<sim::IfrFormSet> sets;
    std::string error;
    EXPECT_FALSE(sim::ReadFormPackage(c.Data.data(), c.Data.size(), sets, error)) << c.Name;
    EXPECT_NE(error.find(c.Message), std::string::npos) << c.Name << ": " << error;
  }
  std::vector<sim::IfrFormSet> sets;
  std::string error;
  EXPECT_TRUE(sim::ReadFormPackage(good.data(), good.size(), sets, error)) << error;
  auto deepButBounded = Nested(62);
  EXPECT_TRUE(sim::ReadFormPackage(deepButBounded.data(), deepButBounded.size(), sets, error)) << error;
}

}  // namespace

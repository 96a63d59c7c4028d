#include <objbase.h>

#include <gtest/gtest.h>

#include <string>

namespace {

std::u16string Text(REFGUID guid) {
  WCHAR buffer[39];
  EXPECT_EQ(StringFromGUID2(guid, buffer, 39), 39);
  return buffer;
}

TEST(Guid, WellKnownInterfacesHaveTheirWindowsIdentifiers) {
  EXPECT_EQ(Text(IID_IUnknown), WSTR("{00000000-0000-0000-C000-000000000046}"));
  EXPECT_EQ(Text(IID_IDispatch), WSTR("{00020400-0000-0000-C000-000000000046}"));
  EXPECT_EQ(Text(IID_IClassFactory), WSTR("{00000001-0000-0000-C000-000000000046}"));
  EXPECT_EQ(Text(IID_NULL), WSTR("{00000000-0000-0000-0000-000000000000}"));
}

TEST(Guid, ParsesAnyCaseAndWritesUpperCase) {
  const GUID expected = {
      0x1D47C6CD, 0x6B66, 0x4C3B, {0x81, 0xFA, 0xCB, 0xE4, 0x3B, 0x4A, 0x3D, 0xAA}};
  for (const char16_t* text : {WSTR("{1D47C6CD-6B66-4C3B-81FA-CBE43B4A3DAA}"),
                               WSTR("{1d47c6cd-6b66-4c3b-81fa-cbe43b4a3daa}"),
                               WSTR("{1d47C6cD-6b66-4C3b-81Fa-cBE43b4A3dAa}")}) {
    CLSID clsid{};
    ASSERT_EQ(CLSIDFromString(text, &clsid), S_OK);
    EXPECT_EQ(clsid, expected);
    EXPECT_EQ(Text(clsid), WSTR("{1D47C6CD-6B66-4C3B-81FA-CBE43B4A3DAA}"));
    IID iid{};
    ASSERT_EQ(IIDFromString(text, &iid), S_OK);
    EXPECT_EQ(iid, expected);
  }
}

TEST(Guid, RefusesEverythingButTheBracedForm) {
  for (const char16_t* text : {
           WSTR(""),
           WSTR("{"),
           WSTR("1D47C6CD-6B66-4C3B-81FA-CBE43B4A3DAA"),
           WSTR("{1D47C6CD-6B66-4C3B-81FA-CBE43B4A3DAA"),
           WSTR("{1D47C6CD-6B66-4C3B-81FA-CBE43B4A3DA}"),
           WSTR("{1D47C6CD-6B66-4C3B-81FA-CBE43B4A3DAA}x"),
           WSTR("{1D47C6CD-6B66-4C3B-81FACBE43B4A3DAA0}"),
           WSTR("{1D47C6CD6B66-4C3B-81FA-CBE43B4A3DAA-}"),
           WSTR("{1D47C6CG-6B66-4C3B-81FA-CBE43B4A3DAA}"),
           WSTR("{1D47C6CD-6B66-4C3B-81FA-CBE43B4A3D A}"),
           WSTR("{+D47C6CD-6B66-4C3B-81FA-CBE43B4A3DAA}"),
           WSTR("(1D47C6CD-6B66-4C3B-81FA-CBE43B4A3DAA)"),
           WSTR("MarrowjetUI.Job"),
       }) {
    CLSID clsid{};
    EXPECT_EQ(CLSIDFromString(text, &clsid), CO_E_CLASSSTRING)
        << std::string(text, text + std::char_traits<char16_t>::length(text));
    EXPECT_EQ(clsid, IID_NULL);
    IID iid{};
    EXPECT_EQ(IIDFromString(text, &iid), E_INVALIDARG);
  }
  CLSID clsid{};
  EXPECT_EQ(CLSIDFromString(nullptr, &clsid), E_INVALIDARG);
  EXPECT_EQ(CLSIDFromString(WSTR("{1D47C6CD-6B66-4C3B-81FA-CBE43B4A3DAA}"), nullptr), E_INVALIDARG);
}

TEST(Guid, WritingNeedsRoomForTheTerminator) {
  WCHAR buffer[40] = {};
  EXPECT_EQ(StringFromGUID2(IID_IDispatch, buffer, 38), 0);
  EXPECT_EQ(StringFromGUID2(IID_IDispatch, buffer, 40), 39);
  EXPECT_EQ(buffer[38], 0);
}

}  // namespace

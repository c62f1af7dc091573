#include "library/boundary/java_string.h"

#include <gtest/gtest.h>

#include <cstring>

#include "fakes/test_string.h"
#include "library/boundary/file_name.h"
#include "library/exports/exports.h"

namespace {

struct ConversionCase {
  const char* name;
  std::u16string text;
  std::int32_t size;
  std::string expected;  // including the terminating zero
};

TEST(JavaString, ConvertsOneBytePerCharacter) {
  const ConversionCase cases[] = {
      {"ascii", u"a.gif", 256, std::string("a.gif\0", 6)},
      {"latin-1 e acute", u"\u00e9", 256, std::string("\xE9\0", 2)},
      {"u+00ff", u"\u00ff", 256, std::string("\xFF\0", 2)},
      {"beyond latin-1", u"a\u0100b\u20ac", 256, std::string("a?b?\0", 5)},
      {"surrogate pair is two units", u"\U0001F600", 256, std::string("??\0", 3)},
      {"empty", u"", 256, std::string("\0", 1)},
      {"cut to size - 1", u"abcdef", 4, std::string("abc\0", 4)},
      {"size 1 holds only the zero", u"abc", 1, std::string("\0", 1)},
  };
  for (const ConversionCase& c : cases) {
    SCOPED_TRACE(c.name);
    TestString string(c.text);
    std::string buffer(static_cast<std::size_t>(c.size) + 4, '#');
    javaString2CString(string.handle(), buffer.data(), c.size);
    EXPECT_EQ(buffer.substr(0, c.expected.size()), c.expected);
    // Nothing is written past the buffer's size.
    EXPECT_EQ(buffer.substr(static_cast<std::size_t>(c.size)), "####");
  }
}

TEST(JavaString, LengthCountsUtf16Units) {
  EXPECT_EQ(javaStringLength(TestString(u"caf\u00e9").handle()), 4);
  EXPECT_EQ(javaStringLength(TestString(u"\U0001F600").handle()), 2);
  EXPECT_EQ(javaStringLength(nullptr), 0);
}

TEST(JavaString, NullHandleGivesTheEmptyText) {
  char buffer[4] = "xyz";
  javaString2CString(nullptr, buffer, 4);
  EXPECT_EQ(buffer[0], '\0');
}

TEST(JavaString, LongTextsConvertAcrossChunks) {
  std::u16string text(5000, u'x');
  text[1023] = u'\u00e9';
  text[1024] = u'\u0101';
  char buffer[kClipboardBufferSize];
  javaString2CString(TestString(text).handle(), buffer, kClipboardBufferSize);
  EXPECT_EQ(std::strlen(buffer), 5000u);
  EXPECT_EQ(static_cast<unsigned char>(buffer[1023]), 0xE9);
  EXPECT_EQ(buffer[1024], '?');
}

TEST(FileName, TheLongestWholeNameIs255Characters) {
  NameBuffer buffer;
  std::string whole(255, 'n');
  EXPECT_TRUE(convertFileName(TestString::latin1(whole).handle(), buffer));
  EXPECT_EQ(std::string(buffer), whole);

  std::string tooLong(256, 'n');
  EXPECT_FALSE(convertFileName(TestString::latin1(tooLong).handle(), buffer));
  EXPECT_EQ(std::string(buffer), whole);  // the conversion itself still cuts
}

// A name is whole only when its 8-bit text stands for it: every character U+0001 to U+00FF. The
// text is still converted as always ('?' for the others), as the clipboard takes it.
TEST(FileName, CharactersThatTheTextCannotHoldRefuseTheName) {
  struct Case {
    const char* name;
    std::u16string text;
    bool whole;
    std::string converted;
  };
  const Case cases[] = {
      {"latin-1", u"caf\u00e9.gif", true, "caf\xE9.gif"},
      {"u+00ff", u"\u00ff", true, "\xFF"},
      {"question mark itself", u"why?.gif", true, "why?.gif"},
      {"euro sign", u"x\u20ac.gif", false, "x?.gif"},
      {"u+0100", u"\u0100", false, "?"},
      {"surrogate pair", u"\U0001F600.au", false, "??.au"},
      {"u+0000 inside", std::u16string(u"victim.jpg\0.txt", 15), false, "victim.jpg"},
      {"empty", u"", true, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TestString string(c.text);
    NameBuffer buffer;
    EXPECT_EQ(convertFileName(string.handle(), buffer), c.whole);
    EXPECT_EQ(std::string(buffer), c.converted);
    EXPECT_EQ(holdsOnlyNameCharacters(string.handle()), c.whole);
  }
}

TEST(FileName, ACharacterFarIntoALongTextIsFound) {
  std::u16string text(5000, u'a');
  EXPECT_TRUE(holdsOnlyNameCharacters(TestString(text).handle()));
  text[4321] = u'\u20ac';
  EXPECT_FALSE(holdsOnlyNameCharacters(TestString(text).handle()));
}

TEST(Exports, InterfaceVersion) { EXPECT_EQ(RNIGetCompatibleVersion(), 0x00020000); }

}  // namespace

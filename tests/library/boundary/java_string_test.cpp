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
  FileName buffer;
  std::string whole(255, 'n');
  EXPECT_TRUE(convertFileName(TestString::latin1(whole).handle(), buffer));
  EXPECT_EQ(std::string(buffer), whole);

  std::string tooLong(256, 'n');
  EXPECT_FALSE(convertFileName(TestString::latin1(tooLong).handle(), buffer));
  EXPECT_EQ(std::string(buffer), whole);  // the conversion itself still cuts

  // 255 characters that each take two bytes in UTF-8 fill the buffer to its last byte.
  std::string wide(255, '\xFF');
  EXPECT_TRUE(convertFileName(TestString::latin1(wide).handle(), buffer));
  std::string utf8;
  for (int i = 0; i < 255; ++i) utf8 += "\xC3\xBF";
  EXPECT_EQ(std::string(buffer), utf8);
  EXPECT_EQ(utf8.size() + 1, kFileNameSize);
}

// The name is read once: one length and one pass over its characters, whatever its length.
TEST(FileName, TheStringIsReadOnce) {
  for (std::size_t length : {std::size_t{0}, std::size_t{7}, std::size_t{255}, std::size_t{300}}) {
    SCOPED_TRACE(length);
    TestString string(std::u16string(length, u'\u00e9'));
    FileName buffer;
    convertFileName(string.handle(), buffer);
    EXPECT_EQ(string.lengthReads, 1);
    EXPECT_EQ(string.unitsRead, std::min<std::size_t>(length, 255));
  }
}

// A name is whole only when its 8-bit text stands for it: every character U+0001 to U+00FF. The
// text is still converted as always ('?' for the others), as the clipboard takes it, and given in
// UTF-8; a cabinet entry gives the 8-bit text too.
TEST(FileName, CharactersThatTheTextCannotHoldRefuseTheName) {
  struct Case {
    const char* name;
    std::u16string text;
    bool whole;
    std::string converted;  // the 8-bit text
    std::string utf8;
  };
  const Case cases[] = {
      {"latin-1", u"caf\u00e9.gif", true, "caf\xE9.gif", "caf\xC3\xA9.gif"},
      {"u+00ff", u"\u00ff", true, "\xFF", "\xC3\xBF"},
      {"u+0080", u"c1\u0080.jpg", true, "c1\x80.jpg", "c1\xC2\x80.jpg"},
      {"question mark itself", u"why?.gif", true, "why?.gif", "why?.gif"},
      {"euro sign", u"x\u20ac.gif", false, "x?.gif", "x?.gif"},
      {"u+0100", u"\u0100", false, "?", "?"},
      {"surrogate pair", u"\U0001F600.au", false, "??.au", "??.au"},
      {"u+0000 inside", std::u16string(u"victim.jpg\0.txt", 15), false, "victim.jpg", "victim.jpg"},
      {"empty", u"", true, "", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TestString string(c.text);
    FileName buffer;
    EXPECT_EQ(convertFileName(string.handle(), buffer), c.whole);
    EXPECT_EQ(std::string(buffer), c.utf8);
    const auto length = static_cast<std::int32_t>(c.text.size());
    std::string text(c.text.size() + 1, '#');
    std::string utf8(2 * c.text.size() + 1, '#');
    EXPECT_EQ(convertEntryName(string.handle(), length, text.data(), utf8.data()), c.whole);
    EXPECT_EQ(std::string(text.c_str()), c.converted);
    EXPECT_EQ(std::string(utf8.c_str()), c.utf8);
  }
}

TEST(FileName, ACharacterFarIntoALongTextIsFound) {
  std::u16string text(5000, u'\u00e9');
  std::string latin1(text.size() + 1, '#');
  std::string utf8(2 * text.size() + 1, '#');
  EXPECT_TRUE(convertEntryName(TestString(text).handle(), 5000, latin1.data(), utf8.data()));
  EXPECT_EQ(std::string(latin1.c_str()), std::string(5000, '\xE9'));
  EXPECT_EQ(std::string(utf8.c_str()).size(), 10000u);
  text[4321] = u'\u20ac';
  EXPECT_FALSE(convertEntryName(TestString(text).handle(), 5000, latin1.data(), utf8.data()));
}

// The clipboard's text, and any 8-bit text, crosses the platform layer as UTF-8: up to its first
// zero byte, never more than its length.
TEST(PlatformText, EightBitTextBecomesUtf8) {
  const struct {
    const char* name;
    std::string text;
    std::size_t length;
    std::string utf8;
  } cases[] = {
      {"ascii", "plain", 5, "plain"},
      {"every high byte takes two", "caf\xE9 \xDF \x80\xFF", 9,
       "caf\xC3\xA9 \xC3\x9F \xC2\x80\xC3\xBF"},
      {"the length ends it", "abcdef", 3, "abc"},
      {"a zero ends it", std::string("ab\0cd", 5), 5, "ab"},
      {"empty", "", 0, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(platformText(c.text.c_str(), c.length), c.utf8);
  }
}

TEST(Exports, InterfaceVersion) { EXPECT_EQ(RNIGetCompatibleVersion(), 0x00020000); }

}  // namespace

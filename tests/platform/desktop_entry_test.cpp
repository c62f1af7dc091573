#include "platform/posix/desktop_entry.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using platform::posix::ExecContext;
using platform::posix::expandExecLine;
using platform::posix::fileUri;
using Words = std::vector<std::string>;

const char kDocument[] = "/home/ana/My Notes/r\xC3\xA9sum\xC3\xA9 100%.txt";
const char kUri[] = "file:///home/ana/My%20Notes/r%C3%A9sum%C3%A9%20100%25.txt";

ExecContext context() {
  return {kDocument, "accessories-text-editor", "Text Editor",
          "/usr/share/applications/ed.desktop"};
}

struct ExecCase {
  const char* name;
  const char* exec;  // string escapes already undone
  Words expected;
  bool urisAsUris = true;
};

class ExecLine : public testing::TestWithParam<ExecCase> {};

TEST_P(ExecLine, ExpandsToTheWordsOfTheCommand) {
  Words words;
  ExecContext given = context();
  given.urisAsUris = GetParam().urisAsUris;
  EXPECT_TRUE(expandExecLine(GetParam().exec, given, words));
  EXPECT_EQ(words, GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    DesktopEntry, ExecLine,
    testing::Values(
        // Field codes
        ExecCase{"FileName", "app %f", {"app", kDocument}},
        ExecCase{"FileList", "app %F", {"app", kDocument}},
        ExecCase{"Url", "app %u", {"app", kUri}}, ExecCase{"UrlList", "app %U", {"app", kUri}},
        ExecCase{"Icon", "app %i %f", {"app", "--icon", "accessories-text-editor", kDocument}},
        ExecCase{"IconInsideAWordIsDropped", "app -x%i %f", {"app", "-x", kDocument}},
        ExecCase{"Name", "app --title %c %f", {"app", "--title", "Text Editor", kDocument}},
        ExecCase{"NameInsideAWord", "app --title=%c", {"app", "--title=Text Editor", kDocument}},
        ExecCase{"Location", "app %k %u", {"app", "/usr/share/applications/ed.desktop", kUri}},
        ExecCase{"DeprecatedCodesAreDropped", "app %d %D %n %N %v %m %f", {"app", kDocument}},
        ExecCase{"DeprecatedCodeInsideAWord", "app --dir=%d %f", {"app", "--dir=", kDocument}},
        ExecCase{
            "FileNameInsideAWord", "app --open=%f", {"app", std::string("--open=") + kDocument}},
        ExecCase{"Percent", "app 100%% %f", {"app", "100%", kDocument}},
        ExecCase{"PercentThenLetter", "app %%f", {"app", "%f", kDocument}},
        ExecCase{"PercentInsideQuotes", "app \"50%% off\" %f", {"app", "50% off", kDocument}},
        ExecCase{
            "NameInsideQuotes", "app \"about %c\" %f", {"app", "about Text Editor", kDocument}},
        ExecCase{"NoFieldCodeAppendsTheDocument",
                 "app --new-window",
                 {"app", "--new-window", kDocument}},
        ExecCase{
            "OnlyNonDocumentCodesAppendTheDocument", "app %c", {"app", "Text Editor", kDocument}},
        // Forms that would run the document as code if only the first word were kept
        ExecCase{"ShellScript",
                 "sh -c \"exec app \\\"\\$1\\\"\" sh %f",
                 {"sh", "-c", "exec app \"$1\"", "sh", kDocument}},
        ExecCase{"Interpreter",
                 "python3 /opt/app/main.py %f",
                 {"python3", "/opt/app/main.py", kDocument}},
        ExecCase{"Environment", "env APP_HINT=1 app %u", {"env", "APP_HINT=1", "app", kUri}},
        // Quoting and blanks
        ExecCase{"QuotedProgramWithSpaces",
                 "\"/opt/My App/bin/app\" %f",
                 {"/opt/My App/bin/app", kDocument}},
        ExecCase{"QuoteEscapes",
                 "app \"a \\\" b \\` c \\$ d \\\\ e\" %f",
                 {"app", "a \" b ` c $ d \\ e", kDocument}},
        ExecCase{
            "OtherBackslashInsideQuotesStays", "app \"a\\nb\" %f", {"app", "a\\nb", kDocument}},
        ExecCase{"QuotesJoinAWord", "app --x=\"a b\"c %f", {"app", "--x=a bc", kDocument}},
        ExecCase{"EmptyQuotedWordStays", "app \"\" %f", {"app", "", kDocument}},
        ExecCase{"RunsOfBlanks", "  app\t\t-a  \n %f  ", {"app", "-a", kDocument}},
        ExecCase{"QuotedReservedCharactersAreLiteral",
                 "app \";\" \">\" \"|\" \"&\" \"\\$(x)\" \"\\`y\\`\" \"'z'\" %f",
                 {"app", ";", ">", "|", "&", "$(x)", "`y`", "'z'", kDocument}},
        ExecCase{"OnlyTheFirstDocumentCodeTakesTheDocument",
                 "app %f --also %u %F",
                 {"app", kDocument, "--also"}},
        ExecCase{"UrlAsPathForGio", "app %u", {"app", kDocument}, false}),
    [](const testing::TestParamInfo<ExecCase>& info) { return std::string(info.param.name); });

struct RefusedCase {
  const char* name;
  const char* exec;
};

class RefusedExecLine : public testing::TestWithParam<RefusedCase> {};

TEST_P(RefusedExecLine, GivesNoCommand) {
  Words words{"left over"};
  EXPECT_FALSE(expandExecLine(GetParam().exec, context(), words));
  EXPECT_TRUE(words.empty());
}

INSTANTIATE_TEST_SUITE_P(
    DesktopEntry, RefusedExecLine,
    testing::Values(
        RefusedCase{"Empty", ""}, RefusedCase{"OnlyBlanks", "  \t "},
        RefusedCase{"UnterminatedQuote", "app \"%f"}, RefusedCase{"UnknownFieldCode", "app %x %f"},
        RefusedCase{"LonePercentAtTheEnd", "app %f %"}, RefusedCase{"DocumentAsTheProgram", "%f"},
        RefusedCase{"FieldCodeInTheProgramWord", "app%u --x"},
        RefusedCase{"DeprecatedCodeAsTheProgram", "%d app %f"},
        RefusedCase{"DocumentInsideAQuotedScript", "sh -c \"app %f\""},
        RefusedCase{"UrlInsideQuotes", "app \"%u\""},
        // Quoting of a shell, not of these rules: each could move the document's
        // name into the script that sh runs.
        RefusedCase{"SingleQuotedScript", "sh -c 'cat<%f'"},
        RefusedCase{"SingleQuoteInAWord", "app it's %f"},
        RefusedCase{"BackslashEscapedBlank", "sh -c cat\\ %f"},
        RefusedCase{"BackslashOutsideQuotes", "app a\\ b %f"},
        RefusedCase{"DocumentAfterAQuotedPart", "sh -c \"cat<\"%f"},
        RefusedCase{"QuotedPartAfterTheDocument", "sh -c %f\"|sh\""},
        RefusedCase{"UnquotedRedirection", "sh -c cat<%f"},
        RefusedCase{"UnquotedReservedCharacters", "app ; > | & $(x) %f"},
        RefusedCase{"UnquotedBackquote", "app `y` %f"}, RefusedCase{"UnquotedHash", "app #x %f"}),
    [](const testing::TestParamInfo<RefusedCase>& info) { return std::string(info.param.name); });

TEST(DesktopEntry, IconCodeWithoutAnIconGivesNoWords) {
  ExecContext noIcon = context();
  noIcon.icon.clear();
  Words words;
  ASSERT_TRUE(expandExecLine("app %i %f", noIcon, words));
  EXPECT_EQ(words, (Words{"app", kDocument}));
}

TEST(DesktopEntry, ExpandedTextIsNotExpandedAgain) {
  ExecContext percentName = context();
  percentName.name = "%f %%";
  Words words;
  ASSERT_TRUE(expandExecLine("app %c", percentName, words));
  EXPECT_EQ(words, (Words{"app", "%f %%", kDocument}));
}

struct UriCase {
  const char* path;
  const char* uri;
};

class FileUri : public testing::TestWithParam<UriCase> {};

TEST_P(FileUri, PercentEncodesAllButUnreservedCharactersAndSlashes) {
  EXPECT_EQ(fileUri(GetParam().path), GetParam().uri);
}

INSTANTIATE_TEST_SUITE_P(DesktopEntry, FileUri,
                         testing::Values(UriCase{"/", "file:///"},
                                         UriCase{"/a-b.c_d~e/AZaz09", "file:///a-b.c_d~e/AZaz09"},
                                         UriCase{"/x/--help", "file:///x/--help"},
                                         UriCase{"/it's \"q\";$(x)`y`",
                                                 "file:///it%27s%20%22q%22%3B%24%28x%29%60y%60"},
                                         UriCase{"/a\nb#c?d%e+f&g=h:i@j",
                                                 "file:///a%0Ab%23c%3Fd%25e%2Bf%26g%3Dh%3Ai%40j"},
                                         UriCase{"/\xC3\xA9\xFF", "file:///%C3%A9%FF"}));

// A literal backslash inside a quoted word is two in the line (four in the file, before the
// value's escapes are undone).
TEST(DesktopEntry, BackslashInAQuotedWord) {
  Words words;
  ASSERT_TRUE(expandExecLine("app \"a\\\\b\" \"\\$HOME\" %f", context(), words));
  EXPECT_EQ(words, (Words{"app", "a\\b", "$HOME", kDocument}));
}

}  // namespace

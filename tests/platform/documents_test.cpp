// The look-up of a document's command through a private desktop (xdg-mime and desktop entries
// of the test's own); nothing is started.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "fakes/xdg_desktop.h"
#include "platform/platform.h"
#include "platform/posix/desktop_entry.h"
#include "platform/posix/process.h"

namespace {

using Parts = std::vector<std::string>;

struct Entry {
  const char* file;  // under the applications folder
  const char* text;  // "$APP" stands for the path of an executable script
  const char* where;
};

struct LookupCase {
  const char* name;
  std::vector<Entry> entries;
  const char* defaultId;
  Parts expected;  // "$APP", "$DOC", "$URI", "$ENV": the script, the document, its URI, env
};

std::string replaced(std::string text, const std::string& from, const std::string& to) {
  for (std::size_t at = text.find(from); at != std::string::npos; at = text.find(from, at)) {
    text.replace(at, from.size(), to);
    at += to.size();
  }
  return text;
}

class DocumentLookup : public testing::TestWithParam<LookupCase> {};

TEST_P(DocumentLookup, MakesTheCommandOfTheDefaultApplication) {
  XdgDesktop desktop;
  std::string app = desktop.addScript("app.sh", "#!/bin/sh\n");
  for (const Entry& entry : GetParam().entries) {
    desktop.addEntry(entry.file, replaced(entry.text, "$APP", app), entry.where);
  }
  desktop.makeDefault(GetParam().defaultId);
  std::string document = desktop.folder().write("notes.txt", "plain text\n");

  // From the desktop's folder, where "./app.sh" names the script.
  std::filesystem::path before = std::filesystem::current_path();
  std::filesystem::current_path(desktop.folder().path());
  platform::DocumentCommand command =
      platform::findProgramForDocument("notes.txt", desktop.folder().path().c_str());
  std::filesystem::current_path(before);

  Parts expected;
  for (const std::string& part : GetParam().expected) {
    std::string text = replaced(replaced(part, "$APP", app), "$DOC", document);
    text = replaced(text, "$URI", platform::posix::fileUri(document));
    expected.push_back(replaced(text, "$ENV", platform::posix::findOnPath("env")));
  }
  EXPECT_EQ(command.parts, expected);
}

const char kApp[] = "[Desktop Entry]\nType=Application\nName=App\nExec=$APP --open %f\n";

INSTANTIATE_TEST_SUITE_P(
    Documents, DocumentLookup,
    testing::Values(
        LookupCase{
            "Plain", {{"app.desktop", kApp, "data"}}, "app.desktop", {"$APP", "--open", "$DOC"}},
        LookupCase{"FromTheSystemFolder",
                   {{"app.desktop", kApp, "system"}},
                   "app.desktop",
                   {"$APP", "--open", "$DOC"}},
        LookupCase{"InAVendorSubfolder",
                   {{"vendor/app.desktop", kApp, "data"}},
                   "vendor-app.desktop",
                   {"$APP", "--open", "$DOC"}},
        LookupCase{"ProgramOnPath",
                   {{"app.desktop", "[Desktop Entry]\nType=Application\nExec=env HINT=1 $APP %U\n",
                     "data"}},
                   "app.desktop",
                   // env is looked up on PATH, so the first part is its full path.
                   {"$ENV", "HINT=1", "$APP", "$URI"}},
        LookupCase{"NoDisplayIsStillUsed",
                   {{"app.desktop",
                     "[Desktop Entry]\nType=Application\nNoDisplay=true\nExec=$APP %f\n", "data"}},
                   "app.desktop",
                   {"$APP", "$DOC"}},
        LookupCase{
            "TryExecFound",
            {{"app.desktop", "[Desktop Entry]\nType=Application\nTryExec=sh\nExec=$APP\n", "data"}},
            "app.desktop",
            {"$APP", "$DOC"}},
        LookupCase{"TryExecMissing",
                   {{"app.desktop",
                     "[Desktop Entry]\nType=Application\nTryExec=tavolin-not-installed\n"
                     "Exec=$APP %f\n",
                     "data"}},
                   "app.desktop",
                   {}},
        LookupCase{"HiddenIsDeleted",
                   {{"app.desktop",
                     "[Desktop Entry]\nType=Application\nHidden=true\nExec=$APP %f\n", "data"}},
                   "app.desktop",
                   {}},
        // A hidden entry of the user's own deletes the system's entry of the same id.
        LookupCase{"HiddenHidesTheSystemsEntry",
                   {{"app.desktop",
                     "[Desktop Entry]\nType=Application\nHidden=true\nExec=$APP %f\n", "data"},
                    {"app.desktop", kApp, "system"}},
                   "app.desktop",
                   {}},
        LookupCase{"NotAnApplication",
                   {{"app.desktop", "[Desktop Entry]\nType=Link\nExec=$APP %f\n", "data"}},
                   "app.desktop",
                   {}},
        LookupCase{
            "ProgramGivenByARelativePath",
            {{"app.desktop", "[Desktop Entry]\nType=Application\nExec=./app.sh %f\n", "data"}},
            "app.desktop",
            {}},
        LookupCase{
            "InvalidExecLine",
            {{"app.desktop", "[Desktop Entry]\nType=Application\nExec=$APP %z %f\n", "data"}},
            "app.desktop",
            {}},
        LookupCase{"NoSuchEntry", {}, "tavolin-missing.desktop", {}}),
    [](const testing::TestParamInfo<LookupCase>& info) { return std::string(info.param.name); });

struct PathCase {
  const char* name;
  const char* document;     // "$DIR" is the default directory
  bool inDefaultDirectory;  // else in the current directory
  const char* expected;     // relative to the folder that holds it
};

class DocumentPath : public testing::TestWithParam<PathCase> {};

// However the document is named, the program gets its absolute path, so that no name can be
// taken for an option.
TEST_P(DocumentPath, ReachesTheProgramAsAnAbsolutePath) {
  XdgDesktop desktop;
  std::string app = desktop.addScript("app.sh", "#!/bin/sh\n");
  desktop.addEntry("app.desktop", replaced(kApp, "$APP", app));
  desktop.makeDefault("app.desktop");
  std::filesystem::create_directories(desktop.folder().path() / "docs/sub");
  std::filesystem::create_directories(desktop.folder().path() / "cwd");
  std::string holder = GetParam().inDefaultDirectory ? "docs/" : "cwd/";
  desktop.folder().write(holder + GetParam().expected, "plain text\n");
  std::filesystem::path before = std::filesystem::current_path();
  std::filesystem::current_path(desktop.folder().path() / "cwd");

  std::string directory = desktop.folder().file("docs");
  std::string document = replaced(GetParam().document, "$DIR", directory);
  platform::DocumentCommand command =
      platform::findProgramForDocument(document.c_str(), directory.c_str());
  std::filesystem::current_path(before);

  ASSERT_EQ(command.parts.size(), 3u);
  EXPECT_EQ(command.parts[2], desktop.folder().file(holder + GetParam().expected));
}

INSTANTIATE_TEST_SUITE_P(
    Documents, DocumentPath,
    testing::Values(PathCase{"Absolute", "$DIR/notes.txt", true, "notes.txt"},
                    PathCase{"InTheDefaultDirectory", "notes.txt", true, "notes.txt"},
                    PathCase{"InASubfolderOfIt", "sub/notes.txt", true, "sub/notes.txt"},
                    PathCase{"LikeALongOption", "--help", true, "--help"},
                    PathCase{"LikeAShortOption", "-rf", true, "-rf"},
                    PathCase{"LikeAPlusOption", "+cmd", true, "+cmd"},
                    PathCase{"OnlyInTheCurrentDirectory", "here.txt", false, "here.txt"},
                    PathCase{"OptionOnlyInTheCurrentDirectory", "--version", false, "--version"}),
    [](const testing::TestParamInfo<PathCase>& info) { return std::string(info.param.name); });

TEST(Documents, AMissingDocumentHasNoProgram) {
  XdgDesktop desktop;
  std::string app = desktop.addScript("app.sh", "#!/bin/sh\n");
  desktop.addEntry("app.desktop", replaced(kApp, "$APP", app));
  desktop.makeDefault("app.desktop");
  EXPECT_TRUE(platform::findProgramForDocument("missing.txt", desktop.folder().path().c_str())
                  .parts.empty());
}

}  // namespace

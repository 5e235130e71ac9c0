#include "TempDir.h"
#include "capture/RecentFiles.h"

#include <gtest/gtest.h>

namespace parlendo {
namespace {

using Failure = RecentFiles::Failure;

// As GLib writes the list, with one entry by Mousepad and one by the document viewer.
const std::string gtkList = R"(<?xml version="1.0" encoding="UTF-8"?>
<xbel version="1.0"
      xmlns:bookmark="http://www.freedesktop.org/standards/desktop-bookmarks"
      xmlns:mime="http://www.freedesktop.org/standards/shared-mime-info"
>
  <bookmark href="file:///tmp/docs/my%20notes.txt" added="2024-12-07T16:34:22.780779Z" modified="2024-12-07T16:34:22.780785Z" visited="2024-12-07T16:34:22.780780Z">
    <desc>Language: ; Encoding: UTF-8; Cursor: 0:0;</desc>
    <info>
      <metadata owner="http://freedesktop.org">
        <mime:mime-type type="text/plain"/>
        <bookmark:groups>
          <bookmark:group>Mousepad</bookmark:group>
        </bookmark:groups>
        <bookmark:applications>
          <bookmark:application name="Mousepad" exec="&apos;mousepad %u&apos;" modified="2024-12-07T16:34:22.780783Z" count="1"/>
        </bookmark:applications>
      </metadata>
    </info>
  </bookmark>
  <bookmark href="file:///tmp/docs/Reading%20Notes.pdf" added="2024-12-07T16:34:54Z" modified="2024-12-07T16:34:54Z" visited="2024-12-07T16:34:54Z">
    <info>
      <metadata owner="http://freedesktop.org">
        <mime:mime-type type="application/pdf"/>
        <bookmark:applications>
          <bookmark:application name="Document Viewer" exec="&apos;evince %u&apos;" modified="2024-12-07T16:34:54.170417Z" count="1"/>
        </bookmark:applications>
      </metadata>
    </info>
  </bookmark>
</xbel>
)";

std::string list(const std::string& bookmarks) {
    return "<?xml version=\"1.0\"?>\n<xbel version=\"1.0\" "
           "xmlns:bookmark=\"http://www.freedesktop.org/standards/desktop-bookmarks\">" +
           bookmarks + "</xbel>\n";
}

std::string bookmark(const std::string& href, const std::string& name, const std::string& exec,
                     const std::string& modified) {
    return "<bookmark href=\"" + href +
           "\"><info><metadata owner=\"http://freedesktop.org\"><bookmark:applications>"
           "<bookmark:application name=\"" +
           name + "\" exec=\"" + exec + "\" modified=\"" + modified +
           "\" count=\"1\"/></bookmark:applications></metadata></info></bookmark>";
}

TEST(RecentFiles, ReadsTheListAsGtkWritesIt) {
    const auto entries = RecentFiles::parse(gtkList);
    ASSERT_TRUE(entries);
    ASSERT_EQ(entries->size(), 2u);
    EXPECT_EQ((*entries)[0].href, "file:///tmp/docs/my%20notes.txt");
    ASSERT_EQ((*entries)[0].applications.size(), 1u);
    const auto& mousepad = (*entries)[0].applications[0];
    EXPECT_EQ(mousepad.name, "Mousepad");
    EXPECT_EQ(mousepad.exec, "'mousepad %u'");
    EXPECT_NEAR(mousepad.modified, 1733589262.780783, 1e-3);
    EXPECT_EQ((*entries)[1].applications[0].name, "Document Viewer");
}

TEST(RecentFiles, NamespacesAreResolvedByTheirAddressNotTheirPrefix) {
    const std::string other =
        "<xbel xmlns:b=\"http://www.freedesktop.org/standards/desktop-bookmarks\" "
        "xmlns:x=\"urn:other\"><bookmark href=\"file:///a.txt\"><info><metadata>"
        "<b:applications><b:application name=\"Ed\" exec=\"ed %u\" timestamp=\"1700000000\"/>"
        "<x:application name=\"Not one\" exec=\"other\"/></b:applications>"
        "</metadata></info><![CDATA[ <bookmark:application name=\"fake\"/> ]]></bookmark>"
        "<!-- <bookmark href=\"file:///commented.txt\"/> --></xbel>";
    const auto entries = RecentFiles::parse(other);
    ASSERT_TRUE(entries);
    ASSERT_EQ(entries->size(), 1u);
    ASSERT_EQ((*entries)[0].applications.size(), 1u);
    EXPECT_EQ((*entries)[0].applications[0].name, "Ed");
    EXPECT_EQ((*entries)[0].applications[0].modified, 1700000000);
    EXPECT_EQ(RecentFiles::parse(list(bookmark("file:///x&#x20;y&#38;z.txt", "A&amp;B", "a",
                                               "2024-01-01T00:00:00Z")))
                  ->front()
                  .href,
              "file:///x y&z.txt");
}

TEST(RecentFiles, AListThatIsNotWholeAndWellFormedIsNotTrustedAtAll) {
    // Cut short while another program wrote it: even the entries before the cut are not used.
    for (const size_t cut : {gtkList.size() - 10, gtkList.size() / 2, size_t{60}, size_t{0}}) {
        EXPECT_EQ(RecentFiles::parse(gtkList.substr(0, cut)).error(), Failure::malformed) << cut;
    }
    const std::string valid = bookmark("file:///a.txt", "A", "a", "2024-01-01T00:00:00Z");
    for (const std::string& bad : {
             list(valid + "<bookmark href=\"file:///b.txt\">"),  // left open
             list(valid) + "<xbel></xbel>",                      // a second root
             list(valid) + "trailing",                           // text after the root
             "<list>" + valid + "</list>",                       // not a list of bookmarks
             list(bookmark("file:///&custom;", "A", "a", "")),   // an undeclared entity
             list(bookmark("file:///a<b", "A", "a", "")),        // "<" in a value
             list("<bookmark href=\"a\" href=\"b\"/>"),          // a repeated attribute
             list("<p:bookmark href=\"a\"/>"),                   // an undeclared prefix
             list("<bookmark href='a'></mark>"),                 // a wrong end tag
             list("<bookmark href=\"file:///&#0;\"/>"),          // no such character
             std::string("<!DOCTYPE xbel [<!ENTITY a \"aaaa\">]>") + list(""),  // own entities
         }) {
        EXPECT_EQ(RecentFiles::parse(bad).error(), Failure::malformed) << bad;
    }
    std::string deep = "<xbel>";
    for (int i = 0; i < 40; ++i) {
        deep += "<a>";
    }
    EXPECT_EQ(RecentFiles::parse(deep).error(), Failure::malformed);
    EXPECT_TRUE(RecentFiles::parse("\xEF\xBB\xBF<!DOCTYPE xbel><xbel/>"));
}

TEST(RecentFiles, TheFileIsReadOnlyUpToItsLimit) {
    testing::TempDir dir;
    EXPECT_EQ(RecentFiles::read(dir.path() / "none.xbel").error(), Failure::missing);
    EXPECT_EQ(RecentFiles::read(dir.path()).error(), Failure::unreadable);
    const auto file = dir.write("recently-used.xbel", gtkList);
    EXPECT_EQ(RecentFiles::read(file)->size(), 2u);
    // A huge list (here padded with a comment) is refused whole, not read in part.
    std::string huge = gtkList;
    huge.insert(huge.find("</xbel>"),
                "<!--" + std::string(static_cast<size_t>(RecentFiles::maxBytes), 'x') + "-->");
    dir.write("recently-used.xbel", huge);
    EXPECT_EQ(RecentFiles::read(file).error(), Failure::tooLarge);
    EXPECT_EQ(RecentFiles::parse(huge).error(), Failure::tooLarge);
}

TEST(RecentFiles, OnlyTheLocalFilesTheApplicationOpenedCount) {
    const std::vector<RecentFile> entries = *RecentFiles::parse(list(
        bookmark("file:///old/notes.txt", "Mousepad", "'mousepad %u'", "2024-01-01T00:00:00Z") +
        bookmark("file:///new/notes.txt", "Mousepad", "'mousepad %u'", "2024-03-01T00:00:00Z") +
        bookmark("file:///other/notes.txt", "Text Editor", "gnome-text-editor %U",
                 "2024-06-01T00:00:00Z") +
        bookmark("https://example.org/notes.txt", "Mousepad", "mousepad", "2024-07-01T00:00:00Z") +
        bookmark("file:///tmp/docs/Reading%20Notes.pdf", "Document Viewer", "'evince %u'",
                 "2024-02-01T00:00:00Z")));
    // Another editor's file does not count, nor does anything that is not a local file.
    EXPECT_EQ(RecentFiles::openedBy(entries, {"mousepad"}),
              (std::vector<std::string>{"/old/notes.txt", "/new/notes.txt"}));
    // The viewer names itself "Document Viewer", but its command is the process's program.
    EXPECT_EQ(RecentFiles::openedBy(entries, {"evince"}),
              std::vector<std::string>{"/tmp/docs/Reading Notes.pdf"});
    EXPECT_TRUE(RecentFiles::openedBy(entries, {"okular"}).empty());
    EXPECT_TRUE(
        RecentFiles::recordedBy({"Document Viewer", "\"/usr/bin/evince\" %u", 0}, {"evince"}));
    EXPECT_TRUE(RecentFiles::recordedBy({"Mousepad", "", 0}, {"mousepad"}));
    EXPECT_FALSE(RecentFiles::recordedBy({"", "", 0}, {"mousepad"}));
}

}  // namespace
}  // namespace parlendo

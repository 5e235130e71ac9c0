#include <gtest/gtest.h>

#include "DesktopRig.h"
#include "LogCapture.h"
#include "TempDir.h"
#include "WindowRig.h"
#include "manage/ManageScreenLink.h"
#include "manage/PdfPicker.h"

namespace parlendo {
namespace {

using testing::LogCapture;

// A port whose page answers every script with `answer` and records them.
struct FakePort {
    std::shared_ptr<ManageScreenPort> port = std::make_shared<ManageScreenPort>();
    std::vector<std::string> scripts;
    std::optional<Json> answer = Json(true);
    GtkWindow* window = nullptr;
    FakePort() {
        port->run = [this](std::string script, Completion<void(std::optional<Json>)> done) {
            scripts.push_back(std::move(script));
            done(answer);
        };
        port->window = [this] {
            return static_cast<ManageScreenPort::NativeWindow>(window);
        };
    }
    void drop(const std::vector<std::string>& uris) {
        for (const auto& handler : port->dropHandlers) {
            handler(uris);
        }
    }
};

TEST(ManageScreenLink, DroppedFilesReachThePageAsNamesAndPaths) {
    LogCapture log;
    FakePort page;
    ManageScreenLink link(page.port, std::make_shared<testing::RecordingOpener>());
    link.listenForDrops();
    page.drop({"file:///tmp/a%20b.PDF", "file:///tmp/%ED%95%9C.pdf", "file:///tmp/c.png"});
    ASSERT_EQ(page.scripts.size(), 1u);
    EXPECT_EQ(
        page.scripts[0],
        ManageScreenLink::dropScript(
            R"([{"name":"a b.PDF","path":"/tmp/a b.PDF"},{"name":"한.pdf","path":"/tmp/한.pdf"},)"
            R"({"name":"c.png","path":"/tmp/c.png"}])"));
    EXPECT_TRUE(log.has("drive", "놓인 파일 files=3 pdf=2"));
    EXPECT_FALSE(log.contains("drive", "받지 않음"));

    // A page that has no project screen yet does not take them.
    page.answer = std::nullopt;
    page.drop({"file:///tmp/a.pdf"});
    EXPECT_TRUE(log.has("drive", "놓인 파일을 화면이 받지 않음 (프로젝트 화면이 아직 없다)"));
    page.answer = Json(false);
    page.drop({"file:///tmp/a.pdf"});
    EXPECT_EQ(log.count("drive", "받지 않음"), 2u);
}

TEST(ManageScreenLink, FileNamesThatAreNotTextAreLeftOutVisibly) {
    testing::ensureDesktop();
    LogCapture log;
    FakePort page;
    ManageScreenLink link(page.port, std::make_shared<testing::RecordingOpener>());
    link.listenForDrops();
    const auto dropped = ManageScreenLink::describe(
        {"file:///tmp/%FF%FE.pdf", "file:///tmp/ok.pdf", "https://example.com/x.pdf"});
    EXPECT_EQ(dropped.files, Json::parse(R"([{"name":"ok.pdf","path":"/tmp/ok.pdf"}])"));
    EXPECT_EQ(dropped.pdf, 1);
    ASSERT_EQ(dropped.refused.size(), 1u);

    page.drop({"file:///tmp/%FF%FE.pdf"});
    EXPECT_TRUE(page.scripts.empty());
    EXPECT_TRUE(log.has("drive", "🔴 놓인 파일 중 이름을 글자로 읽을 수 없는 파일을 뺌 files=1"));
    GtkWidget* alert = nullptr;
    ASSERT_TRUE(testing::pumpUntil([&] {
        GList* windows = gtk_window_list_toplevels();
        for (GList* w = windows; w != nullptr; w = w->next) {
            if (GTK_IS_MESSAGE_DIALOG(w->data) && gtk_widget_get_visible(GTK_WIDGET(w->data))) {
                alert = GTK_WIDGET(w->data);
            }
        }
        g_list_free(windows);
        return alert != nullptr;
    }));
    testing::snapshotWindow(alert, "refused-file-names");
    gtk_dialog_response(GTK_DIALOG(alert), GTK_RESPONSE_OK);
}

TEST(ManageScreenLink, ProgressAndOpening) {
    FakePort page;
    auto opener = std::make_shared<testing::RecordingOpener>();
    ManageScreenLink link(page.port, opener);
    link.uploadProgress(3, 10, 1, 2);
    EXPECT_EQ(page.scripts, (std::vector<std::string>{
                                "typeof driveUploadProgress==='function'&&driveUploadProgress("
                                "{done:3,total:10,index:1,count:2})"}));
    std::vector<bool> taken;
    link.open("/tmp/paper.pdf", [&](bool opened) { taken.push_back(opened); });
    opener->noApplication = true;
    link.open("/tmp/paper.pdf", [&](bool opened) { taken.push_back(opened); });
    EXPECT_EQ(opener->paths, (std::vector<std::string>(2, "/tmp/paper.pdf")));
    // Whether an application took the file comes back.
    EXPECT_EQ(taken, (std::vector<bool>{true, false}));
}

// The chooser's own dialog (the desktop has no portal in the tests), once it shows `count`
// selected files.
GtkDialog* chooserShowing(size_t count) {
    GtkDialog* found = nullptr;
    testing::pumpUntil([&] {
        found = nullptr;
        GList* windows = gtk_window_list_toplevels();
        for (GList* w = windows; w != nullptr; w = w->next) {
            if (GTK_IS_FILE_CHOOSER_DIALOG(w->data) &&
                gtk_widget_get_visible(GTK_WIDGET(w->data))) {
                found = GTK_DIALOG(w->data);
            }
        }
        g_list_free(windows);
        if (found == nullptr || PdfPicker::current() == nullptr) {
            return false;
        }
        GSList* files = gtk_file_chooser_get_files(GTK_FILE_CHOOSER(found));
        const size_t selected = g_slist_length(files);
        g_slist_free_full(files, g_object_unref);
        return selected >= count;
    });
    return found;
}

struct PickerRig {
    FakePort page;
    ManageScreenLink link{page.port, std::make_shared<testing::RecordingOpener>()};
    std::optional<std::optional<std::vector<std::string>>> picked;
    void pick(bool multiple) {
        link.pickPDFs(multiple, [this](std::optional<std::vector<std::string>> paths) {
            picked = std::move(paths);
        });
    }
    // Shows the folder in the chooser and selects every file in it.
    void chooseAllIn(GtkDialog* dialog, const std::filesystem::path& folder) {
        GtkFileChooser* chooser = GTK_FILE_CHOOSER(dialog);
        gtk_file_chooser_set_current_folder(chooser, folder.c_str());
        testing::pumpFor(0.5);  // the folder loads in the background
        gtk_file_chooser_select_all(chooser);
    }
};

TEST(PdfPicker, CancellingGivesAnEmptyListAndAFreeStandingPanel) {
    testing::ensureDesktop();
    PickerRig rig;
    rig.pick(true);
    GtkDialog* dialog = chooserShowing(0);
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(gtk_window_get_transient_for(GTK_WINDOW(dialog)), nullptr);
    EXPECT_STREQ(gtk_window_get_title(GTK_WINDOW(dialog)), "프로젝트에 넣을 PDF 를 고르세요");
    testing::snapshotWindow(GTK_WIDGET(dialog), "pdf-picker");
    gtk_dialog_response(dialog, GTK_RESPONSE_CANCEL);
    ASSERT_TRUE(testing::pumpUntil([&] { return rig.picked.has_value(); }));
    EXPECT_EQ(*rig.picked, std::vector<std::string>{});
}

TEST(PdfPicker, ChosenFilesComeBackAsPathsAndUnreadableNamesAreRefused) {
    testing::ensureDesktop();
    LogCapture log;
    testing::TempDir dir;
    const auto one = dir.write("한 글.pdf", "%PDF-1.4");
    const auto two = dir.write("two.pdf", "%PDF-1.4");
    const auto bad = dir.write(std::string("\xff\xfe.pdf"), "%PDF-1.4");
    testing::ensureDesktop();
    GtkWidget* owner = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    gtk_widget_show(owner);

    PickerRig rig;
    rig.page.window = GTK_WINDOW(owner);
    rig.pick(true);
    GtkDialog* shown = chooserShowing(0);
    ASSERT_NE(shown, nullptr);
    rig.chooseAllIn(shown, dir.path());
    GtkDialog* dialog = chooserShowing(3);
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(gtk_window_get_transient_for(GTK_WINDOW(dialog)), GTK_WINDOW(owner));
    EXPECT_TRUE(gtk_window_get_modal(GTK_WINDOW(dialog)));
    gtk_dialog_response(dialog, GTK_RESPONSE_ACCEPT);
    ASSERT_TRUE(testing::pumpUntil([&] { return rig.picked.has_value(); }));
    ASSERT_TRUE(rig.picked->has_value());
    std::vector<std::string> paths = **rig.picked;
    std::sort(paths.begin(), paths.end());
    std::vector<std::string> expected = {one.string(), two.string()};
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(paths, expected);
    EXPECT_TRUE(log.has("drive", "🔴 고른 파일 중 이름을 글자로 읽을 수 없는 파일을 뺌 files=1"));
    gtk_widget_destroy(owner);
}

}  // namespace
}  // namespace parlendo

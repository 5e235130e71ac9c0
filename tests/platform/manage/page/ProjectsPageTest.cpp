#include <gtest/gtest.h>

#include "PageRig.h"
#include "TestPdf.h"

#include <fstream>

namespace parlendo {
namespace {

using testing::PageRig;

bool openProjects(PageRig& rig) {
    return rig.click(".rail-item[data-screen='projects']") &&
           rig.waitFor("document.querySelectorAll('.project-item').length > 0") && rig.idle();
}

TEST(ProjectsPage, ProjectsAreCreatedRenamedTrashedRestoredAndPurged) {
    PageRig rig;
    rig.drive->addProject("논문 읽기");
    ASSERT_TRUE(rig.open());
    ASSERT_TRUE(openProjects(rig));
    // The word book's project is made on first need and listed first.
    EXPECT_EQ(rig.count(".project-item"), 2);
    EXPECT_EQ(rig.text(".project-item:first-child .row-name"), "단어장");

    ASSERT_TRUE(rig.click(".new-project"));
    ASSERT_TRUE(rig.type("[role=dialog] input", "새 프로젝트 📚"));
    ASSERT_TRUE(rig.click("[role=dialog] button.primary"));
    ASSERT_TRUE(
        rig.waitFor("document.querySelector('.project-title h2').textContent === '새 프로젝트 📚'"));
    const std::string id = rig.js("Parlendo.screens.projects && document.querySelector("
                                  "'.project-item.selected').dataset.id")
                               ->get<std::string>();
    rig.snapshotBoth("project-empty");

    ASSERT_TRUE(rig.click(".project-title button[aria-label^='이름 바꾸기']"));
    ASSERT_TRUE(rig.type("[role=dialog] input", std::string(41, 'x')));
    ASSERT_TRUE(rig.click("[role=dialog] button.primary"));
    EXPECT_NE(rig.text("[role=dialog] .dialog-error").find("40자"), std::string::npos);
    ASSERT_TRUE(rig.type("[role=dialog] input", "고친 이름"));
    ASSERT_TRUE(rig.click("[role=dialog] button.primary"));
    EXPECT_EQ((*rig.drive->project(id))["name"], "고친 이름");

    // To the trash and back with the notice's undo.
    ASSERT_TRUE(rig.click(".project-title button[aria-label='휴지통으로']"));
    ASSERT_TRUE(rig.click("[role=dialog] button.danger"));
    EXPECT_FALSE((*rig.drive->project(id))["deleted_at"].is_null());
    ASSERT_TRUE(rig.click(".toast-action"));
    EXPECT_TRUE((*rig.drive->project(id))["deleted_at"].is_null());

    // And to the trash again, then purged from it.
    ASSERT_TRUE(rig.click(".project-item[data-id='" + id + "']"));
    ASSERT_TRUE(rig.click(".project-title button[aria-label='휴지통으로']"));
    ASSERT_TRUE(rig.click("[role=dialog] button.danger"));
    ASSERT_TRUE(rig.click(".trash-link"));
    ASSERT_TRUE(
        rig.waitFor("document.querySelectorAll('.trash-projects .trash-row').length === 1"));
    EXPECT_NE(rig.text(".trash-projects .row-meta").find("30일 뒤 영구 삭제"), std::string::npos);
    rig.snapshotBoth("project-trash");
    ASSERT_TRUE(rig.click(".trash-projects button[data-act='purge']"));
    ASSERT_TRUE(rig.click("[role=dialog] button.danger"));
    ASSERT_TRUE(
        rig.waitFor("document.querySelectorAll('.trash-projects .trash-row').length === 0"));
    EXPECT_FALSE((*rig.drive->project(id))["purged_at"].is_null());
    EXPECT_EQ(rig.pageErrors(), 0);
}

TEST(ProjectsPage, DocumentsAreUploadedByDropAndPickerWithProgressThenOpenedAndDeleted) {
    PageRig rig;
    const std::string project = rig.drive->addProject("논문 읽기");
    const auto one = rig.dir.path() / "첫 논문.pdf";
    const auto two = rig.dir.path() / "second.pdf";
    const auto three = rig.dir.path() / "third.pdf";
    ASSERT_TRUE(testing::TestPdf::write(one, testing::TestPdf::prose(3)));
    ASSERT_TRUE(testing::TestPdf::write(two, testing::TestPdf::prose(2, 30)));
    ASSERT_TRUE(testing::TestPdf::write(three, testing::TestPdf::prose(1, 35)));
    std::ofstream(rig.dir.path() / "notes.txt") << "not a pdf";
    ASSERT_TRUE(rig.open());
    ASSERT_TRUE(openProjects(rig));
    ASSERT_TRUE(rig.click(".project-item[data-id='" + project + "']"));
    // What the app reports of the upload's progress reaches the page's bar.
    rig.js(
        "window.__progress=[];var shown=driveUploadProgress;driveUploadProgress=function(p){"
        "__progress.push(p);shown(p);};true");

    rig.drop({one, two, rig.dir.path() / "notes.txt"});
    ASSERT_TRUE(rig.waitFor("!!document.querySelector('[role=dialog]')", 30));
    EXPECT_EQ(rig.calls("drive_upload_paths"), 1);
    EXPECT_NE(rig.text("[role=dialog]").find("문서 2개를 올렸어요"), std::string::npos);
    EXPECT_NE(rig.text("[role=dialog]").find("건너뛰었어요"), std::string::npos);
    auto progress = rig.js("__progress");
    ASSERT_TRUE(progress && progress->is_array() && !progress->empty());
    EXPECT_EQ(progress->back()["index"], 2);
    EXPECT_EQ(progress->back()["done"], progress->back()["total"]);
    ASSERT_TRUE(rig.click("[role=dialog] button.primary"));
    ASSERT_TRUE(rig.waitFor("document.querySelectorAll('.doc-card').length === 2"));
    EXPECT_EQ(rig.drive->documents(project), 2u);

    // Thumbnails are drawn from the linked files.
    ASSERT_TRUE(
        rig.waitFor("document.querySelectorAll('.doc-card img.thumb-img').length === 2", 20));
    rig.snapshotBoth("project-documents");

    // The picker: cancelled starts nothing, a choice uploads.
    rig.picked = std::vector<std::string>{};
    ASSERT_TRUE(rig.click("[data-act='upload']"));
    EXPECT_EQ(rig.calls("drive_upload"), 1);
    EXPECT_EQ(rig.count("[role=dialog]"), 0);
    rig.picked = std::vector<std::string>{three.string()};
    ASSERT_TRUE(rig.click("[data-act='upload']"));
    ASSERT_TRUE(rig.waitFor("document.querySelectorAll('.doc-card').length === 3", 30));

    // Open hands the linked file to the system; delete asks first.
    ASSERT_TRUE(rig.click(".doc-card .document-open"));
    ASSERT_EQ(rig.opener->paths.size(), 1u);
    // A desktop with no application for PDFs: the page says so.
    rig.opener->noApplication = true;
    ASSERT_TRUE(rig.click(".doc-card .document-open"));
    ASSERT_TRUE(rig.waitFor("!!document.querySelector('.toast.error')"));
    EXPECT_NE(rig.text(".toast.error").find("이 PDF를 열 프로그램을 찾지 못했어요"),
              std::string::npos);
    rig.snapshotBoth("no-pdf-application");
    ASSERT_TRUE(rig.click(".doc-card [data-act='delete']"));
    ASSERT_TRUE(rig.click("[role=dialog] button.danger"));
    ASSERT_TRUE(rig.waitFor("document.querySelectorAll('.doc-card').length === 2"));
    EXPECT_EQ(rig.drive->documents(project), 2u);
    EXPECT_EQ(rig.pageErrors(), 0);
}

TEST(ProjectsPage, AFileThatIsNotTheDocumentIsRefusedWhenRelinking) {
    PageRig rig;
    const std::string project = rig.drive->addProject("논문 읽기");
    const std::string doc = rig.drive->addDocument(project, "other-mac.pdf", 12);
    const auto file = rig.dir.path() / "different.pdf";
    ASSERT_TRUE(testing::TestPdf::write(file, testing::TestPdf::prose(2)));
    ASSERT_TRUE(rig.open());
    ASSERT_TRUE(openProjects(rig));
    ASSERT_TRUE(rig.click(".project-item[data-id='" + project + "']"));
    ASSERT_TRUE(rig.waitFor("!!document.querySelector('.doc-card [data-act=relink]')"));
    EXPECT_NE(rig.text(".doc-card .doc-warn").find("원본 정보가 없어요"), std::string::npos);
    EXPECT_TRUE(rig.js("document.querySelector('.doc-card .document-open').disabled")->get<bool>());
    rig.picked = std::vector<std::string>{file.string()};
    ASSERT_TRUE(rig.click(".doc-card [data-act='relink']"));
    ASSERT_TRUE(rig.waitFor(
        "document.querySelector('.toasts').textContent.includes('내용이 다른 파일')", 20));
    EXPECT_EQ(rig.lastArgs("drive_document_relink_pick"), Json::array({doc}));
    EXPECT_EQ(rig.pageErrors(), 0);
}

TEST(ProjectsPage, AIPopupsTheSwitchTheDocumentMapAndSavedConversations) {
    PageRig rig;
    const std::string project = rig.drive->addProject("논문 읽기");
    const std::string doc = rig.drive->addDocument(project, "attention.pdf", 15);
    rig.drive->addToc(doc, 1, "Introduction", 1, 1, 2);
    rig.drive->addToc(doc, 2, "Model", 1, 3, 8);
    rig.drive->addToc(doc, 3, "Attention <sub>", 2, 4, 6);
    const std::string thread =
        rig.drive->addThread(project, doc, 5, "scaled dot-product attention");
    rig.drive->addMessage(thread, "user", "이게 뭐야?");
    rig.drive->addMessage(thread, "assistant", "점곱 주의는 $QK^T$ 로 계산해요.");
    rig.drive->addThread(project, std::nullopt, std::nullopt, "문서 없이 물어본 것");
    // A stand-in for the renderer: it draws each formula as one MathML element.
    rig.mathScript =
        "window.temml={render:function(tex,el,o){var m=document.createElementNS("
        "'http://www.w3.org/1998/Math/MathML','math');m.setAttribute('display',"
        "o&&o.displayMode?'block':'inline');m.textContent=tex;el.appendChild(m);}};";
    ASSERT_TRUE(rig.open());
    ASSERT_TRUE(openProjects(rig));
    ASSERT_TRUE(rig.click(".project-item[data-id='" + project + "']"));

    // The document map places the question under its entry; it opens as a conversation.
    ASSERT_TRUE(rig.click(".doc-card [data-act='map']"));
    ASSERT_TRUE(rig.waitFor("document.querySelectorAll('.toc-entry').length === 3"));
    EXPECT_EQ(rig.text(".toc-entry:nth-child(3) .toc-title"), "Attention <sub>");
    EXPECT_EQ(rig.count(".toc-entry:nth-child(3) .thread-link"), 1);
    rig.snapshotBoth("document-map");
    ASSERT_TRUE(rig.click(".thread-link"));
    ASSERT_TRUE(rig.waitFor("document.querySelectorAll('.thread-dialog .message').length === 2"));
    EXPECT_EQ(rig.text(".thread-dialog .selection"), "scaled dot-product attention");
    EXPECT_EQ(rig.text(".thread-dialog .from-ai .message-text math"), "QK^T");
    EXPECT_EQ(rig.calls("drive_math_lib"), 1);
    rig.snapshotBoth("conversation");
    rig.key("Escape");

    // Questions asked outside documents.
    ASSERT_TRUE(rig.click(".tab[data-view='threads']"));
    ASSERT_TRUE(rig.waitFor("document.querySelectorAll('.thread-link').length === 1"));
    EXPECT_EQ(rig.text(".thread-link .snippet"), "문서 없이 물어본 것");

    // AI popups: made, switched on (the project list names it), the AI switch turned off.
    ASSERT_TRUE(rig.click(".tab[data-view='popups']"));
    ASSERT_TRUE(rig.waitFor("!!document.querySelector('.capture-line')"));
    EXPECT_NE(rig.text(".capture-line").find("감지 꺼짐"), std::string::npos);
    EXPECT_EQ(rig.calls("drive_capture_revive"), 1);
    ASSERT_TRUE(rig.click(".project-body .toolbar button.primary"));
    ASSERT_TRUE(rig.type("[role=dialog] input", "쉽게"));
    ASSERT_TRUE(rig.type("[role=dialog] textarea", "쉬운 말로 풀어서 설명해 줘"));
    ASSERT_TRUE(rig.click("[role=dialog] button.primary"));
    ASSERT_TRUE(rig.waitFor("document.querySelectorAll('.project-body .popup-card').length === 1"));
    ASSERT_TRUE(rig.click(".project-body .popup-card .switch input"));
    ASSERT_TRUE(
        rig.waitFor("document.querySelector('.project-item.selected .row-meta.ai') && "
                    "document.querySelector('.project-item.selected .row-meta.ai')"
                    ".textContent.includes('쉽게')"));
    EXPECT_EQ(rig.calls("drive_popup_activate"), 1);
    rig.snapshotBoth("ai-popups");
    ASSERT_TRUE(rig.click(".ai-switch input"));
    EXPECT_EQ(rig.lastArgs("drive_detect_set"), Json::array({false}));
    EXPECT_EQ(rig.pageErrors(), 0);
}

}  // namespace
}  // namespace parlendo

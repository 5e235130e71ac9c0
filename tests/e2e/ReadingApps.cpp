#include "ReadingApps.h"

#include "ScreenText.h"
#include "TestPdf.h"
#include "foundation/Json.h"
#include "foundation/PyText.h"

#include <gdk-pixbuf/gdk-pixbuf.h>
#include <gtk/gtk.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <regex>
#include <utility>

namespace parlendo::testing {

namespace {

constexpr const char* wordCard = "1. 뜻밖의 행운 [noun]";

const std::vector<std::string> textTargets = {"UTF8_STRING", "text/plain;charset=utf-8"};

void offer(GtkClipboard*, GtkSelectionData* data, guint index, gpointer owner) {
    const auto* png = static_cast<const std::string*>(owner);
    if (index < textTargets.size()) {
        gtk_selection_data_set_text(data, HeldClipboard::text, -1);
    } else {
        gtk_selection_data_set(data, gdk_atom_intern_static_string("image/png"), 8,
                               reinterpret_cast<const guchar*>(png->data()),
                               static_cast<gint>(png->size()));
    }
}

std::string smallPng() {
    GdkPixbuf* image = gdk_pixbuf_new(GDK_COLORSPACE_RGB, TRUE, 8, 16, 16);
    gdk_pixbuf_fill(image, 0x3366ccff);
    gchar* buffer = nullptr;
    gsize size = 0;
    gdk_pixbuf_save_to_buffer(image, &buffer, &size, "png", nullptr, nullptr);
    std::string png(buffer != nullptr ? buffer : "", size);
    g_free(buffer);
    g_object_unref(image);
    return png;
}

// The cards of a capture open right under the selection: the first one's top left corner at the
// selection's left edge, 6 points below it. The places go to the output's reading-apps-anchors.tsv.
void expectCardsUnder(const std::vector<ProgramWindows::Window>& cards,
                      const std::optional<GdkRectangle>& box, const std::string& what) {
    ASSERT_TRUE(box) << what << ": the selection is not on the screen";
    const auto& first = *std::min_element(cards.begin(), cards.end(), [](auto& a, auto& b) {
        return std::pair(a.place.y, a.place.x) < std::pair(b.place.y, b.place.x);
    });
    const auto text = [](const GdkRectangle& r) {
        return std::to_string(r.x) + "," + std::to_string(r.y) + " " + std::to_string(r.width) +
               "x" + std::to_string(r.height);
    };
    appendRow("reading-apps-anchors.tsv", "capture\tselection\tfirst_card",
              what + "\t" + text(*box) + "\t" + text(first.place));
    constexpr int slack = 3;
    EXPECT_NEAR(first.place.x, box->x, slack) << what << ": selection " << text(*box);
    EXPECT_NEAR(first.place.y, box->y + box->height + 6, slack)
        << what << ": selection " << text(*box);
}

int repeats() {
    const char* value = std::getenv("PARLENDO_READING_REPEATS");
    const int n = value != nullptr ? std::atoi(value) : 1;
    return n > 0 ? n : 1;
}

}  // namespace

void HeldClipboard::hold() {
    png_ = smallPng();
    std::vector<GtkTargetEntry> entries;
    for (guint i = 0; i < textTargets.size(); ++i) {
        entries.push_back({const_cast<gchar*>(textTargets[i].c_str()), 0, i});
    }
    entries.push_back({const_cast<gchar*>("image/png"), 0, static_cast<guint>(entries.size())});
    gtk_clipboard_set_with_data(gtk_clipboard_get(GDK_SELECTION_CLIPBOARD), entries.data(),
                                static_cast<guint>(entries.size()), offer, nullptr, &png_);
    DesktopSession::pumpFor(0.1);
}

std::optional<std::string> HeldClipboard::difference() const {
    GtkClipboard* clipboard = gtk_clipboard_get(GDK_SELECTION_CLIPBOARD);
    gchar* now = gtk_clipboard_wait_for_text(clipboard);
    const std::string seen = now != nullptr ? now : "(no text)";
    g_free(now);
    if (seen != text) {
        return "the clipboard's text is now \"" + seen + "\"";
    }
    GtkSelectionData* image =
        gtk_clipboard_wait_for_contents(clipboard, gdk_atom_intern_static_string("image/png"));
    std::string png;
    if (image != nullptr && gtk_selection_data_get_length(image) > 0) {
        png.assign(reinterpret_cast<const char*>(gtk_selection_data_get_data(image)),
                   static_cast<size_t>(gtk_selection_data_get_length(image)));
    }
    if (image != nullptr) {
        gtk_selection_data_free(image);
    }
    if (png != png_) {
        return "the clipboard's image has " + std::to_string(png.size()) + " bytes, not " +
               std::to_string(png_.size());
    }
    return std::nullopt;
}

void ReadingApps::SetUp() {
    CaptureSteps::SetUp();
    if (IsSkipped()) {
        return;
    }
    char pattern[] = "/tmp/parlendo-reading-XXXXXX";
    documents = ::mkdtemp(pattern);
    std::ofstream(documents / "notes.txt") << wordLine << "\n" << ScriptedBackend::sentence << "\n";
    TestPdf::Document pdf;
    pdf.font = "DejaVu Sans";
    pdf.fontSize = 14;
    pdf.pages.push_back(TestPdf::Page{595, 842, {wordLine, ScriptedBackend::sentence}, {}});
    ASSERT_TRUE(TestPdf::write(documents / "notes.pdf", pdf));
    ASSERT_NO_FATAL_FAILURE(startReading());
    ASSERT_NO_FATAL_FAILURE(switchDetectionOn());
    clipboard_.hold();
}

void ReadingApps::TearDown() {
    CaptureSteps::TearDown();
    if (!documents.empty()) {
        std::error_code ignored;
        std::filesystem::remove_all(documents, ignored);
    }
}

bool ReadingApps::installed(const std::string& program) {
    if (DesktopProgram::installed(program)) {
        return true;
    }
    ADD_FAILURE() << program << " is not installed (scripts/setup.sh installs it)";
    return false;
}

void ReadingApps::clickText(int pid, const std::string& text, int clicks) {
    std::optional<GdkRectangle> place;
    // An application builds its tree and lays out its text a moment after its window shows.
    DesktopSession::pumpUntil(
        [&] {
            place = findScreenText(pid, text);
            return place.has_value();
        },
        20);
    ASSERT_TRUE(place) << "\"" << text << "\" is not on the screen of process " << pid;
    clickAt(place->x + place->width / 2, place->y + place->height / 2, clicks);
}

void ReadingApps::clickAt(int x, int y, int clicks) {
    DesktopSession::pointerTo(x, y);
    DesktopSession::pumpFor(0.1);
    // A hand's clicks, a little apart; the application shows what they selected a moment later.
    for (int i = 0; i < clicks; ++i) {
        DesktopSession::click(1);
        DesktopSession::pumpFor(0.05);
    }
    DesktopSession::pumpFor(0.6);
}

std::optional<GdkRectangle> ReadingApps::settledScreenText(int pid, const std::string& text) {
    std::optional<GdkRectangle> last;
    std::optional<GdkRectangle> place;
    DesktopSession::pumpUntil(
        [&] {
            last = std::exchange(place, findScreenText(pid, text));
            return place && last && place->x == last->x && place->y == last->y &&
                   place->width == last->width && place->height == last->height;
        },
        20);
    return place;
}

ReadingApp ReadingApps::byClicks(std::string name, int pid, std::string title,
                                 std::optional<std::string> url) {
    return ReadingApp{std::move(name), [pid] { clickText(pid, ScriptedBackend::knownWord, 2); },
                      [pid] { clickText(pid, "quick brown", 3); }, std::move(title),
                      std::move(url)};
}

void ReadingApps::readDocument(const std::string& program, const std::filesystem::path& file) {
    if (!installed(program)) {
        return;
    }
    DesktopProgram viewer({program, file.string()}, {}, documents / (program + ".out"));
    const auto window = viewer.window(
        [name = file.filename().string()](const DesktopProgram::Window& w) {
            return w.title.find(name) != std::string::npos;
        },
        30);
    ASSERT_TRUE(window) << program << " showed no window";
    read(byClicks(program, window->pid, file.filename().string(), "file://" + file.string()),
         *window);
}

void ReadingApps::read(const ReadingApp& app, const DesktopProgram::Window& window) {
    ASSERT_TRUE(DesktopSession::activate(window.xid)) << app.name << " did not come to the front";
    DesktopSession::pumpFor(0.5);
    const int rounds = repeats();
    for (int round = 0; round < rounds; ++round) {
        ASSERT_NO_FATAL_FAILURE(capture(app, window, true, round));
    }
    ASSERT_NO_FATAL_FAILURE(capture(app, window, false, 0));

    // Both are saved against one source: the window's title, and the page or the file.
    ASSERT_TRUE(backend.waitFor("POST", "/rest/v1/rpc/save_word_snapshot_v1")) << log();
    const auto save =
        json::parse(backend.requests("POST", "/rest/v1/rpc/save_word_snapshot_v1")[0].body)
            .value_or(Json::object());
    EXPECT_EQ(save.value("p_lemma", ""), ScriptedBackend::knownWord);
    ASSERT_TRUE(backend.waitFor("POST", "/rest/v1/sentences")) << log();
    const auto sentence = json::parse(backend.requests("POST", "/rest/v1/sentences")[0].body)
                              .value_or(Json::object());
    EXPECT_EQ(PyText::strip(sentence.value("original", "")), ScriptedBackend::sentence);
    const auto sources = backend.requests("POST", "/rest/v1/sources");
    ASSERT_FALSE(sources.empty()) << log();
    const auto source = json::parse(sources[0].body).value_or(Json::object());
    EXPECT_EQ(json::string(source, "title"), app.title) << app.name;
    EXPECT_EQ(json::string(source, "url"), app.url) << app.name;
    appendRow("reading-apps-sources.tsv", "application\ttitle\turl",
              app.name + "\t" + json::string(source, "title").value_or("null") + "\t" +
                  json::string(source, "url").value_or("null"));

    // The user's clipboard is what it was.
    const auto changed = clipboard_.difference();
    EXPECT_FALSE(changed) << app.name << ": " << changed.value_or("");
}

void ReadingApps::capture(const ReadingApp& app, const DesktopProgram::Window& window, bool word,
                          int round) {
    const std::string kind = word ? "word" : "sentence";
    ASSERT_NO_FATAL_FAILURE(word ? app.selectWord() : app.selectSentence());
    lookupChord();
    const std::string card = word ? wordCard : ScriptedBackend::translation;
    const auto cards = cardsShowing(card, word ? 2 : 1);
    ASSERT_FALSE(cards.empty()) << app.name << " " << kind << "\n" << log();
    if (app.selectionBox) {
        expectCardsUnder(cards, app.selectionBox(word), app.name + " " + kind);
    }
    if (round == 0) {
        // The cards first: they go after a few seconds.
        screenshotWindowsShowing(card, app.name + "-" + kind + "-cards");
        screenshot(window.area, app.name + "-" + kind);
    }
    record(app, kind);
    ASSERT_TRUE(cardsGone()) << log();
}

void ReadingApps::record(const ReadingApp& app, const std::string& kind) {
    // One "timing" line per capture: the read path, the time from the chord to the cards and how
    // the cards' place was found. The log reaches its file a moment after the cards show.
    const std::regex timing(
        R"(\[timing\] lookup_key stage=(\w+) method=(\w+) app=(\S+) popups=\d+ key_to_popup_ms=(\d+).* anchor=(\S+)(?: bounds_ms=(\d+))?)");
    std::string text;
    std::vector<std::smatch> lines;
    DesktopSession::pumpUntil(
        [&] {
            text = log();
            lines.clear();
            for (auto it = std::sregex_iterator(text.begin(), text.end(), timing);
                 it != std::sregex_iterator(); ++it) {
                lines.push_back(*it);
            }
            return lines.size() > timingsSeen_;
        },
        5);
    ASSERT_GT(lines.size(), timingsSeen_) << text;
    const auto& last = lines.back();
    timingsSeen_ = lines.size();
    appendRow("reading-apps.tsv",
              "application\tcapture\tapp_id\tstage\tmethod\tchord_to_card_ms\tanchor\tbounds_ms",
              app.name + "\t" + kind + "\t" + last[3].str() + "\t" + last[1].str() + "\t" +
                  last[2].str() + "\t" + last[4].str() + "\t" + last[5].str() + "\t" +
                  (last[6].matched ? last[6].str() : "-"));
}

}  // namespace parlendo::testing

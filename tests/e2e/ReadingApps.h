#pragma once

#include "CaptureSteps.h"
#include "DesktopProgram.h"

#include <filesystem>
#include <functional>
#include <optional>
#include <string>

namespace parlendo::testing {

// The user's clipboard while the applications are read: a text and an image, offered by this
// process; afterwards it must offer both exactly as before.
class HeldClipboard {
  public:
    static constexpr const char* text = "the user's clipboard";

    // Takes the clipboard with the text and a small PNG image.
    void hold();
    // Whether the clipboard offers the same text and the same image now; what differs otherwise.
    std::optional<std::string> difference() const;

  private:
    std::string png_;
};

// One application people read in, started beside the program: where the user selects the word
// and the sentence (a double and a triple click on them, or the keyboard), and what its saved
// source holds.
struct ReadingApp {
    std::string name;
    std::function<void()> selectWord;
    std::function<void()> selectSentence;
    std::string title;
    std::optional<std::string> url;
    // Where the application shows the selected word (true) or sentence (false), when its cards
    // must open right under them; not checked when not given.
    std::function<std::optional<GdkRectangle>(bool word)> selectionBox = {};
};

// The scenarios of the applications people read in, as Debian installs them: each starts the
// program (signed in, detection on), holds the user's clipboard, and `read` captures a word and a
// sentence in the application.
class ReadingApps : public CaptureSteps {
  public:
    // Double (or triple) clicks the text where process `pid` shows it to the accessibility bus.
    static void clickText(int pid, const std::string& text, int clicks);
    // Double (or triple) clicks that point of the screen.
    static void clickAt(int x, int y, int clicks);
    // Where process `pid` shows `text`, once it gives the same place twice in a row (within 20
    // seconds): an application may lay its text out for the accessibility bus only once asked,
    // and answer nothing, or a part, until then.
    static std::optional<GdkRectangle> settledScreenText(int pid, const std::string& text);
    // The word and the sentence selected with the mouse (a double and a triple click) where
    // process `pid` shows them.
    static ReadingApp byClicks(std::string name, int pid, std::string title,
                               std::optional<std::string> url);
    // The first line of the documents read: the word in a sentence of its own.
    static constexpr const char* wordLine = "A moment of serendipity changed the day.";

  protected:
    void SetUp() override;
    void TearDown() override;

    // Skips the scenario when the application is not installed.
    bool installed(const std::string& program);

    // In `window`: the word and then the sentence selected and captured with the
    // chord, their cards read and photographed, both saved against the expected source; then
    // the clipboard is what it was. Each capture's read path, chord-to-card time and the way its
    // cards were placed go to the output's reading-apps.tsv (PARLENDO_READING_REPEATS=n captures
    // the word n times, for figures).
    void read(const ReadingApp& app, const DesktopProgram::Window& window);
    // A document opened in `program`, whose window's title names the file, read with clicks;
    // its source is the file.
    void readDocument(const std::string& program, const std::filesystem::path& file);

    // What differs in the user's clipboard from what it held at the start; none when nothing.
    std::optional<std::string> clipboardDifference() const { return clipboard_.difference(); }

    // A folder of this scenario with the documents read: notes.txt (a line holding the word, then
    // the sentence) and notes.pdf (the same two lines).
    std::filesystem::path documents;

    // The word (or the sentence) selected and captured with the chord, its cards read (and
    // photographed in round 0) until they go.
    void capture(const ReadingApp& app, const DesktopProgram::Window& window, bool word, int round);

  private:
    void record(const ReadingApp& app, const std::string& kind);

    HeldClipboard clipboard_;
    size_t timingsSeen_ = 0;
};

}  // namespace parlendo::testing

#pragma once

#include "foundation/Executor.h"
#include "shell/FirstRunNotice.h"

#include <gtk/gtk.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace parlendo {

// The privacy notice window: the notice's title, the fixed sentence about window titles and the
// Markdown's sections as styled text, a line on where to find it again, and "확인". It is shown
// at start-up until the current text is acknowledged, and on request; closing it counts as
// acknowledging. Built once per run. Main thread.
class NoticeWindow : public std::enable_shared_from_this<NoticeWindow> {
  public:
    static constexpr int width = 560;
    static constexpr int height = 520;
    static constexpr const char* title = "PARLENDO 안내";
    static constexpr const char* footnote =
        "이 안내는 메뉴 막대의 PARLENDO 아이콘 → 「개인정보 안내 보기…」에서 다시 볼 수 있어요. "
        "이 Mac에 남은 데이터는 같은 메뉴의 「이 Mac의 데이터 지우기…」로 지울 수 있어요.";

    // `resource` is the notice's Markdown file; `stateRoot` holds the acknowledgement, written on
    // `writer` (none: at once), off the main loop that a busy disk would hold.
    static std::shared_ptr<NoticeWindow> make(std::optional<std::filesystem::path> resource,
                                              const std::filesystem::path& stateRoot,
                                              std::function<double()> wallNow,
                                              ExecutorPtr writer = nullptr);
    ~NoticeWindow();

    // The start-up path: shows the notice when its current text was not acknowledged;
    // `answered` (may be empty) once it is, or at once when it is not shown.
    void showIfNeeded(std::function<void()> answered = nullptr);
    // Ahead of `showIfNeeded` on the start-up path: when the notice is to be shown, builds the
    // window and lays out its paragraphs one per turn of `main`, so that showing it lays out
    // text whose fonts and glyphs are ready; then `ready`, on `main` (at once when the notice is
    // not to be shown).
    void prepare(ExecutorPtr main, std::function<void()> ready);
    // The menu's path: shows the notice whatever was acknowledged.
    void showOnRequest();
    void show(const std::string& markdown);
    // "확인", and closing the window.
    void acknowledge();

    GtkWidget* window() const { return window_; }
    // The column of the notice's paragraphs.
    GtkWidget* textColumn() const { return text_; }
    const std::string& fingerprint() const { return fingerprint_; }
    // The text the window shows, as plain text.
    std::string shownText() const;

  private:
    NoticeWindow(std::optional<std::filesystem::path> resource,
                 const std::filesystem::path& stateRoot, std::function<double()> wallNow,
                 ExecutorPtr writer);
    void build(const std::string& markdown);
    void record();

    std::optional<std::filesystem::path> resource_;
    FirstRunState state_;
    std::function<double()> wallNow_;
    ExecutorPtr writer_;
    GtkWidget* window_ = nullptr;
    GtkWidget* text_ = nullptr;
    GtkWidget* note_ = nullptr;
    std::string fingerprint_;
    std::string shown_;
    std::function<void()> answered_;
};

}  // namespace parlendo

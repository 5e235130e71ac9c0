#pragma once

#include "aitalk/AnswerLayout.h"
#include "aitalk/AnswerPage.h"
#include "aitalk/AnswerState.h"
#include "aitalk/AnswerView.h"
#include "foundation/Clock.h"
#include "foundation/Completion.h"
#include "foundation/Executor.h"
#include "foundation/Json.h"
#include "manage/ThemeMode.h"

#include <gtk/gtk.h>
#include <webkit2/webkit2.h>

#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace parlendo {

// The floating window of an AI answer: the conversation is drawn by the answer page in a web
// view, while the notice, the action buttons, the follow-up input, the send and close buttons and
// the countdown ring are GTK widgets. It keeps above other windows on every workspace, opens in
// the top-right corner of the screen under the pointer without taking the focus (until the user
// clicks into the input or onto an answer), is moved by dragging a blank part of the page,
// resized from its left and bottom edges, and closes by itself 10 seconds after an answer unless
// the pointer rests on it, the user types, a follow-up is on its way or the window is being
// resized. It decides nothing about the conversation: every action goes out through a callback.
// Window geometry is worked out by AnswerLayout with y pointing up and converted here, once.
// Main thread only; lives in a shared_ptr (timers and script answers hold it weakly).
class AnswerWindow final : public AnswerView, public std::enable_shared_from_this<AnswerWindow> {
  public:
    static constexpr double tickSeconds = 0.1;
    static constexpr int edge = 6;

    // The native colours of a theme.
    struct Colors {
        GdkRGBA card, ink, muted, line, accent, accentInk, accentOff, warn, soft;
        static Colors of(ThemeMode mode);
    };

    static std::shared_ptr<AnswerWindow> make(
        const AnswerPage::Built& page, const std::string& mathSource, ThemeMode theme,
        ExecutorPtr main, std::shared_ptr<const MonotonicClock> clock = nullptr);
    // The same, built a step at a time on the main loop (an AnswerView::Factory).
    static void makeInSteps(const AnswerPage::Built& page, const std::string& mathSource,
                            ThemeMode theme, ExecutorPtr main,
                            std::shared_ptr<const MonotonicClock> clock,
                            Completion<void(std::shared_ptr<AnswerView>)> done);
    ~AnswerWindow() override;
    AnswerWindow(const AnswerWindow&) = delete;
    AnswerWindow& operator=(const AnswerWindow&) = delete;

    void show(const AnswerState& state) override;
    void hide() override;
    void applyTheme(ThemeMode mode) override;

    void tapClose();
    void tapSelectionOnly();
    void tapRetry();
    void tapSend();

    // Runs a script in the page; completes with its value as JSON (none on an error, for
    // undefined, or when the window is gone).
    void evaluate(const std::string& script, Completion<void(std::optional<Json>)> done);

    // What the tests look at.
    struct Parts {
        GtkWidget* window = nullptr;
        WebKitWebView* webView = nullptr;
        GtkWidget* bottom = nullptr;
        GtkWidget* notice = nullptr;
        GtkWidget* actionRow = nullptr;
        GtkWidget* selectionOnly = nullptr;
        GtkWidget* add = nullptr;
        GtkWidget* retry = nullptr;
        GtkWidget* inputBox = nullptr;
        GtkWidget* input = nullptr;
        GtkWidget* placeholder = nullptr;
        GtkWidget* send = nullptr;
        GtkWidget* close = nullptr;
        GtkWidget* ring = nullptr;
        GtkWidget* leftEdge = nullptr;
        GtkWidget* bottomEdge = nullptr;
    };
    const Parts& parts() const { return parts_; }
    bool isVisible() const override { return visible_; }
    bool pageReady() const { return pageReady_; }
    bool fixedSize() const { return fixedSize_; }
    const AnswerState& state() const { return state_; }
    const AnswerCountdown& countdown() const { return countdown_; }
    ThemeMode theme() const override { return theme_; }
    const std::optional<std::vector<AnswerLayout::Rect>>& solids() const { return solids_; }
    double ringFraction() const { return ringFraction_; }
    bool ringPaused() const { return ringPaused_; }
    // The window's rectangle on the root window (y down).
    GdkRectangle frame() const { return frame_; }
    std::string inputText() const;
    // The input box's height now.
    double inputHeight() const { return inputHeight_; }
    static double inputLineHeight();

  private:
    AnswerWindow(ExecutorPtr main, std::shared_ptr<const MonotonicClock> clock, ThemeMode theme);
    void buildShell();
    void buildView(const std::string& mathSource);
    void buildContent();
    void loadPage(const AnswerPage::Built& page);
    void buildInput();
    void paint();
    void applyControls();
    void open();
    void render();
    void showPayload(const std::string& payload, bool logErrors);
    // Whether the window takes a follow-up question now.
    bool canAsk() const;
    void fit(std::optional<double> contentHeight);
    void refreshSolids();
    void scheduleTick(unsigned generation);
    void tick();
    bool pointerInside() const;
    bool composing() const;
    void submit();
    void resizeInput();
    void setFrame(const GdkRectangle& frame);
    // The visible area (y up) of the screen under the pointer, or of the window's screen.
    AnswerLayout::Rect visibleArea(bool atPointer) const;
    void becomeKey(guint32 time);
    void textChanged();
    void pageLoaded();
    bool allowNavigation(WebKitNavigationPolicyDecision* decision);

    static gboolean onWindowKey(GtkWidget*, GdkEventKey* event, gpointer data);
    static gboolean onInputKey(GtkWidget*, GdkEventKey* event, gpointer data);
    static gboolean onInputPress(GtkWidget*, GdkEventButton* event, gpointer data);
    static gboolean onPagePress(GtkWidget*, GdkEventButton* event, gpointer data);
    static gboolean onPageMotion(GtkWidget*, GdkEventMotion* event, gpointer data);
    static gboolean onPageRelease(GtkWidget*, GdkEventButton* event, gpointer data);
    static gboolean onEdgePress(GtkWidget* edge, GdkEventButton* event, gpointer data);
    static gboolean onEdgeMotion(GtkWidget* edge, GdkEventMotion* event, gpointer data);
    static gboolean onEdgeRelease(GtkWidget* edge, GdkEventButton* event, gpointer data);
    static gboolean onDrawRing(GtkWidget* widget, cairo_t* cr, gpointer data);
    static gboolean onDeleteEvent(GtkWidget*, GdkEvent*, gpointer data);
    static gboolean onDecidePolicy(WebKitWebView*, WebKitPolicyDecision* decision,
                                   WebKitPolicyDecisionType type, gpointer data);
    static void onLoadChanged(WebKitWebView*, WebKitLoadEvent event, gpointer data);
    static void onWebProcessGone(WebKitWebView*, WebKitWebProcessTerminationReason reason,
                                 gpointer data);
    static GtkWidget* onCreate(WebKitWebView*, WebKitNavigationAction*, gpointer);

    ExecutorPtr main_;
    std::shared_ptr<const MonotonicClock> clock_;
    Parts parts_;
    GtkCssProvider* css_ = nullptr;
    std::string html_;
    bool mathSource_ = false;
    bool firstLoad_ = true;

    AnswerState state_;
    AnswerCountdown countdown_;
    int lastAnswerSeq_ = -1;
    size_t lastAnswers_ = 0;
    unsigned timerGeneration_ = 0;
    bool timerRunning_ = false;
    std::optional<double> lastTick_;
    bool visible_ = false;
    bool pageReady_ = false;
    std::optional<std::string> waitingPayload_;
    // What the page was last given to show, so that a redraw that changes nothing is not sent.
    std::optional<std::string> lastSent_;
    // The web process ended: what it showed is not given to the page again, which is loaded
    // anew only for the next question.
    bool pageGone_ = false;
    bool fixedSize_ = false;
    bool acceptsFocus_ = false;
    std::optional<double> lastContentHeight_;
    double inputHeight_ = AnswerLayout::inputBaseHeight;
    ThemeMode theme_;
    Colors colors_;
    std::optional<std::vector<AnswerLayout::Rect>> solids_;
    double ringFraction_ = 1.0;
    bool ringPaused_ = false;
    GdkRectangle frame_{0, 0, static_cast<int>(AnswerLayout::width),
                        static_cast<int>(AnswerLayout::minHeight)};
    std::string preedit_;
    // The time of the Return given to the input method while it composed.
    std::optional<guint32> imReturnTime_;
    bool trimming_ = false;

    // A drag of the window by a blank part of the page.
    struct Drag {
        double pointerX = 0;
        double pointerY = 0;
        int originX = 0;
        int originY = 0;
    };
    std::optional<Drag> drag_;
    // A resize by an edge: which edges move, where it began.
    struct Resize {
        bool left = false;
        bool bottom = false;
        double pointerX = 0;
        double pointerY = 0;
        GdkRectangle start{};
    };
    std::optional<Resize> resize_;
};

}  // namespace parlendo

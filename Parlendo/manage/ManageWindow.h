#pragma once

#include "manage/ManageView.h"

#include <gtk/gtk.h>
#include <webkit2/webkit2.h>

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace parlendo {

// The manage window: an ordinary window whose whole content is a web view showing the page
// "manage.html". It gives the page its bridge (the "bridge" message handler and the scripts
// injected at document start), answers the page's calls through the manage bridge, keeps the web
// view on the page, asks the page about unsaved edits before closing, and hands files dropped onto
// the page to its listeners. The native window and the web view are built on each `show()` after
// a close (a step at a time on the main loop) and released when the window closes. Main thread
// only.
class ManageWindow final : public ManageView, public std::enable_shared_from_this<ManageWindow> {
  public:
    static constexpr double closeGuardSeconds = 1.0;
    static constexpr const char* title = "PARLENDO";

    // `theme` is read when the web view is built and after every page load.
    static std::shared_ptr<ManageWindow> make(std::shared_ptr<ManageBridge> bridge, Theme theme,
                                              Options options);
    ~ManageWindow() override;
    ManageWindow(const ManageWindow&) = delete;
    ManageWindow& operator=(const ManageWindow&) = delete;

    void show() override;
    void run(std::string script, Completion<void(std::optional<Json>)> completion) override;
    void push(const std::string& name, std::string script) override;

    GtkWindow* window() const override { return window_; }
    WebKitWebView* webView() const override { return webView_; }
    bool loaded() const override { return loaded_; }
    // The page as a file URL.
    const std::optional<std::string>& page() const { return pageURI_; }
    // The alert shown while the close guard asks about unsaved edits, if any.
    GtkWidget* closeAlert() const { return closeAlert_; }

  private:
    ManageWindow(std::shared_ptr<ManageBridge> bridge, Theme theme, Options options);

    // The engine, the view and the window, a step per turn of the main loop.
    void buildInSteps();
    void buildView();
    void buildWindow();
    // Loads the page from the text read before the window was built.
    void loadPage();
    void release();
    void receive(const std::optional<std::string>& text);
    bool decidePolicy(WebKitPolicyDecision* decision, WebKitPolicyDecisionType type);
    void finishedLoading();
    void guardClose();
    void askAboutEdits();
    void evaluate(const std::string& script,
                  std::function<void(JSCValue* value, const GError* error)> done);
    void dataReceived(GdkDragContext* context, GtkSelectionData* data);
    void dropped(GdkDragContext* context);
    void handOver(std::vector<std::string> uris);

    static void onScriptMessage(WebKitUserContentManager*, WebKitJavascriptResult* result,
                                gpointer self);
    static gboolean onDecidePolicy(WebKitWebView*, WebKitPolicyDecision* decision,
                                   WebKitPolicyDecisionType type, gpointer self);
    static void onLoadChanged(WebKitWebView*, WebKitLoadEvent event, gpointer self);
    static gboolean onLoadFailed(WebKitWebView*, WebKitLoadEvent, gchar*, GError*, gpointer self);
    static gboolean onDeleteEvent(GtkWidget*, GdkEvent*, gpointer self);
    static void onProcessTerminated(WebKitWebView*, WebKitWebProcessTerminationReason reason,
                                    gpointer self);
    static void onDragDataReceived(GtkWidget*, GdkDragContext* context, gint, gint,
                                   GtkSelectionData* data, guint, guint, gpointer self);
    static gboolean onDragDropHook(GSignalInvocationHint*, guint count, const GValue* values,
                                   gpointer self);

    // A GObject watched without keeping it alive. It reads as gone once the object is
    // finalised, so a later object at the same address never matches.
    class Watched {
      public:
        Watched() { g_weak_ref_init(&ref_, nullptr); }
        ~Watched() { g_weak_ref_clear(&ref_); }
        Watched(const Watched&) = delete;
        Watched& operator=(const Watched&) = delete;
        void set(gpointer object) { g_weak_ref_set(&ref_, object); }
        bool is(gpointer object);

      private:
        GWeakRef ref_;
    };

    std::shared_ptr<ManageBridge> bridge_;
    Theme theme_;
    Options options_;
    std::optional<std::string> pageURI_;
    // The page's text, read each time the window is built; nothing when it cannot be read.
    std::optional<std::string> pageText_;

    GtkWindow* window_ = nullptr;
    WebKitWebView* webView_ = nullptr;
    WebKitUserContentManager* content_ = nullptr;
    bool loaded_ = false;
    bool loadFailed_ = false;
    bool building_ = false;
    // The page's own load is on its way to the navigation policy.
    bool pageLoadPending_ = false;
    std::string nonce_;
    // Counts the documents shown: every build, committed load and release starts another, and
    // a reply goes only into the document whose call it answers.
    std::uint64_t pageLoad_ = 0;
    GtkWidget* closeAlert_ = nullptr;
    std::shared_ptr<bool> closeAttempt_;  // decided yet?

    // Files of the drag in progress over the page, and the drag they belong to; the drag that
    // was dropped before its files came.
    Watched dragContext_;
    std::optional<std::vector<std::string>> dragFiles_;
    Watched dropContext_;
    gulong dropHook_ = 0;
};

}  // namespace parlendo

#pragma once

#include "popups/GdkPopupScreens.h"
#include "popups/PopupCardWindow.h"

#include <gtk/gtk.h>

#include <optional>
#include <string>
#include <vector>

namespace parlendo {

// The window of one card on an X11 desktop: an undecorated GTK window that never takes focus
// (no input focus hint, not focused when mapped), stays above other windows on every desktop
// and out of the taskbar and pager, drawn as a rounded box in the theme's colours (translucent
// with an RGBA visual where a compositor runs, cut to its rounded shape where none does).
// Inside: a scroll area 14 points from the left and top edges, a close button at the top right,
// the countdown at the bottom right. The whole card except the close button is one surface that
// the user drags it by; the mouse wheel anywhere over it scrolls the content. Main thread only.
class GtkPopupCard final : public PopupCardWindow {
  public:
    GtkPopupCard(const PopupCardLook& look, Handlers handlers);
    ~GtkPopupCard() override;

    GtkPopupCard(const GtkPopupCard&) = delete;
    GtkPopupCard& operator=(const GtkPopupCard&) = delete;

    double setContent(const std::vector<MeaningView::Label>& labels) override;
    void setSize(double scrollHeight, double width, double height) override;
    void setFrame(const PopupRect& frame) override;
    PopupRect frame() const override { return frame_; }
    bool isVisible() const override;
    void setFooter(const std::string& text) override;
    bool dragging() const override { return grab_.has_value(); }
    void close() override;

    // The card's GTK window; null once closed. Windows of cards carry the name "parlendo-card".
    GtkWidget* window() const { return window_; }
    // The factory the presenter builds card windows with.
    static PopupCardWindowFactory factory();
    // Widgets showing `text` in each font the cards draw text in (floating references), to be
    // laid out ahead of the first card.
    static std::vector<GtkWidget*> fontSamples(const char* text);

  private:
    struct Grab {
        double pointerX, pointerY;  // root coordinates at the press
        int originX, originY;       // window origin at the press
        GdkPopupScreens::Origin space;
    };

    void build();
    void applyShape(int width, int height);
    void layOutNow();
    bool inCloseButton(double x, double y) const;
    void holdDrawingUntilSized(int width, int height);
    void releaseDrawing();

    static void onRealize(GtkWidget* widget, gpointer self);
    static gboolean onDelete(GtkWidget* widget, GdkEvent* event, gpointer self);
    static void onDestroy(GtkWidget* widget, gpointer self);
    static gboolean onDraw(GtkWidget* widget, cairo_t* cr, gpointer self);
    static gboolean onCloseDraw(GtkWidget* widget, cairo_t* cr, gpointer self);
    static gboolean onFooterDraw(GtkWidget* widget, cairo_t* cr, gpointer self);
    static gboolean onPress(GtkWidget* widget, GdkEventButton* event, gpointer self);
    static gboolean onMotion(GtkWidget* widget, GdkEventMotion* event, gpointer self);
    static gboolean onRelease(GtkWidget* widget, GdkEventButton* event, gpointer self);
    static gboolean onScroll(GtkWidget* widget, GdkEventScroll* event, gpointer self);
    static gboolean onConfigure(GtkWidget* widget, GdkEventConfigure* event, gpointer self);

    PopupCardLook look_;
    Handlers handlers_;
    GtkWidget* window_ = nullptr;
    GtkWidget* fixed_ = nullptr;
    GtkWidget* scroll_ = nullptr;
    GtkWidget* viewport_ = nullptr;
    GtkWidget* content_ = nullptr;
    GtkWidget* footer_ = nullptr;
    GtkWidget* closeButton_ = nullptr;
    GdkRGBA text_{};
    GdkRGBA background_{};
    bool composited_ = false;
    bool closePressed_ = false;
    // A new size that the window system has not been asked for yet.
    bool resizePending_ = false;
    // Drawing held until the window system gives the window the size asked for (or gives up).
    struct Held {
        int width, height;
        guint giveUp;  // the timeout that releases it if that size never comes
    };
    std::optional<Held> held_;
    std::optional<Grab> grab_;
    PopupRect frame_;
    std::string footerText_;
};

}  // namespace parlendo

#pragma once

#include "AITalkDesktop.h"
#include "LogCapture.h"
#include "aitalk/AnswerWindow.h"
#include "aitalk/MathLib.h"
#include "foundation/AppBundle.h"
#include "foundation/FileIO.h"
#include "foundation/GlibMainExecutor.h"

#include <X11/Xatom.h>

#include <gtest/gtest.h>

namespace parlendo::testing {

using Phase = AnswerState::Phase;
using Role = AnswerState::Turn::Role;

inline AnswerState answered(std::string text, int seq = 1) {
    AnswerState state;
    state.phase = Phase::answered;
    state.turns = {{Role::assistant, std::move(text)}};
    state.answerSeq = seq;
    state.hasThread = true;
    return state;
}

// An answer window on the test display, built from the shipped answer page and Temml, with its
// callbacks recorded.
class AnswerWindowRig : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!AITalkDesktop::available()) {
            GTEST_SKIP() << "no X display";
        }
        AITalkDesktop::ensure();
        AITalkDesktop::pointerTo(5, 5);
    }

    std::shared_ptr<AnswerWindow> make(ThemeMode theme = ThemeMode::light, bool renderer = true) {
        const auto resources = AppBundle::main().resourceDirectory;
        auto page = renderer ? fileio::readFile(resources / "ai_popup_web.html") : std::nullopt;
        auto window = AnswerWindow::make(AnswerPage::build(page, theme),
                                         MathLib(resources).source(), theme, main, clock);
        window->loadSize = [this] {
            return savedSize;
        };
        window->saveSize = [this](const std::string& size) {
            savedSize = size;
        };
        window->onClose = [this, w = std::weak_ptr<AnswerWindow>(window)](const std::string& r) {
            closes.push_back(r);
            if (auto self = w.lock()) {
                self->hide();
            }
        };
        window->onFollowup = [this](const std::string& text) {
            followups.push_back(text);
        };
        return window;
    }
    bool loaded(AnswerWindow& window) {
        return AITalkDesktop::pumpUntil([&] { return window.pageReady(); }, 30);
    }
    std::optional<Json> evaluate(AnswerWindow& window, const std::string& script) {
        std::optional<std::optional<Json>> out;
        window.evaluate(script, [&](std::optional<Json> value) { out = std::move(value); });
        AITalkDesktop::pumpUntil([&] { return out.has_value(); });
        return out.value_or(std::nullopt);
    }
    // The page's thread as text, once it holds `part`.
    bool pageShows(AnswerWindow& window, const std::string& part) {
        return AITalkDesktop::pumpUntil([&] {
            auto text = evaluate(window, "document.getElementById('thread').textContent");
            return text && text->is_string() &&
                   text->get<std::string>().find(part) != std::string::npos;
        });
    }
    std::vector<unsigned long> property(GtkWidget* widget, const char* name) {
        Display* dpy = AITalkDesktop::display();
        Atom type = None;
        int format = 0;
        unsigned long count = 0;
        unsigned long after = 0;
        unsigned char* data = nullptr;
        std::vector<unsigned long> out;
        if (XGetWindowProperty(dpy, GDK_WINDOW_XID(gtk_widget_get_window(widget)),
                               XInternAtom(dpy, name, False), 0, 64, False, AnyPropertyType, &type,
                               &format, &count, &after, &data) == Success &&
            data != nullptr) {
            auto* values = reinterpret_cast<unsigned long*>(data);
            out.assign(values, values + count);
            XFree(data);
        }
        return out;
    }
    std::pair<int, int> rootPoint(AnswerWindow& window, GtkWidget* widget, int dx, int dy) {
        int x = 0;
        int y = 0;
        gtk_widget_translate_coordinates(widget, window.parts().window, dx, dy, &x, &y);
        return {window.frame().x + x, window.frame().y + y};
    }
    bool visible(GtkWidget* widget) { return gtk_widget_is_visible(widget); }

    LogCapture log;
    std::shared_ptr<GlibMainExecutor> main = std::make_shared<GlibMainExecutor>();
    std::shared_ptr<ManualUptime> clock = std::make_shared<ManualUptime>();
    std::optional<std::string> savedSize;
    std::vector<std::string> closes;
    std::vector<std::string> followups;
};

}  // namespace parlendo::testing

#include "capture/AppIdentity.h"

#include <gtest/gtest.h>

namespace parlendo {
namespace {

using namespace std::string_literals;

TEST(AppIdentityTest, FlatpakAndLauncherClues) {
    EXPECT_EQ(AppIdentity::flatpakID("[Application]\nname=org.mozilla.firefox\nruntime=x\n"
                                     "[Instance]\nname=other\n"),
              "org.mozilla.firefox");
    EXPECT_EQ(AppIdentity::flatpakID("[Instance]\nname=other\n"), std::nullopt);
    EXPECT_EQ(AppIdentity::flatpakIDFromCgroup(
                  "0::/user.slice/user-1000.slice/user@1000.service/app.slice/"
                  "app-flatpak-com.google.Chrome-12345.scope\n"),
              "com.google.Chrome");
    EXPECT_EQ(AppIdentity::flatpakIDFromCgroup("0::/user.slice/app-gnome-firefox-99.scope"),
              std::nullopt);

    const std::string env =
        "HOME=/h\0GIO_LAUNCHED_DESKTOP_FILE=/usr/share/applications/"
        "org.gnome.Evince.desktop\0GIO_LAUNCHED_DESKTOP_FILE_PID=300\0"s;
    EXPECT_EQ(AppIdentity::launchedDesktopID(env, 300), "org.gnome.Evince");
    // A child that inherited its parent's launcher variables is not that application.
    EXPECT_EQ(AppIdentity::launchedDesktopID(env, 301), std::nullopt);
}

TEST(AppIdentityTest, BundleIDPrefersFlatpakThenDesktopFileThenWindowClass) {
    const std::vector<DesktopEntry> entries = {
        {"google-chrome", "Google-chrome", {"Network", "WebBrowser"}},
        {"firefox-esr", std::nullopt, {"Network", "WebBrowser"}},
        {"org.gnome.Terminal", "Gnome-terminal", {"GTK", "System", "TerminalEmulator"}},
    };
    AppClues clues;
    clues.pid = 9;
    clues.wmInstance = "google-chrome";
    clues.wmClass = "Google-chrome";
    EXPECT_EQ(AppIdentity::bundleID(clues, entries), "google-chrome");

    clues.wmInstance = "Navigator";
    clues.wmClass = "Firefox-esr";
    EXPECT_EQ(AppIdentity::bundleID(clues, entries), "firefox-esr");

    clues.gtkApplicationID = "org.gnome.Epiphany";
    EXPECT_EQ(AppIdentity::bundleID(clues, entries), "org.gnome.Epiphany");
    clues.bamfDesktopFile = "/usr/share/applications/ignored.desktop";
    EXPECT_EQ(AppIdentity::bundleID(clues, entries), "org.gnome.Epiphany");

    clues.flatpakInfo = "[Application]\nname=org.mozilla.firefox\n";
    EXPECT_EQ(AppIdentity::bundleID(clues, entries), "org.mozilla.firefox");

    AppClues bare;
    bare.wmClass = "XTerm";
    EXPECT_EQ(AppIdentity::bundleID(bare, entries), "xterm");
    EXPECT_EQ(AppIdentity::bundleID(AppClues{}, entries), std::nullopt);
    EXPECT_EQ(AppIdentity::desktopID("a/b/kitty.desktop"), "kitty");
}

TEST(AppIdentityTest, TerminalsByCategoryOrByTheirKnownNames) {
    const DesktopEntry terminal{"org.gnome.Terminal", std::nullopt, {"System", "TerminalEmulator"}};
    const DesktopEntry editor{"org.gnome.TextEditor", std::nullopt, {"Utility"}};
    EXPECT_TRUE(AppIdentity::isTerminal(&terminal, std::nullopt, std::nullopt));
    // An entry without the category does not hide a terminal its class names.
    EXPECT_TRUE(AppIdentity::isTerminal(&editor, "xterm"s, "XTerm"s));
    EXPECT_FALSE(AppIdentity::isTerminal(&editor, "gnome-text-editor"s, "Gnome-text-editor"s));
    EXPECT_TRUE(AppIdentity::isTerminal(nullptr, "urxvt"s, "URxvt"s));
    EXPECT_TRUE(AppIdentity::isTerminal(nullptr, std::nullopt, "Alacritty"s));
    EXPECT_FALSE(AppIdentity::isTerminal(nullptr, "Navigator"s, "firefox"s));
}

TEST(AppIdentityTest, OnlyTerminalsKnownToCopyOnControlShiftCGetThatKey) {
    using enum CopyKeys;
    const DesktopEntry gnome{"org.gnome.Terminal", std::nullopt, {"System", "TerminalEmulator"}};
    const DesktopEntry xterm{"debian-xterm", "XTerm"s, {"System", "TerminalEmulator"}};
    const DesktopEntry unknown{"org.example.Term", std::nullopt, {"TerminalEmulator"}};
    const DesktopEntry editor{"org.xfce.mousepad", std::nullopt, {"Utility", "TextEditor"}};
    EXPECT_EQ(AppIdentity::copyKeys(&gnome, "gnome-terminal-server"s, "Gnome-terminal"s),
              controlShiftC);
    EXPECT_EQ(AppIdentity::copyKeys(nullptr, "xfce4-terminal"s, "Xfce4-terminal"s), controlShiftC);
    EXPECT_EQ(AppIdentity::copyKeys(nullptr, "kitty"s, "kitty"s), controlShiftC);
    // Control+Shift+C interrupts the program in xterm and the rxvt family, and nobody knows
    // what it does in a terminal not known: no key at all.
    EXPECT_EQ(AppIdentity::copyKeys(&xterm, "xterm"s, "XTerm"s), none);
    EXPECT_EQ(AppIdentity::copyKeys(nullptr, "uxterm"s, "UXTerm"s), none);
    EXPECT_EQ(AppIdentity::copyKeys(nullptr, "urxvt"s, "URxvt"s), none);
    EXPECT_EQ(AppIdentity::copyKeys(&unknown, "term"s, "Term"s), none);
    EXPECT_EQ(AppIdentity::copyKeys(&editor, "xterm"s, "XTerm"s), none);
    EXPECT_EQ(AppIdentity::copyKeys(&editor, "mousepad"s, "Mousepad"s), controlC);
    EXPECT_EQ(AppIdentity::copyKeys(nullptr, std::nullopt, std::nullopt), controlC);
    // A process holding a pseudo-terminal is a terminal whatever its class: one started under a
    // class of its own gets no key; a terminal known by name keeps its copy key.
    EXPECT_EQ(AppIdentity::copyKeys(nullptr, "Scratch"s, "Scratch"s, true), none);
    EXPECT_EQ(AppIdentity::copyKeys(&editor, "mousepad"s, "Mousepad"s, true), none);
    EXPECT_EQ(AppIdentity::copyKeys(nullptr, "kitty"s, "kitty"s, true), controlShiftC);
    EXPECT_EQ(AppIdentity::copyKeys(&xterm, "xterm"s, "XTerm"s, true), none);
    // A process whose open files cannot be read might be a terminal: no key, whatever its name.
    EXPECT_EQ(AppIdentity::copyKeys(&editor, "mousepad"s, "Mousepad"s, std::nullopt), none);
    EXPECT_EQ(AppIdentity::copyKeys(nullptr, "kitty"s, "kitty"s, std::nullopt), none);
}

}  // namespace
}  // namespace parlendo

#include "capture/X11Windows.h"

#include "DesktopSession.h"

// Xlib's macros clash with GoogleTest's names: it comes last.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <gdk/gdkx.h>

namespace parlendo {
namespace {

using testing::DesktopSession;

// Titles and classes reach the word book and the server, so they must be valid UTF-8 whatever
// an old application wrote into its window properties.
TEST(X11WindowsTest, TitlesAndClassesAreAlwaysValidText) {
    if (!DesktopSession::available()) {
        GTEST_SKIP() << "no X display";
    }
    DesktopSession::ensure();
    Display* dpy = gdk_x11_get_default_xdisplay();
    const Window latin = XCreateSimpleWindow(dpy, DefaultRootWindow(dpy), 0, 0, 10, 10, 0, 0, 0);
    const Window broken = XCreateSimpleWindow(dpy, DefaultRootWindow(dpy), 0, 0, 10, 10, 0, 0, 0);
    const auto set = [&](Window window, const char* name, Atom type, const std::string& value) {
        XChangeProperty(dpy, window, XInternAtom(dpy, name, False), type, 8, PropModeReplace,
                        reinterpret_cast<const unsigned char*>(value.data()),
                        static_cast<int>(value.size()));
    };
    // WM_NAME and WM_CLASS of type STRING are Latin-1.
    set(latin, "WM_NAME", XA_STRING, "Caf\xe9 \xab notes \xbb");
    set(latin, "WM_CLASS", XA_STRING, std::string("na\xefve\0Na\xefve\0", 12));
    set(broken, "_NET_WM_NAME", XInternAtom(dpy, "UTF8_STRING", False), "Bad \xff\xfe title");
    XSync(dpy, False);

    auto windows = X11Windows::connect();
    ASSERT_TRUE(windows);
    EXPECT_EQ(windows->title(static_cast<X11Windows::Window>(latin)), "Café « notes »");
    const auto [instance, name] = windows->wmClass(static_cast<X11Windows::Window>(latin));
    EXPECT_EQ(instance, "naïve");
    EXPECT_EQ(name, "Naïve");
    EXPECT_EQ(windows->title(static_cast<X11Windows::Window>(broken)),
              "Bad \xef\xbf\xbd\xef\xbf\xbd title");

    XDestroyWindow(dpy, latin);
    XDestroyWindow(dpy, broken);
    XSync(dpy, False);
    // A window that is gone reads as absent.
    EXPECT_EQ(windows->title(static_cast<X11Windows::Window>(latin)), std::nullopt);
}

}  // namespace
}  // namespace parlendo

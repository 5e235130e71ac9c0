#include "capture/X11InputSource.h"

#include "capture/CaptureKeys.h"
#include "capture/InputEvent.h"
#include "foundation/Log.h"

#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/extensions/XInput2.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <set>
#include <thread>

namespace parlendo {

namespace {

enum class Role { none, shift, command, option, control };

std::uint64_t flagOf(Role role) {
    switch (role) {
        case Role::none:
            return 0;
        case Role::shift:
            return ModifierFlags::shift;
        case Role::command:
            return ModifierFlags::command;
        case Role::option:
            return ModifierFlags::option;
        case Role::control:
            return ModifierFlags::control;
    }
    return 0;
}

Role roleOf(KeySym sym) {
    switch (sym) {
        case XK_Shift_L:
        case XK_Shift_R:
            return Role::shift;
        case XK_Control_L:
        case XK_Control_R:
            return Role::command;
        case XK_Alt_L:
        case XK_Alt_R:
        case XK_Meta_L:
        case XK_Meta_R:
            return Role::option;
        case XK_Super_L:
        case XK_Super_R:
        case XK_Hyper_L:
        case XK_Hyper_R:
            return Role::control;
        default:
            return Role::none;
    }
}

}  // namespace

// The input thread: its own display connection, the keymap's modifier roles and the keys held.
struct X11InputSource::Reader {
    Display* display = nullptr;
    int xiOpcode = 0;
    int xkbEvent = 0;
    int wake = -1;
    std::atomic<bool> stopping{false};
    std::thread thread;
    std::set<int> xtestDevices;
    std::array<Role, 256> roles{};
    std::array<unsigned, 256> modmap{};
    std::set<int> held;  // keys down, by key code
    std::weak_ptr<X11InputSource> owner;
    Options options;

    ~Reader() {
        stop();
        if (display != nullptr) {
            XCloseDisplay(display);
        }
        if (wake >= 0) {
            ::close(wake);
        }
    }

    void stop() {
        if (!thread.joinable()) {
            return;
        }
        stopping = true;
        const std::uint64_t one = 1;
        (void)::write(wake, &one, sizeof one);
        thread.join();
    }

    void loadKeymap() {
        roles.fill(Role::none);
        modmap.fill(0);
        XkbDescPtr xkb = XkbGetMap(display, XkbKeySymsMask | XkbModifierMapMask, XkbUseCoreKbd);
        if (xkb == nullptr) {
            return;
        }
        for (int code = xkb->min_key_code; code <= xkb->max_key_code && code < 256; ++code) {
            const KeySym sym = XkbKeycodeToKeysym(display, static_cast<KeyCode>(code), 0, 0);
            roles[static_cast<size_t>(code)] = roleOf(sym);
            modmap[static_cast<size_t>(code)] = xkb->map->modmap[code];
        }
        XkbFreeKeyboard(xkb, 0, True);
    }

    void findXtestDevices() {
        xtestDevices.clear();
        int count = 0;
        XIDeviceInfo* devices = XIQueryDevice(display, XIAllDevices, &count);
        for (int i = 0; i < count; ++i) {
            const std::string name = devices[i].name != nullptr ? devices[i].name : "";
            if (name.find("XTEST") != std::string::npos) {
                xtestDevices.insert(devices[i].deviceid);
            }
        }
        XIFreeDeviceInfo(devices);
    }

    std::uint64_t flags() const {
        std::uint64_t value = 0;
        for (const int code : held) {
            value |= flagOf(roles[static_cast<size_t>(code)]);
        }
        return value;
    }

    // The base modifier state says which roles are really down: drop keys whose release was
    // missed (a key released while the watch was restarting).
    void reconcile(unsigned baseMods) {
        for (auto it = held.begin(); it != held.end();) {
            const auto code = static_cast<size_t>(*it);
            if (roles[code] != Role::none && modmap[code] != 0 && (modmap[code] & baseMods) == 0) {
                it = held.erase(it);
            } else {
                ++it;
            }
        }
    }

    void emit(RawInputEvent raw) {
        const bool own = options.ownsFocus && options.ownsFocus();
        options.main->post([owner = owner, raw, own] {
            if (auto self = owner.lock()) {
                self->deliver(raw, own);
            }
        });
    }

    void onRawKey(const XIRawEvent& event, bool press) {
        const int code = event.detail;
        if (code < 0 || code > 255) {
            return;
        }
        const double now = options.clock->uptime();
        const bool synthetic = xtestDevices.contains(event.sourceid) && options.trail &&
                               options.trail->claim(static_cast<std::uint16_t>(code), press, now);
        const bool wasDown = held.contains(code);
        if (press) {
            held.insert(code);
        } else {
            held.erase(code);
        }
        RawInputEvent raw;
        raw.keyCode = static_cast<std::uint16_t>(code);
        raw.timestamp = now;
        raw.userData = synthetic ? CaptureKeys::syntheticEventTag : 0;
        if (roles[static_cast<size_t>(code)] != Role::none) {
            if (press && wasDown) {
                return;  // a modifier's auto-repeat changes nothing
            }
            raw.type = RawInputEvent::Type::flagsChanged;
        } else {
            raw.type = press ? RawInputEvent::Type::keyDown : RawInputEvent::Type::keyUp;
            raw.isRepeat = press && wasDown;
        }
        raw.modifierFlags = flags();
        emit(raw);
    }

    void onRawButton(const XIRawEvent& event) {
        RawInputEvent raw;
        switch (event.detail) {
            case 1:
                raw.type = RawInputEvent::Type::leftMouseDown;
                break;
            case 3:
                raw.type = RawInputEvent::Type::rightMouseDown;
                break;
            case 4:
            case 5:
            case 6:
            case 7:
                raw.type = RawInputEvent::Type::scrollWheel;
                break;
            default:
                raw.type = RawInputEvent::Type::otherMouseDown;
                break;
        }
        raw.timestamp = options.clock->uptime();
        raw.modifierFlags = flags();
        raw.userData = 0;
        emit(raw);
    }

    void handle(XEvent& event) {
        if (event.type == GenericEvent && event.xcookie.extension == xiOpcode &&
            XGetEventData(display, &event.xcookie)) {
            const auto* raw = static_cast<const XIRawEvent*>(event.xcookie.data);
            switch (event.xcookie.evtype) {
                case XI_RawKeyPress:
                    onRawKey(*raw, true);
                    break;
                case XI_RawKeyRelease:
                    onRawKey(*raw, false);
                    break;
                case XI_RawButtonPress:
                    onRawButton(*raw);
                    break;
                case XI_HierarchyChanged:
                    findXtestDevices();
                    break;
                default:
                    break;
            }
            XFreeEventData(display, &event.xcookie);
            return;
        }
        if (event.type == xkbEvent) {
            const auto& xkb = reinterpret_cast<const XkbAnyEvent&>(event);
            if (xkb.xkb_type == XkbStateNotify) {
                reconcile(reinterpret_cast<const XkbStateNotifyEvent&>(event).base_mods);
            } else if (xkb.xkb_type == XkbNewKeyboardNotify || xkb.xkb_type == XkbMapNotify) {
                loadKeymap();
            }
        }
    }

    void run() {
        const int fd = ConnectionNumber(display);
        while (!stopping) {
            while (XPending(display) > 0) {
                XEvent event;
                XNextEvent(display, &event);
                handle(event);
            }
            std::array<pollfd, 2> fds{pollfd{fd, POLLIN, 0}, pollfd{wake, POLLIN, 0}};
            if (::poll(fds.data(), fds.size(), -1) < 0 && errno != EINTR) {
                break;
            }
            if ((fds[0].revents & (POLLERR | POLLHUP)) != 0) {
                Log::write("hotkey", "X 연결이 끊김 — 키 감시 멈춤");
                break;
            }
        }
    }

    // Opens the connection and checks the extensions; false when the display lacks them.
    bool open() {
        display = XOpenDisplay(options.display.empty() ? nullptr : options.display.c_str());
        if (display == nullptr) {
            return false;
        }
        int event = 0;
        int error = 0;
        int major = 2;
        int minor = 0;
        if (!XQueryExtension(display, "XInputExtension", &xiOpcode, &event, &error) ||
            XIQueryVersion(display, &major, &minor) != Success) {
            return false;
        }
        int xtestEvent = 0;
        int xtestError = 0;
        int xtestMajor = 0;
        int xtestMinor = 0;
        if (!XTestQueryExtension(display, &xtestEvent, &xtestError, &xtestMajor, &xtestMinor)) {
            return false;
        }
        int xkbOpcode = 0;
        int xkbError = 0;
        int xkbMajor = XkbMajorVersion;
        int xkbMinor = XkbMinorVersion;
        if (!XkbQueryExtension(display, &xkbOpcode, &xkbEvent, &xkbError, &xkbMajor, &xkbMinor)) {
            return false;
        }
        return true;
    }

    bool start() {
        wake = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
        if (wake < 0) {
            return false;
        }
        std::array<unsigned char, XIMaskLen(XI_LASTEVENT)> bits{};
        XISetMask(bits.data(), XI_RawKeyPress);
        XISetMask(bits.data(), XI_RawKeyRelease);
        XISetMask(bits.data(), XI_RawButtonPress);
        XIEventMask mask{XIAllMasterDevices, static_cast<int>(bits.size()), bits.data()};
        XISelectEvents(display, DefaultRootWindow(display), &mask, 1);
        std::array<unsigned char, XIMaskLen(XI_LASTEVENT)> hierarchyBits{};
        XISetMask(hierarchyBits.data(), XI_HierarchyChanged);
        XIEventMask hierarchy{XIAllDevices, static_cast<int>(hierarchyBits.size()),
                              hierarchyBits.data()};
        XISelectEvents(display, DefaultRootWindow(display), &hierarchy, 1);
        XkbSelectEvents(display, XkbUseCoreKbd, XkbNewKeyboardNotifyMask | XkbMapNotifyMask,
                        XkbNewKeyboardNotifyMask | XkbMapNotifyMask);
        XkbSelectEventDetails(display, XkbUseCoreKbd, XkbStateNotify, XkbModifierBaseMask,
                              XkbModifierBaseMask);
        loadKeymap();
        findXtestDevices();
        XSync(display, False);
        thread = std::thread([this] { run(); });
        return true;
    }
};

std::shared_ptr<X11InputSource> X11InputSource::make(Options options) {
    return std::shared_ptr<X11InputSource>(new X11InputSource(std::move(options)));
}

X11InputSource::X11InputSource(Options options) : options_(std::move(options)) {}

X11InputSource::~X11InputSource() {
    reader_.reset();
}

bool X11InputSource::available() {
    if (reader_) {
        return true;
    }
    Reader probe;
    probe.options = options_;
    return probe.open();
}

std::optional<InputEventSource::Token> X11InputSource::add(bool local, Handler handler) {
    if (!reader_) {
        auto reader = std::make_shared<Reader>();
        reader->options = options_;
        reader->owner = weak_from_this();
        if (!reader->open() || !reader->start()) {
            Log::write("hotkey", "키 감시를 걸 수 없음 — X 입력 확장(XInput2, XTest, XKB)이 없음");
            return std::nullopt;
        }
        reader_ = std::move(reader);
    }
    const Token token = next_++;
    monitors_[token] = Monitor{local, std::move(handler)};
    return token;
}

std::optional<InputEventSource::Token> X11InputSource::addGlobalMonitor(Handler handler) {
    return add(false, std::move(handler));
}

std::optional<InputEventSource::Token> X11InputSource::addLocalMonitor(Handler handler) {
    return add(true, std::move(handler));
}

void X11InputSource::removeMonitor(Token token) {
    monitors_.erase(token);
    if (monitors_.empty()) {
        reader_.reset();
    }
}

void X11InputSource::deliver(const RawInputEvent& raw, bool toOwnApp) {
    // Handlers may add or remove monitors: walk a copy.
    std::vector<Handler> handlers;
    for (const auto& [token, monitor] : monitors_) {
        if (monitor.local == toOwnApp) {
            handlers.push_back(monitor.handler);
        }
    }
    for (const auto& handler : handlers) {
        handler(raw);
    }
}

}  // namespace parlendo

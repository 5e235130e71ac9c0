#include "capture/X11Windows.h"

#include "foundation/Text.h"

#include <cstdlib>
#include <cstring>

// Xlib's macros clash with other names: it comes last.
#include <X11/Xlib.h>
#include <X11/extensions/XRes.h>

namespace parlendo {

namespace {

// Frees what xcb allocated for a reply.
template <typename T>
struct Reply {
    T* value = nullptr;
    ~Reply() { std::free(value); }
    T* operator->() const { return value; }
    explicit operator bool() const { return value != nullptr; }
};

constexpr std::uint32_t maxPropertyWords = 1 << 16;  // 256 KiB of property data at most
constexpr int maxParentSteps = 64;

// X's STRING type is Latin-1.
std::string fromLatin1(std::string_view value) {
    std::string utf8;
    for (const unsigned char byte : value) {
        utf8 += text::fromCodePoint(byte);
    }
    return utf8;
}

// A connection for the X-Resource queries when the server speaks the extension in a version that
// tells client ids (1.2 and later); null otherwise.
Display* openResources(const std::string& display) {
    Display* connection = XOpenDisplay(display.empty() ? nullptr : display.c_str());
    if (connection == nullptr) {
        return nullptr;
    }
    int bases[2] = {};
    int version[2] = {};
    if (!XResQueryExtension(connection, &bases[0], &bases[1]) ||
        !XResQueryVersion(connection, &version[0], &version[1]) ||
        (version[0] < 1 || (version[0] == 1 && version[1] < 2))) {
        XCloseDisplay(connection);
        return nullptr;
    }
    return connection;
}

}  // namespace

std::shared_ptr<X11Windows> X11Windows::connect(const std::string& display) {
    int screenNumber = 0;
    xcb_connection_t* connection =
        xcb_connect(display.empty() ? nullptr : display.c_str(), &screenNumber);
    if (connection == nullptr || xcb_connection_has_error(connection) != 0) {
        if (connection != nullptr) {
            xcb_disconnect(connection);
        }
        return nullptr;
    }
    auto iterator = xcb_setup_roots_iterator(xcb_get_setup(connection));
    for (int i = 0; i < screenNumber && iterator.rem > 0; ++i) {
        xcb_screen_next(&iterator);
    }
    if (iterator.rem == 0) {
        xcb_disconnect(connection);
        return nullptr;
    }
    return std::shared_ptr<X11Windows>(
        new X11Windows(connection, iterator.data->root, openResources(display)));
}

X11Windows::X11Windows(xcb_connection_t* connection, Window root, Display* resources)
    : connection_(connection), root_(root), resources_(resources) {}

X11Windows::~X11Windows() {
    if (resources_ != nullptr) {
        XCloseDisplay(resources_);
    }
    xcb_disconnect(connection_);
}

std::uint32_t X11Windows::atom(const std::string& name) {
    {
        std::lock_guard guard(atomsLock_);
        if (auto it = atoms_.find(name); it != atoms_.end()) {
            return it->second;
        }
    }
    Reply<xcb_intern_atom_reply_t> reply{xcb_intern_atom_reply(
        connection_,
        xcb_intern_atom(connection_, 0, static_cast<std::uint16_t>(name.size()), name.c_str()),
        nullptr)};
    const std::uint32_t value = reply ? reply->atom : std::uint32_t{XCB_ATOM_NONE};
    if (value != XCB_ATOM_NONE) {
        std::lock_guard guard(atomsLock_);
        atoms_[name] = value;
    }
    return value;
}

std::optional<std::vector<std::uint8_t>> X11Windows::property(Window window, std::uint32_t name,
                                                              std::uint32_t type,
                                                              std::uint8_t& format,
                                                              std::uint32_t* actualType) {
    if (window == XCB_WINDOW_NONE || name == XCB_ATOM_NONE) {
        return std::nullopt;
    }
    xcb_generic_error_t* error = nullptr;
    Reply<xcb_get_property_reply_t> reply{xcb_get_property_reply(
        connection_, xcb_get_property(connection_, 0, window, name, type, 0, maxPropertyWords),
        &error)};
    std::free(error);
    if (!reply || reply->type == XCB_ATOM_NONE) {
        return std::nullopt;
    }
    format = reply->format;
    if (actualType != nullptr) {
        *actualType = reply->type;
    }
    const auto* data = static_cast<const std::uint8_t*>(xcb_get_property_value(reply.value));
    const int length = xcb_get_property_value_length(reply.value);
    return std::vector<std::uint8_t>(data, data + (length > 0 ? length : 0));
}

bool X11Windows::hasProperty(Window window, std::uint32_t name) {
    std::uint8_t format = 0;
    return property(window, name, XCB_GET_PROPERTY_TYPE_ANY, format).has_value();
}

std::optional<X11Windows::Window> X11Windows::windowProperty(Window window,
                                                             const std::string& name) {
    std::uint8_t format = 0;
    const auto data = property(window, atom(name), XCB_ATOM_WINDOW, format);
    if (!data || format != 32 || data->size() < 4) {
        return std::nullopt;
    }
    Window value = 0;
    std::memcpy(&value, data->data(), sizeof value);
    if (value == XCB_WINDOW_NONE) {
        return std::nullopt;
    }
    return value;
}

std::optional<std::int32_t> X11Windows::clientPid(Window window) {
    if (resources_ == nullptr || window == XCB_WINDOW_NONE) {
        return std::nullopt;
    }
    std::lock_guard guard(resourcesLock_);
    // The server finds the client by the window's id alone: a client gone meanwhile reads as no
    // value, never as an error.
    XResClientIdSpec spec{window, XRES_CLIENT_ID_PID_MASK};
    long count = 0;
    XResClientIdValue* values = nullptr;
    std::optional<std::int32_t> pid;
    if (XResQueryClientIds(resources_, 1, &spec, &count, &values) == Success) {
        for (long i = 0; i < count && !pid; ++i) {
            if (const pid_t found = XResGetClientPid(&values[i]); found > 0) {
                pid = static_cast<std::int32_t>(found);
            }
        }
        XResClientIdsDestroy(count, values);
    }
    return pid;
}

std::optional<X11Windows::Window> X11Windows::selectionOwner(const std::string& selection) {
    const std::uint32_t name = atom(selection);
    if (name == XCB_ATOM_NONE) {
        return std::nullopt;
    }
    xcb_generic_error_t* error = nullptr;
    Reply<xcb_get_selection_owner_reply_t> reply{xcb_get_selection_owner_reply(
        connection_, xcb_get_selection_owner(connection_, name), &error)};
    std::free(error);
    if (!reply || reply->owner == XCB_WINDOW_NONE) {
        return std::nullopt;
    }
    return reply->owner;
}

std::optional<std::int32_t> X11Windows::pid(Window window) {
    if (auto client = clientPid(window)) {
        return client;
    }
    std::uint8_t format = 0;
    const auto data = property(window, atom("_NET_WM_PID"), XCB_ATOM_CARDINAL, format);
    if (!data || format != 32 || data->size() < 4) {
        return std::nullopt;
    }
    std::uint32_t value = 0;
    std::memcpy(&value, data->data(), sizeof value);
    if (value == 0 || value > 0x7FFFFFFF) {
        return std::nullopt;
    }
    return static_cast<std::int32_t>(value);
}

std::optional<std::string> X11Windows::text(Window window, const std::string& name) {
    std::uint8_t format = 0;
    std::uint32_t type = XCB_ATOM_NONE;
    const auto data = property(window, atom(name), XCB_GET_PROPERTY_TYPE_ANY, format, &type);
    if (!data || format != 8) {
        return std::nullopt;
    }
    std::string value(data->begin(), data->end());
    // Text properties may end in (or be lists separated by) NUL characters.
    if (const auto nul = value.find('\0'); nul != std::string::npos) {
        value.resize(nul);
    }
    // STRING is Latin-1; anything else is taken as UTF-8, and what is not is mended, so that a
    // title always travels as valid text.
    if (type == XCB_ATOM_STRING) {
        return fromLatin1(value);
    }
    return text::sanitize(value);
}

std::optional<std::string> X11Windows::title(Window window) {
    if (auto name = text(window, "_NET_WM_NAME")) {
        return name;
    }
    return text(window, "WM_NAME");
}

std::pair<std::optional<std::string>, std::optional<std::string>> X11Windows::wmClass(
    Window window) {
    std::uint8_t format = 0;
    const auto data = property(window, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING, format);
    if (!data || format != 8) {
        return {};
    }
    const std::string value(data->begin(), data->end());
    const auto nul = value.find('\0');
    if (nul == std::string::npos) {
        return {fromLatin1(value), std::nullopt};
    }
    std::string second = value.substr(nul + 1);
    if (const auto end = second.find('\0'); end != std::string::npos) {
        second.resize(end);
    }
    return {fromLatin1(value.substr(0, nul)), fromLatin1(second)};
}

std::optional<X11Windows::Window> X11Windows::clientOf(Window window) {
    // Walk up to the child of the root, remembering the lowest window that a window manager
    // would manage (it has WM_STATE or, without a window manager, WM_CLASS).
    const std::uint32_t wmState = atom("WM_STATE");
    std::optional<Window> client;
    Window current = window;
    for (int step = 0; step < maxParentSteps && current != XCB_WINDOW_NONE && current != root_;
         ++step) {
        if (!client && (hasProperty(current, wmState) || hasProperty(current, XCB_ATOM_WM_CLASS))) {
            client = current;
        }
        xcb_generic_error_t* error = nullptr;
        Reply<xcb_query_tree_reply_t> tree{
            xcb_query_tree_reply(connection_, xcb_query_tree(connection_, current), &error)};
        std::free(error);
        if (!tree) {
            return std::nullopt;  // the window vanished
        }
        if (tree->parent == root_ || tree->parent == XCB_WINDOW_NONE) {
            break;
        }
        current = tree->parent;
    }
    return client;
}

std::optional<X11Windows::Window> X11Windows::activeWindow() {
    if (auto active = windowProperty(root_, "_NET_ACTIVE_WINDOW")) {
        return active;
    }
    xcb_generic_error_t* error = nullptr;
    Reply<xcb_get_input_focus_reply_t> focus{
        xcb_get_input_focus_reply(connection_, xcb_get_input_focus(connection_), &error)};
    std::free(error);
    if (!focus || focus->focus == XCB_WINDOW_NONE || focus->focus == XCB_INPUT_FOCUS_POINTER_ROOT ||
        focus->focus == root_) {
        return std::nullopt;
    }
    return clientOf(focus->focus);
}

}  // namespace parlendo

#include "capture/AtspiAccessibility.h"

#include "capture/AtspiNode.h"
#include "capture/DesktopApps.h"
#include "foundation/HandedOver.h"
#include "foundation/Log.h"

#include <atspi/atspi.h>
#include <gio/gio.h>
#include <signal.h>

#include <atomic>
#include <cerrno>
#include <cmath>
#include <functional>
#include <set>

namespace parlendo {

namespace {

// The bounded search for the focused element when no focus event named it.
constexpr int focusSearchNodes = 300;
constexpr int focusSearchDepth = 12;

void clear(GError*& error) {
    if (error != nullptr) {
        g_error_free(error);
        error = nullptr;
    }
}

std::int32_t pidOf(AtspiAccessible* element) {
    GError* error = nullptr;
    const guint pid = atspi_accessible_get_process_id(element, &error);
    if (error != nullptr) {
        clear(error);
        return 0;
    }
    return static_cast<std::int32_t>(pid);
}

}  // namespace

// Everything the client keeps, touched only on the fetch queue except `connected` and `closed`.
struct AtspiAccessibility::State {
    std::atomic<bool> connected{false};
    // Set once the connection to the accessibility bus closed: its daemon ended, and with it
    // every application's connection and every listener. The desktop starts another bus on the
    // next request, but this client cannot follow: taken down and opened again, it keeps the
    // applications it knew by their names on the old bus, names the new bus hands out anew.
    std::atomic<bool> closed{false};
    // Set on the main thread once the client is set up, before the fetch queue connects.
    enum class Binding { pending, bound, unbound };
    std::atomic<Binding> binding{Binding::pending};
    bool started = false;
    int timeoutMs = 250;
    int startUpMs = 2000;
    std::map<std::int32_t, std::shared_ptr<AtspiNode>> focused;
    std::map<std::int32_t, std::shared_ptr<AtspiNode>> selectionChanged;
    AtspiEventListener* listener = nullptr;
    std::weak_ptr<State>* listenerData = nullptr;
    GDBusConnection* session = nullptr;
    // The connection to the accessibility bus, watched for its end.
    DBusConnection* bus = nullptr;
    std::weak_ptr<State>* busWatchData = nullptr;
    // The direct connections to applications already handed to the fetch queue's context, each
    // with a reference until it closes.
    std::set<DBusConnection*> adopted;

    ~State() {
        for (DBusConnection* bus : adopted) {
            dbus_connection_unref(bus);
        }
        if (listener != nullptr) {
            g_object_unref(listener);
        }
        if (session != nullptr) {
            g_object_unref(session);
        }
        if (bus != nullptr) {
            if (busWatchData != nullptr) {
                dbus_connection_remove_filter(bus, &State::onBusMessage, busWatchData);
            }
            dbus_connection_unref(bus);
        }
    }

    // Runs where the connection is dispatched (the fetch queue's context).
    static DBusHandlerResult onBusMessage(DBusConnection*, DBusMessage* message, void* data) {
        if (dbus_message_is_signal(message, DBUS_INTERFACE_LOCAL, "Disconnected")) {
            auto self = static_cast<std::weak_ptr<State>*>(data)->lock();
            if (self && !self->closed.exchange(true)) {
                Log::write("capture",
                           "🔴 접근성 버스 연결이 끊김 — 버스가 끝나 듣던 것이 모두 사라짐");
            }
        }
        return DBUS_HANDLER_RESULT_NOT_YET_HANDLED;
    }

    // The listener's callback finds the state weakly: the bus client may still hold the
    // callback after the state is gone (when the queue ended before it could deregister).
    static void onEvent(AtspiEvent* event, void* data) {
        auto self = static_cast<std::weak_ptr<State>*>(data)->lock();
        if (self && event->source != nullptr && event->type != nullptr) {
            const std::string type = event->type;
            const std::int32_t pid = pidOf(event->source);
            if (pid > 0 && type.starts_with("object:state-changed:focused") &&
                event->detail1 == 1) {
                self->focused[pid] = AtspiNode::wrap(event->source);
            } else if (pid > 0 && type.starts_with("object:text-selection-changed")) {
                self->selectionChanged[pid] = AtspiNode::wrap(event->source);
            }
        }
        g_boxed_free(atspi_event_get_type(), event);
    }
};

std::shared_ptr<AtspiAccessibility> AtspiAccessibility::make(
    ExecutorPtr fetchQueue, GMainContext* fetchContext, std::function<ScreenFrames()> screens) {
    return std::shared_ptr<AtspiAccessibility>(
        new AtspiAccessibility(std::move(fetchQueue), fetchContext, std::move(screens)));
}

AtspiAccessibility::AtspiAccessibility(ExecutorPtr fetchQueue, GMainContext* fetchContext,
                                       std::function<ScreenFrames()> screens)
    : fetchQueue_(std::move(fetchQueue)),
      fetchContext_(fetchContext),
      screens_(std::move(screens)),
      state_(std::make_shared<State>()) {}

AtspiAccessibility::~AtspiAccessibility() {
    // The listener calls back into the state: drop it on the queue that owns it.
    if (fetchQueue_ && !fetchQueue_->isCurrent()) {
        fetchQueue_->post([state = state_] {
            if (state->listener != nullptr) {
                atspi_event_listener_deregister(state->listener, "object:state-changed:focused",
                                                nullptr);
                atspi_event_listener_deregister(state->listener, "object:text-selection-changed",
                                                nullptr);
                delete state->listenerData;
                state->listenerData = nullptr;
            }
        });
    }
}

namespace {

using Step = HandedOver<std::function<void()>>;

gboolean bindOnMain(gpointer data) {
    auto step = static_cast<Step*>(data)->get();
    step();
    return G_SOURCE_REMOVE;
}

void dropStep(gpointer data) {
    delete static_cast<Step*>(data);
}

}  // namespace

// Three steps, each on the thread it needs. The fetch queue asks the session bus for the
// accessibility bus's address and opens the connection, all blocking calls, without handing it to
// any context yet. The main thread then sets the client up (`bind`), which then costs no round
// trip, and the fetch queue connects and starts listening.
void AtspiAccessibility::start() {
    std::weak_ptr<AtspiAccessibility> weak = weak_from_this();
    fetchQueue_->post([weak] {
        const bool opened = atspi_get_a11y_bus() != nullptr;
        auto* step = new Step([weak, opened] {
            auto self = weak.lock();
            if (!self) {
                return;
            }
            self->state_->binding =
                self->bind(opened) ? State::Binding::bound : State::Binding::unbound;
            self->fetchQueue_->post([weak] {
                if (auto owner = weak.lock()) {
                    owner->connect();
                }
            });
        });
        g_main_context_invoke_full(nullptr, G_PRIORITY_DEFAULT, bindOnMain, step, dropStep);
    });
}

// The bus client sets its connection up on the default context, which the main loop polls: moved
// from any other thread, the connection's watches could be dispatched by the main loop while they
// are being replaced, which ends the process in the bus library. So the client is set up and
// handed to the fetch queue's context here, on the main thread, before the queue touches it. The
// connection was opened already (on the fetch queue): without one, the client would open it here
// with calls that block.
bool AtspiAccessibility::bind(bool opened) {
    if (!opened || atspi_init() > 1) {
        return false;
    }
    atspi_set_main_context(fetchContext_);
    return true;
}

namespace {

// A direct connection on its way from the main thread's context to the fetch queue's, with the
// application that uses the shared bus meanwhile.
struct Handover {
    AtspiApplication* application;
    DBusConnection* direct;
    GMainContext* context;
    std::weak_ptr<AtspiAccessibility> owner;
    ExecutorPtr fetchQueue;

    Handover(AtspiApplication* application, DBusConnection* direct, GMainContext* context,
             std::weak_ptr<AtspiAccessibility> owner, ExecutorPtr fetchQueue)
        : application(static_cast<AtspiApplication*>(g_object_ref(application))),
          direct(direct),
          context(g_main_context_ref(context)),
          owner(std::move(owner)),
          fetchQueue(std::move(fetchQueue)) {}
    Handover(const Handover&) = delete;
    Handover& operator=(const Handover&) = delete;
    ~Handover() {
        if (direct != nullptr) {
            dbus_connection_close(direct);
            dbus_connection_unref(direct);
        }
        g_object_unref(application);
        g_main_context_unref(context);
    }
};

// Fetch queue: the application talks over its direct connection again, unless the client
// replaced or dropped its connection meanwhile.
void giveBack(Handover& handover) {
    AtspiApplication* application = handover.application;
    DBusConnection* shared = atspi_get_a11y_bus();
    if (application->bus == shared && shared != nullptr) {
        application->bus = handover.direct;
        handover.direct = nullptr;
        dbus_connection_unref(shared);
    }
}

// Main thread, the one that dispatches the direct connection until now.
gboolean moveToFetchContext(gpointer data) {
    std::shared_ptr<Handover> handover =
        static_cast<HandedOver<std::shared_ptr<Handover>>*>(data)->get();
    atspi_dbus_connection_setup_with_g_main(handover->direct, handover->context);
    handover->fetchQueue->post([handover] {
        if (handover->owner.lock()) {
            giveBack(*handover);
        }
    });
    return G_SOURCE_REMOVE;
}

void dropHandover(gpointer data) {
    delete static_cast<HandedOver<std::shared_ptr<Handover>>*>(data);
}

}  // namespace

// The bus client talks to an application that offers it over a direct connection of its own,
// which the client dispatches on the default context, that is on the main thread. A reply that
// the main loop reads there leaves the call on the fetch queue waiting for it until its
// time-out, a second and more for an application just met. So each direct connection is moved
// to the fetch queue's context the first time it is met. The main thread makes the move, as the
// one that dispatches the connection until then, while the application talks over the shared
// bus: the connection is never used by two threads while it moves.
void AtspiAccessibility::adopt(AtspiAccessible* element) {
    AtspiApplication* application = ATSPI_OBJECT(element)->app;
    DBusConnection* shared = atspi_get_a11y_bus();
    if (application == nullptr || application->bus == nullptr || shared == nullptr ||
        application->bus == shared) {
        return;
    }
    auto& adopted = state_->adopted;
    for (auto it = adopted.begin(); it != adopted.end();) {
        if (!dbus_connection_get_is_connected(*it)) {
            dbus_connection_unref(*it);
            it = adopted.erase(it);
        } else {
            ++it;
        }
    }
    DBusConnection* direct = application->bus;
    if (!adopted.insert(dbus_connection_ref(direct)).second) {
        dbus_connection_unref(direct);
        return;
    }
    application->bus = dbus_connection_ref(shared);
    g_main_context_invoke_full(
        nullptr, G_PRIORITY_HIGH, moveToFetchContext,
        new HandedOver<std::shared_ptr<Handover>>(std::make_shared<Handover>(
            application, direct, fetchContext_, weak_from_this(), fetchQueue_)),
        dropHandover);
}

void AtspiAccessibility::connect() {
    auto& state = *state_;
    if (state.started || state.binding == State::Binding::pending) {
        return;
    }
    state.started = true;
    if (state.binding == State::Binding::unbound) {
        Log::write("capture", "접근성 버스에 연결하지 못함 — 직접 읽기 없이 대신 복사만 쓴다");
        return;
    }
    atspi_set_timeout(state.timeoutMs, 2000);
    // Freed once the listener is deregistered; a listener that never is keeps it.
    state.listenerData = new std::weak_ptr<State>(state_);
    state.listener = atspi_event_listener_new(&State::onEvent, state.listenerData, nullptr);
    GError* error = nullptr;
    atspi_event_listener_register(state.listener, "object:state-changed:focused", &error);
    clear(error);
    atspi_event_listener_register(state.listener, "object:text-selection-changed", &error);
    clear(error);
    AtspiAccessible* desktop = atspi_get_desktop(0);
    if (desktop != nullptr) {
        atspi_accessible_get_child_count(desktop, &error);
        state.connected = error == nullptr;
        clear(error);
        watchBus(desktop);
        g_object_unref(desktop);
    }
    state.session = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, &error);
    clear(error);
    Log::write("capture",
               std::string("접근성 버스 연결 ok=") + (state.connected ? "true" : "false"));
}

// The connection the client reads the desktop through is the one it listens on.
void AtspiAccessibility::watchBus(AtspiAccessible* desktop) {
    auto& state = *state_;
    AtspiApplication* application = ATSPI_OBJECT(desktop)->app;
    if (application == nullptr || application->bus == nullptr) {
        return;
    }
    state.bus = dbus_connection_ref(application->bus);
    state.busWatchData = new std::weak_ptr<State>(state_);
    if (!dbus_connection_add_filter(
            state.bus, &State::onBusMessage, state.busWatchData,
            [](void* data) { delete static_cast<std::weak_ptr<State>*>(data); })) {
        delete state.busWatchData;
        state.busWatchData = nullptr;
    }
    // Closed before the filter was there: it would never hear of it.
    if (!dbus_connection_get_is_connected(state.bus)) {
        state.closed = true;
    }
}

bool AtspiAccessibility::connected() const {
    return state_->connected.load();
}

bool AtspiAccessibility::closed() const {
    return state_->closed.load();
}

void AtspiAccessibility::setCallTimeout(double seconds) {
    const int ms = std::max(1, static_cast<int>(std::lround(seconds * 1000)));
    setTimeouts(ms, std::max(ms, 2000));
}

void AtspiAccessibility::setStrictCallTimeout(double seconds) {
    const int ms = std::max(1, static_cast<int>(std::lround(seconds * 1000)));
    setTimeouts(ms, ms);
}

// The bus client gives an application it met less than `startUpMs` ago that long a call.
void AtspiAccessibility::setTimeouts(int ms, int startUpMs) {
    if (ms != state_->timeoutMs || startUpMs != state_->startUpMs) {
        state_->timeoutMs = ms;
        state_->startUpMs = startUpMs;
        atspi_set_timeout(ms, startUpMs);
    }
}

AccessibleNodePtr AtspiAccessibility::activeWindow(const RunningApplication& app) {
    return activeWindow(app, {});
}

std::shared_ptr<AtspiNode> AtspiAccessibility::activeWindow(const RunningApplication& app,
                                                            const CallGate& mayCall) {
    if (!state_->started) {
        connect();
    }
    if (!state_->started || state_->closed) {
        return nullptr;  // the client is still being set up, or its bus is gone
    }
    const auto may = [&] {
        return !mayCall || mayCall();
    };
    AtspiAccessible* desktop = atspi_get_desktop(0);
    if (desktop == nullptr) {
        return nullptr;
    }
    std::shared_ptr<AtspiNode> application;
    for (auto& child : AtspiNode(desktop).children(SIZE_MAX, mayCall)) {
        auto node = std::static_pointer_cast<AtspiNode>(child);
        if (!may()) {
            break;
        }
        if (pidOf(node->element()) == app.pid) {
            adopt(node->element());
            application = node;
            break;
        }
    }
    g_object_unref(desktop);
    if (!application) {
        return nullptr;
    }
    std::shared_ptr<AtspiNode> showing;
    for (auto& child : application->children(SIZE_MAX, mayCall)) {
        auto window = std::static_pointer_cast<AtspiNode>(child);
        if (!may()) {
            return nullptr;
        }
        if (window->hasState(ATSPI_STATE_ACTIVE)) {
            return window;
        }
        if (!showing && may() && window->hasState(ATSPI_STATE_SHOWING)) {
            showing = window;
        }
    }
    return showing;
}

AccessibleNodePtr AtspiAccessibility::focusedElement(const RunningApplication& app,
                                                     const CallGate& mayCall) {
    if (!state_->started) {
        connect();
    }
    if (!state_->started || state_->closed) {
        return nullptr;  // the client is still being set up, or its bus is gone
    }
    const auto may = [&] {
        return !mayCall || mayCall();
    };
    if (auto it = state_->focused.find(app.pid); it != state_->focused.end()) {
        if (!may()) {
            return nullptr;
        }
        if (it->second->hasState(ATSPI_STATE_FOCUSED)) {
            return it->second;
        }
        state_->focused.erase(it);
    }
    auto window = activeWindow(app, mayCall);
    if (!window || !may()) {
        return nullptr;
    }
    // The application evaluates the search itself when it offers a collection.
    if (AtspiCollection* collection = atspi_accessible_get_collection_iface(window->element())) {
        AtspiStateSet* states = atspi_state_set_new(nullptr);
        atspi_state_set_add(states, ATSPI_STATE_FOCUSED);
        AtspiMatchRule* rule = atspi_match_rule_new(
            states, ATSPI_Collection_MATCH_ALL, nullptr, ATSPI_Collection_MATCH_NONE, nullptr,
            ATSPI_Collection_MATCH_NONE, nullptr, ATSPI_Collection_MATCH_NONE, FALSE);
        GError* error = nullptr;
        GArray* matches = atspi_collection_get_matches(
            collection, rule, ATSPI_Collection_SORT_ORDER_CANONICAL, 1, TRUE, &error);
        std::shared_ptr<AtspiNode> found;
        if (error == nullptr && matches != nullptr && matches->len > 0) {
            found = AtspiNode::wrap(g_array_index(matches, AtspiAccessible*, 0));
        }
        if (matches != nullptr) {
            for (guint i = 0; i < matches->len; ++i) {
                g_object_unref(g_array_index(matches, AtspiAccessible*, i));
            }
            g_array_free(matches, TRUE);
        }
        const bool answered = error == nullptr;
        clear(error);
        g_object_unref(rule);
        g_object_unref(states);
        g_object_unref(collection);
        if (answered) {
            return found;
        }
    }
    int nodes = focusSearchNodes;
    std::function<std::shared_ptr<AtspiNode>(AtspiNode&, int)> search =
        [&](AtspiNode& node, int depth) -> std::shared_ptr<AtspiNode> {
        for (auto& child : node.children(nodes > 0 ? static_cast<size_t>(nodes) : 0, mayCall)) {
            if (--nodes < 1 || depth > focusSearchDepth || !may()) {
                return nullptr;
            }
            auto element = std::static_pointer_cast<AtspiNode>(child);
            if (element->hasState(ATSPI_STATE_FOCUSED)) {
                return element;
            }
            if (auto found = search(*element, depth + 1)) {
                return found;
            }
        }
        return nullptr;
    };
    return search(*window, 0);
}

AccessibleNodePtr AtspiAccessibility::selectionChangedElement(const RunningApplication& app) {
    if (state_->closed) {
        return nullptr;
    }
    if (auto it = state_->selectionChanged.find(app.pid); it != state_->selectionChanged.end()) {
        return it->second;
    }
    return nullptr;
}

ScreenFrames AtspiAccessibility::screens() {
    return screens_ ? screens_() : ScreenFrames{};
}

bool AtspiAccessibility::hasElectronFramework(const RunningApplication& app) {
    return DesktopApps::hasElectronFramework(app.pid);
}

bool AtspiAccessibility::setAccessibilitySwitch(const std::string& name, bool on) {
    GDBusConnection* session = state_->session;
    if (session == nullptr) {
        return false;
    }
    GError* error = nullptr;
    GVariant* reply = g_dbus_connection_call_sync(
        session, "org.a11y.Bus", "/org/a11y/bus", "org.freedesktop.DBus.Properties", "Set",
        g_variant_new("(ssv)", "org.a11y.Status", name.c_str(), g_variant_new_boolean(on)), nullptr,
        G_DBUS_CALL_FLAGS_NONE, state_->timeoutMs, nullptr, &error);
    const bool ok = error == nullptr;
    clear(error);
    if (reply != nullptr) {
        g_variant_unref(reply);
    }
    return ok;
}

std::optional<bool> AtspiAccessibility::accessibilitySwitch(const std::string& name) {
    GDBusConnection* session = state_->session;
    if (session == nullptr) {
        return std::nullopt;
    }
    GError* error = nullptr;
    GVariant* reply = g_dbus_connection_call_sync(
        session, "org.a11y.Bus", "/org/a11y/bus", "org.freedesktop.DBus.Properties", "Get",
        g_variant_new("(ss)", "org.a11y.Status", name.c_str()), G_VARIANT_TYPE("(v)"),
        G_DBUS_CALL_FLAGS_NONE, state_->timeoutMs, nullptr, &error);
    clear(error);
    if (reply == nullptr) {
        return std::nullopt;
    }
    GVariant* value = nullptr;
    g_variant_get(reply, "(v)", &value);
    std::optional<bool> out;
    if (value != nullptr && g_variant_is_of_type(value, G_VARIANT_TYPE_BOOLEAN)) {
        out = g_variant_get_boolean(value) != FALSE;
    }
    if (value != nullptr) {
        g_variant_unref(value);
    }
    g_variant_unref(reply);
    return out;
}

bool AtspiAccessibility::isRunning(std::int32_t pid) {
    return pid > 0 && (::kill(pid, 0) == 0 || errno == EPERM);
}

}  // namespace parlendo

#include "capture/AtspiNode.h"

#include "foundation/Text.h"

#include <atspi/atspi.h>

#include <algorithm>
#include <atomic>

namespace parlendo {

namespace {

std::atomic<double> originX{0};
std::atomic<double> originY{0};

// Children beyond this many are not listed (a table of a million cells).
constexpr size_t maxChildren = 2000;

void clear(GError*& error) {
    if (error != nullptr) {
        g_error_free(error);
        error = nullptr;
    }
}

std::optional<std::string> take(gchar* value) {
    if (value == nullptr) {
        return std::nullopt;
    }
    std::string out = text::sanitize(value);
    g_free(value);
    return out;
}

std::optional<DesktopRect> rect(AtspiRect* r) {
    if (r == nullptr) {
        return std::nullopt;
    }
    DesktopRect out{r->x - originX.load(), r->y - originY.load(), static_cast<double>(r->width),
                    static_cast<double>(r->height)};
    g_free(r);
    if (out.width <= 0 || out.height <= 0) {
        return std::nullopt;
    }
    return out;
}

}  // namespace

void AtspiNode::setScreenOrigin(double x, double y) {
    originX = x;
    originY = y;
}

std::shared_ptr<AtspiNode> AtspiNode::wrap(AtspiAccessible* element) {
    if (element == nullptr) {
        return nullptr;
    }
    return std::make_shared<AtspiNode>(element);
}

AtspiNode::AtspiNode(AtspiAccessible* element)
    : element_(static_cast<AtspiAccessible*>(g_object_ref(element))) {}

AtspiNode::~AtspiNode() {
    g_object_unref(element_);
}

std::optional<AccessibleNode::Role> AtspiNode::role() {
    GError* error = nullptr;
    const AtspiRole role = atspi_accessible_get_role(element_, &error);
    if (error != nullptr) {
        clear(error);
        return std::nullopt;
    }
    switch (role) {
        case ATSPI_ROLE_FRAME:
        case ATSPI_ROLE_WINDOW:
        case ATSPI_ROLE_DIALOG:
            return Role::window;
        case ATSPI_ROLE_DOCUMENT_WEB:
            return Role::webArea;
        case ATSPI_ROLE_DOCUMENT_FRAME:
        case ATSPI_ROLE_DOCUMENT_TEXT:
        case ATSPI_ROLE_DOCUMENT_EMAIL:
        case ATSPI_ROLE_DOCUMENT_PRESENTATION:
        case ATSPI_ROLE_DOCUMENT_SPREADSHEET:
            return Role::document;
        case ATSPI_ROLE_PAGE:
            return Role::page;
        case ATSPI_ROLE_TOOL_BAR:
            return Role::toolbar;
        case ATSPI_ROLE_ENTRY:
            return Role::entry;
        case ATSPI_ROLE_LABEL:
        case ATSPI_ROLE_STATIC:
        case ATSPI_ROLE_PARAGRAPH:
        case ATSPI_ROLE_HEADING:
        case ATSPI_ROLE_CAPTION:
            return Role::staticText;
        case ATSPI_ROLE_EMBEDDED:
            return Role::embedded;
        default:
            return Role::other;
    }
}

std::vector<AccessibleNodePtr> AtspiNode::children() {
    return children(maxChildren);
}

std::vector<AccessibleNodePtr> AtspiNode::children(size_t atMost) {
    return children(atMost, {});
}

std::vector<AccessibleNodePtr> AtspiNode::children(size_t atMost, const CallGate& mayCall) {
    std::vector<AccessibleNodePtr> out;
    if (mayCall && !mayCall()) {
        return out;
    }
    GError* error = nullptr;
    const gint count = atspi_accessible_get_child_count(element_, &error);
    if (error != nullptr || count <= 0) {
        clear(error);
        return out;
    }
    const gint wanted = static_cast<gint>(std::min<size_t>(atMost, maxChildren));
    for (gint i = 0; i < count && i < wanted; ++i) {
        if (mayCall && !mayCall()) {
            break;
        }
        AtspiAccessible* child = atspi_accessible_get_child_at_index(element_, i, &error);
        if (error != nullptr) {
            clear(error);
            break;  // the element went away, or stopped answering
        }
        if (child != nullptr) {
            auto node = std::make_shared<AtspiNode>(child);
            node->listedAt_ = i;
            out.push_back(std::move(node));
            g_object_unref(child);
        }
    }
    return out;
}

bool AtspiNode::hasState(int state) {
    AtspiStateSet* states = atspi_accessible_get_state_set(element_);
    if (states == nullptr) {
        return false;
    }
    const bool has = atspi_state_set_contains(states, static_cast<AtspiStateType>(state)) != FALSE;
    g_object_unref(states);
    return has;
}

bool AtspiNode::showing() {
    return hasState(ATSPI_STATE_SHOWING);
}

std::vector<AccessibleNodePtr> AtspiNode::visibleChildren(size_t atMost) {
    std::vector<AccessibleNodePtr> out;
    for (auto& child : children(atMost)) {
        if (static_cast<AtspiNode&>(*child).hasState(ATSPI_STATE_SHOWING)) {
            out.push_back(std::move(child));
        }
    }
    return out;
}

std::optional<std::string> AtspiNode::documentURL() {
    AtspiDocument* document = atspi_accessible_get_document_iface(element_);
    if (document == nullptr) {
        return std::nullopt;
    }
    std::optional<std::string> url;
    for (const char* name : {"DocURL", "URI", "URL"}) {
        GError* error = nullptr;
        gchar* value =
            atspi_document_get_document_attribute_value(document, const_cast<gchar*>(name), &error);
        clear(error);
        url = take(value);
        if (url && !url->empty()) {
            break;
        }
        url.reset();
    }
    g_object_unref(document);
    return url;
}

std::optional<std::string> AtspiNode::identifier() {
    GError* error = nullptr;
    auto id = take(atspi_accessible_get_accessible_id(element_, &error));
    clear(error);
    if (id && !id->empty()) {
        return id;
    }
    GHashTable* attributes = atspi_accessible_get_attributes(element_, &error);
    clear(error);
    if (attributes == nullptr) {
        return std::nullopt;
    }
    std::optional<std::string> found;
    if (const auto* value = static_cast<const char*>(g_hash_table_lookup(attributes, "id"))) {
        found = text::sanitize(value);
    }
    g_hash_table_unref(attributes);
    return found;
}

std::optional<std::string> AtspiNode::value() {
    AtspiText* textIface = atspi_accessible_get_text_iface(element_);
    if (textIface == nullptr) {
        return std::nullopt;
    }
    GError* error = nullptr;
    const gint count = atspi_text_get_character_count(textIface, &error);
    std::optional<std::string> out;
    if (error == nullptr && count >= 0) {
        out = take(atspi_text_get_text(textIface, 0, count, &error));
    }
    clear(error);
    g_object_unref(textIface);
    return out;
}

std::optional<TextRange> AtspiNode::selection() {
    AtspiText* textIface = atspi_accessible_get_text_iface(element_);
    if (textIface == nullptr) {
        return std::nullopt;
    }
    GError* error = nullptr;
    std::optional<TextRange> out;
    const gint count = atspi_text_get_n_selections(textIface, &error);
    if (error == nullptr && count > 0) {
        AtspiRange* range = atspi_text_get_selection(textIface, 0, &error);
        if (range != nullptr && error == nullptr) {
            out = TextRange{range->start_offset, range->end_offset};
        }
        g_free(range);
    }
    clear(error);
    g_object_unref(textIface);
    return out;
}

std::optional<std::string> AtspiNode::text(const TextRange& range) {
    AtspiText* textIface = atspi_accessible_get_text_iface(element_);
    if (textIface == nullptr) {
        return std::nullopt;
    }
    GError* error = nullptr;
    auto out = take(atspi_text_get_text(textIface, static_cast<gint>(range.start),
                                        static_cast<gint>(range.end), &error));
    if (error != nullptr) {
        out.reset();
    }
    clear(error);
    g_object_unref(textIface);
    return out;
}

std::optional<DesktopRect> AtspiNode::rangeBounds(const TextRange& range) {
    AtspiText* textIface = atspi_accessible_get_text_iface(element_);
    if (textIface == nullptr) {
        return std::nullopt;
    }
    GError* error = nullptr;
    AtspiRect* extents =
        atspi_text_get_range_extents(textIface, static_cast<gint>(range.start),
                                     static_cast<gint>(range.end), ATSPI_COORD_TYPE_SCREEN, &error);
    g_object_unref(textIface);
    if (error != nullptr) {
        clear(error);
        g_free(extents);
        return std::nullopt;
    }
    return rect(extents);
}

std::optional<DesktopRect> AtspiNode::frame() {
    AtspiComponent* component = atspi_accessible_get_component_iface(element_);
    if (component == nullptr) {
        return std::nullopt;
    }
    GError* error = nullptr;
    AtspiRect* extents = atspi_component_get_extents(component, ATSPI_COORD_TYPE_SCREEN, &error);
    g_object_unref(component);
    if (error != nullptr) {
        clear(error);
        g_free(extents);
        return std::nullopt;
    }
    return rect(extents);
}

std::optional<std::string> AtspiNode::name() {
    GError* error = nullptr;
    auto out = take(atspi_accessible_get_name(element_, &error));
    if (error != nullptr) {
        out.reset();
    }
    clear(error);
    return out;
}

AccessibleNodePtr AtspiNode::parent() {
    GError* error = nullptr;
    AtspiAccessible* up = atspi_accessible_get_parent(element_, &error);
    clear(error);
    if (up == nullptr) {
        return nullptr;
    }
    auto node = std::make_shared<AtspiNode>(up);
    g_object_unref(up);
    return node;
}

std::optional<int> AtspiNode::pageIndex() {
    GError* error = nullptr;
    const AtspiRole role = atspi_accessible_get_role(element_, &error);
    if (error != nullptr || role != ATSPI_ROLE_PAGE) {
        clear(error);
        return std::nullopt;
    }
    const gint index = atspi_accessible_get_index_in_parent(element_, &error);
    clear(error);
    if (index >= 0) {
        return index;
    }
    return listedAt_;
}

AccessibleNodePtr AtspiNode::embeddedAt(std::int64_t offset) {
    AtspiHypertext* hypertext = atspi_accessible_get_hypertext_iface(element_);
    if (hypertext == nullptr) {
        return nullptr;
    }
    GError* error = nullptr;
    const gint index = atspi_hypertext_get_link_index(hypertext, static_cast<gint>(offset), &error);
    AccessibleNodePtr found;
    if (error == nullptr && index >= 0) {
        AtspiHyperlink* link = atspi_hypertext_get_link(hypertext, index, &error);
        if (link != nullptr && error == nullptr) {
            AtspiAccessible* object = atspi_hyperlink_get_object(link, 0, &error);
            if (object != nullptr && error == nullptr) {
                found = AtspiNode::wrap(object);
            }
            if (object != nullptr) {
                g_object_unref(object);
            }
        }
        if (link != nullptr) {
            g_object_unref(link);
        }
    }
    clear(error);
    g_object_unref(hypertext);
    return found;
}

bool AtspiNode::isInline() {
    GError* error = nullptr;
    GHashTable* attributes = atspi_accessible_get_attributes(element_, &error);
    clear(error);
    if (attributes == nullptr) {
        return false;
    }
    const auto* display = static_cast<const char*>(g_hash_table_lookup(attributes, "display"));
    const bool inlined = display != nullptr && std::string_view(display).starts_with("inline");
    g_hash_table_unref(attributes);
    return inlined;
}

}  // namespace parlendo

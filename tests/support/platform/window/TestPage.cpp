#include "TestPage.h"

#include <gtk/gtk-a11y.h>
#include <signal.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

// U+FFFC in UTF-8.
constexpr char objectCharacter[] = "\xEF\xBF\xBC";

int stopAt = -1;
bool stopped = false;
std::vector<AtkObject*> paragraphs;
std::vector<AtkHyperlink*> links;

// The text of a range of characters of a text of `count` characters, as AtkText gives it.
template <class Character>
gchar* slice(gint start, gint end, gint count, Character character) {
    if (end < 0 || end > count) {
        end = count;
    }
    std::string out;
    for (gint i = std::max(start, 0); i < end; ++i) {
        out += character(i);
    }
    return g_strdup(out.c_str());
}

// ---- A paragraph: one line of text, wholly selected.

struct TestParagraph {
    AtkObject parent;
    gchar* text;
    gint index;
};
struct TestParagraphClass {
    AtkObjectClass parent;
};

void paragraphTextInit(AtkTextIface* iface);
G_DEFINE_TYPE_WITH_CODE(TestParagraph, test_paragraph, ATK_TYPE_OBJECT,
                        G_IMPLEMENT_INTERFACE(ATK_TYPE_TEXT, paragraphTextInit))

gint paragraphLength(AtkText* text) {
    return static_cast<gint>(std::strlen(reinterpret_cast<TestParagraph*>(text)->text));
}

gchar* paragraphText(AtkText* text, gint start, gint end) {
    const char* all = reinterpret_cast<TestParagraph*>(text)->text;
    return slice(start, end, paragraphLength(text),
                 [all](gint i) { return std::string(1, all[i]); });
}

gunichar paragraphCharacter(AtkText* text, gint offset) {
    return offset >= 0 && offset < paragraphLength(text)
               ? static_cast<gunichar>(reinterpret_cast<TestParagraph*>(text)->text[offset])
               : 0;
}

gint oneSelection(AtkText*) {
    return 1;
}

gchar* paragraphSelection(AtkText* text, gint, gint* start, gint* end) {
    *start = 0;
    *end = paragraphLength(text);
    return paragraphText(text, *start, *end);
}

void paragraphTextInit(AtkTextIface* iface) {
    iface->get_text = paragraphText;
    iface->get_character_count = paragraphLength;
    iface->get_character_at_offset = paragraphCharacter;
    iface->get_n_selections = oneSelection;
    iface->get_selection = paragraphSelection;
}

gint paragraphIndex(AtkObject* object) {
    return reinterpret_cast<TestParagraph*>(object)->index;
}

AtkStateSet* paragraphStates(AtkObject*) {
    AtkStateSet* states = atk_state_set_new();
    atk_state_set_add_state(states, ATK_STATE_ENABLED);
    atk_state_set_add_state(states, ATK_STATE_VISIBLE);
    atk_state_set_add_state(states, ATK_STATE_SHOWING);
    return states;
}

void test_paragraph_class_init(TestParagraphClass* type) {
    AtkObjectClass* object = ATK_OBJECT_CLASS(type);
    object->get_index_in_parent = paragraphIndex;
    object->ref_state_set = paragraphStates;
}

void test_paragraph_init(TestParagraph* self) {
    self->text = nullptr;
    self->index = 0;
    atk_object_set_role(ATK_OBJECT(self), ATK_ROLE_PARAGRAPH);
}

// ---- The link through which the document reaches one paragraph.

struct TestLink {
    AtkHyperlink parent;
    gint index;
};
struct TestLinkClass {
    AtkHyperlinkClass parent;
};

G_DEFINE_TYPE(TestLink, test_link, ATK_TYPE_HYPERLINK)

AtkObject* linkObject(AtkHyperlink* link, gint) {
    return ATK_OBJECT(g_object_ref(paragraphs[reinterpret_cast<TestLink*>(link)->index]));
}

gint linkStart(AtkHyperlink* link) {
    return reinterpret_cast<TestLink*>(link)->index;
}

gint linkEnd(AtkHyperlink* link) {
    return reinterpret_cast<TestLink*>(link)->index + 1;
}

gint oneAnchor(AtkHyperlink*) {
    return 1;
}

gboolean linkValid(AtkHyperlink*) {
    return TRUE;
}

void test_link_class_init(TestLinkClass* type) {
    AtkHyperlinkClass* link = ATK_HYPERLINK_CLASS(type);
    link->get_object = linkObject;
    link->get_start_index = linkStart;
    link->get_end_index = linkEnd;
    link->get_n_anchors = oneAnchor;
    link->is_valid = linkValid;
}

void test_link_init(TestLink* self) {
    self->index = 0;
}

// ---- The document: every paragraph an object character, the whole of it selected.

struct TestDocument {
    GtkWidgetAccessible parent;
};
struct TestDocumentClass {
    GtkWidgetAccessibleClass parent;
};

void documentTextInit(AtkTextIface* iface);
void documentHypertextInit(AtkHypertextIface* iface);
G_DEFINE_TYPE_WITH_CODE(TestDocument, test_document, GTK_TYPE_WIDGET_ACCESSIBLE,
                        G_IMPLEMENT_INTERFACE(ATK_TYPE_TEXT, documentTextInit)
                            G_IMPLEMENT_INTERFACE(ATK_TYPE_HYPERTEXT, documentHypertextInit))

gint documentLength(AtkText*) {
    return static_cast<gint>(paragraphs.size());
}

gchar* documentText(AtkText* text, gint start, gint end) {
    return slice(start, end, documentLength(text),
                 [](gint) { return std::string(objectCharacter); });
}

gunichar documentCharacter(AtkText* text, gint offset) {
    return offset >= 0 && offset < documentLength(text) ? 0xFFFC : 0;
}

gchar* documentSelection(AtkText* text, gint, gint* start, gint* end) {
    *start = 0;
    *end = documentLength(text);
    return documentText(text, *start, *end);
}

void documentTextInit(AtkTextIface* iface) {
    iface->get_text = documentText;
    iface->get_character_count = documentLength;
    iface->get_character_at_offset = documentCharacter;
    iface->get_n_selections = oneSelection;
    iface->get_selection = documentSelection;
}

gint linkCount(AtkHypertext*) {
    return static_cast<gint>(links.size());
}

AtkHyperlink* documentLink(AtkHypertext*, gint index) {
    if (index < 0 || index >= static_cast<gint>(links.size())) {
        return nullptr;
    }
    return ATK_HYPERLINK(g_object_ref(links[index]));
}

gint documentLinkIndex(AtkHypertext*, gint offset) {
    if (offset < 0 || offset >= static_cast<gint>(links.size())) {
        return -1;
    }
    if (offset == stopAt && !stopped) {
        stopped = true;
        std::printf("stopped %d\n", offset);
        std::fflush(stdout);
        ::raise(SIGSTOP);
    }
    return offset;
}

void documentHypertextInit(AtkHypertextIface* iface) {
    iface->get_n_links = linkCount;
    iface->get_link = documentLink;
    iface->get_link_index = documentLinkIndex;
}

gint paragraphCount(AtkObject*) {
    return static_cast<gint>(paragraphs.size());
}

AtkObject* paragraphAt(AtkObject*, gint index) {
    if (index < 0 || index >= static_cast<gint>(paragraphs.size())) {
        return nullptr;
    }
    return ATK_OBJECT(g_object_ref(paragraphs[index]));
}

void documentInitialize(AtkObject* object, gpointer data) {
    ATK_OBJECT_CLASS(test_document_parent_class)->initialize(object, data);
    atk_object_set_role(object, ATK_ROLE_DOCUMENT_WEB);
    atk_object_set_name(object, "Page");
    for (size_t i = 0; i < paragraphs.size(); ++i) {
        atk_object_set_parent(paragraphs[i], object);
    }
}

void test_document_class_init(TestDocumentClass* type) {
    AtkObjectClass* object = ATK_OBJECT_CLASS(type);
    object->initialize = documentInitialize;
    object->get_n_children = paragraphCount;
    object->ref_child = paragraphAt;
}

void test_document_init(TestDocument*) {}

// ---- The widget that shows the document.

struct TestPageWidget {
    GtkDrawingArea parent;
};
struct TestPageWidgetClass {
    GtkDrawingAreaClass parent;
};

G_DEFINE_TYPE(TestPageWidget, test_page_widget, GTK_TYPE_DRAWING_AREA)

void test_page_widget_class_init(TestPageWidgetClass* type) {
    gtk_widget_class_set_accessible_type(GTK_WIDGET_CLASS(type), test_document_get_type());
}

void test_page_widget_init(TestPageWidget* self) {
    gtk_widget_set_can_focus(GTK_WIDGET(self), TRUE);
    gtk_widget_set_size_request(GTK_WIDGET(self), 200, 60);
}

}  // namespace

GtkWidget* testPageNew(int count, int stopAtParagraph) {
    stopAt = stopAtParagraph;
    for (int i = 0; i < count; ++i) {
        auto* paragraph =
            static_cast<TestParagraph*>(g_object_new(test_paragraph_get_type(), nullptr));
        paragraph->text = g_strdup_printf("Paragraph %d of the page.", i + 1);
        paragraph->index = i;
        paragraphs.push_back(ATK_OBJECT(paragraph));
        auto* link = static_cast<TestLink*>(g_object_new(test_link_get_type(), nullptr));
        link->index = i;
        links.push_back(ATK_HYPERLINK(link));
    }
    return GTK_WIDGET(g_object_new(test_page_widget_get_type(), nullptr));
}

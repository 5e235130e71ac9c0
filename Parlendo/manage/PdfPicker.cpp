#include "manage/PdfPicker.h"

#include "foundation/GtkAlert.h"
#include "foundation/GtkWordWrap.h"
#include "foundation/Log.h"

namespace parlendo {

namespace {

GtkFileChooserNative* open = nullptr;

struct Pending {
    Completion<void(PdfPicker::Picked)> completion;
};

void responded(GtkNativeDialog* dialog, gint response, gpointer data) {
    std::unique_ptr<Pending> pending(static_cast<Pending*>(data));
    PdfPicker::Picked picked;
    if (response == GTK_RESPONSE_ACCEPT) {
        GSList* files = gtk_file_chooser_get_files(GTK_FILE_CHOOSER(dialog));
        for (GSList* item = files; item != nullptr; item = item->next) {
            gchar* path = g_file_get_path(G_FILE(item->data));
            if (path == nullptr) {
                continue;
            }
            if (g_utf8_validate(path, -1, nullptr)) {
                picked.paths.emplace_back(path);
            } else {
                gchar* shown = g_filename_display_name(path);
                picked.refused.emplace_back(shown);
                g_free(shown);
            }
            g_free(path);
        }
        g_slist_free_full(files, g_object_unref);
    }
    if (open == GTK_FILE_CHOOSER_NATIVE(dialog)) {
        open = nullptr;
    }
    g_object_unref(dialog);
    pending->completion(std::move(picked));
}

}  // namespace

void PdfPicker::pick(GtkWindow* parent, bool multiple, Completion<void(Picked)> completion) {
    GtkFileChooserNative* chooser = gtk_file_chooser_native_new(
        multiple ? "프로젝트에 넣을 PDF 를 고르세요" : "원본 PDF 를 고르세요", parent,
        GTK_FILE_CHOOSER_ACTION_OPEN, "고르기", "취소");
    GtkFileFilter* filter = gtk_file_filter_new();
    gtk_file_filter_set_name(filter, "PDF");
    gtk_file_filter_add_mime_type(filter, "application/pdf");
    gtk_file_filter_add_pattern(filter, "*.[pP][dD][fF]");
    gtk_file_chooser_add_filter(GTK_FILE_CHOOSER(chooser), filter);
    gtk_file_chooser_set_select_multiple(GTK_FILE_CHOOSER(chooser), multiple);
    gtk_native_dialog_set_modal(GTK_NATIVE_DIALOG(chooser), parent != nullptr);
    g_signal_connect(chooser, "response", G_CALLBACK(responded),
                     new Pending{std::move(completion)});
    open = chooser;
    gtk_native_dialog_show(GTK_NATIVE_DIALOG(chooser));
}

GtkFileChooser* PdfPicker::current() {
    return open != nullptr ? GTK_FILE_CHOOSER(open) : nullptr;
}

void showRefusedFileNames(GtkWindow* parent, const std::vector<std::string>& displayNames) {
    if (displayNames.empty()) {
        return;
    }
    std::string names;
    for (const auto& name : displayNames) {
        names += (names.empty() ? "" : "\n") + name;
    }
    GtkWidget* alert = gtk_message_dialog_new(
        parent, parent != nullptr ? GTK_DIALOG_DESTROY_WITH_PARENT : GtkDialogFlags(0),
        GTK_MESSAGE_WARNING, GTK_BUTTONS_NONE, "%s", "파일 이름을 읽을 수 없어 뺀 파일이 있어요");
    // The toolkit's own button says "OK" outside a Korean locale.
    gtk_dialog_add_button(GTK_DIALOG(alert), "확인", GTK_RESPONSE_OK);
    gtk_message_dialog_format_secondary_text(
        GTK_MESSAGE_DIALOG(alert), "%s\n\n%s",
        "이름에 글자로 읽을 수 없는 부분이 있는 파일은 아직 쓸 수 없어요. 이름을 바꾼 뒤 다시 "
        "넣어 주세요.",
        names.c_str());
    GtkWordWrap::wrapWithin(gtk_message_dialog_get_message_area(GTK_MESSAGE_DIALOG(alert)));
    g_signal_connect(alert, "response", G_CALLBACK(gtk_widget_destroy), nullptr);
    GtkAlert::present(GTK_WINDOW(alert));
}

}  // namespace parlendo

#pragma once

#include <string>
#include <vector>

namespace parlendo::testing {

// The page's call names, group by group, in the order the router joins the groups.
inline const std::vector<std::vector<std::string>> pageCalls = {
    {"detect_status", "detect_start", "detect_stop"},
    {"drive_enabled",         "drive_list",
     "drive_create",          "drive_rename",
     "drive_delete",          "drive_restore",
     "drive_deleted_list",    "drive_purge",
     "drive_documents",       "drive_upload",
     "drive_upload_paths",    "drive_document_open",
     "drive_document_relink", "drive_document_relink_pick",
     "drive_document_delete", "drive_popups",
     "drive_popup_create",    "drive_popup_update",
     "drive_popup_activate",  "drive_popup_deactivate",
     "drive_popup_delete",    "drive_ai_status",
     "drive_detect",          "drive_detect_set",
     "drive_capture_revive",  "drive_document_map",
     "drive_unplaced",        "drive_thread",
     "drive_math_lib",        "drive_thumbnail"},
    {"load_tree", "list_folders", "list_words", "words_in_scope", "words_under_folder",
     "search_words", "review_states", "word_details", "list_trash", "get_view_settings",
     "set_view_settings", "list_assistants", "list_content_types", "list_options"},
    {"local_pdf_status", "open_url"},
    {"create_folder", "rename_folder", "rename_source", "move_folder", "move_source",
     "reorder_folders", "delete_folder", "delete_source", "delete_word"},
    {"restore_folder", "restore_source", "restore_word", "restore_sentence"},
    {"save_review", "save_status"},
    {"propose_custom", "toggle_assistant", "delete_assistant", "update_assistant",
     "save_assistant"},
    {"credential_status", "set_optional_credentials", "remove_optional_credentials"},
    {"get_ui_theme", "set_ui_theme", "ui_fonts"},
    {"send_feedback"},
    {"ui_error"},
    {"login", "sign_in", "sign_up", "set_username", "sign_out"},
    {"delete_account", "forget_deleted_account", "resend_confirmation", "reset_local_state"},
};

}  // namespace parlendo::testing

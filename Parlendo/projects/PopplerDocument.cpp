#include "projects/PopplerDocument.h"

#include <glib-object.h>
#include <glib.h>

#include <mutex>

namespace parlendo {

void GObjectUnref::operator()(void* object) const {
    if (object) {
        g_object_unref(object);
    }
}

PopplerDocumentPtr openPopplerDocument(const std::string& path) {
    static std::mutex opening;
    gchar* uri = g_filename_to_uri(path.c_str(), nullptr, nullptr);
    if (!uri) {
        return nullptr;
    }
    GError* error = nullptr;
    PopplerDocument* document = nullptr;
    {
        std::lock_guard lock(opening);
        document = poppler_document_new_from_file(uri, "", &error);
    }
    g_free(uri);
    if (error) {
        g_error_free(error);
    }
    return PopplerDocumentPtr(document);
}

}  // namespace parlendo

#pragma once

#include <poppler.h>

#include <memory>
#include <string>

namespace parlendo {

// Owning handles of poppler-glib objects.
struct GObjectUnref {
    void operator()(void* object) const;
};
using PopplerDocumentPtr = std::unique_ptr<PopplerDocument, GObjectUnref>;
using PopplerPagePtr = std::unique_ptr<PopplerPage, GObjectUnref>;

// Opens a PDF file for reading, unlocking it with the empty password when it is encrypted (no
// other password is ever tried). Null when the file cannot be opened or needs a password. `path`
// is any byte string the file system accepts. Documents are opened one at a time, as poppler sets
// up its process-wide state on the first open. Any thread.
PopplerDocumentPtr openPopplerDocument(const std::string& path);

}  // namespace parlendo

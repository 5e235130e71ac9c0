#pragma once

#include "foundation/Result.h"
#include "projects/DriveFailure.h"

#include <functional>
#include <string>
#include <vector>

namespace parlendo {

// Collects a document's page texts under the page and document limits.
namespace PDFPages {

// Calls `read` for the pages 0 to count - 1 in order. A page above pageChars scalars fails
// page_text_too_long; a running total above docChars fails user_text_quota_exceeded.
Result<std::vector<std::string>, DriveFailure> collect(int count,
                                                       const std::function<std::string(int)>& read);

}  // namespace PDFPages
}  // namespace parlendo

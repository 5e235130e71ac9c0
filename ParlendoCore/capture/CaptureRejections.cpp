#include "capture/CaptureRejections.h"

namespace parlendo {

Json CaptureRejections::manageShape() const {
    return Json{
        {"capture", {{"CAPTURE_CAPACITY", busy}, {"COPY_IDENTITY_OR_DEADLINE", notFetched}}},
        {"lookup", {{"LOOKUP_CAPACITY", 0}}},
        {"save", {{"SAVE_CAPACITY", 0}, {"SAVE_ADMISSION_CLOSED_OR_FULL", 0}}},
        {"display", {{"POPUP_CAPACITY", popups}, {"GUI_CAPACITY", 0}}},
    };
}

}  // namespace parlendo

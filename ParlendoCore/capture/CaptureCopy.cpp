#include "capture/CaptureCopy.h"

#include "capture/InputClassify.h"

#include <algorithm>

namespace parlendo::CaptureCopy {

bool isGenerationFailure(std::string_view code) {
    return std::find(generationFailedCodes.begin(), generationFailedCodes.end(), code) !=
           generationFailedCodes.end();
}

std::string overLength(size_t count) {
    return "문장이 " + std::to_string(InputClassify::maxSentenceLength) +
           "자를 넘어 번역하지 않았어요 (선택한 글: " + std::to_string(count) + "자)";
}

}  // namespace parlendo::CaptureCopy

#include "manage/LocalSources.h"

#include "capture/GioContentTypes.h"
#include "foundation/Overloaded.h"
#include "lookup/SourceURL.h"

namespace parlendo {

SourceOpener::Local judgeLocalSource(const std::string& address) {
    using Local = SourceOpener::Local;
    return std::visit(overloaded{
                          [](const SourceURL::Open& open) { return Local::open(open.path); },
                          [](const SourceURL::Unsupported&) { return Local::unsupported(); },
                          [](const SourceURL::Missing&) { return Local::missing(); },
                          [](const SourceURL::Runnable&) { return Local::runnable(); },
                      },
                      SourceURL::judgeLocal(address, &GioContentTypes::inspect));
}

}  // namespace parlendo

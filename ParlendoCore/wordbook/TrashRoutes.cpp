#include "wordbook/TrashRoutes.h"

#include "wordbook/LibraryWriteRoutes.h"

#include <utility>

namespace parlendo {

TrashRoutes::TrashRoutes(std::shared_ptr<LibraryWriter> writer) : writer_(std::move(writer)) {}

std::map<std::string, BridgeEntry> TrashRoutes::routes() const {
    auto writer = writer_;
    using Restore = void (LibraryWriter::*)(std::string, LibraryWriteDone);
    std::map<std::string, BridgeEntry> table;
    for (const auto& entry : {
             std::pair<const char*, Restore>{"restore_folder", &LibraryWriter::restoreFolder},
             {"restore_source", &LibraryWriter::restoreSource},
             {"restore_word", &LibraryWriter::restoreWord},
             {"restore_sentence", &LibraryWriter::restoreSentence},
         }) {
        Restore restore = entry.second;
        table.emplace(entry.first,
                      LibraryWriteRoutes::writing(
                          [writer, restore](const BridgeArgs& args, LibraryWriteDone done) {
                              ((*writer).*restore)(args.string(0), std::move(done));
                          }));
    }
    return table;
}

}  // namespace parlendo

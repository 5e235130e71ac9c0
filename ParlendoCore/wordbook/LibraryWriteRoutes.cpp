#include "wordbook/LibraryWriteRoutes.h"

namespace parlendo {

LibraryWriteRoutes::LibraryWriteRoutes(std::shared_ptr<LibraryWriter> writer)
    : writer_(std::move(writer)) {}

BridgeEntry LibraryWriteRoutes::writing(Write write) {
    return BridgeEntry::implemented(
        [write = std::move(write)](const BridgeArgs& args, Completion<void(BridgeReply)> reply) {
            ManageContract::writing(
                [&write, &args](Completion<void(Result<Json, ManageContract::WriteError>)> done) {
                    write(args, toWriteReply(std::move(done)));
                },
                std::move(reply));
        });
}

std::map<std::string, BridgeEntry> LibraryWriteRoutes::routes() const {
    auto writer = writer_;
    std::map<std::string, BridgeEntry> table;
    table.emplace("create_folder", writing([writer](const BridgeArgs& args, LibraryWriteDone done) {
                      writer->createFolder(args.string(0), args.optionalString(1), std::move(done));
                  }));
    table.emplace("rename_folder", writing([writer](const BridgeArgs& args, LibraryWriteDone done) {
                      writer->renameFolder(args.string(0), args.string(1), std::move(done));
                  }));
    table.emplace("rename_source", writing([writer](const BridgeArgs& args, LibraryWriteDone done) {
                      writer->renameSource(args.string(0), args.string(1), std::move(done));
                  }));
    table.emplace("move_folder", writing([writer](const BridgeArgs& args, LibraryWriteDone done) {
                      writer->moveFolder(args.string(0), args.optionalString(1), std::move(done));
                  }));
    table.emplace("move_source", writing([writer](const BridgeArgs& args, LibraryWriteDone done) {
                      writer->moveSource(args.string(0), args.optionalString(1), std::move(done));
                  }));
    table.emplace(
        "reorder_folders", writing([writer](const BridgeArgs& args, LibraryWriteDone done) {
            writer->reorderFolders(args.optionalString(0), args.strings(1), std::move(done));
        }));
    table.emplace("delete_folder", writing([writer](const BridgeArgs& args, LibraryWriteDone done) {
                      writer->deleteFolder(args.string(0), std::move(done));
                  }));
    table.emplace("delete_source", writing([writer](const BridgeArgs& args, LibraryWriteDone done) {
                      writer->deleteSource(args.string(0), std::move(done));
                  }));
    table.emplace("delete_word", writing([writer](const BridgeArgs& args, LibraryWriteDone done) {
                      writer->deleteWord(
                          args.string(0),
                          [done = std::move(done)](LibraryWriteResult<std::string> stamp) mutable {
                              if (stamp) {
                                  done(Json(std::move(*stamp)));
                              } else {
                                  done(fail(std::move(stamp.error())));
                              }
                          });
                  }));
    return table;
}

}  // namespace parlendo

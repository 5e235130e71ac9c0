// The main of every test program: GoogleTest over a private home (TestTree), with every
// completion dropped uncalled turned into a failure of the test that was running.

#include <gtest/gtest.h>

#include "TestTree.h"
#include "foundation/Completion.h"
#include "foundation/Log.h"

namespace {

void failOnDrop(const std::string& text, const parlendo::SourcePlace& where) {
    ADD_FAILURE_AT(where.file, static_cast<int>(where.line)) << "completion " << text;
}

}  // namespace

int main(int argc, char** argv) {
    parlendo::testing::TestTree::enter();
    ::testing::InitGoogleTest(&argc, argv);
    parlendo::CompletionDrops::setHook(failOnDrop);
    const int result = RUN_ALL_TESTS();
    parlendo::CompletionDrops::setHook(nullptr);
    // Lines still queued would recreate the log folder after the tree is gone.
    parlendo::Log::flush();
    parlendo::testing::TestTree::leave();
    return result;
}

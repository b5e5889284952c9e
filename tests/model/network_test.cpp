// The model's own rules. Component UIDs, default names and the walk order
// are pinned by the demo table (demo_installation_test).
#include <gtest/gtest.h>

#include "model/ModelTestUtil.h"
#include "model/Network.h"
#include "support/TempDir.h"

using namespace tarvelo;
using namespace tarvelo::model;
using tarvelo::testing::AddModule;
using tarvelo::testing::AddState;

TEST(NetworkModel, AnOrphanStateIsLoggedAndNamedUnknown) {
    Network net;
    UPBLinkState orphan;
    tarvelo::testing::CapturingLog log;
    EXPECT_EQ(xapName(net, orphan, &log), "Unknown.Unknown.Unknown");
    ASSERT_EQ(log.entries.size(), 1u);
    EXPECT_EQ(log.entries[0].second.rfind("xapName Line ", 0), 0u);
}

TEST(NetworkModel, BackPointersDoNotDangleWhenTheModelIsReplaced) {
    std::shared_ptr<UPBLinkState> kept;
    {
        Network net;
        kept = AddState(AddModule(net, "3", 2), 255, "-1");
        EXPECT_EQ(kept->module()->ModuleID, "3");
    }
    EXPECT_EQ(kept->module(), nullptr);
    EXPECT_THROW(ComponentUID(*kept), VbError);
}

// A handler that adds to the collections being walked (moving their items)
// or empties them: the walk covers what was there when it reached each
// collection and never touches a state it no longer holds.
TEST(NetworkModel, TheWalkSurvivesHandlersThatChangeTheCollections) {
    Network net;
    auto m = AddModule(net, "3", 2);
    for (int i = 0; i < 3; ++i) AddState(m, 255, "-1", static_cast<int16_t>(i));
    std::vector<int16_t> seen;
    net.forEachState([&](UPBModule& module, UPBChannel& channel, const std::shared_ptr<UPBLinkState>& state) {
        seen.push_back(state->Componentindex);
        for (int i = 0; i < 8; ++i) AddState(m, 255, "-1", 100);
        if (seen.size() == 2) channel.LinkCollection.clear();
        EXPECT_EQ(state->module().get(), &module);
    });
    EXPECT_EQ(seen, (std::vector<int16_t>{0, 1}));
}

TEST(NetworkModel, StatusMaskTableEdges) {
    EXPECT_EQ(StatusMaskFor(3, 7), 255);
    EXPECT_EQ(StatusMaskFor(5, 4), 2);
    EXPECT_EQ(StatusMaskFor(5, 5), 0);
    EXPECT_THROW(StatusMaskFor(8, 0), VbError);
    EXPECT_THROW(StatusMaskFor(2, 8), VbError);
}

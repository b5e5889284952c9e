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

TEST(NetworkModel, StatusMaskTableEdges) {
    EXPECT_EQ(StatusMaskFor(3, 7), 255);
    EXPECT_EQ(StatusMaskFor(5, 4), 2);
    EXPECT_EQ(StatusMaskFor(5, 5), 0);
    EXPECT_THROW(StatusMaskFor(8, 0), VbError);
    EXPECT_THROW(StatusMaskFor(2, 8), VbError);
}

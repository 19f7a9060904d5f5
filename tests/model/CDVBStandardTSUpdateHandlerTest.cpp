#include "model/CDVBStandardTSUpdateHandler.h"

#include <gtest/gtest.h>

TEST(CDVBStandardTSUpdateHandlerTest, QueuesInCallOrderWithoutMerging)
{
    CDVBStandardTSUpdateHandler handler;
    WORD program = 99;
    int type = 99;
    EXPECT_FALSE(handler.RemoveUpdate(program, type));
    EXPECT_EQ(program, 99);
    EXPECT_FALSE(handler.HaveUpdatesOccurred());

    handler.OnServiceInformationUpdate(1, 1);
    handler.OnServiceInformationUpdate(2, 1);
    handler.OnServiceInformationUpdate(1, 1);
    EXPECT_TRUE(handler.HaveUpdatesOccurred());
    std::vector<std::pair<WORD, int>> seen;
    while (handler.RemoveUpdate(program, type)) {
        seen.emplace_back(program, type);
        EXPECT_EQ(handler.HaveUpdatesOccurred(), seen.size() < 3);
    }
    EXPECT_EQ(seen, (std::vector<std::pair<WORD, int>>{{1, 1}, {2, 1}, {1, 1}}));

    handler.OnServiceInformationUpdate(5, 4);
    handler.ClearUpdates();
    EXPECT_FALSE(handler.HaveUpdatesOccurred());
    EXPECT_FALSE(handler.RemoveUpdate(program, type));
}

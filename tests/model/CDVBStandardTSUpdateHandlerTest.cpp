#include "model/CDVBStandardTSUpdateHandler.h"

#include <gtest/gtest.h>

TEST(CDVBStandardTSUpdateHandlerTest, QueuesInCallOrderWithoutMerging)
{
    CDVBStandardTSUpdateHandler handler;
    for (WORD program : {1, 2, 1})
        handler.OnServiceInformationUpdate(program, 1);
    std::vector<std::pair<WORD, int>> seen;
    WORD program = 0;
    int type = 0;
    while (handler.HaveUpdatesOccurred() && handler.RemoveUpdate(program, type))
        seen.emplace_back(program, type);
    EXPECT_EQ(seen, (std::vector<std::pair<WORD, int>>{{1, 1}, {2, 1}, {1, 1}}));
    EXPECT_FALSE(handler.HaveUpdatesOccurred() || handler.RemoveUpdate(program, type));
    handler.OnServiceInformationUpdate(5, 4);
    handler.ClearUpdates();
    EXPECT_FALSE(handler.HaveUpdatesOccurred());
}

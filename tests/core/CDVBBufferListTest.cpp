#include "core/CDVBBufferList.h"

#include "core/CDVBBuffer.h"

#include <gtest/gtest.h>

#include <deque>

namespace {

bool HasBuffers(CDVBBufferList& list)
{
    return CEvent::FromHandle(list.GetHasBuffersEvent())->Wait(0) == WAIT_OBJECT_0;
}

}  // namespace

// More buffers than the first ring holds, taken out while others go in: the order holds and
// the event is set exactly while one is queued.
TEST(CDVBBufferListTest, KeepsTheOrderThroughTheRingBeyondItsFirstSize)
{
    CDVBBufferList list;
    std::deque<CDVBBuffer*> sent;
    for (int i = 0; i < 70; ++i) {   // the last removals find the list empty
        if (i < 40) {
            sent.push_back(new CDVBBuffer(1));
            list.AddBuffer(sent.back());
        }
        if (i % 3 == 0 || i >= 40) {
            CDVBBuffer* out = list.RemoveBuffer();
            EXPECT_EQ(out, sent.empty() ? nullptr : sent.front()) << "at " << i;
            if (!sent.empty())
                sent.pop_front();
            delete out;
        }
        EXPECT_EQ(HasBuffers(list), !sent.empty()) << "at " << i;
    }
}

TEST(CDVBBufferListTest, DeleteAllEmptiesTheListWhichStaysUsable)
{
    CDVBBufferList list;
    list.AddBuffer(new CDVBBuffer(10));
    list.AddBuffer(nullptr);   // queued like a buffer, skipped when deleting
    list.AddBuffer(new CDVBBuffer(10));
    list.DeleteAll();
    EXPECT_FALSE(HasBuffers(list));
    EXPECT_EQ(list.RemoveBuffer(), nullptr);
    list.AddBuffer(nullptr);
    EXPECT_TRUE(HasBuffers(list));
    EXPECT_EQ(list.RemoveBuffer(), nullptr);
    EXPECT_FALSE(HasBuffers(list));
    list.AddBuffer(new CDVBBuffer(0));   // the destructor deletes what is left
}

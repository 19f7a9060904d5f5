#include "core/CDVBBufferList.h"

#include "core/CDVBBuffer.h"

#include <gtest/gtest.h>

#include <deque>

// More buffers than the first ring holds, taken out while others go in: the order holds and
// the event is set exactly while one is queued. Null is queued like a buffer; DeleteAll
// skips it and leaves the list usable, and the destructor deletes what is left.
TEST(CDVBBufferListTest, KeepsTheOrderThroughTheRingBeyondItsFirstSizeAndEmptiesOnDeleteAll)
{
    CDVBBufferList list;
    auto hasBuffers = [&] { return CEvent::FromHandle(list.GetHasBuffersEvent())->Wait(0) == WAIT_OBJECT_0; };
    std::deque<CDVBBuffer*> sent;
    for (int i = 0; i < 70; ++i) {   // the last removals find the list empty
        if (i < 40)
            list.AddBuffer(sent.emplace_back(new CDVBBuffer(1)));
        if (i % 3 == 0 || i >= 40) {
            CDVBBuffer* out = list.RemoveBuffer();
            EXPECT_EQ(out, sent.empty() ? nullptr : sent.front()) << "at " << i;
            if (!sent.empty())
                sent.pop_front();
            delete out;
        }
        EXPECT_EQ(hasBuffers(), !sent.empty()) << "at " << i;
    }
    for (CDVBBuffer* buffer : {new CDVBBuffer(10), static_cast<CDVBBuffer*>(nullptr), new CDVBBuffer(10)})
        list.AddBuffer(buffer);
    list.DeleteAll();
    EXPECT_FALSE(hasBuffers()) << "after DeleteAll";
    EXPECT_EQ(list.RemoveBuffer(), nullptr);
    list.AddBuffer(nullptr);
    EXPECT_TRUE(hasBuffers()) << "a queued null";
    EXPECT_EQ(list.RemoveBuffer(), nullptr);
    EXPECT_FALSE(hasBuffers());
    list.AddBuffer(new CDVBBuffer(0));
}

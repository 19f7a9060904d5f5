#include "core/CDVBBufferList.h"

#include "core/CDVBBuffer.h"

#include <gtest/gtest.h>

namespace {

bool HasBuffers(CDVBBufferList& list)
{
    return CEvent::FromHandle(list.GetHasBuffersEvent())->Wait(0) == WAIT_OBJECT_0;
}

}  // namespace

TEST(CDVBBufferListTest, EventFollowsTheCountAndBuffersComeOutInOrder)
{
    CDVBBufferList list;
    EXPECT_FALSE(HasBuffers(list));
    auto* first = new CDVBBuffer(188);
    auto* second = new CDVBBuffer(188);
    list.AddBuffer(first);
    EXPECT_TRUE(HasBuffers(list));
    list.AddBuffer(second);
    EXPECT_TRUE(HasBuffers(list));
    CDVBBuffer* a = list.RemoveBuffer();
    EXPECT_TRUE(HasBuffers(list));
    CDVBBuffer* b = list.RemoveBuffer();
    EXPECT_EQ(a, first);
    EXPECT_EQ(b, second);
    EXPECT_FALSE(HasBuffers(list));
    EXPECT_EQ(list.RemoveBuffer(), nullptr);
    EXPECT_FALSE(HasBuffers(list));
    delete a;
    delete b;
}

TEST(CDVBBufferListTest, RecyclesThroughTheRingBeyondItsFirstSize)
{
    // More buffers than the first ring holds, taken out while others go in: order holds.
    CDVBBufferList list;
    std::vector<CDVBBuffer*> sent;
    for (int i = 0; i < 40; ++i) {
        sent.push_back(new CDVBBuffer(1));
        list.AddBuffer(sent.back());
        if (i % 3 == 0) {
            CDVBBuffer* out = list.RemoveBuffer();
            EXPECT_EQ(out, sent.front());
            sent.erase(sent.begin());
            delete out;
        }
    }
    for (CDVBBuffer* expected : sent) {
        CDVBBuffer* out = list.RemoveBuffer();
        EXPECT_EQ(out, expected);
        delete out;
    }
    EXPECT_FALSE(HasBuffers(list));
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


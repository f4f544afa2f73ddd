#include "msglistener.h"

#include <windows.h>

#include <gtest/gtest.h>

TEST(MsgListener, KeepsPostsInOrderUntilCleared)
{
    MsgListener l;
    l.Post(WM_KEYDOWN, 'A');
    l.Post(WM_CHAR, 'a');
    l.Post(WM_KEYUP, 'A', 7);
    ASSERT_EQ(l.Count(), 3u);
    EXPECT_EQ(l.Get(0)->m_message, (uint32_t)WM_KEYDOWN);
    EXPECT_EQ(l.Get(0)->m_wParam, (uint32_t)'A');
    EXPECT_EQ(l.Get(0)->m_extra, 0u);
    EXPECT_EQ(l.Get(1)->m_message, (uint32_t)WM_CHAR);
    EXPECT_EQ(l.Get(2)->m_extra, 7u);
    l.Clear();
    EXPECT_EQ(l.Count(), 0u);
    l.Clear();
    EXPECT_EQ(l.Count(), 0u);
    l.Post(WM_KEYUP, VK_LEFT);
    EXPECT_EQ(l.Count(), 1u);
}

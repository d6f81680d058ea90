#include <gtest/gtest.h>

#include <vector>

#include "driver/ArrayT.h"

namespace {

struct ITEM {
    int nValue;
    char szText[8];
};

std::vector<int> Values(const CArrayT<ITEM>& arr)
{
    std::vector<int> values;
    for (int i = 0; i < arr.GetSize(); ++i)
        values.push_back(arr.GetAt(i).nValue);
    return values;
}

TEST(ArrayT, InsertAtPlacesOrAppends)
{
    struct {
        int nIndex;
        int nExpectedIndex;
        std::vector<int> expected;
    } cases[] = {
        {0, 0, {9, 1, 2, 3}}, {1, 1, {1, 9, 2, 3}},  {2, 2, {1, 2, 9, 3}},  {3, 3, {1, 2, 3, 9}},
        {7, 3, {1, 2, 3, 9}}, {-1, 3, {1, 2, 3, 9}}, {-5, 3, {1, 2, 3, 9}},
    };
    for (const auto& c : cases) {
        CArrayT<ITEM> arr(1);
        for (int n : {1, 2, 3})
            ASSERT_EQ(arr.Add(ITEM{n, "x"}), n - 1);
        EXPECT_EQ(arr.InsertAt(ITEM{9, "new"}, c.nIndex), c.nExpectedIndex) << c.nIndex;
        EXPECT_EQ(Values(arr), c.expected) << c.nIndex;
    }
}

TEST(ArrayT, OutOfRangeGivesTheEmptyElementAndSetAtIgnoresIt)
{
    CArrayT<ITEM> arr(0);
    arr.Add(ITEM{5, "abc"});
    for (int nIndex : {-1, 1, 100}) {
        EXPECT_EQ(arr.GetAt(nIndex).nValue, 0);
        EXPECT_STREQ(arr.GetAt(nIndex).szText, "");
        arr.SetAt(nIndex, ITEM{7, "zzz"});
    }
    arr.SetAt(0, ITEM{6, "set"});
    EXPECT_EQ(Values(arr), std::vector<int>{6});
    EXPECT_STREQ(arr.GetAt(0).szText, "set");
    arr.RemoveAll();
    EXPECT_EQ(arr.GetSize(), 0);
    EXPECT_EQ(arr.Add(ITEM{1, ""}), 0);
}

// Many appends and inserts, with and without room made ahead: every element
// where it belongs, whatever the block's growth.
TEST(ArrayT, ManyElementsKeepTheirOrderWithOrWithoutRoomReserved)
{
    for (int nReserve : {0, 5000, 20000}) {
        CArrayT<ITEM> arr(1);
        ASSERT_TRUE(arr.Reserve(nReserve));
        ASSERT_TRUE(arr.Reserve(nReserve / 2)) << "less than there is room for changes nothing";
        std::vector<int> expected;
        for (int n = 0; n < 10000; ++n) {
            int nIndex = n % 7 == 0 ? n / 2 : -1;
            ASSERT_GE(arr.InsertAt(ITEM{n, "x"}, nIndex), 0);
            expected.insert(nIndex < 0 ? expected.end() : expected.begin() + nIndex, n);
        }
        EXPECT_EQ(Values(arr), expected) << nReserve;
        EXPECT_EQ(arr.GetAt(10000).nValue, 0);
    }
}

}  // namespace

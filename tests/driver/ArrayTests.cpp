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
        {0, 0, {9, 1, 2, 3}},  {1, 1, {1, 9, 2, 3}},  {2, 2, {1, 2, 9, 3}},
        {3, 3, {1, 2, 3, 9}},  {7, 3, {1, 2, 3, 9}},  {-1, 3, {1, 2, 3, 9}}, {-5, 3, {1, 2, 3, 9}},
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

}  // namespace

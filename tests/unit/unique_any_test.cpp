#include "platform/unique_any.h"

#include <gtest/gtest.h>

#include <vector>

namespace stravik {
namespace {

std::vector<int> closed;
void closeNumber(int number) { closed.push_back(number); }

// A descriptor-like handle: -1 means none, 0 is a real handle.
using UniqueNumber = UniqueAny<int, &closeNumber, -1>;

class UniqueAnyTest : public ::testing::Test {
protected:
    void SetUp() override { closed.clear(); }
};

TEST_F(UniqueAnyTest, ClosesOnceWhenItGoesAndNeverTheInvalidValue) {
    { const UniqueNumber none; }
    EXPECT_TRUE(closed.empty());
    { const UniqueNumber zero(0); }
    EXPECT_EQ(closed, std::vector<int>{0});
}

TEST_F(UniqueAnyTest, MovingHandsOverWithoutClosing) {
    UniqueNumber first(3);
    UniqueNumber second(std::move(first));
    EXPECT_FALSE(first);
    EXPECT_EQ(second.get(), 3);
    UniqueNumber third(4);
    third = std::move(second);  // 4 closes, 3 moves in
    EXPECT_EQ(closed, std::vector<int>{4});
    EXPECT_EQ(third.get(), 3);
}

TEST_F(UniqueAnyTest, ReleaseResetAndPut) {
    UniqueNumber number(5);
    EXPECT_EQ(number.release(), 5);
    EXPECT_TRUE(closed.empty());
    number.reset(6);
    number.reset(7);
    EXPECT_EQ(closed, std::vector<int>{6});
    *number.put() = 8;  // put closes 7 first
    EXPECT_EQ(closed, (std::vector<int>{6, 7}));
    EXPECT_EQ(number.get(), 8);
}

}  // namespace
}  // namespace stravik

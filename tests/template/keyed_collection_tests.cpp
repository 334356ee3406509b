#include "template/KeyedCollection.h"

#include <gtest/gtest.h>

#include <climits>
#include <memory>
#include <string>

#include "office/error.h"
#include "support/office_error.h"

namespace tabulon {
namespace {

using Strings = KeyedCollection<std::string>;

TEST(KeyedCollection, KeepsInsertionOrderAndFindsByKey) {
    Strings collection;
    collection.Add(300, "third");
    collection.Add(-5, "negative");
    collection.Add(INT_MAX, "largest");
    collection.Add(INT_MIN, "smallest");

    ASSERT_EQ(collection.Count(), 4);
    EXPECT_EQ(collection.KeyAt(0), 300);
    EXPECT_EQ(collection.KeyAt(1), -5);
    EXPECT_EQ(collection.KeyAt(2), INT_MAX);
    EXPECT_EQ(collection.KeyAt(3), INT_MIN);
    EXPECT_EQ(collection.ValueAt(1), "negative");
    EXPECT_EQ(collection.Item(INT_MIN), "smallest");
    EXPECT_EQ(collection.Item(300), "third");
    EXPECT_TRUE(collection.Contains(-5));
    EXPECT_FALSE(collection.Contains(5));
}

TEST(KeyedCollection, DuplicateKeyFailsAndChangesNothing) {
    Strings collection;
    collection.Add(7, "first");
    EXPECT_OFFICE_ERROR(collection.Add(7, "second"), office::ErrorCode::InvalidArgument,
                        "keyed collection: key 7 is already present");
    EXPECT_EQ(collection.Count(), 1);
    EXPECT_EQ(collection.Item(7), "first");
}

TEST(KeyedCollection, MissingKeyAndPositionOutsideFail) {
    Strings collection;
    collection.Add(1, "one");
    const auto missing = office::ErrorCode::IndexOutOfRange;
    EXPECT_OFFICE_ERROR(collection.Item(2), missing, "keyed collection: no entry with key 2");
    EXPECT_OFFICE_ERROR(collection.KeyAt(1), missing,
                        "keyed collection: position 1 is outside 0 to 0");
    EXPECT_OFFICE_ERROR(collection.ValueAt(-1), missing,
                        "keyed collection: position -1 is outside 0 to 0");
    Strings empty;
    EXPECT_OFFICE_ERROR(empty.KeyAt(0), missing, "keyed collection: position 0 is outside 0 to -1");
}

TEST(KeyedCollection, ClearReleasesValuesAndAllowsTheKeysAgain) {
    KeyedCollection<std::shared_ptr<int>> collection;
    auto value = std::make_shared<int>(42);
    std::weak_ptr<int> watch = value;
    collection.Add(1, std::move(value));
    collection.Add(2, std::make_shared<int>(43));

    collection.Clear();

    EXPECT_EQ(collection.Count(), 0);
    EXPECT_TRUE(watch.expired());
    EXPECT_FALSE(collection.Contains(1));
    collection.Add(2, std::make_shared<int>(44));
    EXPECT_EQ(*collection.Item(2), 44);
    EXPECT_EQ(collection.KeyAt(0), 2);
}

}  // namespace
}  // namespace tabulon

#include <memory>

#include <gtest/gtest.h>

#include "common/Dictionary.h"

using namespace tarvelo;

TEST(OrderedDict, CaseInsensitiveKeysKeepInsertionOrderAndFirstSpelling) {
    OrderedDict<int> d;
    d.add("Zeta", 1);
    d.add("alpha", 2);
    d["ZETA"] = 3;
    EXPECT_EQ(d.size(), 2u);
    EXPECT_EQ(*d.find("zeta"), 3);
    EXPECT_EQ(d.keys(), (std::vector<std::string>{"Zeta", "alpha"}));
    EXPECT_THROW(d.add("ALPHA", 9), VbError);
    EXPECT_TRUE(d.remove("Alpha"));
    EXPECT_FALSE(d.exists("alpha"));
    d.add("beta", 4);
    EXPECT_EQ(d.keys(), (std::vector<std::string>{"Zeta", "beta"}));
}

TEST(OrderedDict, CaseSensitiveVariantKeepsKeysApart) {
    OrderedDict<int, false> d;
    d.add("a", 1);
    d.add("A", 2);
    EXPECT_EQ(d.size(), 2u);
    EXPECT_EQ(*d.find("A"), 2);
}

TEST(OrderedDict, ACopyIsIndependentOfTheOriginal) {
    auto original = std::make_unique<OrderedDict<std::string>>();
    original->set("a", "1");
    original->set("b", "2");
    OrderedDict<std::string> copy(*original);
    OrderedDict<std::string> assigned;
    assigned = *original;
    original.reset();  // the copies must not reach into it
    for (auto* d : {&copy, &assigned}) {
        ASSERT_NE(d->find("A"), nullptr);
        EXPECT_EQ(*d->find("A"), "1");
        d->set("b", "3");
        EXPECT_TRUE(d->remove("a"));
        EXPECT_EQ(d->keys(), std::vector<std::string>{"b"});
    }
}

TEST(KeyedCollection, OneBasedPositionsAndKeys) {
    KeyedCollection<std::string> c;
    c.add("five", "5~");
    c.add("seven", "7~");
    c.add("unkeyed");
    EXPECT_EQ(c.count(), 3u);
    EXPECT_EQ(c.item(1), "five");
    EXPECT_EQ(*c.find("7~"), "seven");
    EXPECT_EQ(c.find("8~"), nullptr);
    EXPECT_THROW(c.item(0), VbError);
    EXPECT_THROW(c.item(4), VbError);
    EXPECT_THROW(c.add("again", "5~"), VbError);
    c.removeAt(1);
    EXPECT_EQ(c.item(1), "seven");
    EXPECT_FALSE(c.exists("5~"));
}

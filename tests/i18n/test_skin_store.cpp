#include "i18n/PackData.h"
#include "i18n/WinSkinStore.h"

#include <gtest/gtest.h>

using namespace torvane;

TEST(SkinStore, NamesAndErrors) {
    TSkinStore store;
    TSkinCollectionItem& a = store.Store().Add();
    TSkinCollectionItem& b = store.Store().Add();
    EXPECT_EQ(a.Name(), "SkinItem0");
    EXPECT_EQ(b.Name(), "SkinItem1");
    a.SetName("en");
    a.SetName("en"); // its own name again changes nothing
    try {
        b.SetName("en");
        FAIL() << "a duplicate name was accepted";
    } catch (const ESkinStoreError& e) {
        EXPECT_STREQ(e.what(), "The name en is already used.");
    }
    EXPECT_EQ(b.Name(), "SkinItem1");
    EXPECT_EQ(a.SkinData(), "Load Skin");
    a.SetSkinData("ignored");
    EXPECT_EQ(a.SkinData(), "Load Skin");
    a.SetData("12345");
    EXPECT_EQ(a.DataSize(), 5);
    TSkinStore other;
    TSkinCollectionItem& c = other.Store().Add();
    c.Assign(a);
    EXPECT_EQ(c.Name(), "en");
    EXPECT_EQ(c.Data(), "12345");
}

TEST(SkinStore, StoredFormRoundTripsAndRejectsDamage) {
    TSkinStore store;
    store.Store().Add().SetName("b5");
    store.Store().Item(0).SetData(std::string("\x00\x01zz", 4));
    store.Store().Add().SetName("cn");
    const std::string form = WriteStoreForm(store);
    // "Store", the collection tag, then the first item's list tag and "Name".
    EXPECT_EQ(form.substr(0, 8), std::string("\x05Store\x0E\x01", 8));
    EXPECT_EQ(static_cast<unsigned char>(form.back()), 0u);

    TSkinStore copy;
    ASSERT_TRUE(ReadStoreForm(form, copy));
    ASSERT_EQ(copy.Store().Count(), 2);
    EXPECT_EQ(copy.Store().Item(0).Name(), "b5");
    EXPECT_EQ(copy.Store().Item(0).Data(), std::string("\x00\x01zz", 4));
    EXPECT_EQ(copy.Store().Item(1).DataSize(), 0);

    for (std::size_t cut = 0; cut + 1 < form.size(); ++cut) {
        TSkinStore damaged;
        EXPECT_FALSE(ReadStoreForm(form.substr(0, cut), damaged)) << cut;
        EXPECT_EQ(damaged.Store().Count(), 0);
    }
}

TEST(SkinStore, TheBuiltInStoreHoldsThreePacks) {
    TSkinStore store;
    ASSERT_TRUE(ReadStoreForm(EmbeddedPackStoreForm(), store));
    ASSERT_EQ(store.Store().Count(), 3);
    EXPECT_EQ(store.Store().Item(0).Name(), "b5");
    EXPECT_EQ(store.Store().Item(1).Name(), "cn");
    EXPECT_EQ(store.Store().Item(2).Name(), "en");
    for (int i = 0; i < 3; ++i) {
        const std::string& pack = store.Store().Item(i).Data();
        EXPECT_EQ(pack.rfind("[Global]\r\n", 0), 0u);
        EXPECT_EQ(pack.find("\n\n"), std::string::npos); // every line ends in CR LF
    }
}

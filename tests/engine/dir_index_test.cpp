// The name index: the bucket hash, the hashed string list over it, and the directory array's names.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "engine/base/CVExcept.h"
#include "engine/format/CVDirArray.h"
#include "engine/format/CVHashedStringList.h"
#include "engine/format/CVStringHash.h"
#include "support/EngineErrors.h"

namespace {

using testing_support::NativeErrorOf;

TDirItem Named(const std::u16string& name) {
    TDirItem item;
    item.Name = name;
    return item;
}

// Names of 17 code units: the first and the last are both rotated by a multiple of 32 bits, so any
// two names whose first and last units xor to the same value collide under rotate-xor.
std::vector<std::u16string> RotateXorCollisions(int count) {
    std::vector<std::u16string> names;
    for (int i = 0; i < count; ++i) {
        std::u16string name(17, u'x');
        name[0] = static_cast<char16_t>(0x100 + i);
        name[16] = static_cast<char16_t>((0x100 + i) ^ 0x1234);
        names.push_back(name);
    }
    return names;
}

size_t LongestChain(const TCVStringHash& hash) {
    size_t longest = 0;
    for (const THashItem* head : hash.Buckets()) {
        size_t n = 0;
        for (const THashItem* item = head; item; item = item->Next) ++n;
        longest = std::max(longest, n);
    }
    return longest;
}

TEST(StringHash, ComputesRotateXor) {
    TCVStringHash hash(10);
    EXPECT_EQ(hash.ComputeHash(u""), 0u);
    EXPECT_EQ(hash.ComputeHash(u"a"), 0x61u);
    EXPECT_EQ(hash.ComputeHash(u"ab"), (0x61u << 2) ^ 0x62u);
    // The top bits come round to the bottom.
    std::u16string wide(1, static_cast<char16_t>(0xC000));
    wide += u'\0';
    EXPECT_EQ(hash.ComputeHash(wide), 0x30000u);
    std::u16string rotated(17, u'\0');
    rotated[0] = 0x8001;
    EXPECT_EQ(hash.ComputeHash(rotated), 0x8001u);
}

TEST(StringHash, FindsTheLastAddedOfEqualKeysAndRemovesItFirst) {
    TCVStringHash hash(4);
    EXPECT_EQ(hash.ValueOf(u"k"), -1);
    hash.Add(u"k", 1);
    hash.Add(u"k", 2);
    hash.Add(u"K", 3);   // keys compare exactly
    EXPECT_EQ(hash.ValueOf(u"k"), 2);
    EXPECT_EQ(hash.ValueOf(u"K"), 3);
    EXPECT_TRUE(hash.Modify(u"k", 20));
    EXPECT_FALSE(hash.Modify(u"absent", 0));
    EXPECT_EQ(hash.ValueOf(u"k"), 20);
    hash.Remove(u"k");
    EXPECT_EQ(hash.ValueOf(u"k"), 1);
    hash.Remove(u"absent");
    hash.Clear();
    EXPECT_EQ(hash.ValueOf(u"k"), -1);
    EXPECT_EQ(hash.Size(), 4u);
}

TEST(StringHash, KeepsCollidingKeysApart) {
    const std::vector<std::u16string> names = RotateXorCollisions(300);
    TCVStringHash plain(1000);
    for (size_t i = 0; i < names.size(); ++i) plain.Add(names[i], static_cast<int32_t>(i));
    // They really do share one bucket, and still every key finds its own value.
    EXPECT_EQ(LongestChain(plain), names.size());
    for (size_t i = 0; i < names.size(); ++i) EXPECT_EQ(plain.ValueOf(names[i]), static_cast<int32_t>(i));
}

TEST(HashedStringList, SpreadsNamesMadeToCollide) {
    const std::vector<std::u16string> names = RotateXorCollisions(2000);
    TCVHashedStringList list;
    for (const std::u16string& name : names) list.Add(name);
    EXPECT_EQ(list.IndexOf(names[1234]), 1234);
    ASSERT_NE(list.ValueHash(), nullptr);
    EXPECT_LT(LongestChain(*list.ValueHash()), 40u);
}

TEST(HashedStringList, IgnoresCaseOfAsciiLettersOnly) {
    TCVHashedStringList list;
    list.Add(u"Docs/Read.me");
    list.Add(u"\u00C9.txt");
    EXPECT_EQ(list.IndexOf(u"docs/READ.ME"), 0);
    EXPECT_EQ(list.IndexOf(u"\u00C9.TXT"), 1);
    EXPECT_EQ(list.IndexOf(u"\u00E9.txt"), -1);
}

TEST(HashedStringList, BuildsLazilyAndRebuildsLargerAfterOutgrowingIt) {
    TCVHashedStringList list;
    EXPECT_EQ(list.ValueHash(), nullptr);
    EXPECT_EQ(list.IndexOf(u"x"), -1);
    ASSERT_NE(list.ValueHash(), nullptr);
    EXPECT_EQ(list.ValueHash()->Size(), 1000u);
    for (int i = 0; i < 5000; ++i) list.Add(u"n" + std::u16string(1, static_cast<char16_t>(u'0' + i % 10)) + u"/" +
                                            std::u16string(1, static_cast<char16_t>(0x100 + i)));
    ASSERT_NE(list.ValueHash(), nullptr);   // 5000 strings: still five per bucket
    EXPECT_EQ(list.IndexOf(list.Strings(4321)), 4321);
    list.Add(u"last");                      // 5001: the hash is dropped
    EXPECT_EQ(list.ValueHash(), nullptr);
    EXPECT_FALSE(list.ValueHashValid());
    EXPECT_EQ(list.IndexOf(u"LAST"), 5000);
    EXPECT_EQ(list.ValueHash()->Size(), 5001u);
}

TEST(HashedStringList, UpdateDeleteAndClearKeepLookupsRight) {
    TCVHashedStringList list;
    for (const char16_t* s : {u"a", u"b", u"a", u"c"}) list.Add(s);
    EXPECT_EQ(list.IndexOf(u"a"), 2);   // the last of equal strings
    list.Update(2, u"z");
    EXPECT_EQ(list.IndexOf(u"a"), 0);
    EXPECT_EQ(list.IndexOf(u"z"), 2);
    // Renaming the first of two equal strings must not drop the other one's entry.
    list.Update(2, u"a");
    list.Update(0, u"y");
    EXPECT_EQ(list.IndexOf(u"a"), 2);
    EXPECT_EQ(list.IndexOf(u"y"), 0);
    list.Delete(0);
    EXPECT_EQ(list.IndexOf(u"c"), 2);
    EXPECT_EQ(list.IndexOf(u"y"), -1);
    list.Clear();
    EXPECT_EQ(list.Count(), 0);
    EXPECT_EQ(list.IndexOf(u"c"), -1);
    list.Add(u"c");
    EXPECT_EQ(list.IndexOf(u"c"), 0);
}

TEST(HashedStringList, NameHashIndexesThePartBeforeTheFirstEquals) {
    TCVHashedStringList list;
    list.Add(u"key=value=more");
    list.Add(u"plain");
    list.Add(u"Other=1");
    EXPECT_EQ(list.IndexOf(u"key=value=more"), 0);
    EXPECT_EQ(list.IndexOf(u"key"), -1);
    EXPECT_EQ(list.IndexOfName(u"key"), 0);
    EXPECT_EQ(list.IndexOfName(u"OTHER"), 2);
    EXPECT_EQ(list.IndexOfName(u"plain"), -1);
    EXPECT_EQ(list.NameHash()->Size(), 256u);
    list.Add(u"late=x");
    EXPECT_EQ(list.IndexOfName(u"late"), 3);
}

TEST(DirArray, GrowsInDoublingSteps) {
    struct Case {
        std::vector<int32_t> counts;
        int32_t capacity;
    };
    const Case cases[] = {
        {{1}, 1000},
        {{1, 1001}, 3000},
        {{50000}, 50000},
        {{1, 1001, 3001, 7001, 15001}, 25000},
        {{1, 1001, 3001, 7001, 15001, 25001}, 35000},   // the step stops at 10000
        {{1, 999}, 1000},
    };
    for (const Case& c : cases) {
        TCVDirArray dir;
        for (int32_t n : c.counts) dir.SetCount(n);
        EXPECT_EQ(dir.AllocItemCount(), c.capacity) << "after growing to " << c.counts.back();
        EXPECT_EQ(dir.Count(), c.counts.back());
    }
    TCVDirArray dir;
    dir.SetCount(10);
    dir.SetCount(0);
    EXPECT_EQ(dir.AllocItemCount(), 0);
    EXPECT_EQ(NativeErrorOf([&] { dir.SetCount(-1); }), neDirPutIndex);
}

TEST(DirArray, RefusesIndicesOutsideTheItems) {
    TCVDirArray dir;
    dir.SetCount(2);
    EXPECT_EQ(NativeErrorOf([&] { dir.SetItem(2, Named(u"x")); }), neDirPutIndex);
    EXPECT_EQ(NativeErrorOf([&] { dir.SetItem(-1, Named(u"x")); }), neDirPutIndex);
    EXPECT_EQ(NativeErrorOf([&] { dir.GetItem(2); }), neDirGetIndex);
    EXPECT_EQ(NativeErrorOf([&] { dir.GetItemPtr(-1); }), neDirItemIndex);
    EXPECT_EQ(NativeErrorOf([&] { dir.DeleteItem(5); }), neDirDeleteIndex);
    // SetItem must name the items in order: index 1 before index 0 leaves the names out of step.
    EXPECT_EQ(NativeErrorOf([&] { dir.SetItem(1, Named(u"b")); }), neNameIndexOnPut);
    dir.SetItem(0, Named(u"a"));
    dir.SetItem(1, Named(u"b"));
    dir.SetItem(0, Named(u"c"));   // already indexed: updated in place
    int32_t no;
    EXPECT_FALSE(dir.FileExists(u"a", no));
    EXPECT_TRUE(dir.FileExists(u"C", no));
    EXPECT_EQ(no, 0);
}

TEST(DirArray, FileExistsFoldsAsciiLettersOnly) {
    TCVDirArray dir;
    dir.SetCount(2);
    dir.SetItemName(0, u"Docs/Read.me");
    dir.SetItemName(1, u"\u00C9.txt");
    const struct {
        const char16_t* name;
        int32_t expected;
    } cases[] = {
        {u"Docs/Read.me", 0}, {u"docs/READ.ME", 0}, {u"\u00C9.txt", 1}, {u"\u00C9.TXT", 1},
        {u"\u00E9.txt", -1},  {u"Docs/Read.me/", -1}, {u"", -1},
    };
    for (const auto& c : cases) {
        int32_t no = 99;
        EXPECT_EQ(dir.FileExists(c.name, no), c.expected >= 0);
        EXPECT_EQ(no, c.expected);
    }
}

TEST(DirArray, SetItemNameRefusesANameIndexedElsewhere) {
    TCVDirArray dir;
    dir.SetCount(3);
    dir.SetItemName(0, u"");
    dir.SetItemName(1, u"b");   // a new slot's empty name is not the one indexed at 0
    // A second item without a name is refused.
    EXPECT_EQ(NativeErrorOf([&] { dir.SetItemName(2, u""); }), neNameIndexOnRename);
    dir.SetItemName(2, u"c");
    dir.SetItemName(2, u"C2");
    int32_t no;
    EXPECT_TRUE(dir.FileExists(u"c2", no));
    EXPECT_EQ(no, 2);
    EXPECT_EQ(dir.GetItem(2).Name, u"C2");
    // A name changed behind the index's back puts the index out of step.
    dir.GetItemPtr(2).Name = u"b";
    EXPECT_EQ(NativeErrorOf([&] { dir.SetItemName(2, u"d"); }), neNameIndexOnRename);
}

TEST(DirArray, DeleteItemKeepsNamesInStepWithItems) {
    TCVDirArray dir;
    const std::u16string names[] = {u"dup", u"mid", u"dup", u"end"};
    dir.SetCount(4);
    for (int32_t i = 0; i < 4; ++i) dir.SetItem(i, Named(names[i]));
    // The first of two equal names goes; "mid" must still be found where it now lies.
    dir.DeleteItem(0);
    int32_t no;
    ASSERT_TRUE(dir.FileExists(u"mid", no));
    EXPECT_EQ(no, 0);
    EXPECT_TRUE(dir.FileExists(u"dup", no));
    EXPECT_EQ(no, 1);
    EXPECT_TRUE(dir.FileExists(u"end", no));
    EXPECT_EQ(no, 2);
    EXPECT_EQ(dir.Count(), 3);
    // A slot that comes back into use after a delete starts empty, so it can be named.
    dir.SetCount(4);
    EXPECT_TRUE(dir.GetItem(3).Name.empty());
    dir.SetItemName(3, u"new");
    EXPECT_TRUE(dir.FileExists(u"new", no));
    EXPECT_EQ(no, 3);

    TCVDirArray one;
    one.SetCount(1);
    one.SetItem(0, Named(u"only"));
    one.DeleteItem(0);
    EXPECT_EQ(one.Count(), 0);
    EXPECT_EQ(one.ItemNamesList().Count(), 0);
    EXPECT_FALSE(one.FileExists(u"only", no));
    EXPECT_EQ(no, -1);
}

TEST(DirArray, AssignAppendAndClearCopyItemsWithTheirExtraFields) {
    TCVDirArray source;
    source.SetCount(2);
    TDirItem a = Named(u"a");
    a.ExtraFields.push_back(MakeExtraField(0xCAFE, {1, 2, 3}));
    a.Tagged = true;
    source.SetItem(0, a);
    source.SetItem(1, Named(u"b"));

    TCVDirArray copy;
    copy.SetCount(1);
    copy.SetItem(0, Named(u"old"));
    copy.Assign(source);
    ASSERT_EQ(copy.Count(), 2);
    int32_t no;
    EXPECT_FALSE(copy.FileExists(u"old", no));
    EXPECT_TRUE(copy.FileExists(u"b", no));
    // The copy's blocks are its own.
    source.GetItemPtr(0).ExtraFields[0].data[0] = 9;
    EXPECT_EQ(copy.GetItem(0).ExtraFields[0].data, (std::vector<uint8_t>{1, 2, 3}));

    copy.Append(source);
    ASSERT_EQ(copy.Count(), 4);
    EXPECT_EQ(copy.GetItem(2).Name, u"a");
    EXPECT_TRUE(copy.FileExists(u"B", no));
    EXPECT_EQ(no, 3);
    copy.Append(copy);   // appending an array to itself doubles it
    EXPECT_EQ(copy.Count(), 8);
    EXPECT_EQ(copy.GetItem(6).Name, u"a");

    copy.ClearTags();
    for (int32_t i = 0; i < copy.Count(); ++i) EXPECT_FALSE(copy.GetItem(i).Tagged);
    const int32_t capacity = copy.AllocItemCount();
    copy.Clear();
    EXPECT_EQ(copy.Count(), 0);
    EXPECT_EQ(copy.AllocItemCount(), capacity);
    EXPECT_FALSE(copy.FileExists(u"a", no));
}

}  // namespace

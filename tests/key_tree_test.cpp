// The prefix store's key tree on its own: names matched without regard to
// case, keys found again after the hash table has grown, and deleted keys
// that keep their numbers for when they are made again.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "wineprefix/key_tree.h"

namespace {

using regstore::KeyId;
using regstore::KeyTree;

TEST(KeyTree, NamesMatchWithoutRegardToCase) {
    KeyTree tree;
    const KeyId root = tree.addRoot("HKEY_LOCAL_MACHINE");
    const KeyId other = tree.addRoot("HKEY_CURRENT_USER");
    const KeyId software = tree.make(root, "Software");
    EXPECT_EQ(tree.find(root, "SOFTWARE"), software);
    EXPECT_EQ(tree.make(root, "sOfTwArE"), software);
    EXPECT_EQ(tree.name(software), "Software");  // as first made
    EXPECT_EQ(tree.find(other, "Software"), std::nullopt);

    const KeyId umlaut = tree.make(software, "\xC3\x84rger");  // Ärger
    EXPECT_EQ(tree.find(software, "\xC3\xA4RGER"), umlaut);    // äRGER
    // The Kelvin sign folds to an ASCII k: a name in ASCII and one that is
    // not must still meet.
    const std::string kelvin = "\xE2\x84\xAA";
    const KeyId kb = tree.make(software, "kb");
    EXPECT_EQ(tree.find(software, kelvin + "B"), kb);
    EXPECT_EQ(tree.make(software, kelvin + "b"), kb);
    EXPECT_EQ(tree.path(kb), "Software\\kb");
    EXPECT_EQ(tree.foldedPath(umlaut), (std::vector<std::string>{"software", "\xC3\xA4rger"}));
}

TEST(KeyTree, KeysAreFoundAfterTheTableGrows) {
    KeyTree tree;
    const KeyId root = tree.addRoot("HKEY_LOCAL_MACHINE");
    const KeyId user = tree.addRoot("HKEY_CURRENT_USER");
    std::vector<KeyId> parents, made;
    for (int p = 0; p < 40; ++p) {
        // Half made one by one, half after room was made for them at once.
        if (p == 20) tree.reserve(20 * 51, 20 * 51 * 8);
        parents.push_back(tree.make(root, "Parent" + std::to_string(p)));
        for (int c = 0; c < 50; ++c)
            made.push_back(tree.make(parents.back(), "Child" + std::to_string(c)));
    }
    for (int p = 0; p < 40; ++p) {
        EXPECT_EQ(tree.find(root, "PARENT" + std::to_string(p)), parents[p]);
        EXPECT_EQ(tree.children(parents[p]).size(), 50u);
        for (int c = 0; c < 50; ++c) {
            const KeyId id = made[static_cast<size_t>(p * 50 + c)];
            EXPECT_EQ(tree.find(parents[p], "child" + std::to_string(c)), id);
            EXPECT_EQ(tree.parent(id), parents[p]);
        }
    }
    EXPECT_EQ(tree.children(root).size(), 40u);
    EXPECT_EQ(tree.find(user, "Parent0"), std::nullopt);
    EXPECT_EQ(tree.path(made.back()), "Parent39\\Child49");
}

TEST(KeyTree, ADeletedKeyIsGoneUntilMadeAgain) {
    KeyTree tree;
    const KeyId root = tree.addRoot("HKEY_CURRENT_USER");
    const KeyId a = tree.make(root, "A");
    const KeyId b = tree.make(a, "B");
    const KeyId c = tree.make(b, "C");
    const KeyId sibling = tree.make(root, "Other");
    tree.remove(a);
    for (KeyId id : {a, b, c}) EXPECT_FALSE(tree.present(id));
    EXPECT_TRUE(tree.present(sibling));
    EXPECT_EQ(tree.find(root, "a"), std::nullopt);
    EXPECT_EQ(tree.children(root), std::vector<KeyId>{sibling});

    // Made again, it has its number back; the keys below it stay deleted.
    EXPECT_EQ(tree.make(root, "a"), a);
    EXPECT_TRUE(tree.present(a));
    EXPECT_EQ(tree.name(a), "A");
    EXPECT_EQ(tree.find(a, "B"), std::nullopt);
    EXPECT_TRUE(tree.children(a).empty());
    EXPECT_EQ(tree.make(a, "b"), b);
    EXPECT_FALSE(tree.present(c));
    EXPECT_FALSE(tree.present(0));
    EXPECT_FALSE(tree.present(static_cast<KeyId>(tree.size())));
}

}  // namespace

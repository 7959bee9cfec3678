#include "framework/Objet.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <string>
#include <vector>

namespace {

// A node that notes its destruction and closing in a shared journal and can
// be told to refuse closing.
class Node : public OBJET {
public:
    Node(OBJET* parent, std::string name, std::vector<std::string>* journal, int32_t isStatic = 0)
        : OBJET(parent, isStatic), name(std::move(name)), journal(journal) {}
    ~Node() override {
        // Still linked while the derived part goes: the parent sees us.
        journal->push_back("~" + name);
    }
    int32_t CanClose() override {
        journal->push_back("ask " + name);
        return refuse ? 0 : 1;
    }

    std::string name;
    std::vector<std::string>* journal;
    bool refuse = false;
};

std::vector<OBJET*> FromNewest(const OBJET& parent) {
    std::vector<OBJET*> v;
    for (OBJET* c = parent.newestChild; c != nullptr; c = c->olderSibling) v.push_back(c);
    return v;
}

std::vector<OBJET*> FromOldest(const OBJET& parent) {
    std::vector<OBJET*> v;
    for (OBJET* c = parent.oldestChild; c != nullptr; c = c->newerSibling) v.push_back(c);
    return v;
}

TEST(ObjectTree, ChildrenAreListedInBothDirections) {
    std::vector<std::string> j;
    Node root(nullptr, "root", &j);
    Node* a = new Node(&root, "A", &j);
    Node* b = new Node(&root, "B", &j);
    Node* c = new Node(&root, "C", &j);
    EXPECT_EQ(FromOldest(root), (std::vector<OBJET*>{a, b, c}));
    EXPECT_EQ(FromNewest(root), (std::vector<OBJET*>{c, b, a}));
    EXPECT_EQ(root.childrenCreated, 3);
    EXPECT_EQ(a->olderSibling, nullptr);
    EXPECT_EQ(c->newerSibling, nullptr);
    EXPECT_EQ(a->parent, &root);
    EXPECT_EQ(root.typeNumber, 0);
}

TEST(ObjectTree, DeletingAChildRelinksItsNeighbours) {
    std::vector<std::string> j;
    Node root(nullptr, "root", &j);
    Node* a = new Node(&root, "A", &j);
    Node* b = new Node(&root, "B", &j);
    Node* c = new Node(&root, "C", &j);
    delete b;
    EXPECT_EQ(FromOldest(root), (std::vector<OBJET*>{a, c}));
    EXPECT_EQ(FromNewest(root), (std::vector<OBJET*>{c, a}));
    delete a;
    EXPECT_EQ(root.oldestChild, c);
    EXPECT_EQ(root.newestChild, c);
    EXPECT_EQ(c->olderSibling, nullptr);
    EXPECT_EQ(c->newerSibling, nullptr);
    delete c;
    EXPECT_EQ(root.oldestChild, nullptr);
    EXPECT_EQ(root.newestChild, nullptr);
    EXPECT_EQ(root.childrenDestroyed, 3);
}

TEST(ObjectTree, DeletingAParentDeletesChildrenNewestFirstWithTheirSubtrees) {
    std::vector<std::string> j;
    const int32_t before = OBJET::LiveObjects;
    Node* root = new Node(nullptr, "root", &j);
    Node* a = new Node(root, "A", &j);
    new Node(a, "A1", &j);
    new Node(root, "B", &j, 1);  // static: its parent's deletion takes it all the same
    new Node(root, "C", &j);
    EXPECT_EQ(OBJET::LiveObjects, before + 5);
    delete root;
    EXPECT_EQ(j, (std::vector<std::string>{"~root", "~C", "~B", "~A", "~A1"}));
    EXPECT_EQ(OBJET::LiveObjects, before);
}

TEST(ObjectTree, CloseTreeAskingOnlyDeletesNothing) {
    std::vector<std::string> j;
    Node root(nullptr, "root", &j);
    new Node(&root, "A", &j);
    new Node(&root, "B", &j);
    const int32_t live = OBJET::LiveObjects;
    EXPECT_EQ(root.CloseTree(0), 1);
    EXPECT_EQ(j, (std::vector<std::string>{"ask B", "ask A", "ask root"}));
    EXPECT_EQ(OBJET::LiveObjects, live);
}

TEST(ObjectTree, CloseTreeStopsAtTheFirstRefusal) {
    std::vector<std::string> j;
    Node* root = new Node(nullptr, "root", &j);
    Node* a = new Node(root, "A", &j);
    Node* b = new Node(root, "B", &j);
    new Node(root, "C", &j);
    b->refuse = true;
    EXPECT_EQ(root->CloseTree(1), 0);
    // C (the newest) is closed, B refused, A and the root were never asked.
    EXPECT_EQ(j, (std::vector<std::string>{"ask C", "~C", "ask B"}));
    EXPECT_EQ(FromNewest(*root), (std::vector<OBJET*>{b, a}));
    b->refuse = false;
    j.clear();
    EXPECT_EQ(root->CloseTree(1), 1);
    EXPECT_EQ(j, (std::vector<std::string>{"ask B", "~B", "ask A", "~A", "ask root", "~root"}));
}

TEST(ObjectTree, CloseKeepsStaticObjectsAlive) {
    std::vector<std::string> j;
    Node* plain = new Node(nullptr, "plain", &j);
    EXPECT_EQ(plain->Close(), 1);
    EXPECT_EQ(j.back(), "~plain");

    AUTO_OBJET group(nullptr, "Groupe des BMPs");
    EXPECT_EQ(group.isStatic, 1);
    EXPECT_EQ(group.Close(), 1);
    EXPECT_EQ(group.CloseTree(1), 1);
    EXPECT_STREQ(group.name, "Groupe des BMPs");  // still alive and intact

    Node refusing(nullptr, "refusing", &j, 0);
    refusing.refuse = true;
    EXPECT_EQ(refusing.Close(), 0);
}

TEST(ObjectTree, DescribeStaysWithinTheBuffer) {
    OBJET plain(nullptr, 0);
    char text[16];
    std::fill(std::begin(text), std::end(text), 'x');
    plain.Describe(0, text, sizeof text);
    EXPECT_STREQ(text, "0");
    plain.Describe(0, nullptr, 0);  // no buffer: nothing written

    AUTO_OBJET group(nullptr, "Groupe des BMPs");
    std::fill(std::begin(text), std::end(text), 'x');
    group.Describe(0, text, 6);
    EXPECT_STREQ(text, "Group");
    EXPECT_EQ(text[6], 'x');

    // A capacity of 1 leaves room for the terminator only.
    std::fill(std::begin(text), std::end(text), 'x');
    plain.Describe(0, text, 1);
    EXPECT_EQ(text[0], 0);
    EXPECT_EQ(text[1], 'x');
}

TEST(ObjectTree, LongNamesAreCut) {
    const std::string long_name(100, 'n');
    AUTO_OBJET group(nullptr, long_name.c_str());
    EXPECT_EQ(std::string(group.name), std::string(79, 'n'));
}

TEST(ObjectTree, DestructionWatcherIsCleared) {
    OBJET* watched = new OBJET(nullptr, 0);
    OBJET* cell = watched;
    watched->destructionWatcher = &cell;
    delete watched;
    EXPECT_EQ(cell, nullptr);
}

TEST(ObjectTree, IsAfterComparesAddresses) {
    struct Pair {
        OBJET lower{nullptr, 0};
        OBJET higher{nullptr, 0};  // members lie in declaration order
    } pair;
    EXPECT_EQ(pair.higher.IsAfter(&pair.lower), 1);
    EXPECT_EQ(pair.lower.IsAfter(&pair.higher), 0);
    EXPECT_EQ(pair.lower.IsAfter(&pair.lower), 0);
    EXPECT_EQ(pair.lower.HasId(0), 0);
}

}  // namespace

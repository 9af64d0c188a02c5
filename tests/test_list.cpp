// The linked list: appends, removal from every position, ownership and walks.
// Runs natively under AddressSanitizer (which also reports leaks) and under Wine.
#include "core/list.h"

#include <gtest/gtest.h>

#include <string.h>
#include <vector>

namespace {

struct Rec {
    ListNode *node;
    int value;
};

// Checks both directions of the list against the expected values.
void ExpectValues(List *list, const std::vector<int> &want)
{
    std::vector<int> forward, backward;
    for (ListNode *n = ListFirst(list); n; n = ListNext(n))
        forward.push_back(((Rec *)n->data)->value);
    for (ListNode *n = list->last; n; n = ListPrev(n))
        backward.insert(backward.begin(), ((Rec *)n->data)->value);
    EXPECT_EQ(forward, want);
    EXPECT_EQ(backward, want);
    if (want.empty()) {
        EXPECT_EQ(list->first, nullptr);
        EXPECT_EQ(list->last, nullptr);
    } else {
        EXPECT_EQ(list->first->prev, nullptr);
        EXPECT_EQ(list->last->next, nullptr);
    }
}

ListNode *AppendRec(List *list, int value)
{
    Rec r = {nullptr, value};
    ListNode *n = ListAppendCopy(list, &r, sizeof r);
    if (n)
        ((Rec *)n->data)->node = n;  // the owner's convention: the record knows its node
    return n;
}

TEST(List, AppendCopiesBytesAndTerminatesThem)
{
    List list;
    ListClear(&list);
    ListNode *n = ListAppendCopy(&list, "abc", 3);
    ASSERT_NE(n, nullptr);
    EXPECT_EQ(n->size, 3);
    EXPECT_EQ(memcmp(n->data, "abc", 3), 0);
    EXPECT_EQ(n->data[3], '\0');
    ASSERT_NE(n->children, nullptr);
    EXPECT_EQ(n->children->first, nullptr);
    EXPECT_EQ(n->aux1, nullptr);
    EXPECT_EQ(n->aux2, nullptr);
    ListFreeAll(&list);
}

TEST(List, AppendRefusesNothingToCopy)
{
    List list;
    ListClear(&list);
    EXPECT_EQ(ListAppendCopy(&list, "x", 0), nullptr);
    EXPECT_EQ(ListAppendCopy(&list, nullptr, 4), nullptr);
    EXPECT_EQ(ListAppendCopy(nullptr, "x", 1), nullptr);
    EXPECT_EQ(ListAppendOwned(&list, nullptr), nullptr);
    EXPECT_EQ(list.first, nullptr);
    EXPECT_EQ(list.last, nullptr);
}

TEST(List, RemoveFromEveryPositionKeepsBothDirections)
{
    struct Case {
        const char *label;
        int count;
        int removeIndex;
        std::vector<int> left;
    } cases[] = {
        {"only", 1, 0, {}},
        {"first of three", 3, 0, {2, 3}},
        {"middle of three", 3, 1, {1, 3}},
        {"last of three", 3, 2, {1, 2}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.label);
        List list;
        ListClear(&list);
        std::vector<ListNode *> nodes;
        for (int i = 1; i <= c.count; i++)
            nodes.push_back(AppendRec(&list, i));
        Rec *rec = (Rec *)nodes[c.removeIndex]->data;
        ListRemove(&list, rec->node);
        ExpectValues(&list, c.left);
        ListFreeAll(&list);
    }
}

TEST(List, RemoveOnEmptyListFreesNothing)
{
    List list;
    ListClear(&list);
    ListNode *n = AppendRec(&list, 7);
    ListNode *popped = ListPopFront(&list);
    ASSERT_EQ(popped, n);
    ListRemove(&list, popped);  // list is empty: the node must stay intact
    EXPECT_EQ(((Rec *)popped->data)->value, 7);
    EXPECT_EQ(list.first, nullptr);
    ListFreeNode(popped);
}

TEST(List, FreeAllReleasesChildrenAndLeavesReusableHeader)
{
    List list;
    ListClear(&list);
    for (int i = 0; i < 4; i++) {
        ListNode *n = AppendRec(&list, i);
        ASSERT_NE(AppendRec(n->children, i * 10), nullptr);
        ListSetAux1(n, "aux", 3);
        ListSetAux2(n, "two", 3);
    }
    ListFreeAll(&list);
    EXPECT_EQ(list.first, nullptr);
    EXPECT_EQ(list.last, nullptr);
    AppendRec(&list, 42);
    ExpectValues(&list, {42});
    ListFreeAll(&list);
    ListFreeAll(&list);  // an empty list is left as it is
    ListFreeAll(nullptr);
}

TEST(List, FindReturnsOldestMatchAndMatchesPrefixes)
{
    List list;
    ListClear(&list);
    ListNode *a = ListAppendCopy(&list, "GOOG", 4);
    ListNode *b = ListAppendCopy(&list, "GOOGL", 5);
    ListAppendCopy(&list, "GO", 2);
    EXPECT_EQ(ListFind(&list, "GOOG", 4), a);   // oldest of the two that begin with GOOG
    EXPECT_EQ(ListFind(&list, "GOOGL", 5), b);
    EXPECT_EQ(ListFind(&list, "GO", 2), a);     // a probe that is a prefix matches
    EXPECT_EQ(ListFind(&list, "GOOGLE", 6), nullptr);  // longer than every record
    EXPECT_EQ(ListFind(&list, "MSFT", 4), nullptr);
    EXPECT_EQ(ListFind(&list, "GOOG", 0), nullptr);
    EXPECT_EQ(ListFind(&list, nullptr, 4), nullptr);
    ListFreeAll(&list);
}

TEST(List, PopFront)
{
    List list;
    ListClear(&list);
    EXPECT_EQ(ListPopFront(&list), nullptr);
    EXPECT_EQ(ListPopFront(nullptr), nullptr);
    ListNode *a = AppendRec(&list, 1);
    AppendRec(&list, 2);
    ListNode *p = ListPopFront(&list);
    EXPECT_EQ(p, a);
    EXPECT_EQ(p->next, nullptr);
    EXPECT_EQ(p->prev, nullptr);
    ExpectValues(&list, {2});
    ListFreeNode(p);
    ListFreeNode(ListPopFront(&list));
    ExpectValues(&list, {});
}

TEST(List, LinkNodeAppendsDetachedNode)
{
    List a, b;
    ListClear(&a);
    ListClear(&b);
    AppendRec(&a, 1);
    AppendRec(&b, 2);
    ListLinkNode(&b, ListPopFront(&a));
    ExpectValues(&a, {});
    ExpectValues(&b, {2, 1});
    ListLinkNode(&b, nullptr);
    ListLinkNode(nullptr, nullptr);
    ListFreeAll(&b);
}

TEST(List, AuxIsSetOnceAsTerminatedCopy)
{
    List list;
    ListClear(&list);
    ListNode *n = AppendRec(&list, 1);
    ListSetAux1(n, "first", 5);
    ListSetAux1(n, "second", 6);
    EXPECT_STREQ(n->aux1, "first");
    ListSetAux2(n, "x", 0);
    EXPECT_EQ(n->aux2, nullptr);
    ListSetAux2(n, "xy", 2);
    EXPECT_STREQ(n->aux2, "xy");
    ListFreeAll(&list);
}

TEST(List, OwnedBlockIsAdoptedAndFreedWithNode)
{
    List list;
    ListClear(&list);
    char *block = (char *)malloc(8);
    strcpy(block, "owned");
    ListNode *n = ListAppendOwned(&list, block);
    ASSERT_NE(n, nullptr);
    EXPECT_EQ(n->data, block);
    EXPECT_EQ(n->size, 0);
    EXPECT_EQ(ListFind(&list, "owned", 5), nullptr);  // adopted blocks have no known length
    ListFreeAll(&list);  // LeakSanitizer would report the block if it stayed
}

std::vector<std::pair<int, int>> visits;
void Visit(ListNode *node, int index)
{
    visits.push_back({((Rec *)node->data)->value, index});
}

TEST(List, ForEachVisitsInInsertionOrder)
{
    List list;
    ListClear(&list);
    for (int v : {10, 20, 30})
        AppendRec(&list, v);
    visits.clear();
    ListForEach(&list, Visit);
    EXPECT_EQ(visits, (std::vector<std::pair<int, int>>{{10, 0}, {20, 1}, {30, 2}}));
    visits.clear();
    ListForEach(&list, nullptr);
    ListForEach(nullptr, Visit);
    EXPECT_TRUE(visits.empty());
    ListFreeAll(&list);
}

}  // namespace

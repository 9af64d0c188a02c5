/* Doubly linked list of record copies; see list.h. All memory comes from the
 * C heap, zero-filled. */
#include "core/list.h"

#include <stdlib.h>
#include <string.h>

void ListClear(List *list)
{
    if (list) {
        list->first = nullptr;
        list->last = nullptr;
    }
}

static void LinkAtEnd(List *list, ListNode *node)
{
    node->next = nullptr;
    if (list->last) {
        list->last->next = node;
        node->prev = list->last;
    } else {
        list->first = node;
        node->prev = nullptr;
    }
    list->last = node;
}

/* A fresh node with its empty child header; null when either allocation fails. */
static ListNode *NewNode(void)
{
    ListNode *node = (ListNode *)calloc(1, sizeof(ListNode));
    if (!node)
        return nullptr;
    node->children = (List *)calloc(1, sizeof(List));
    if (!node->children) {
        free(node);
        return nullptr;
    }
    return node;
}

ListNode *ListAppendCopy(List *list, const void *bytes, int32_t size)
{
    if (!list || !bytes || size <= 0)
        return nullptr;
    ListNode *node = NewNode();
    if (!node)
        return nullptr;
    node->data = (char *)calloc((size_t)size + 1, 1);
    if (!node->data) {
        free(node->children);
        free(node);
        return nullptr;
    }
    memcpy(node->data, bytes, (size_t)size);
    node->size = size;
    LinkAtEnd(list, node);
    return node;
}

ListNode *ListAppendOwned(List *list, void *block)
{
    if (!list || !block)
        return nullptr;
    ListNode *node = NewNode();
    if (!node)
        return nullptr;
    node->data = (char *)block;
    LinkAtEnd(list, node);
    return node;
}

void ListLinkNode(List *list, ListNode *node)
{
    if (list && node)
        LinkAtEnd(list, node);
}

ListNode *ListPopFront(List *list)
{
    if (!list || !list->first)
        return nullptr;
    ListNode *node = list->first;
    list->first = node->next;
    if (list->first)
        list->first->prev = nullptr;
    else
        list->last = nullptr;
    node->next = nullptr;
    node->prev = nullptr;
    return node;
}

static void SetAux(char **field, const void *bytes, int32_t size)
{
    if (*field || !bytes || size <= 0)
        return;
    char *copy = (char *)calloc((size_t)size + 1, 1);
    if (!copy)
        return;
    memcpy(copy, bytes, (size_t)size);
    *field = copy;
}

void ListSetAux1(ListNode *node, const void *bytes, int32_t size)
{
    if (node)
        SetAux(&node->aux1, bytes, size);
}

void ListSetAux2(ListNode *node, const void *bytes, int32_t size)
{
    if (node)
        SetAux(&node->aux2, bytes, size);
}

ListNode *ListFind(List *list, const void *bytes, int32_t size)
{
    if (!list || !bytes || size <= 0)
        return nullptr;
    for (ListNode *node = list->first; node; node = node->next) {
        /* Adopted blocks (size 0) have no known length: only copied records
         * long enough to hold the probe are compared. */
        if (node->data && node->size >= size && memcmp(node->data, bytes, (size_t)size) == 0)
            return node;
    }
    return nullptr;
}

void ListRemove(List *list, ListNode *node)
{
    if (!list || !node || !list->first || !list->last)
        return;
    if (list->first == list->last && list->first == node) {
        list->first = nullptr;
        list->last = nullptr;
    } else if (node == list->first) {
        node->next->prev = nullptr;
        list->first = node->next;
    } else if (node == list->last) {
        node->prev->next = nullptr;
        list->last = node->prev;
    } else {
        node->prev->next = node->next;
        node->next->prev = node->prev;
    }
    node->next = nullptr;
    node->prev = nullptr;
    ListFreeNode(node);
}

void ListFreeNode(ListNode *node)
{
    if (!node)
        return;
    free(node->data);
    free(node->aux1);
    free(node->aux2);
    if (node->children) {
        ListFreeAll(node->children);
        free(node->children);
    }
    free(node);
}

void ListFreeAll(List *list)
{
    if (!list || !list->first)
        return;
    ListNode *node = list->first;
    while (node) {
        ListNode *next = node->next;
        ListFreeNode(node);
        node = next;
    }
    list->first = nullptr;
    list->last = nullptr;
}

ListNode *ListFirst(List *list)
{
    return list ? list->first : nullptr;
}

ListNode *ListNext(ListNode *node)
{
    return node->next;
}

ListNode *ListPrev(ListNode *node)
{
    return node->prev;
}

void ListForEach(List *list, ListVisitor visitor)
{
    if (!list || !visitor)
        return;
    int index = 0;
    for (ListNode *node = list->first; node;) {
        visitor(node, index++);
        node = node->next;
    }
}

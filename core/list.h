/* Doubly linked list that stores copies of records.
 *
 * Every list of records in the program is one of these: the stock list and the
 * socket layer's entry lists. Appending copies the caller's bytes into a node the
 * list owns; a record kept in a list begins with a pointer to its own node, which
 * the owner writes right after the append, so it can later be removed without a
 * search. The list takes no lock: each owner guards its list with its own.
 * Pure logic: no Windows headers. */
#ifndef QUOTARION_CORE_LIST_H
#define QUOTARION_CORE_LIST_H

#include <stdint.h>

struct List;

struct ListNode {
    ListNode *next;    /* following node, null at the end */
    ListNode *prev;    /* preceding node, null at the front */
    char *data;        /* the record, owned by the node */
    int32_t size;      /* bytes copied into data; 0 for adopted data */
    char *aux1;        /* optional auxiliary copy, owned by the node */
    char *aux2;        /* optional auxiliary copy, owned by the node */
    List *children;    /* child list, allocated with the node, owned by it */
};

struct List {
    ListNode *first;   /* oldest node, null when empty */
    ListNode *last;    /* newest node, null when empty */
};

typedef void (*ListVisitor)(ListNode *node, int index);

/* Sets the header empty; frees nothing. */
void ListClear(List *list);

/* Appends a node holding a zero-filled copy of size bytes followed by one zero
 * byte. Returns the node, or null (list unchanged, nothing allocated) for a null
 * list or bytes, a size of 0, or a failed allocation. */
ListNode *ListAppendCopy(List *list, const void *bytes, int32_t size);

/* Appends a node that adopts the caller's heap block (freed with the node).
 * Null on a null argument or a failed allocation; the block then stays the caller's. */
ListNode *ListAppendOwned(List *list, void *block);

/* Links a detached node at the end. Does nothing if either argument is null. */
void ListLinkNode(List *list, ListNode *node);

/* Detaches and returns the first node (next and prev null); null when empty. */
ListNode *ListPopFront(List *list);

/* Stores a zero-terminated copy in aux1 / aux2 if that field is still null and
 * the bytes are non-null and size non-zero. A set field stays; a failed
 * allocation leaves it null. */
void ListSetAux1(ListNode *node, const void *bytes, int32_t size);
void ListSetAux2(ListNode *node, const void *bytes, int32_t size);

/* First node whose data begins with the size bytes given; null when none, for a
 * null list or bytes, or a size of 0. Nodes whose copied record is shorter than
 * the probe are skipped, so the comparison never reads past a node's data. */
ListNode *ListFind(List *list, const void *bytes, int32_t size);

/* Unlinks the node (which must belong to the list) and frees it. Does nothing,
 * and frees nothing, for a null argument or an empty list. */
void ListRemove(List *list, ListNode *node);

/* Frees data, aux1, aux2, every child node, the child header and the node.
 * Does not unlink it. */
void ListFreeNode(ListNode *node);

/* Frees every node and leaves the header empty and reusable. */
void ListFreeAll(List *list);

ListNode *ListFirst(List *list);
ListNode *ListNext(ListNode *node);
ListNode *ListPrev(ListNode *node);

/* Calls the visitor with (node, index) from first to last; the visitor must not
 * free or unlink the node it is given. */
void ListForEach(List *list, ListVisitor visitor);

#endif

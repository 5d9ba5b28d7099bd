// LqList: a doubly linked list of untyped pointers with a built-in cursor,
// delivered as the relocatable object lqlist.o for other programs to link.
//
// Every operation works at or relative to the cursor. The list stores the
// pointers only: it never copies, owns or frees what they point to. Nodes are
// allocated with malloc and freed with free, so the object needs nothing from
// the C++ runtime beyond what the compiler itself emits.
//
// Two position conventions coexist and callers rely on both:
// CurrentPosition() counts the first node as 1 (0 = cursor off the list), while
// LocatePosition(n) counts from 0. LocatePosition(CurrentPosition()) therefore
// selects the node after the cursor.
//
// Wrap-around: Next() past the last node puts the cursor off the list, and the
// following Next() comes back to the first node (Prev() likewise backwards).
#ifndef LQLIST_H
#define LQLIST_H

#include <cstddef>

typedef int IStatus;   // 0 success, 1 failure
typedef int IBoolean;  // 1 true, 0 false

class LqListNode {
public:
    // malloc-backed; returns null (never throws) when memory runs out, so a
    // failed `new LqListNode` yields null and runs no constructor.
    static void* operator new(std::size_t size) noexcept;
    static void operator delete(void* p) noexcept;

    void* data;
    LqListNode* prev;  // null at the first node
    LqListNode* next;  // null at the last node
};

class LqList {
public:
    static void* operator new(std::size_t size) noexcept;
    static void operator delete(void* p) noexcept;

    LqList();
    ~LqList();  // Clear(); the pointed-to data are left alone

    // Two lists would free the same nodes; a list is not copyable.
    LqList(const LqList&) = delete;
    LqList& operator=(const LqList&) = delete;

    // Cursor moves. Return the new cursor's data, or null when it went off
    // the list (which a stored null pointer cannot be told apart from).
    void* Next();  // off -> first, last -> off
    void* Prev();  // off -> last, first -> off

    IStatus LocateFront();          // 1 if empty (cursor off)
    IStatus LocateEnd();            // 1 if empty (cursor off)
    IStatus Locate(void* item);     // first match from the front; 1 and cursor unchanged if none
    IStatus LocatePosition(int n);  // 0-based; 1 and cursor unchanged if no such node
    int CurrentPosition() const;    // 1-based; 0 when off the list

    IBoolean IsInList(void* item) const;  // the cursor does not move
    void* Retrieve() const;               // the cursor's data, or null
    void* First() const;                  // no cursor move
    void* Last() const;                   // no cursor move
    int Count() const;                    // number of nodes

    // Add item before (Insert) or after (Append) the cursor and move the
    // cursor to it. On a non-empty list the cursor must be on a node. Return
    // 1, with the list unchanged, when the cursor is off a non-empty list or
    // no node can be allocated.
    IStatus Insert(void* item);
    IStatus Append(void* item);

    IStatus Replace(void* item);  // 1 if the cursor is off the list

    // Removes the cursor's node and returns its data (null if off the list).
    // The cursor then goes: off the list after removing the first node, to
    // the new last node after removing the last, to the following node after
    // removing a middle one.
    void* Remove();

    void Clear();  // cursor off, count 0

protected:
    LqListNode* first;
    LqListNode* last;
    LqListNode* current;  // null = off the list
    int count;

private:
    // Links a new node holding item before or after the cursor.
    IStatus add(void* item, bool before);
};

#endif

// The cursor list delivered as lqlist.o. Only the C allocator is used, so a
// program links the object without any other part of this project.
#include "lqlist.h"

#include <cstdlib>

namespace {

// A zero-byte request still gets a distinct block.
void* lqAlloc(std::size_t size) { return std::malloc(size ? size : 1); }

void lqFree(void* p) {
    if (p) std::free(p);
}

}  // namespace

void* LqListNode::operator new(std::size_t size) noexcept { return lqAlloc(size); }
void LqListNode::operator delete(void* p) noexcept { lqFree(p); }
void* LqList::operator new(std::size_t size) noexcept { return lqAlloc(size); }
void LqList::operator delete(void* p) noexcept { lqFree(p); }

LqList::LqList() : first(nullptr), last(nullptr), current(nullptr), count(0) {}

LqList::~LqList() { Clear(); }

void* LqList::Next() {
    current = current ? current->next : first;
    return current ? current->data : nullptr;
}

void* LqList::Prev() {
    current = current ? current->prev : last;
    return current ? current->data : nullptr;
}

IStatus LqList::LocateFront() {
    current = first;
    return current ? 0 : 1;
}

IStatus LqList::LocateEnd() {
    current = last;
    return current ? 0 : 1;
}

IStatus LqList::Locate(void* item) {
    for (LqListNode* n = first; n; n = n->next) {
        if (n->data == item) {
            current = n;
            return 0;
        }
    }
    return 1;
}

int LqList::CurrentPosition() const {
    int pos = 1;
    for (LqListNode* n = first; n; n = n->next, ++pos) {
        if (n == current) return pos;
    }
    return 0;
}

IStatus LqList::LocatePosition(int n) {
    if (n < 0) return 1;
    LqListNode* node = first;
    for (int i = 0; node && i < n; ++i) node = node->next;
    if (!node) return 1;
    current = node;
    return 0;
}

IBoolean LqList::IsInList(void* item) const {
    for (LqListNode* n = first; n; n = n->next) {
        if (n->data == item) return 1;
    }
    return 0;
}

void* LqList::Retrieve() const { return current ? current->data : nullptr; }
void* LqList::First() const { return first ? first->data : nullptr; }
void* LqList::Last() const { return last ? last->data : nullptr; }
int LqList::Count() const { return count; }

IStatus LqList::Insert(void* item) { return add(item, true); }
IStatus LqList::Append(void* item) { return add(item, false); }

IStatus LqList::add(void* item, bool before) {
    if (first && !current) return 1;
    // Allocate before touching any link or the count, so that running out
    // of memory leaves the list exactly as it was.
    LqListNode* node = new LqListNode;
    if (!node) return 1;
    node->data = item;
    node->prev = nullptr;
    node->next = nullptr;
    ++count;
    if (!first) {
        first = last = node;
    } else if (before) {
        node->prev = current->prev;
        node->next = current;
        if (current->prev)
            current->prev->next = node;
        else
            first = node;
        current->prev = node;
    } else {
        node->prev = current;
        node->next = current->next;
        if (current->next)
            current->next->prev = node;
        else
            last = node;
        current->next = node;
    }
    current = node;
    return 0;
}

IStatus LqList::Replace(void* item) {
    if (!current) return 1;
    current->data = item;
    return 0;
}

void* LqList::Remove() {
    LqListNode* node = current;
    if (!node) return nullptr;
    --count;
    if (node == first) {
        first = node->next;
        if (first)
            first->prev = nullptr;
        else
            last = nullptr;
        current = nullptr;
    } else if (node == last) {
        last = node->prev;
        last->next = nullptr;
        current = last;
    } else {
        node->prev->next = node->next;
        node->next->prev = node->prev;
        current = node->next;
    }
    void* data = node->data;
    delete node;
    return data;
}

void LqList::Clear() {
    LqListNode* n = first;
    while (n) {
        LqListNode* next = n->next;
        delete n;
        n = next;
    }
    first = last = current = nullptr;
    count = 0;
}

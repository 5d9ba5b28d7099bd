// The handler table of the message passing service: each entry binds a
// message type to a handler function and the object handed back to it.
// Entries are dispatched in slot order; a free slot has type 0.
#ifndef YM_SVC_H
#define YM_SVC_H

// A handler: (object given at registration, frame flag, payload, payload
// length, reply out, reply length out). The payload belongs to the caller.
typedef int (*SVCPTR)(void* svcThis, int flag, char* data, int dlen, char** res, int* rlen);

struct SVCENTRY {
    int svcType;  // 0 marks a free entry
    void* svcThis;
    SVCPTR svcFunc;
};

class SvcList {
  public:
    SvcList();  // 64 free entries
    ~SvcList();
    SvcList(const SvcList&) = delete;
    SvcList& operator=(const SvcList&) = delete;

    // Adds 64 free entries behind the existing ones.
    void Grow();
    // Fills the first free entry and returns its index; grows when full.
    // Duplicates are allowed: the same triple twice runs twice per message.
    int Register(int type, SVCPTR svcFunc, void* svcThis);
    // Frees every entry of the type whose function and object match; a null
    // function or object matches any. Returns -1 if something was freed,
    // 0 if nothing was.
    int Remove(int type, SVCPTR svcFunc, void* svcThis);
    // A new list holding, in slot order, every entry of the type, or null
    // when there is none. The caller deletes it. Dispatching from this copy
    // lets a handler register or remove entries safely.
    SvcList* Find(int type);

    int _sz;          // number of entries
    SVCENTRY* _svc;   // _sz entries, owned
};

#endif

// The handler table; see svc.h.
#include "svc.h"

#include <cstring>

static const int kSvcStep = 64;

SvcList::SvcList() : _sz(kSvcStep), _svc(new SVCENTRY[kSvcStep]) {
    memset(_svc, 0, sizeof(SVCENTRY) * _sz);
}

SvcList::~SvcList() { delete[] _svc; }

void SvcList::Grow() {
    SVCENTRY* grown = new SVCENTRY[_sz + kSvcStep];
    memset(grown, 0, sizeof(SVCENTRY) * (_sz + kSvcStep));
    memcpy(grown, _svc, sizeof(SVCENTRY) * _sz);
    delete[] _svc;
    _svc = grown;
    _sz += kSvcStep;
}

int SvcList::Register(int type, SVCPTR svcFunc, void* svcThis) {
    for (;;) {
        for (int i = 0; i < _sz; i++) {
            if (_svc[i].svcType == 0) {
                _svc[i].svcType = type;
                _svc[i].svcThis = svcThis;
                _svc[i].svcFunc = svcFunc;
                return i;
            }
        }
        Grow();
    }
}

int SvcList::Remove(int type, SVCPTR svcFunc, void* svcThis) {
    int freed = 0;
    for (int i = 0; i < _sz; i++) {
        SVCENTRY& e = _svc[i];
        if (e.svcType != type) continue;
        if (svcFunc && e.svcFunc != svcFunc) continue;
        if (svcThis && e.svcThis != svcThis) continue;
        e.svcType = 0;
        e.svcThis = nullptr;
        e.svcFunc = nullptr;
        freed = 1;
    }
    return freed ? -1 : 0;
}

SvcList* SvcList::Find(int type) {
    // Type 0 marks free entries, so it never has a handler: a frame of type 0
    // from a peer must not reach the empty slots.
    if (type == 0) return nullptr;
    SvcList* found = new SvcList;
    int n = 0;
    for (int i = 0; i < _sz; i++) {
        if (_svc[i].svcType == type && _svc[i].svcFunc) {
            found->Register(type, _svc[i].svcFunc, _svc[i].svcThis);
            n++;
        }
    }
    if (n == 0) {
        delete found;
        return nullptr;
    }
    return found;
}

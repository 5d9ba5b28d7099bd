// The document service; see YmDocModelMgr.h.
#include "YmDocModelMgr.h"

#include <string>

#include "YmDocAccess.h"
#include "YmDocModel.h"
#include "YmDocMsg.h"
#include "YmMsgField.h"
#include "YmMsgTypes.h"
#include "YmText.h"
#include "YmTmpFile.h"
#include "mps.h"

YmStr YmDocModelMgr::_infoString;
volatile sig_atomic_t YmDocModelMgr::_dCancel = 0;

namespace {

bool isTextType(int type) { return (type >= 1 && type <= 9); }

// The data of a document that is PostScript rather than text.
bool isPostScript(const YmStr& data) {
    return data.slength - 1 > 3 && data.data[0] == '%' && data.data[1] == '!';
}

}  // namespace

YmDocModelMgr::YmDocModelMgr() {}

YmDocModelMgr::~YmDocModelMgr() {}

void YmDocModelMgr::init() {
    theMPS->Register(YmMsgType::DocAction, requestAction, this);
    theMPS->Register(YmMsgType::DisplayCancel, requestCancelDisplay, this);
    // A connection process terminated during a step takes its temporary
    // files and running commands with it.
    ymCleanupOnTerm();
}

void YmDocModelMgr::cancelDisplaySignal(int) {
    _dCancel = 1;
    signal(SIGIO, SIG_IGN);
}

int YmDocModelMgr::requestCancelDisplay(void*, int, char*, int, char**, int*) {
    cancelDisplaySignal(SIGIO);
    return 1;
}

YmDocModel* YmDocModelMgr::modelFor(int type) {
    switch (type) {
        case 1:
        case 2:
        case 6:
        case 7:
            return new YmTextModel;
        case 3:
            return new YmTroffModel;
        case 4:
            return new YmManModel;
        case 5:
            return new YmMmModel;
        case 8:
            return new YmPcatModel;
        case 9:
            return new YmZcatModel;
        default:
            // The media models (10, 11, 13, 14, 16, 17, 19, 20, 21) are not
            // built yet; 12, 15, 18 and other numbers never have one.
            return nullptr;
    }
}

YmDocModel* YmDocModelMgr::create(const char* fname, int type, const char* client, int da,
                                  const char* action, const YmStr& marks, int* docErr,
                                  const char* reqName) {
    YmDocModel* m = modelFor(type);
    if (!m) {
        *docErr = 1;
        return nullptr;
    }
    // Only the text family gets the marks; only the program and media
    // models get the client's display name.
    m->init(fname, type, isTextType(type) ? ymText(marks) : nullptr,
            isTextType(type) ? nullptr : client);
    m->setReqName(reqName);
    YmBool ok = 1;
    switch (da) {
        case 1:
            if (m->openDoc()) return m;
            ok = 0;
            break;
        case 2:
            ok = m->print(action);
            break;
        case 3:
            ok = m->copy(action);
            break;
        case 4:
            ok = m->fax(action);
            _infoString = m->_attrib;
            if (ok) *docErr = 2;
            break;
        case 5:
            ok = m->email(action);
            break;
        default:
            break;
    }
    if (!ok) *docErr = 1;
    m->closeDoc();
    delete m;
    return nullptr;
}

int YmDocModelMgr::requestAction(void* t, int, char* dataPtr, int len, char**, int*) {
    YmDocModelMgr* self = static_cast<YmDocModelMgr*>(t);
    _dCancel = 0;
    signal(SIGIO, cancelDisplaySignal);

    YmDocActionMsg req;
    YmDocResultMsg res;
    int err = 0;
    _infoString.resize(0, 0);
    res.init();
    req.readIn(dataPtr, len > 0 ? unsigned(len) : 0);
    YmStr marks;
    if (req._bHdr) marks = req._hdr->_markLine;

    YmDocAccess access;
    access.load();
    std::string path;

    if (req._bFlist) {
        YmStr list = req._flist;
        unsigned int posn = 0;
        while (posn < list.slength - 1) {
            YmStr line = list.token(posn, '\n');
            if (line.slength < 2) break;
            unsigned int lp = 0;
            YmStr fname = line.token(lp, ';');
            int type = lp < line.slength - 1 ? ymMsgAtoi(line.token(lp, ';')) : 0;
            _infoString.resize(0, 0);
            err = 0;
            if (access.allowed(ymText(fname), &path)) {
                YmDocModel* m = self->create(path.c_str(), type, ymText(req._client), req._action,
                                             ymText(req._actionStr), YmStr(), &err, ymText(fname));
                if (m) {
                    m->closeDoc();
                    delete m;
                }
            } else {
                err = 1;
            }
            if (err != 0) {
                res.init();
                res.setErrCode(err);
                res.setFname(ymText(fname));
                res.setType(type);
                res.setIndex(req._index);
                res.setForceView(req._bForceView);
                if (_infoString.slength > 1) res.setAttrib(ymText(_infoString));
                res.send(YmMsgType::DocError);
            }
        }
        signal(SIGIO, SIG_IGN);
        return 1;
    }

    YmDocModel* m = nullptr;
    if (access.allowed(ymText(req._fname), &path))
        m = self->create(path.c_str(), req._type, ymText(req._client), req._action,
                         ymText(req._actionStr), marks, &err, ymText(req._fname));
    else
        err = 1;

    res.setErrCode(err);
    res.setIndex(req._index);
    res.setForceView(req._bForceView);
    if (m && req._bHdr) {
        req._hdr->setMarkLine(ymText(m->_marks));
        res.setHdr(req._hdr->hdrLine(1));
    } else {
        res.setFname(ymText(req._fname));
        res.setType(req._type);
    }

    if (m && err == 0) {
        res.setAttrib(ymText(m->_attrib));
        char* data = m->docBuffer();
        res.setDocBuff(data, data ? m->_docLen : 0);
        if (req._action == YM_DOC_VIEW && (req._type == 1 || req._type == 2) &&
            isPostScript(res._docBuffer))
            res.setType(7);
        if (_dCancel) res.setType(-1);
        res.send(YmMsgType::DocResult);
    } else if (err != 0) {
        if (_infoString.slength > 1) res.setAttrib(ymText(_infoString));
        res.send(YmMsgType::DocError);
    }

    if (m) {
        m->closeDoc();
        delete m;
    }
    signal(SIGIO, SIG_IGN);
    return 1;
}

// The query parser; see YmParser.h for the language.
#include "YmParser.h"

#include <cstdio>
#include <cstdlib>
#include <new>
#include <vector>

#include "YmFtApi.h"
#include "YmMsgField.h"
#include "YmText.h"

namespace {

// Held for the whole process and reset at the start of each field text:
// whether the last token stacked was an operand or a closing bracket (so the
// next operand needs an AND in between), and that token's type.
YmBool expectsOp = 0;
unsigned int lastType = PT_NONE;

const char* const kKeywords[] = {"OR", "AND", "NOT", "NEAR", "PHRASE"};

// Capacities of the keyword list and the stacks; they grow beyond these.
constexpr unsigned int kToksCap = 8;
constexpr unsigned int kOpsCap = 256;
constexpr unsigned int kTermsCap = 128;

unsigned int topType(const PNodeArray& stack) { return stack[stack.length() - 1]->_type; }

// The type of a one-character operator token; 0 for any other character.
unsigned int operatorType(char c) {
    switch (c) {
        case '(':
            return PT_LPAREN;
        case ')':
            return PT_RPAREN;
        case '[':
            return PT_LBRACKET;
        case ']':
            return PT_RBRACKET;
        case '&':
            return PT_AND;
        case '|':
            return PT_OR;
        case '^':
            return PT_NOT;
        default:
            return PT_NONE;
    }
}

}  // namespace

PNode::~PNode() {
    std::vector<PNode*> work;
    if (_lchild) work.push_back(_lchild);
    if (_rchild) work.push_back(_rchild);
    while (!work.empty()) {
        PNode* n = work.back();
        work.pop_back();
        if (n->_lchild) work.push_back(n->_lchild);
        if (n->_rchild) work.push_back(n->_rchild);
        n->_lchild = n->_rchild = nullptr;
        delete n;
    }
}

YmParser::YmParser() : _nearDistance(0), _bThes(0), _bBkTag(0), _pError(0) {}

YmParser::~YmParser() { freeTree(); }

void YmParser::init() {
    _toks.setMaxLength(kToksCap);
    _opstack.setMaxLength(kOpsCap);
    _termstack.setMaxLength(kTermsCap);
    if (_toks.length() == 0) {
        for (const char* k : kKeywords) {
            YmStr s(k);
            _toks.append(&s);
        }
    }
}

// Grammar of the request: { fieldNumber LF queryText LF } ending at the first
// empty line or the end of the text; a missing final LF is allowed.
YmBool YmParser::parse(const char* inQryFlds) {
    _pError = 0;
    setEnvVars();
    emit("\\C0t ");
    const char* p = inQryFlds ? inQryFlds : "";
    int field = 0;
    YmBool isText = 0;
    while (*p) {
        const char* end = strchr(p, '\n');
        size_t len = end ? size_t(end - p) : strlen(p);
        if (len == 0) break;
        YmStr line(p, unsigned(len));
        if (!isText) {
            field = ymMsgAtoi(line);
        } else {
            line.raise();
            for (unsigned int i = 0; i + 1 < line.slength; i++)
                if (line.data[i] == ',') line.data[i] = ' ';
            char prefix[32];
            snprintf(prefix, sizeof prefix, "\\C%ds ", field);
            emit(prefix);
            if (field == 27 || field == 31) {
                parseDate(line);
            } else {
                parseString(line);
                freeTree();
            }
        }
        isText = !isText;
        p += len;
        if (*p) p++;
    }
    emit("\\C}\n");
    emit("\n");
    _qry = YmStr(_out.data(), unsigned(_out.size()));
    _out.clear();
    return _pError == 0;
}

void YmParser::setEnvVars() {
    _out.clear();
    char near[32];
    snprintf(near, sizeof near, "3:%d", _nearDistance);
    emit("\\C2:1>$v \\C");
    emit(near);
    if (_bThes) {
        emit(";10:3v \\C\"v ");
        emit(ymText(_thesName));
        emit(" \\C}\n");
    } else {
        emit("v ");
    }
}

// A date the engine cannot read contributes nothing and is no error. The text
// is taken whole, however long: the engine reads a C string and prints into
// a buffer of its own fixed size.
void YmParser::parseDate(const YmStr& indate) {
    if (indate.slength < 2) return;
    YmStr date(indate);
    date.data[0] = ' ';  // the comparison sign
    long d = ftdhston(ftapih, ymText(date), FTDM_PARSE);
    if (!d) return;
    d = ftudnix(ftapih, d, FTDM_NORM);
    if (!d) return;
    char out[FTDATE_BUFSZ];
    if (!ftdhntos(ftapih, d, FTDM_YMD, out)) return;
    out[FTDATE_BUFSZ - 1] = '\0';
    emit(indate.data[0] == '>' ? "\\C>z " : "\\C<z ");
    emit(out);
    emit("\\C}\n");
}

void YmParser::parseString(const YmStr& qtext) {
    expectsOp = 0;
    lastType = PT_NONE;
    getTokens(qtext);
    if (_pError) return;
    while (_opstack.length())
        if (!reduce()) return;
    if (_termstack.length() == 1) {
        if (!_pError) csiPrint(_termstack[0], 0);
    } else {
        _pError = 6;
    }
}

// Words and phrases are taken whole, however long.
void YmParser::getTokens(const YmStr& ownstr) {
    if (ownstr.slength < 2) {
        _pError = 1;
        return;
    }
    const char* s = ymText(ownstr);
    size_t n = ownstr.slength - 1;
    size_t i = 0;
    for (;;) {
        while (i < n && s[i] == ' ') i++;
        if (i >= n) break;
        PNode* node = createNode(PT_NONE);
        if (!node) break;
        unsigned int single = operatorType(s[i]);
        if (single) {
            node->_type = single;
            i++;
        } else if (s[i] == '"') {
            // An unterminated quote makes the rest of the text, spaces
            // included, one word.
            const char* close = static_cast<const char*>(memchr(s + i + 1, '"', n - i - 1));
            size_t end = close ? size_t(close - s) : n;
            node->_word = YmStr(s + i + 1, unsigned(end - i - 1));
            node->_type = close ? PT_PHRASE : PT_WORD;
            i = close ? end + 1 : n;
        } else {
            size_t end = i;
            while (end < n && s[end] != ' ' && !isBoolOp(static_cast<unsigned char>(s[end]))) end++;
            node->_word = YmStr(s + i, unsigned(end - i));
            node->_type = PT_WORD;
            int k = _toks.find(&node->_word);
            if (k >= 0) node->_type = unsigned(k) + 1;
            i = end;
        }
        stackToken(node);
    }
}

YmBool YmParser::stackToken(PNode* tok) {
    unsigned int type = tok->_type;
    switch (type) {
        case PT_PHRASE:
        case PT_WORD:
            stackAnd();
            push(tok, 0);
            break;
        case PT_LPAREN:
        case PT_LBRACKET:
            stackAnd();
            expectsOp = 0;
            push(tok, 1);
            break;
        case PT_NOT:
            // A NOT right after an operand means AND NOT.
            if (lastType == PT_PHRASE || lastType == PT_RPAREN || lastType == PT_RBRACKET ||
                lastType == 10 || lastType == PT_WORD) {
                expectsOp = 1;
                lastType = PT_NONE;
                stackAnd();
            }
            [[fallthrough]];
        case PT_OR:
        case PT_AND:
            expectsOp = 0;
            // Equal types reduce first: the operators are left-associative.
            while (_opstack.length() && topType(_opstack) != PT_LPAREN &&
                   topType(_opstack) != PT_LBRACKET && topType(_opstack) >= type) {
                if (!reduce()) {
                    freeTree();
                    delete tok;
                    return 0;
                }
            }
            push(tok, 1);
            break;
        case PT_RPAREN:
        case PT_RBRACKET: {
            // A closing bracket without its opening one is accepted.
            unsigned int open = type == PT_RPAREN ? PT_LPAREN : PT_LBRACKET;
            delete tok;
            expectsOp = 1;
            while (_opstack.length() && topType(_opstack) != open) {
                if (!reduce()) {
                    freeTree();
                    return 0;
                }
            }
            if (_opstack.length()) delete pop(1);
            if (type == PT_RBRACKET) {
                // NEAR takes the bracket's expression as its one operand.
                push(createNode(PT_NEAR), 1);
                if (!reduce()) {
                    freeTree();
                    return 0;
                }
            }
            break;
        }
        case PT_NONE:
        case 10:
            delete tok;
            return 0;
        default:  // the word NEAR, or a type no tokenizer makes
            _pError = 4;
            delete tok;
            break;
    }
    lastType = type;
    return 1;
}

void YmParser::stackAnd() {
    if (expectsOp) {
        PNode* a = createNode(PT_AND);
        if (a) stackToken(a);
    }
    expectsOp = 1;
}

// On failure the nodes it took off the stacks are deleted; the caller then
// frees what is left.
YmBool YmParser::reduce() {
    PNode* op = pop(1);
    if (!op) {
        _pError = 9;
        return 0;
    }
    if (op->_type == PT_LPAREN || op->_type == PT_LBRACKET) {
        _pError = op->_type == PT_LPAREN ? 10 : 8;
        delete op;
        return 0;
    }
    PNode* right = pop(0);
    PNode* left = nullptr;
    if (!right) {
        _pError = 11;
    } else if (op->_type != PT_NOT && op->_type != PT_NEAR) {
        left = pop(0);
        if (!left) _pError = 11;
    }
    if (_pError) {
        delete op;
        delete right;
        delete left;
        return 0;
    }
    op->_lchild = left;
    op->_rchild = right;
    push(op, 0);
    return 1;
}

// The node itself leaves the stack: handing out copies would leave the
// originals with no owner.
PNode* YmParser::pop(YmBool bOpStack) {
    PNodeArray& stack = bOpStack ? _opstack : _termstack;
    unsigned int n = stack.length();
    if (n == 0) return nullptr;
    PNode* top = stack[n - 1];
    stack.remove(n - 1, 1);
    return top;
}

void YmParser::push(PNode* tok, YmBool bOpStack) {
    if (!tok) return;
    PNodeArray& stack = bOpStack ? _opstack : _termstack;
    // Grow by doubling: a long query would otherwise reallocate the stack
    // every few pushes.
    if (stack.num == stack.maxi) stack.setIncrementSize(stack.length() ? stack.length() : 4);
    stack.append(&tok);
}

PNode* YmParser::createNode(unsigned int intype) {
    PNode* node = new (std::nothrow) PNode;
    if (!node) {
        _pError = 2;
        return nullptr;
    }
    node->_type = intype;
    return node;
}

void YmParser::freeTree() {
    for (PNodeArray* stack : {&_opstack, &_termstack}) {
        for (unsigned int i = 0; i < stack->length(); i++) delete (*stack)[i];
        stack->remove(0, stack->length());
    }
}

YmBool YmParser::isBoolOp(int c) { return operatorType(char(c)) != PT_NONE || c == '"'; }

// Prints with a stack of its own instead of recursion: a long query makes a
// tree as deep as it has words.
void YmParser::csiPrint(PNode* node, YmBool bNearMode) {
    struct Step {
        PNode* node;  // null: print the closing text
        YmBool near;
    };
    std::vector<Step> todo;
    todo.push_back({node, bNearMode});
    // A null node prints nothing, so the closing text is pushed as a step of
    // its own marked by this address.
    PNode closer;
    while (!todo.empty()) {
        Step s = todo.back();
        todo.pop_back();
        PNode* n = s.node;
        if (n == &closer) {
            emit("\\C}\n");
            continue;
        }
        if (!n) continue;
        switch (n->_type) {
            case PT_OR:
            case PT_AND:
                // Inside a proximity group the engine joins the words itself.
                if (n->_type == PT_OR || !s.near) {
                    emit(n->_type == PT_OR ? "\\C0u " : "\\C0t ");
                    todo.push_back({&closer, s.near});
                }
                todo.push_back({n->_rchild, s.near});
                todo.push_back({n->_lchild, s.near});
                break;
            case PT_NOT:
                emit("\\C0x ");
                todo.push_back({n->_rchild, s.near});
                break;
            case PT_NEAR: {
                char head[32];
                snprintf(head, sizeof head, "\\C%dy ", _nearDistance);
                emit(head);
                todo.push_back({&closer, s.near});
                todo.push_back({n->_rchild, 1});
                break;
            }
            case PT_PHRASE:
            case PT_WORD:
                csiPrintStr(n);
                break;
            default:
                break;
        }
    }
}

void YmParser::csiPrintStr(PNode* node) {
    YmBool phrase = node->_type == PT_PHRASE;
    if (phrase) emit("\\Cp ");
    const char* w = ymText(node->_word);
    size_t n = node->_word.slength - 1;
    size_t run = 0;  // start of the characters not yet emitted
    for (size_t i = 0; i < n; i++) {
        if (w[i] != '*' && w[i] != '?') continue;
        emit(w + run, i - run);
        emit(w[i] == '*' ? "\\C-w " : "\\C!w ");
        run = i + 1;
    }
    emit(w + run, n - run);
    emit(phrase ? " \\C}\n" : " ");
}

const char* YmParser::getErrMsg() const {
    switch (_pError) {
        case 1:
            return "No string to parse";
        case 2:
            return "Not enough memory to evaluate search string";
        case 3:
        case 4:
            return "Unknown operator used";
        case 5:
            return "Too many boolean operators or too few terms";
        case 6:
            return "Need another keyword";
        case 7:
            return "Not enough memory";
        case 8:
        case 9:
        case 10:
        case 11:
            return "Invalid search string - check syntax";
        case 12:
            return "Search string problem";
        default:
            return "General error";
    }
}

// The query parser: turns a search request's query fields, written in the
// users' query language, into the full-text engine's query text.
//
// The request text is pairs of lines, a field number and then the query text
// for that field, ended by an empty line or the end of the text. A query text
// is words joined by operators:
//   A | B, A OR B       either
//   A & B, A AND B, A B both (two operands in a row are joined by AND)
//   ^A, NOT A           without; after an operand it means AND NOT
//   "A B", PHRASE       the words adjacent and in order
//   ( ... )             grouping
//   [ ... ]             the words near each other (the request's distance)
//   * and ?             any run of characters, exactly one character
// Letters are upper-cased first, so the operators may be written in any case,
// and commas separate like spaces. Fields 27 and 31 hold a date instead: a
// comparison sign ('>' after, anything else before) and a date the engine can
// read.
//
// Each query text is read into a tree with two stacks (operators and terms,
// operator-precedence style: OR < AND < NOT < NEAR, left-associative), the
// tree is printed into the engine text and freed. Errors are numbers in
// _pError with the texts of getErrMsg(); a request with an error is not
// searched.
#ifndef YM_PARSER_H
#define YM_PARSER_H

#include <cstring>
#include <string>

#include "YmArray.h"
#include "YmStr.h"
#include "YmStrArray.h"
#include "YmTypes.h"

// Token types; for operators a higher type binds tighter.
enum PTokenType : unsigned int {
    PT_NONE = 0,
    PT_OR = 1,
    PT_AND = 2,
    PT_NOT = 3,   // one operand, the one that follows
    PT_NEAR = 4,  // made by ']'; one operand, the bracket's expression
    PT_PHRASE = 5,
    PT_LPAREN = 6,
    PT_RPAREN = 7,
    PT_LBRACKET = 8,
    PT_RBRACKET = 9,
    PT_WORD = 11,
};

// One node of a query tree. A node owns its children: deleting it deletes
// the whole subtree (without recursion, so a tree as deep as a long query
// cannot exhaust the stack).
class PNode {
  public:
    PNode() : _type(PT_NONE), _lchild(nullptr), _rchild(nullptr) {}
    PNode(const PNode&) = delete;
    PNode& operator=(const PNode&) = delete;
    virtual ~PNode();
    virtual const char* className() const { return "PNode"; }

    YmStr _word;         // a word's or phrase's text; empty for operators
    unsigned int _type;  // PTokenType
    PNode* _lchild;      // null for NOT and NEAR
    PNode* _rchild;      // the (only) operand of NOT and NEAR
};

// The parser's node stacks: the pointers only, never the nodes.
class PNodeArray : public YmArray {
    YM_ARRAY_MEMBERS(PNodeArray, PNode*)

  protected:
    void createElements(void* at, unsigned int bytes) const override {
        memset(at, 0, bytes);  // new slots are null pointers
    }
};

class YmParser {
  public:
    YmParser();
    YmParser(const YmParser&) = delete;  // the stacks' nodes have one owner
    YmParser& operator=(const YmParser&) = delete;
    virtual ~YmParser();
    virtual const char* className() const { return "YmParser"; }

    // Capacities and keywords; call once after construction.
    void init();

    void setNearDistance(int d) { _nearDistance = d; }
    void useThes(YmBool b) { _bThes = b; }
    void setThes(const char* name) { _thesName = name; }
    void setBkTag(const char* tag) { _bkTag = tag; }
    void useBkTag(YmBool b) { _bBkTag = b; }

    // Parses a whole request (null reads as empty). True when no error was
    // found; the engine text is then in _qry. After an error the later
    // fields are still read, but the text is not to be used.
    YmBool parse(const char* inQryFlds);

    // The text for _pError; a static string.
    const char* getErrMsg() const;

    // The steps of parse. They build the engine text in a work buffer that
    // parse copies into _qry at its end.
    void parseString(const YmStr& qtext);
    void parseDate(const YmStr& indate);
    void setEnvVars();
    void getTokens(const YmStr& ownstr);
    // Takes over tok: it is stacked, or deleted when it is not. False only
    // for a token of no known type, or when a reduction failed.
    YmBool stackToken(PNode* tok);
    void stackAnd();
    YmBool reduce();
    // Removes and returns the top node, now the caller's; null when empty.
    PNode* pop(YmBool bOpStack);
    // A null node is not pushed.
    void push(PNode* tok, YmBool bOpStack);
    // A new node, or null (and error 2) when memory is short.
    PNode* createNode(unsigned int intype);
    // Deletes every node on both stacks, with their trees.
    void freeTree();
    static YmBool isBoolOp(int c);
    void csiPrint(PNode* node, YmBool bNearMode);
    void csiPrintStr(PNode* node);

    int _nearDistance;
    YmStr _bkTag;  // carried, not printed
    YmStr _thesName;
    YmBool _bThes;
    YmBool _bBkTag;    // carried, not printed
    YmStr _qry;        // the engine text of the last parse
    int _pError;       // 0, or the number of the last error
    YmStrArray _toks;  // "OR", "AND", "NOT", "NEAR", "PHRASE"
    PNodeArray _opstack;
    PNodeArray _termstack;

  private:
    void emit(const char* s) { _out.append(s); }
    void emit(const char* s, size_t n) { _out.append(s, n); }

    // The engine text while parse builds it: appending to a YmStr reallocates
    // every time, which a long query would pay for quadratically.
    std::string _out;
};

#endif

// drusk view: shows a document, with the words the search found marked.
//
//   drusk view [document options] [-M auto|ansi|brackets|none] [-o file]
//              [query words...]
//
// The marks come from the server's answer: line, byte offset and length of
// each hit in the text it sends. On a terminal they are shown in reverse
// video (-M auto); -M brackets writes [[word]], -M none the plain text. -o
// writes the document's bytes, unmarked, to a file instead. An interrupt
// while the server formats the document cancels the display.
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "YmCliCommands.h"
#include "YmCliDocAction.h"
#include "YmMsgTypes.h"
#include "YmText.h"

namespace {

struct Span {
    size_t offset, length;
};

// The hits of the header's marks line, each item read by the header's own
// parseMark, in order, inside the text and not overlapping. (mark(n) would
// read the line again from its start for every n.)
std::vector<Span> spans(YmDocHdr& hdr, size_t textLen) {
    std::vector<Span> out;
    const YmStr line = hdr._markLine;
    unsigned int posn = 0;
    while (posn < line.slength - 1) {
        YmStr item = line.token(posn, '\t');
        if (item.slength < 2) break;
        hdr._mark[0] = hdr._mark[1] = hdr._mark[2] = -1;
        hdr.parseMark(item);
        int off = hdr._mark[1], len = hdr._mark[2];
        if (off >= 0 && len > 0 && size_t(off) < textLen)
            out.push_back({size_t(off), std::min(size_t(len), textLen - size_t(off))});
    }
    std::sort(out.begin(), out.end(),
              [](const Span& a, const Span& b) { return a.offset < b.offset; });
    std::vector<Span> kept;
    for (const Span& s : out)
        if (kept.empty() || s.offset >= kept.back().offset + kept.back().length) kept.push_back(s);
    return kept;
}

}  // namespace

void ymCliViewUsage(FILE* out) {
    fprintf(out,
            "usage: drusk [global options] view [options] [query words...]\n"
            "Shows a document with the searched words marked.\n"
            "  -M how        marks: auto (reverse video on a terminal, else none),\n"
            "                ansi, brackets ([[word]]) or none\n"
            "  -o file       write the document to a file instead\n");
    ymCliDocUsage(out);
}

int ymCliView(YmCliSession& session, int argc, char** argv) {
    YmCliDocTarget t;
    std::string how = "auto", outFile;
    optind = 0;
    int c;
    while ((c = getopt(argc, argv, "+" YM_CLI_DOC_OPTS "M:o:")) != -1) {
        int taken = ymCliDocOption(c, optarg, &t);
        if (taken < 0) return YM_CLI_USAGE;
        if (taken) continue;
        if (c == 'M' && (!strcmp(optarg, "auto") || !strcmp(optarg, "ansi") ||
                         !strcmp(optarg, "brackets") || !strcmp(optarg, "none"))) {
            how = optarg;
        } else if (c == 'o') {
            outFile = optarg;
        } else {
            ymCliViewUsage(stderr);
            return YM_CLI_USAGE;
        }
    }

    int type = 0, flag = 0;
    YmDocResultMsg res;
    int st = ymCliDocAct(session, t, argc, argv, YM_DOC_VIEW, "", &type, &flag, &res);
    if (st != YM_CLI_OK) return st;
    if (type != YmMsgType::DocResult) return ymCliDocFailed("show", res);
    if (flag == -1) {
        fprintf(stderr, "drusk: view: the display was cancelled\n");
        return YM_CLI_FAILED;
    }
    std::string text = ymStd(res._docBuffer);
    // The reader adds a NUL after the bytes of every text.
    if (!text.empty() && text.back() == '\0') text.pop_back();

    if (!outFile.empty()) {
        FILE* f = fopen(outFile.c_str(), "wb");
        if (!f || fwrite(text.data(), 1, text.size(), f) != text.size() || fclose(f) != 0) {
            fprintf(stderr, "drusk: view: cannot write %s\n", outFile.c_str());
            if (f) fclose(f);
            return YM_CLI_FAILED;
        }
        return YM_CLI_OK;
    }
    if (flag == 7)
        fprintf(stderr, "drusk: view: the document is PostScript; shown as it is stored\n");
    if (how == "auto") how = isatty(1) ? "ansi" : "none";
    const char* on = how == "ansi" ? "\033[7m" : how == "brackets" ? "[[" : "";
    const char* off = how == "ansi" ? "\033[0m" : how == "brackets" ? "]]" : "";
    std::vector<Span> marks = res._bHdr && how != "none"
                                  ? spans(*res._hdr, text.size())
                                  : std::vector<Span>();
    size_t at = 0;
    for (const Span& s : marks) {
        fwrite(text.data() + at, 1, s.offset - at, stdout);
        fputs(on, stdout);
        fwrite(text.data() + s.offset, 1, s.length, stdout);
        fputs(off, stdout);
        at = s.offset + s.length;
    }
    fwrite(text.data() + at, 1, text.size() - at, stdout);
    return YM_CLI_OK;
}

// Real full-text databases for end-to-end tests, built with the project's
// indexing tool (ftindex from YM_BIN_DIR) from folders of text files.
//
//   YmTempDir data;
//   ASSERT_TRUE(ymAddTinyDatabase(data));     // data/tiny.cfg and its index
//   data.write("manuals/a.txt", "...");
//   ASSERT_TRUE(ymIndexDatabase(data.path(), "manuals", data.file("manuals")));
//
// The server refuses to start without a database in its settings folders,
// so every test that starts ymsvr gives at least one folder of FULSEARCH a
// database.
#ifndef YM_TEST_DATABASE_H
#define YM_TEST_DATABASE_H

#include <string>

#include "YmServerFixture.h"

// ftindex -q -s settings -n name -d docs; true when it succeeded. The tool's
// output goes to *log when given.
bool ymIndexDatabase(const std::string& settings, const std::string& name, const std::string& docs,
                     std::string* log = nullptr);

// A one-document database `name` in dir: its documents in dir/<name>.docs,
// its settings, index and reference file in dir itself.
bool ymAddTinyDatabase(const YmTempDir& dir, const std::string& name = "tiny");

#endif

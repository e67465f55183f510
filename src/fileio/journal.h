// The file layer's hooks into a running transaction (journal.cpp).
#pragma once

namespace journal {

// True while recording and `name` lies inside the transaction's directory;
// changes elsewhere are made at once, as without a transaction.
bool recording(const char* name);
// A private file of this name is about to be made.
void noteTemp(const char* temp);
// temp, complete and closed, is to replace target.
void noteCommit(const char* temp, const char* target);
// target is to be removed.
void noteRemove(const char* target);
// dir is about to be made.
void noteDir(const char* dir);

}  // namespace journal

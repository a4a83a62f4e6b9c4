#pragma once
// Reads the word list section of the index file into a word index.
//
// The names of the stamp section are interned first, on a thread of the
// load's own while the reader reads on: in a file this program wrote, every
// listed name is among them. The name table then stays as it is while the
// lists are split into note ids, each list of the file by that thread or by
// the reader, which splits what the thread has not taken whenever it would
// wait for it (and does all of it, interning too, when the system gives no
// thread); the sets are filled in file order as the pieces of the file
// come back split. A list naming a note the stamps do not hold is split
// after the thread, in file order, interning what it names; so the result
// never depends on the threads' timing or on what the stamps hold. The lists
// waiting to be split stay where the archive read them, in a few of its
// buffers, whatever the file's size; only those it cannot leave there (8-bit
// ones, ones across a buffer's end) are copied.

#include "index/map.h"
#include "index/refresh_progress.h"
#include "index/word_index.h"

class CArchive;

// Reads the count and the pairs of the word list section from ar into words,
// which must be empty. Each word list fills its word's note set as
// LoadIndexFile describes; when there are lists, the names of stamps are
// interned as well, listed or not. Throws what ar throws, and std::bad_alloc or CMemoryException when
// memory runs out on any thread (the other threads are stopped first);
// words is then partly filled. progress, when given, hears how the pairs
// are read.
void ReadWordLists(CArchive& ar, const CMapStringToString& stamps, WordIndex& words,
                   RefreshProgress* progress);

#include "index/map.h"

// Filled in with the archive.
void CMapStringToString::Exchange(CArchive&) {}

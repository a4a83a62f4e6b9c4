#pragma once
// The framework's names that <windows.h> also defines, spelt exactly as it
// spells them: a macro defined twice with the same text is allowed, as is a
// second declaration of the same type, so any include order gives the same
// program and no file needs an #undef.

using BOOL = int;
#ifndef FALSE
#define FALSE 0
#endif
#ifndef TRUE
#define TRUE 1
#endif
#ifndef IDOK
#define IDOK 1
#endif
#ifndef IDCANCEL
#define IDCANCEL 2
#endif

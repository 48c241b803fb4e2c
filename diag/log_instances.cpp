#include "diag/log.h"

// The three process-wide log objects, built before anything else in the
// module (the module object and the class factories log through them) and
// destroyed after it, in this order: the directory sink reads its registry
// settings first, then theLog, then the temporary-directory sink at NONE.
__attribute__((init_priority(200))) CMyLog theDirLog(true);
__attribute__((init_priority(201))) CMyLogCommon theLog;
__attribute__((init_priority(202))) CMyLogTemp theTempLog(true);

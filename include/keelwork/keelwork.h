/* keelwork: the umbrella header. Includes every C family header of the
 * library; the C++ classes have their own .hpp headers. */
#ifndef KEELWORK_KEELWORK_H
#define KEELWORK_KEELWORK_H

#include "kw_base.h"

/* runtime */
#include "btk_format.h"
#include "btk_hooks.h"
#include "btk_os.h"
#include "btk_unicode.h"
#include "memory.h"
#include "thread.h"
#include "xar.h"

/* containers and algorithms */
#include "bitarray.h"
#include "btree.h"
#include "functab.h"
#include "objsort.h"
#include "ownedxar.h"
#include "partial_order.h"
#include "pqueue.h"
#include "rbtree.h"
#include "sorted.h"
#include "strxar.h"
#include "suballoc.h"

/* diagnostics */
#include "debug.h"
#include "kstexit.h"
#include "runmode.h"
#include "status_codes.h"

/* file access */
#include "objtype.h"
#include "pfa.h"
#include "pfadir.h"
#include "pfaloc.h"
#include "pfastream.h"

/* text */
#include "lang.h"
#include "pattern.h"
#include "strutil.h"
#include "vexformat.h"
#include "wstring.h"
#include "xtext.h"

/* operating-system services */
#include "ptime.h"

/* tasks and dispatch */
#include "bind.h"
#include "notify.h"

#endif /* KEELWORK_KEELWORK_H */

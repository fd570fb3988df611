// The delete cases of the object commands with the poisoned heap: a freed node that anything
// still touches crashes the run.
#include "DaVIdevaRez.h"

#include "kvpoisonheap.h"

CDaVIdevaRezApp theApp;

// What DeletionQueue.cpp offers its unit tests beyond its header: the steps
// of the deletion it uses (TreeDeletionInternal.h).
#pragma once
#include "DeletionQueue.h"
#include "TreeDeletionInternal.h"
